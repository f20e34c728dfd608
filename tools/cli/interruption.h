// SPDX-License-Identifier: MIT
#pragma once

// Ctrl+C, termination requests and a lost terminal while quorvan-cli waits. The handlers only note
// the signal; the searches and waits look at the note and end early, so that the command can still
// say what it sent and wipe its countdown before it exits with 128 + the signal's number, as a
// shell reports a process killed by it. A broken pipe on standard output is ignored instead of
// killing the process: the failed write is then reported like any other output error.

#include "filewrite.h"

#include <QString>
#include <QStringList>

void catchInterruptions();
// What the command would print if it were interrupted now: result lines for standard output
// and the closing message for standard error, "%1" standing for the signal's name. A second
// Ctrl+C or Ctrl+Break on Windows prints them and ends the process at once, whatever the
// command is stuck in (a read of standard input, a console held by a selection); on Unix a
// second signal kills the process as the signal's default would.
void setInterruptedLines(const QStringList &results, const QString &message);
// The exit status for the interruption.
int interruptedExitCode();
