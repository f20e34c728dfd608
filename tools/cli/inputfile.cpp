// SPDX-License-Identifier: MIT
#include "inputfile.h"

#include "clioutput.h"
#include "tooltext.h"

#include <QtGlobal>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFile>
#include <QFileInfo>
#endif

namespace {

QString tooLarge(int maxSize)
{
    return QStringLiteral("larger than %1 KiB, too large for a list of boards").arg(maxSize / 1024);
}

#ifdef Q_OS_UNIX

// How long a named pipe may stay without a writer: the program that is to write into it
// may be started a moment after this one.
constexpr int writerWaitMs = 2000;

class Descriptor
{
public:
    Descriptor(int fd, bool owned) : fd(fd), owned(owned) {}
    ~Descriptor()
    {
        if (owned && fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    const int fd;
    const bool owned;
};

// True when something came through the pipe within the wait: its first byte, or the end
// of what a program wrote and closed. A writer that holds the pipe open and stays silent
// counts as none, or the command would wait for it for ever.
bool pipeHasWriter(int fd, QByteArray &bytes)
{
    pollfd ready{fd, POLLIN, 0};
    const int events = ::poll(&ready, 1, writerWaitMs);
    char first[1];
    const ssize_t got = ::read(fd, first, sizeof first);
    if (got > 0)
        bytes.append(first, int(got));
    return events > 0;
}

#endif

} // namespace

bool readInputFile(const QString &path, int maxSize, QByteArray &bytes, QString &error)
{
    bytes.clear();
    const bool standardInput = path == QLatin1String("-");
    if (standardInput && inputClosedAtStart()) {
        error = QStringLiteral("standard input is closed: give the file's name, or send the file "
                               "through a pipe");
        return false;
    }
#ifdef Q_OS_UNIX
    // Not blocking while opening: a named pipe without a writer would hold open() for ever.
    const Descriptor input(
        standardInput ? STDIN_FILENO
                      : ::open(systemBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC),
        !standardInput);
    struct stat info = {};
    if (input.fd < 0 || ::fstat(input.fd, &info) != 0) {
        error = systemErrorText(errno);
        return false;
    }
    if (::isatty(input.fd) == 1) {
        error = standardInput ? QStringLiteral("standard input is a terminal: give the file's "
                                               "name, or send the file through a pipe")
                              : QStringLiteral("a terminal, not a file");
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = QStringLiteral("a directory, not a file");
        return false;
    }
    if (S_ISREG(info.st_mode) && info.st_size > maxSize) {
        error = tooLarge(maxSize);
        return false;
    }
    if (!standardInput && S_ISFIFO(info.st_mode) && !pipeHasWriter(input.fd, bytes)) {
        error = QStringLiteral("a named pipe that no program writes into (nothing came in %1 s)")
                    .arg(writerWaitMs / 1000);
        return false;
    }
    if (!standardInput)
        ::fcntl(input.fd, F_SETFL, ::fcntl(input.fd, F_GETFL) & ~O_NONBLOCK);
    char buffer[65536];
    while (bytes.size() <= maxSize) {
        const auto wanted = std::min<qint64>(qint64(sizeof buffer), maxSize + 1 - bytes.size());
        const ssize_t got = ::read(input.fd, buffer, std::size_t(wanted));
        if (got < 0) {
            error = systemErrorText(errno);
            return false;
        }
        if (got == 0)
            return true;
        bytes.append(buffer, int(got));
    }
#else
    QFile input;
    const bool opened = standardInput ? input.open(stdin, QIODevice::ReadOnly)
                                      : (input.setFileName(path), input.open(QIODevice::ReadOnly));
    if (!opened) {
        error = input.errorString();
        return false;
    }
    if (!standardInput && QFileInfo(path).isFile() && input.size() > maxSize) {
        error = tooLarge(maxSize);
        return false;
    }
    char buffer[65536];
    while (bytes.size() <= maxSize) {
        const qint64 got =
            input.read(buffer, std::min<qint64>(qint64(sizeof buffer), maxSize + 1 - bytes.size()));
        if (got < 0) {
            error = input.errorString();
            return false;
        }
        if (got == 0)
            return true;
        bytes.append(buffer, int(got));
    }
#endif
    error = tooLarge(maxSize);
    return false;
}
