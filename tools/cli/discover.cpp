// SPDX-License-Identifier: MIT
#include "boardoutput.h"
#include "boardsearch.h"
#include "clioutput.h"
#include "commandline.h"
#include "commands.h"
#include "interruption.h"
#include "networkwarnings.h"
#include "outputfile.h"
#include "searchsteps.h"
#include "tooltext.h"

#include <utility>

namespace {

const char discoverHelp[] =
    "Usage: quorvan-cli discover [--format table|csv|json] [--output FILE] [--wait SECONDS]\n"
    "\n"
    "Sends the discovery query four times, one second apart, through every local address\n"
    "and lists every board that answers within ten seconds, once, as its first reply showed\n"
    "it, with the local address and interface the reply arrived on.\n"
    "\n"
    "  --format FORMAT   table (default), csv (the input of apply) or json\n"
    "  --output FILE     write the list into FILE instead of standard output; FILE is\n"
    "                    replaced only once the whole list is on the disk, and keeps its\n"
    "                    mode; a device or a named pipe is written as it is\n"
    "  --wait SECONDS    listen this long instead of 10 s (1.5 to 60: the first query goes\n"
    "                    out at 1 s); only the queries that fit are sent\n"
    "  -h, --help        this text\n"
    "\n"
    "In the table, - is an empty or unreported value (a board text that is - itself shows\n"
    "as \\x2d). In CSV, a cell that begins with = + - @ ' a tab or a carriage return gets a\n"
    "' in front, so that no spreadsheet takes it for a formula; apply reads it back.\n"
    "\n"
    "Warnings (standard error, and \"warnings\" in JSON): two boards with one IP address,\n"
    "different replies for one MAC, a board in no subnet of the card it answered through, a\n"
    "board holding an address of this PC (the first 20 of each kind, the rest counted), and\n"
    "the search's own: a card that could not be searched, more boards than are listed,\n"
    "replies that the system dropped (Linux: they came faster than they could be read).\n"
    "\n"
    "Exit status: 0 done (also when no board answers), 1 wrong command line, 5 no network\n"
    "card, or UDP port 4022 unavailable on every card, 7 a search could not query every card,\n"
    "lost replies that the system dropped, or heard more than 20000 boards (only the first\n"
    "20000 are listed), 8 output could not be written (full disk, closed pipe; FILE is then\n"
    "left as it was), 130, 143 and 129 interrupted by SIGINT (Ctrl+C), SIGTERM or SIGHUP.\n";

} // namespace

int runDiscover(const QStringList &arguments)
{
    CommandLine line(arguments);
    line.add({QStringLiteral("format")}, QStringLiteral("FORMAT"));
    line.add({QStringLiteral("output")}, QStringLiteral("FILE"));
    line.add({QStringLiteral("wait")}, QStringLiteral("SECONDS"));
    int searchMs = 0;
    if (const int code = line.parseCommand(discoverHelp, searchMs); code >= 0)
        return code;
    if (!line.positional().isEmpty()) {
        printError(QStringLiteral("discover takes no argument: \"%1\"")
                       .arg(escapedInput(line.positional().first())));
        return ExitCode::usage;
    }
    OutputFormat format = OutputFormat::Table;
    const QString formatName =
        line.isSet("format") ? line.value("format") : QStringLiteral("table");
    if (formatName == QLatin1String("csv"))
        format = OutputFormat::Csv;
    else if (formatName == QLatin1String("json"))
        format = OutputFormat::Json;
    else if (formatName != QLatin1String("table")) {
        printError(QStringLiteral("--format: \"%1\" is none of table, csv, json")
                       .arg(escapedInput(formatName)));
        return ExitCode::usage;
    }

    // Checked before the search, so that a wrong name is told at once; the file itself is
    // replaced only once the last byte is on the disk.
    OutputFile file;
    const bool toFile = line.isSet("output");
    const QString outputName = escapedInput(line.value("output"));
    QString error;
    if (toFile && line.value("output").isEmpty()) {
        printError(QStringLiteral("--output: the file name is empty"));
        return ExitCode::usage;
    }
    if (toFile && !file.open(line.value("output"), error)) {
        printError(QStringLiteral("--output: %1: %2").arg(outputName, error));
        return ExitCode::usage;
    }

    BoardSearch search;
    QVector<FoundBoard> firstBoards;
    QStringList warnings;
    if (const int code = firstSearch(search, searchMs, false, firstBoards, &warnings); code >= 0)
        return code;
    // Const, so that no loop detaches it from the search's own list: pointers into it must
    // stay valid while later searches replace that list.
    const QVector<FoundBoard> boards = std::move(firstBoards);
    // The list holds every warning that was printed, the search's own first.
    for (const QString &warning : boardWarnings(boards, localNetworks())) {
        printError(QStringLiteral("warning: ") + warning);
        warnings << warning;
    }
    if (boards.isEmpty())
        printError(QStringLiteral("no board answered"));
    QString text;
    switch (format) {
    case OutputFormat::Table:
        text = formatTable(boards);
        break;
    case OutputFormat::Csv:
        text = formatCsv(boards);
        break;
    case OutputFormat::Json:
        text = formatJson(boards, warnings);
        break;
    }
    if (!toFile) {
        printOut(text);
    } else if (!file.write(text.toUtf8(), error)) {
        printError(
            QStringLiteral("--output: %1 could not be written (%2)%3")
                .arg(outputName, error,
                     file.keptAsItWas() ? QStringLiteral("; it is left as it was") : QString()));
        return interruption() ? interruptedExitCode() : ExitCode::output;
    }
    return search.incomplete() ? ExitCode::partial : ExitCode::ok;
}
