// SPDX-License-Identifier: MIT
#include "commandline.h"

#include "boardsettings.h"
#include "clioutput.h"
#include "commands.h"
#include "devicetext.h"
#include "tooltext.h"

#include <cmath>

namespace {
constexpr int maxSearchTime = 60000;
// The first query goes out after one interval; the replies need a moment to come back and
// be read. Below this, a search would send nothing or listen to nothing.
constexpr int minSearchTime = queryIntervalMs + 500;
constexpr int maxRestartWait = 600000;
} // namespace

CommandLine::CommandLine(const QStringList &arguments) : arguments(arguments)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    add({QStringLiteral("h"), QStringLiteral("help")});
}

void CommandLine::add(const QStringList &names, const QString &valueName, bool repeatable)
{
    if (repeatable)
        repeatables << names;
    QCommandLineOption option(names);
    if (!valueName.isEmpty())
        option.setValueName(valueName);
    parser.addOption(option);
}

bool CommandLine::parse(QString &error, bool &help)
{
    if (!parser.parse(arguments)) {
        error = escapedInput(parser.errorText());
        return false;
    }
    help = parser.isSet(QStringLiteral("help"));
    for (const QString &name : parser.optionNames()) {
        if (parser.optionNames().count(name) > 1 && !repeatables.contains(name)) {
            error = QStringLiteral("--%1 is given more than once").arg(name);
            return false;
        }
    }
    return true;
}

int CommandLine::parseCommand(const char *helpText, int &searchMs)
{
    QString error;
    bool help = false;
    if (!parse(error, help) || (!help && !searchTime(searchMs, error))) {
        printError(error);
        return ExitCode::usage;
    }
    if (help) {
        printOut(QString::fromLatin1(helpText));
        return ExitCode::ok;
    }
    return -1;
}

bool CommandLine::searchTime(int &ms, QString &error) const
{
    ms = defaultSearchTime;
    if (!isSet("wait"))
        return true;
    bool ok = false;
    const double seconds = value("wait").toDouble(&ok);
    // Rounded to the millisecond first, so that the check holds for what is used.
    const double rounded = ok ? std::floor(seconds * 1000 + 0.5) : 0;
    if (!ok || !(rounded >= minSearchTime) || rounded > maxSearchTime) {
        error = QStringLiteral("--wait: \"%1\" is not a number of seconds from %2 to %3 (the first "
                               "query goes out at %4 s)")
                    .arg(escapedInput(value("wait")))
                    .arg(minSearchTime / 1000.0)
                    .arg(maxSearchTime / 1000)
                    .arg(queryIntervalMs / 1000);
        return false;
    }
    ms = int(rounded);
    return true;
}

bool restartWait(int &ms, QString &error)
{
    ms = defaultRestartWait;
    const QByteArray text = qgetenv("QUORVAN_CLI_RESTART_WAIT_MS");
    if (text.isEmpty())
        return true;
    bool ok = false;
    ms = text.toInt(&ok);
    if (!ok || ms < 0 || ms > maxRestartWait) {
        error = QStringLiteral("QUORVAN_CLI_RESTART_WAIT_MS: \"%1\" is not a number of "
                               "milliseconds from 0 to %2")
                    .arg(escapedInput(QString::fromLocal8Bit(text)))
                    .arg(maxRestartWait);
        return false;
    }
    printError(QStringLiteral("warning: QUORVAN_CLI_RESTART_WAIT_MS is set: the restart wait is "
                              "%1 ms instead of the %2 s that real boards need")
                   .arg(ms)
                   .arg(defaultRestartWait / 1000));
    return true;
}

QString addressSyntaxError(const QString &field, const QString &text)
{
    return field + QStringLiteral(": ") + notAnAddress(text);
}

bool readAddressOption(const CommandLine &line, const char *name, std::optional<Address> &out,
                       QString &error)
{
    if (!line.isSet(name))
        return true;
    Address address{};
    if (!parseAddressText(line.value(name), address)) {
        error = addressSyntaxError(QStringLiteral("--") + QLatin1String(name), line.value(name));
        return false;
    }
    out = address;
    return true;
}
