// SPDX-License-Identifier: MIT
#pragma once

// The commands of quorvan-cli: discover, set and apply, each a plain sequence of searches,
// writes and waits on one BoardSearch. runCli() takes the whole command line (program name
// first) and returns the exit status.

#include "protocol.h"

#include <QStringList>

namespace ExitCode {
constexpr int ok = 0;
constexpr int usage = 1;     // a wrong command line or file; nothing was sent
constexpr int notFound = 2;  // the board did not answer the first search
constexpr int differs = 3;   // the board came back with other settings than it was sent
constexpr int notBack = 4;   // the board did not answer the search after its restart
constexpr int noNetwork = 5; // no IPv4 address, or UDP port 4022 held or unavailable
// Different replies claim the board's MAC, or none has the IP the user expects; nothing
// was sent.
constexpr int conflict = 6;
constexpr int partial = 7; // a search could not query every card (see the warnings)
// Standard output or standard error could not be written (a full disk, a closed pipe):
// what the user was shown is not complete.
constexpr int output = 8;
// After the restart several replies claim the MAC and none can be told to be the board: none
// carries the IP that was sent, or it differs from what was sent, or DHCP is on.
constexpr int cannotTell = 9;
// SIGINT, SIGTERM and SIGHUP end a command with 128 + the signal's number, 130, 143 and
// 129, even when output went missing meanwhile.
} // namespace ExitCode

// Milliseconds between the write and the new search, 20 s as in the window. The
// environment variable QUORVAN_CLI_RESTART_WAIT_MS changes it, for the tests.
constexpr int defaultRestartWait = restartWaitMs;
constexpr int defaultSearchTime = searchDurationMs;

int runCli(const QStringList &arguments);

// The commands, each with the arguments after its name (the program name first).
int runDiscover(const QStringList &arguments);
int runSet(const QStringList &arguments);
int runApply(const QStringList &arguments);
