// SPDX-License-Identifier: MIT
#pragma once

// The low level of a checked write, for quorvan-cli's streams and for the list files of both
// programs: every byte written or the system's reason, and the request to stop that a
// command-line handler notes (a signal, or Ctrl+C on a console), which ends a write that
// would otherwise wait for ever on a pipe nobody reads. The window notes none.

#include <QByteArray>
#include <QString>

// Notes the number of the signal that asks the program to stop; false when one was noted
// already. Safe in a signal handler.
bool noteInterruption(int number);
// 0, or the number of the signal that asked the program to stop.
int interruption();
// "SIGINT", "SIGTERM" or "SIGHUP".
QString interruptionName();

// Writes all of `bytes` to the descriptor, again after a signal that does not stop the
// command; false with `error` set (EINTR when the command was asked to stop).
bool writeAll(int fd, const QByteArray &bytes, int &error);
// The system's text for an errno value, in English like every other message of the command
// line, whatever the language of the user's locale.
QString systemErrorText(int error);
