// SPDX-License-Identifier: MIT
#include "interruption.h"

#include "clioutput.h"

#include <QtGlobal>

#include <csignal>
#include <mutex>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

std::mutex interruptedLinesMutex;
QStringList interruptedResults;
QString interruptedMessage = QStringLiteral("interrupted by %1");

#ifdef Q_OS_UNIX
void noteSignal(int number)
{
    if (noteInterruption(number))
        return;
    // A second one: the user wants out now, whatever the command is stuck in.
    std::signal(number, SIG_DFL);
    std::raise(number);
}
#endif

#ifdef Q_OS_WIN
// Runs on a thread of its own while the command may be anywhere: the lines are printed
// under the lock that guards them, and the process ends without unwinding Qt.
void endAtOnce()
{
    {
        const std::lock_guard<std::mutex> lock(interruptedLinesMutex);
        for (const QString &line : std::as_const(interruptedResults))
            printResult(line);
        printError(interruptedMessage.arg(interruptionName()));
    }
    TerminateProcess(GetCurrentProcess(), UINT(interruptedExitCode()));
}

BOOL WINAPI noteConsoleEvent(DWORD event)
{
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    if (!noteInterruption(event == CTRL_C_EVENT ? SIGINT : SIGTERM) && interrupt)
        endAtOnce(); // a second one: the user wants out now
    // Handled: the process ends by itself once it has said what it sent.
    return interrupt ? TRUE : FALSE;
}
#endif

} // namespace

void catchInterruptions()
{
#ifdef Q_OS_UNIX
    struct sigaction action = {};
    action.sa_handler = noteSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A lost terminal (an SSH session that drops during the restart wait) asks the command
    // to stop like SIGTERM, and it still says what it sent, on whatever stream still works.
    sigaction(SIGHUP, &action, nullptr);
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);
#elif defined(Q_OS_WIN)
    SetConsoleCtrlHandler(noteConsoleEvent, TRUE);
#endif
}

void setInterruptedLines(const QStringList &results, const QString &message)
{
    const std::lock_guard<std::mutex> lock(interruptedLinesMutex);
    interruptedResults = results;
    interruptedMessage = message;
}

int interruptedExitCode()
{
    return 128 + interruption();
}
