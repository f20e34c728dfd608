// SPDX-License-Identifier: MIT
#pragma once

// The seconds left of a wait, rewritten in place on standard error when it is a terminal.
// When standard error is a pipe or a file nothing is written at all, so that logs and
// scripts see only the messages.

#include <QString>

class Countdown
{
public:
    explicit Countdown(const QString &label);
    ~Countdown();
    Countdown(const Countdown &) = delete;
    Countdown &operator=(const Countdown &) = delete;

    void show(int msLeft);
    // Wipes the line, so that the next message starts on a clean one.
    void clear();

    static bool isTerminal();

private:
    QString label;
    bool enabled = false;
    bool shown = false;
    int lastSeconds = -1;
};
