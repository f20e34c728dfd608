// SPDX-License-Identifier: MIT
#pragma once

// The ways quorvan-cli speaks: results on standard output, messages ("quorvan-cli: " in
// front) on standard error. Every write is checked, so that a full disk or a closed pipe
// never passes for a complete output: the first failure is reported on standard error
// (when that still works) and the command ends with ExitCode::output. A write that a
// signal interrupts is tried again, unless the signal asks the command to stop: a stream
// that nobody reads would otherwise hold it for ever. The stream is then given up, and the
// command ends with the interruption's own status.

#include "filewrite.h"

#include <QByteArray>
#include <QString>

// Makes descriptors 0, 1 and 2 valid before anything opens a file: one that the command
// was started without is opened on the null device, so that no later file, socket or pipe
// of the program takes its number and receives what is meant for the stream. The commands
// then learn from inputClosedAtStart() and the output functions below that it is missing.
void reopenClosedStreams();
bool inputClosedAtStart();

void printOut(const QString &text);
void printError(const QString &message);
// A line about one board (what was sent, what came back) that must reach the user: when
// standard output no longer takes it, it goes to standard error instead.
void printResult(const QString &line);
// Raw text for the terminal on standard error (the countdown), checked like the rest.
void printProgress(const char *text);

// Some output went missing so far.
bool outputFailed();
// Closes standard output and returns `code`: the interruption's status after a signal,
// or else ExitCode::output when any output went missing.
int finishOutput(int code);
