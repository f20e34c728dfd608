// SPDX-License-Identifier: MIT
#pragma once

// Driving the tool's dialogs as a user does, for the tests that write to boards.

#include <QString>
#include <QStringList>

#include <functional>

class QDialog;
class QWidget;

// Entries on the override-cursor stack, counted by popping them and pushing them back.
int cursorDepth();
QDialog *visibleDialog(const char *name);
void click(QDialog *dialog, const char *name);
// Clicks the row of the window's table that shows `mac`, then « Mettre à jour »; returns the
// settings dialog, or null when no row shows it.
QDialog *openSettings(QWidget *window, const QString &mac);
// Ends the window's running search at once, through its own timer, instead of its ten seconds.
void endSearchNow(QWidget *window);
// Replaces the text of a field as typed.
void type(QDialog *dialog, const char *field, const QString &text);
// Runs `action`, which opens message boxes in loops of their own, and answers each from inside
// its loop: Escape when `answer` is "Escape", else a click on the button captioned `answer`, or
// else Enter. Returns each box seen as "title|text|buttons", and a question as
// "title|text|buttons|default|escape" (captions).
QStringList answeringBoxes(const std::function<void()> &action, const QString &answer);
// The same, for "title|text" of the last box, empty when none came.
QString answeringQuestion(const std::function<void()> &action, const QString &answer);
