// SPDX-License-Identifier: MIT
#pragma once

// Sizes that let a widget show its text whole. The forms place their widgets at pixel sizes
// drawn for a narrow 8-point font; with a larger font, or a logical resolution above 96 dots
// per inch that the toolkit does not scale away, a text can need more room than its widget
// leaves it, across or up and down.

#include <QString>

class QFont;
class QFontMetricsF;
class QSize;
class QWidget;

namespace TextFit {

// The character of `characters` that is widest in the font of `metrics`.
QChar widestOf(const QFontMetricsF &metrics, const QString &characters);
// Height one line of text takes in `font`, whatever its characters.
int lineHeight(const QFont &font);
// Size a label, radio button, push button or line edit needs for `text`: its present size, or
// more in a direction where the room its style leaves for the text is too small.
QSize neededSize(const QWidget *widget, const QString &text);

} // namespace TextFit
