// SPDX-License-Identifier: MIT
#include "localfiles.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QWidget>

#include <initializer_list>

namespace LocalFiles {

namespace {

const QString pictureInWorkingDirectory = QStringLiteral("brenik.png");
const QString iconInWorkingDirectory = QStringLiteral("../../FindQuorvan/bg.ico");

// The installation keeps both files in its data folder, at fixed places relative to the
// executable's own folder ("bin"), wherever the installation itself lies.
QString installed(const char *path)
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../share/quorvan-config/") +
           QLatin1String(path);
}

QString firstExisting(std::initializer_list<QString> paths, const QString &fallback)
{
    for (const QString &path : paths) {
        if (QFileInfo::exists(path))
            return path;
    }
    return fallback;
}

} // namespace

QString tablePicture()
{
    return firstExisting({pictureInWorkingDirectory, installed("run/config/brenik.png")},
                         QStringLiteral(":/brenik.png"));
}

QString windowIcon()
{
    return firstExisting({iconInWorkingDirectory, installed("FindQuorvan/bg.ico")},
                         QStringLiteral(":/quorvan_16x16.png"));
}

void setWindowIcon(QWidget *window)
{
    const QString path = windowIcon();
    if (path != iconInWorkingDirectory)
        window->setWindowIcon(QIcon(path));
}

} // namespace LocalFiles
