// SPDX-License-Identifier: MIT
#include "clioutput.h"

#include "commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

bool stdoutFailed = false;
bool stderrFailed = false;

// The whole text, flushed: a short write, or a flush that fails (a full disk shows only
// then), leaves the stream's error set.
bool writeAll(std::FILE *stream, const QByteArray &bytes)
{
    const std::size_t length = std::size_t(bytes.size());
    return std::fwrite(bytes.constData(), 1, length, stream) == length &&
           std::fflush(stream) == 0 && !std::ferror(stream);
}

void noteStdoutFailure(int error)
{
    if (stdoutFailed)
        return;
    stdoutFailed = true;
    printError(QStringLiteral("standard output could not be written (%1)")
                   .arg(QString::fromLocal8Bit(std::strerror(error))));
}

} // namespace

void printOut(const QString &text)
{
    if (stdoutFailed)
        return;
    errno = 0;
    if (!writeAll(stdout, text.toUtf8()))
        noteStdoutFailure(errno);
}

void printError(const QString &message)
{
    if (stderrFailed)
        return;
    if (!writeAll(stderr, "quorvan-cli: " + message.toUtf8() + '\n'))
        stderrFailed = true;
}

void printResult(const QString &line)
{
    if (!stdoutFailed)
        printOut(line + QLatin1Char('\n'));
    if (stdoutFailed)
        printError(line);
}

void printProgress(const char *text)
{
    if (!stderrFailed && !writeAll(stderr, QByteArray(text)))
        stderrFailed = true;
}

bool outputFailed()
{
    return stdoutFailed || stderrFailed;
}

int finishOutput(int code)
{
    // Closing is the last chance for a file system that reports errors late (NFS).
    errno = 0;
    if (!stdoutFailed &&
        (std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || std::fclose(stdout) != 0))
        noteStdoutFailure(errno);
    if (!stderrFailed && (std::fflush(stderr) != 0 || std::ferror(stderr) != 0))
        stderrFailed = true;
    return outputFailed() ? ExitCode::output : code;
}
