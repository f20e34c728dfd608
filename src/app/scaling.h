// SPDX-License-Identifier: MIT
#pragma once

// How the tool follows the desktop's display scaling: the forms are drawn in pixels for
// 96 dots per inch, and the toolkit scales them, with their fonts and pictures, by the
// desktop's factor. To be called before the application object exists.

class QWidget;

namespace Scaling {

void enableHighDpi();

// Keeps a window, before its first show(), within the free area of its screen (the task bar
// excluded): a form drawn for 96 dots per inch is half as large again at 150 %, more than a
// 1366×768 laptop has. A window that fits is left as it is; one that does not gets the
// largest size that does, its layouts sharing the loss (the table scrolls, the buttons stay),
// and a window without a parent is placed inside that area. A dialog with a parent is kept on
// the screen by the toolkit, centred over its parent.
void fitToScreen(QWidget *window);

} // namespace Scaling
