// SPDX-License-Identifier: MIT
#pragma once

// How the tool follows the desktop's display scaling: the forms are drawn in pixels for
// 96 dots per inch, and the toolkit scales them, with their fonts and pictures, by the
// desktop's factor. To be called before the application object exists.

namespace Scaling {

void enableHighDpi();

} // namespace Scaling
