// SPDX-License-Identifier: MIT
#pragma once

// Driving the tool's dialogs as a user does, for the tests that write to boards.

#include <QString>

#include <functional>

class QDialog;

// Entries on the override-cursor stack, counted by popping them and pushing them back.
int cursorDepth();
QDialog *visibleDialog(const char *name);
void click(QDialog *dialog, const char *name);
// Replaces the text of a field as typed.
void type(QDialog *dialog, const char *field, const QString &text);
// Runs `action`, which opens question boxes in loops of their own, and answers each with the
// button captioned `answer` (Escape when there is none); returns "title|text" of the last
// box, empty when none came.
QString answeringQuestion(const std::function<void()> &action, const QString &answer);
