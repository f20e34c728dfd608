// SPDX-License-Identifier: MIT
#include "scaling.h"

#include <QGuiApplication>

namespace Scaling {

// Windows' 125 % and 150 % are taken as they are rather than rounded to 100 % or 200 %.
// The toolkit lets the user's own QT_ENABLE_HIGHDPI_SCALING=0 (or the older
// QT_AUTO_SCREEN_SCALE_FACTOR=0) switch the scaling off, and QT_SCALE_FACTOR_ROUNDING_POLICY
// replace the rounding set here; the widgets then make room for their texts themselves.
void enableHighDpi()
{
    // Qt 6 always scales and always uses high-DPI pixmaps; both attributes are deprecated there.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

} // namespace Scaling
