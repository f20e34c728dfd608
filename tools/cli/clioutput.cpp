// SPDX-License-Identifier: MIT
#include "clioutput.h"

#include <cstdio>

void printOut(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void printError(const QString &message)
{
    std::fprintf(stderr, "quorvan-cli: %s\n", message.toUtf8().constData());
    std::fflush(stderr);
}
