// SPDX-License-Identifier: MIT
#include "app/scaling.h"
#include "discovery/mainwindow.h"
#include "quorvanversion.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    Scaling::enableHighDpi();
    QApplication application(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(QUORVAN_VERSION));
    MainWindow window;
    window.show();
    return application.exec();
}
