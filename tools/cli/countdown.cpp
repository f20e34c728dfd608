// SPDX-License-Identifier: MIT
#include "countdown.h"

#include "clioutput.h"

#include <QtGlobal>

#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif
#else
#include <unistd.h>
#endif

#ifdef Q_OS_WIN
namespace {

// Whether the console draws escape sequences rather than showing them. A console that
// accepts the mode may still not draw them (Wine's, for one): a sequence that changes
// nothing on screen is written, and the cursor tells, having moved only if the sequence
// was shown; it is then wiped again. Asked once: the console stays the same.
bool probeConsole(HANDLE console)
{
    CONSOLE_SCREEN_BUFFER_INFO before;
    CONSOLE_SCREEN_BUFFER_INFO after;
    if (!GetConsoleScreenBufferInfo(console, &before))
        return false;
    printProgress("\033[0m");
    if (!GetConsoleScreenBufferInfo(console, &after))
        return false;
    const DWORD shown =
        DWORD((after.dwCursorPosition.Y - before.dwCursorPosition.Y) * before.dwSize.X +
              after.dwCursorPosition.X - before.dwCursorPosition.X);
    if (shown == 0)
        return true;
    DWORD wiped = 0;
    FillConsoleOutputCharacterW(console, L' ', shown, before.dwCursorPosition, &wiped);
    SetConsoleCursorPosition(console, before.dwCursorPosition);
    return false;
}

bool consoleDrawsEscapes(HANDLE console)
{
    static const bool draws = probeConsole(console);
    return draws;
}

} // namespace
#endif

Countdown::Countdown(const QString &label) : label(label), enabled(isTerminal())
{
#ifdef Q_OS_WIN
    // Consoles before Windows 10 refuse the virtual-terminal mode and show an escape
    // sequence as "←[K": they get the plain redraw. The mode is the console's, shared with
    // the shell, so it is put back afterwards.
    DWORD mode = 0;
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    if (!enabled || !GetConsoleMode(console, &mode))
        return;
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0 &&
        SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        restoredMode = mode;
        restoreMode = true;
    }
    escapes = (restoreMode || (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) &&
              consoleDrawsEscapes(console);
#endif
}

Countdown::~Countdown()
{
    clear();
#ifdef Q_OS_WIN
    if (restoreMode)
        SetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), DWORD(restoredMode));
#endif
}

bool Countdown::isTerminal()
{
#ifdef Q_OS_WIN
    // The C library's isatty() also says yes for NUL; only a console has a console mode.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
    return isatty(STDERR_FILENO) == 1;
#endif
}

QByteArray Countdown::redraw(const QString &text, int previous, bool escapes)
{
    // "\033[K" erases what a longer earlier text left to the right.
    if (escapes)
        return "\r" + text.toUtf8() + "\033[K";
    // Spaces over the rest of the earlier text, then the text once more for the cursor.
    const QByteArray bytes = "\r" + text.toUtf8();
    const int left = std::max(0, previous - int(text.size()));
    return left > 0 ? bytes + QByteArray(left, ' ') + bytes : bytes;
}

void Countdown::show(int msLeft)
{
    if (!enabled)
        return;
    const int seconds = (msLeft + 999) / 1000;
    if (seconds == lastSeconds)
        return;
    lastSeconds = seconds;
    shown = true;
    const QString text = QStringLiteral("%1: %2 s").arg(label).arg(seconds);
    printProgress(redraw(text, width, escapes).constData());
    width = std::max(width, int(text.size()));
}

void Countdown::clear()
{
    if (!shown)
        return;
    shown = false;
    lastSeconds = -1;
    printProgress(redraw(QString(), width, escapes).constData());
    width = 0;
}
