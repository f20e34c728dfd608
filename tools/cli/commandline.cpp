// SPDX-License-Identifier: MIT
#include "commandline.h"

#include "boardsettings.h"
#include "clioutput.h"
#include "commands.h"
#include "devicetext.h"
#include "tooltext.h"

namespace {
constexpr int maxSearchTime = 60000;
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
    if (!ok || !(seconds > 1.0) || seconds * 1000 > maxSearchTime) {
        error = QStringLiteral("--wait: \"%1\" is not a number of seconds above 1 and at most %2")
                    .arg(escapedInput(value("wait")))
                    .arg(maxSearchTime / 1000);
        return false;
    }
    ms = int(seconds * 1000 + 0.5);
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
