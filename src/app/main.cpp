// SPDX-License-Identifier: MIT
#include "app/scaling.h"
#include "discovery/mainwindow.h"
#include "quorvanversion.h"

#include <QApplication>
#include <QGuiApplication>

int main(int argc, char *argv[])
{
    Scaling::enableHighDpi();
    QApplication application(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(QUORVAN_VERSION));
    // Ties the window to its desktop entry: Wayland compositors take this as the window's
    // application id; on X11 the entry's StartupWMClass names the window's WM_CLASS.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUORVAN_DESKTOP_ID));
    MainWindow window;
    Scaling::fitToScreen(&window);
    window.show();
    return application.exec();
}
