// SPDX-License-Identifier: MIT
#include "interruption.h"

#include <QtGlobal>

#include <atomic>
#include <csignal>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// Written by a signal handler (or, on Windows, by the console's own thread).
std::atomic<int> caught{0};

#ifdef Q_OS_UNIX
void noteSignal(int number)
{
    int none = 0;
    if (caught.compare_exchange_strong(none, number))
        return;
    // A second one: the user wants out now, whatever the command is stuck in.
    std::signal(number, SIG_DFL);
    std::raise(number);
}
#endif

#ifdef Q_OS_WIN
BOOL WINAPI noteConsoleEvent(DWORD event)
{
    int none = 0;
    caught.compare_exchange_strong(none, event == CTRL_C_EVENT ? SIGINT : SIGTERM);
    // Handled: the process ends by itself once it has said what it sent.
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
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

int interruptedExitCode()
{
    return 128 + interruption();
}
