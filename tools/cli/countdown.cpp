// SPDX-License-Identifier: MIT
#include "countdown.h"

#include "clioutput.h"

#include <unistd.h>

Countdown::Countdown(const QString &label) : label(label), enabled(isTerminal()) {}

Countdown::~Countdown()
{
    clear();
}

bool Countdown::isTerminal()
{
    return isatty(STDERR_FILENO) == 1;
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
    // "\033[K" erases what a longer earlier text left to the right.
    printProgress(QStringLiteral("\r%1: %2 s\033[K").arg(label).arg(seconds).toUtf8().constData());
}

void Countdown::clear()
{
    if (!shown)
        return;
    shown = false;
    lastSeconds = -1;
    printProgress("\r\033[K");
}
