// SPDX-License-Identifier: MIT
#include "scaling.h"

#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {

// Until a window has been shown the system has not said how wide its frame is: Windows 10's
// caption and borders, in the window's own pixels at any scale, wider than those of most X
// window managers.
constexpr QMargins assumedFrame(8, 31, 8, 8);

} // namespace

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

void fitToScreen(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    QMargins frame = assumedFrame;
    if (const QWindow *handle = window->windowHandle(); handle && !handle->frameMargins().isNull())
        frame = handle->frameMargins();
    const QSize room = available.size().shrunkBy(frame);
    if (room.isEmpty() || window->size().boundedTo(room) == window->size())
        return;
    // Below its layouts' minimum the toolkit keeps the minimum.
    window->resize(window->size().boundedTo(room));
    if (window->parentWidget())
        return;
    // Where the system would have placed it, a window this large would cross the area's edge.
    const QSize outer = window->size().grownBy(frame);
    window->move(available.x() + qMax(0, (available.width() - outer.width()) / 2),
                 available.y() + qMax(0, (available.height() - outer.height()) / 2));
}

} // namespace Scaling
