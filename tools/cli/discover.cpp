// SPDX-License-Identifier: MIT
#include "boardoutput.h"
#include "boardsearch.h"
#include "clioutput.h"
#include "commandline.h"
#include "commands.h"
#include "interruption.h"
#include "networkwarnings.h"
#include "searchsteps.h"
#include "tooltext.h"

#include <QFile>
#include <QSaveFile>

#include <memory>

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
    "                    replaced only once the whole list is written\n"
    "  --wait SECONDS    listen this long instead of 10 s (1.5 to 60: the first query goes\n"
    "                    out at 1 s); only the queries that fit are sent\n"
    "  -h, --help        this text\n"
    "\n"
    "In the table, - is an empty or unreported value (a board text that is - itself shows\n"
    "as \\x2d). In CSV, a cell that begins with = + - @ ' a tab or a carriage return gets a\n"
    "' in front, so that no spreadsheet takes it for a formula; apply reads it back.\n"
    "\n"
    "Warnings (standard error, and \"warnings\" in JSON): two boards with one IP address,\n"
    "different replies for one MAC, a board in no subnet of this PC, a board holding an\n"
    "address of this PC, replies that the system dropped (Linux: they came faster than they\n"
    "could be read).\n"
    "\n"
    "Exit status: 0 done (also when no board answers), 1 wrong command line, 5 no network\n"
    "card, or UDP port 4022 unavailable on every card, 7 a search could not query every card,\n"
    "lost replies that the system dropped, or heard more than 20000 boards (only the first\n"
    "20000 are listed), 8 output could not be\n"
    "written (full disk, closed pipe; FILE is then left as it was), 130 and 143 interrupted\n"
    "by SIGINT (Ctrl+C) or SIGTERM.\n";

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

    // Opened before the search, so that a wrong name is told at once; the file itself is
    // replaced only by commit(), after the last byte was written.
    std::unique_ptr<QSaveFile> file;
    const QString outputName = escapedInput(line.value("output"));
    if (line.isSet("output")) {
        const QString name = line.value("output");
#ifdef Q_OS_UNIX
        // A Unix name is bytes, and QFile writes names in UTF-8: bytes that are not UTF-8
        // would name another file. Windows takes the name as Unicode, whatever the code page.
        if (QFile::encodeName(name) != systemBytes(name)) {
            printError(QStringLiteral("--output: %1: the name is not UTF-8, give another one")
                           .arg(outputName));
            return ExitCode::usage;
        }
#endif
        file = std::make_unique<QSaveFile>(name);
        if (!file->open(QIODevice::WriteOnly)) {
            printError(QStringLiteral("--output: %1: %2").arg(outputName, file->errorString()));
            return ExitCode::usage;
        }
    }

    BoardSearch search;
    QVector<FoundBoard> firstBoards;
    if (const int code = firstSearch(search, searchMs, false, firstBoards); code >= 0)
        return code;
    // Const, so that no loop detaches it from the search's own list: pointers into it must
    // stay valid while later searches replace that list.
    const QVector<FoundBoard> boards = std::move(firstBoards);
    QStringList warnings = boardWarnings(boards, localNetworks());
    for (const QString &warning : std::as_const(warnings))
        printError(QStringLiteral("warning: ") + warning);
    // Printed with the search's own warnings; the list must say it too.
    if (search.dropped() > 0)
        warnings.prepend(BoardSearch::dropWarning(search.dropped()));
    if (search.capped())
        warnings.prepend(BoardSearch::capWarning());
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
    if (!file) {
        printOut(text);
    } else {
        const QByteArray bytes = text.toUtf8();
        if (file->write(bytes) != bytes.size() || !file->commit()) {
            printError(
                QStringLiteral("--output: %1 could not be written (%2); it is left as it was")
                    .arg(outputName, file->errorString()));
            return ExitCode::output;
        }
    }
    return search.incomplete() ? ExitCode::partial : ExitCode::ok;
}
