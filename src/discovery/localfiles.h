// SPDX-License-Identifier: MIT
#pragma once

// Where the table picture and the window icon come from. Both are looked up first by their
// relative paths from the working directory, which the desktop entry lays out for them. A
// tool started from anywhere else takes the copies installed with it, and failing those the
// images built into the executable, so that the table and the window never go bare.

#include <QString>

class QWidget;

namespace LocalFiles {

// "brenik.png" in the working directory, else the installed copy, else ":/brenik.png".
QString tablePicture();
// "../../FindQuorvan/bg.ico" from the working directory, else the installed copy, else an
// embedded image.
QString windowIcon();
// Gives the window the icon of windowIcon() when its form's own relative path finds none.
void setWindowIcon(QWidget *window);

} // namespace LocalFiles
