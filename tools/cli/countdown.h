// SPDX-License-Identifier: MIT
#pragma once

// The seconds left of a wait, rewritten in place on standard error when it is a terminal.
// When standard error is a pipe or a file nothing is written at all, so that logs and
// scripts see only the messages. A terminal that draws escape sequences (Unix, a Windows
// console in virtual-terminal mode that is seen to draw them) has the rest of the line
// erased by one; any other Windows console gets spaces over what a longer earlier text
// left, since it would show the escape as characters.

#include <QByteArray>
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
    // The bytes that put `text` (empty: nothing) at the start of the line in place of the
    // `previous` characters written there before, leaving the cursor after the text.
    static QByteArray redraw(const QString &text, int previous, bool escapes);

private:
    QString label;
    bool enabled = false;
    bool escapes = true;
    bool shown = false;
    int lastSeconds = -1;
    int width = 0;
#ifdef Q_OS_WIN
    unsigned long restoredMode = 0;
    bool restoreMode = false;
#endif
};
