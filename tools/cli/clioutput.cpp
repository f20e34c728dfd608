// SPDX-License-Identifier: MIT
#include "clioutput.h"

#include "commands.h"
#include "interruption.h"

#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <locale.h>
#include <unistd.h>
#endif

namespace {

constexpr int outFd = 1;
constexpr int errFd = 2;

// What became of a stream: still written, lost (the output is not complete), or given up
// when a signal interrupted a write that could not go on.
enum class Stream { Working, Failed, Interrupted };

Stream stdoutState = Stream::Working;
Stream stderrState = Stream::Working;
bool closedAtStart[3] = {false, false, false};

void noteStdoutFailure(int error)
{
    if (stdoutState != Stream::Working)
        return;
    const bool interrupted = error == EINTR && interruption() != 0;
    stdoutState = interrupted ? Stream::Interrupted : Stream::Failed;
    printError(QStringLiteral("standard output could not be written (%1)")
                   .arg(interrupted ? QStringLiteral("interrupted by %1").arg(interruptionName())
                        : closedAtStart[outFd] ? QStringLiteral("it was closed when the command "
                                                                "started")
                                               : systemErrorText(error)));
}

void writeError(const QByteArray &bytes)
{
    if (stderrState != Stream::Working)
        return;
    int error = 0;
    if (closedAtStart[errFd])
        stderrState = Stream::Failed;
    else if (!writeAll(errFd, bytes, error))
        stderrState = error == EINTR ? Stream::Interrupted : Stream::Failed;
}

} // namespace

void reopenClosedStreams()
{
#ifdef Q_OS_UNIX
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        closedAtStart[fd] = true;
        // The lowest free number: the one that is missing, since those below are taken.
        ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    }
#endif
}

bool inputClosedAtStart()
{
    return closedAtStart[0];
}

void printOut(const QString &text)
{
    if (stdoutState != Stream::Working)
        return;
    int error = 0;
    if (closedAtStart[outFd] || !writeAll(outFd, text.toUtf8(), error))
        noteStdoutFailure(error);
}

void printError(const QString &message)
{
    writeError("quorvan-cli: " + message.toUtf8() + '\n');
}

void printResult(const QString &line)
{
    if (stdoutState == Stream::Working)
        printOut(line + QLatin1Char('\n'));
    if (stdoutState != Stream::Working)
        printError(line);
}

void printProgress(const char *text)
{
    writeError(QByteArray(text));
}

bool outputFailed()
{
    return stdoutState != Stream::Working || stderrState != Stream::Working;
}

int finishOutput(int code)
{
    // Closing is the last chance for a file system that reports errors late (NFS).
    if (stdoutState == Stream::Working && !closedAtStart[outFd] && ::close(outFd) != 0 &&
        errno != EINTR)
        noteStdoutFailure(errno);
    // The signal tells why the output is not complete: a lost terminal takes both streams.
    if (interruption() != 0)
        return interruptedExitCode();
    if (stdoutState == Stream::Failed || stderrState == Stream::Failed)
        return ExitCode::output;
    return code;
}
