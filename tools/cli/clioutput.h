// SPDX-License-Identifier: MIT
#pragma once

// The ways quorvan-cli speaks: results on standard output, messages ("quorvan-cli: " in
// front) on standard error. Every write is checked, so that a full disk or a closed pipe
// never passes for a complete output: the first failure is reported on standard error
// (when that still works) and the command ends with ExitCode::output.

#include <QString>

void printOut(const QString &text);
void printError(const QString &message);
// A line about one board (what was sent, what came back) that must reach the user: when
// standard output no longer takes it, it goes to standard error instead.
void printResult(const QString &line);
// Raw text for the terminal on standard error (the countdown), checked like the rest.
void printProgress(const char *text);

// Some output went missing so far.
bool outputFailed();
// Flushes and closes both streams, and returns `code`, or ExitCode::output when any output
// went missing.
int finishOutput(int code);
