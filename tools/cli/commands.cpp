// SPDX-License-Identifier: MIT
#include "commands.h"

#include "clioutput.h"
#include "quorvanversion.h"
#include "tooltext.h"

namespace {

const char generalHelp[] =
    "Usage: quorvan-cli COMMAND [OPTIONS]\n"
    "\n"
    "Finds the network boards on UDP port 4022 and changes their network settings, as the\n"
    "quorvan-config window does.\n"
    "\n"
    "Commands:\n"
    "  discover   list every board that answers a search\n"
    "  set        change the settings of one board and check that it took them\n"
    "  apply      change the settings of the boards listed in a CSV file\n"
    "\n"
    "quorvan-cli help COMMAND (or quorvan-cli COMMAND --help) tells more about a command.\n"
    "\n"
    "Exit status: 0 done, 1 wrong command line, file or setting (nothing sent), 2 board not\n"
    "found, 3 board came back with other settings, 4 board did not come back, 5 UDP port\n"
    "4022 unavailable, 6 different replies for one MAC (nothing sent), 7 a search could not\n"
    "query every card or lost replies to a full receive buffer, 8 output could not be\n"
    "written (full disk, closed pipe), 9 after the restart different replies claim the MAC\n"
    "and none can be told to be the board, 130, 143 and 129 interrupted by SIGINT (Ctrl+C),\n"
    "SIGTERM or SIGHUP.\n";

} // namespace

int runCli(const QStringList &arguments)
{
    QString command = arguments.value(1);
    QStringList rest = QStringList{arguments.value(0)} + arguments.mid(2);
    // "help set" is "set --help".
    if (command == QLatin1String("help") && arguments.size() > 2) {
        command = arguments.at(2);
        rest = QStringList{arguments.value(0), QStringLiteral("--help")};
        if (arguments.size() > 3) {
            printError(QStringLiteral("help takes one command"));
            return ExitCode::usage;
        }
    }
    if (command == QLatin1String("discover"))
        return runDiscover(rest);
    if (command == QLatin1String("set"))
        return runSet(rest);
    if (command == QLatin1String("apply"))
        return runApply(rest);
    if (command == QLatin1String("-h") || command == QLatin1String("--help") ||
        command == QLatin1String("help")) {
        printOut(QString::fromLatin1(generalHelp));
        return ExitCode::ok;
    }
    if (command == QLatin1String("--version") && arguments.size() > 2) {
        printError(QStringLiteral("--version takes no argument: \"%1\"")
                       .arg(escapedInput(arguments.at(2))));
        return ExitCode::usage;
    }
    if (command == QLatin1String("--version")) {
        printOut(QStringLiteral("quorvan-cli %1\n").arg(QLatin1String(QUORVAN_VERSION)));
        return ExitCode::ok;
    }
    if (command.isEmpty())
        printError(
            QStringLiteral("a command is needed: discover, set or apply (quorvan-cli --help)"));
    else
        printError(
            QStringLiteral("unknown command \"%1\": discover, set or apply (quorvan-cli --help)")
                .arg(escapedInput(command)));
    return ExitCode::usage;
}
