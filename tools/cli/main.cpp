// SPDX-License-Identifier: MIT
#include "commands.h"
#include "quorvanversion.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvan-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVAN_VERSION));
    return runCli(QCoreApplication::arguments());
}
