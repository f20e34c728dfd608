// SPDX-License-Identifier: MIT
#pragma once

// What every command of quorvan-cli shares: its options, their parsing and one-line errors.

#include "settingstext.h"

#include <QCommandLineParser>
#include <QStringList>

#include <optional>

class CommandLine
{
public:
    explicit CommandLine(const QStringList &arguments);

    void add(const QStringList &names, const QString &valueName = QString(),
             bool repeatable = false);

    // False with `error` set on a usage error; `help` when --help was asked for.
    bool parse(QString &error, bool &help);

    // The options and the search time, with the help text or the one-line error printed:
    // the exit code when the command ends here, or -1 when it goes on.
    int parseCommand(const char *helpText, int &searchMs);

    bool isSet(const char *name) const { return parser.isSet(QLatin1String(name)); }
    QString value(const char *name) const { return parser.value(QLatin1String(name)); }
    QStringList values(const char *name) const { return parser.values(QLatin1String(name)); }
    QStringList positional() const { return parser.positionalArguments(); }

    // --wait in seconds, as a number of milliseconds.
    bool searchTime(int &ms, QString &error) const;

private:
    QStringList arguments;
    QStringList repeatables;
    QCommandLineParser parser;
};

// The wait for the restart in milliseconds: 20 s, or QUORVAN_CLI_RESTART_WAIT_MS, which
// is said at once on standard error, since real boards need the 20 s and a variable left
// over from a test would cut the wait short unseen.
bool restartWait(int &ms, QString &error);

QString addressSyntaxError(const QString &field, const QString &text);

// An optional address option, in `out`; false with `error` set when it is malformed.
bool readAddressOption(const CommandLine &line, const char *name, std::optional<Address> &out,
                       QString &error);
