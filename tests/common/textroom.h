// SPDX-License-Identifier: MIT
#pragma once

// Whether the texts of a window are drawn whole: each text's width and height in its widget's
// font against the room the widget's style leaves for it across and up and down. The height a
// text needs is its font's ascent plus descent, whatever the glyphs of this one text reach.

#include <QFont>
#include <QStringList>

class QTableWidget;
class QWidget;

namespace TextRoom {

// A font at which the drawn geometry holds every text. Windows' font engine measures the same
// face a pixel or two wider, so the Windows build takes it a point smaller.
#ifdef Q_OS_WIN
const QFont narrowFont(QStringLiteral("DejaVu Sans Condensed"), 6);
#else
const QFont narrowFont(QStringLiteral("DejaVu Sans Condensed"), 7);
#endif

// Room for the text of a label, radio button, push button or line edit at its present width.
int room(const QWidget *widget);
// Height the same widget draws its text in, at its present height: the text is clipped to it.
int heightRoom(const QWidget *widget);
// Width of `text` in the widget's font, rounded up.
int width(const QWidget *widget, const QString &text);
// Height a line of text needs in the widget's font: ascent plus descent.
int height(const QWidget *widget);
// Room left over in a table column by its narrowest fit: its caption or one of its cells.
int columnSlack(const QTableWidget *table, int column);
// One line for every visible text below `root` (labels, buttons, line edits, and the header
// and cells of item views) that does not fit its room, naming the widget and the text.
QStringList clipped(const QWidget *root);

} // namespace TextRoom
