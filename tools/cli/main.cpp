// SPDX-License-Identifier: MIT
#include "commands.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvan-cli"));
    return runCli(QCoreApplication::arguments());
}
