// SPDX-License-Identifier: MIT
#include "filewrite.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <locale.h>
#include <unistd.h>
#endif

namespace {

// Written by a signal handler (or, on Windows, by the console's own thread).
std::atomic<int> caught{0};

} // namespace

bool noteInterruption(int number)
{
    int none = 0;
    return caught.compare_exchange_strong(none, number);
}

int interruption()
{
    return caught.load();
}

QString interruptionName()
{
    switch (interruption()) {
    case SIGINT:
        return QStringLiteral("SIGINT");
#ifdef SIGHUP
    case SIGHUP:
        return QStringLiteral("SIGHUP");
#endif
    default:
        return QStringLiteral("SIGTERM");
    }
}

bool writeAll(int fd, const QByteArray &bytes, int &error)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        // Pieces of at most 1 MiB, a size every platform's write() takes.
        const int chunk = int(std::min<qint64>(left, 1 << 20));
        const auto written = ::write(fd, data, static_cast<unsigned>(chunk));
        if (written < 0 && errno != EINTR) {
            error = errno;
            return false;
        }
        if (written > 0) {
            data += written;
            left -= written;
        }
        // A signal that ends the command: the stream may be a pipe that nobody reads, where
        // the next write would wait for ever.
        if (left > 0 && interruption() != 0) {
            error = EINTR;
            return false;
        }
    }
    return true;
}

QString systemErrorText(int error)
{
#ifdef Q_OS_UNIX
    static const locale_t english = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    if (english)
        return QString::fromLocal8Bit(::strerror_l(error, english));
#endif
    return QString::fromLocal8Bit(std::strerror(error));
}
