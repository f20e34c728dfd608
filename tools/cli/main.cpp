// SPDX-License-Identifier: MIT
#include "clioutput.h"
#include "commands.h"
#include "interruption.h"
#include "quorvanversion.h"
#include "tooltext.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    // Before Qt opens its own descriptors, which would take the number of a missing one.
    reopenClosedStreams();
    catchInterruptions();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvan-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVAN_VERSION));
#ifdef Q_OS_UNIX
    // The arguments as the system gives them: a file name that is not UTF-8 must still
    // open, and QCoreApplication::arguments() would replace its odd bytes.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << systemText(QByteArray(argv[i]));
#else
    const QStringList arguments = QCoreApplication::arguments();
#endif
    return finishOutput(runCli(arguments));
}
