// SPDX-License-Identifier: MIT
#include "common/boards.h"
#include "common/netlab.h"
#include "common/testsupport.h"

#include "applyfile.h"
#include "boardoutput.h"
#include "boardsettings.h"
#include "countdown.h"
#include "networkwarnings.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUdpSocket>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <functional>
#include <memory>

namespace {

// Each search listens this long: one query goes out at 1 s.
const QString shortSearch = QStringLiteral("2");

struct CliRun
{
    int code = -1;
    QString out;
    QString err;
};

// The real executable (or `script` around it), in the test's namespace and environment.
CliRun cli(const QStringList &arguments, const QByteArray &input = QByteArray(),
           const QString &program = QStringLiteral(QUORVAN_CLI),
           const std::function<void(QProcess &)> &meanwhile = {})
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (meanwhile)
        meanwhile(process);
    // Room for the longest runs (a search of a burst of replies) under the sanitizers.
    if (!process.waitForFinished(150000)) {
        process.kill();
        process.waitForFinished();
    }
    const CliRun run{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                     QString::fromUtf8(process.readAllStandardOutput()),
                     QString::fromUtf8(process.readAllStandardError())};
    // The simulators' logs are read by the event loop, which did not run while waiting.
    QTest::qWait(150);
    return run;
}

QString describe(const CliRun &run)
{
    return QStringLiteral("exit %1\nstdout:\n%2\nstderr:\n%3").arg(run.code).arg(run.out, run.err);
}

QStringList lines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Each text cut to the length of the start expected at its place: equal to `starts` exactly
// when there are as many texts and each begins with its start.
QStringList cutTo(QStringList texts, const QStringList &starts)
{
    for (int i = 0; i < std::min(texts.size(), starts.size()); ++i)
        texts[i].truncate(starts.at(i).size());
    return texts;
}

// "off 10.0.0.20 255.255.255.0 10.0.0.254": dhcp, ip, mask and gateway.
DeviceRecord record(const QString &text)
{
    DeviceRecord out{};
    out.dhcp = text.startsWith(QLatin1String("on")) ? 1 : 0;
    for (int field = IpField; field <= GatewayField; ++field) {
        Address address{};
        parseAddressText(text.section(QLatin1Char(' '), field + 1, field + 1), address);
        std::copy(address.cbegin(), address.cend(), addressOf(out, field));
    }
    return out;
}

// Arguments are separated by spaces; "#" stands for "2:0:00:00:00:0", the start of the boards'
// MACs. In messages: "%T" #1's write of the IP 10.77.0.30, "%S" the settings after the IP that a
// write of a new IP keeps, "%W" the warning of a restart wait shortened to 20000 ms, "%U" the end
// of an interruption after writes, "%D" standard output failing on a full disk.
QString text(const char *in)
{
    return QString::fromUtf8(in)
        .replace("%T", "#1: sent dhcp off, ip 10.77.0.30%S\n")
        .replace('#', "2:0:00:00:00:0")
        .replace("%S", ", mask 255.255.255.0, gateway 10.77.0.254, dns 10.77.0.254, level2 off")
        .replace("%W", "quorvan-cli: warning: QUORVAN_CLI_RESTART_WAIT_MS is set: the restart "
                       "wait is 20000 ms instead of the 20 s that real boards need\n")
        .replace("%U", " before the check: the settings above were sent but not verified\n")
        .replace("%D", "quorvan-cli: standard output could not be written (No space left on "
                       "device)\n");
}

// The rows of TestCli::commands(), in three sets that CTest runs side by side: those refused
// or helped before a search with those that are not checked after a restart, those with a
// shell around the command or a signal during it, and those checked after a restart.
enum class CommandRows { Plain, Special, Verified };

void commandRows(CommandRows rows)
{
    const bool verified = rows == CommandRows::Verified;
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input"); // the file of "apply -"
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message"); // in the error, or the start of the help or output
    // Empty, or how the command runs: "SIGINT 2" is SIGINT once the boards heard two writes
    // (0: half a second after the start), anything else a bash command line, run in a new
    // folder, in which "@" stands for the command with its arguments.
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("traffic"); // "writes/queries" the boards hear, when "how" is set
    const auto early = [&](const char *tag, const char *arguments, const char *message,
                           const QByteArray &input = QByteArray()) {
        if (rows == CommandRows::Plain)
            QTest::newRow(tag) << text(arguments).split(QLatin1Char(' '), Qt::SkipEmptyParts)
                               << input << (strncmp(message, "Usage", 5) ? 1 : 0) << text(message)
                               << QString() << QString();
    };
    const auto special = [&](const char *tag, const char *arguments, const char *how, int code,
                             const char *traffic, const char *message,
                             const QByteArray &input = QByteArray()) {
        if (rows == CommandRows::Special)
            QTest::newRow(tag) << text(arguments).split(' ') << input << code << text(message)
                               << QString(how) << QString(traffic);
    };
    const auto row = [&](const char *tag, const char *arguments, int code, const char *message,
                         const QByteArray &input = QByteArray()) {
        if (rows != CommandRows::Special &&
            verified == ((code == 0 || code == 3 || code == 4 || code == 9) &&
                         !strstr(arguments, "no-verify")))
            QTest::newRow(tag) << (text(arguments).split(' ') << "--wait" << shortSearch) << input
                               << code << text(message) << QString() << QString();
    };
    early("help discover", "help discover", "Usage: quorvan-cli discover");
    early("apply --help", "apply --help", "Usage: quorvan-cli apply");
    early("--help", "--help", "Usage: quorvan-cli COMMAND");
    early("ip", "set #1 --ip 10.77.0.256",
          "quorvan-cli: --ip: \"10.77.0.256\" is not an address: four numbers from 0 to 255");
    early("escapes", "set #1 --dns \x1b]0;x\x07\x1b[2J", "--dns: \"\\x1b]0;x\\x07\\x1b[2J\"");
    early("expected ip", "set #1 --ip 10.77.0.99 --expect-ip 10.77.0", "--expect-ip: \"10.77.0\"");
    early("dhcp on with address", "set #1 --dhcp on --ip 10.77.0.99", "--dhcp on keeps the");
    early("unknown command", "\x1b]0;title\x07", "unknown command \"\\x1b]0;title\\x07\"");
    early("help", "help frobnicate", "unknown command \"frobnicate\"");
    early("version with an argument", "--version extra", "--version takes no argument: \"extra\"");
    early("endless file", "apply /dev/zero", "larger than 1024 KiB, too large for a list");
    early("wrong line", "apply -", "line 3: mask: \"255.255.0\" is not an address",
          "mac,ip,mask\n2:0:00:00:00:01,10.77.0.30,\n2:0:00:00:00:02,10.77.0.31,255.255.0\n");
    early("escapes in the file", "apply -", "line 1: unknown column \"t\\x07\"",
          "MAC;IP;\x1b]0;t\x07;\n");
    // The first query goes out at 1 s and its replies need a moment.
    early("wait just above 1", "discover --wait=1.0004",
          "--wait: \"1.0004\" is not a number of seconds from 1.5 to 60");
    early("two expected IPs for one board",
          "apply - --expect-ip #1=10.77.0.20 --expect-ip 2-0-0-0-0-1=10.77.0.21",
          "--expect-ip: #1 is given two IPs, 10.77.0.20 and 10.77.0.21", "mac\n#1\n");
    early("expected IP of a board not in the file", "apply - --expect-ip #2=10.77.0.21",
          "--expect-ip: #2 is not listed in the file", "mac\n2:0:00:00:00:01\n");
    early("long argument", ("set " + QByteArray(1000, 'x')).constData(),
          ("quorvan-cli: \"" + QByteArray(200, 'x') + "\xe2\x80\xa6\" is not a MAC").constData());
    // Output that went missing: the results that stdout could not take reach stderr.
    special("help to a full disk", "help set", "@ >/dev/full", 8, "0/0", "%D");
    // The system's texts in English, as every other message, under a French locale.
    special("discover to a full disk", "discover --wait 2",
            "LANG=fr_FR.UTF-8 LC_ALL=fr_FR.UTF-8 @ >/dev/full", 8, "0/1", "%D");
    special("set to a full disk", "set #1 --ip 10.77.0.30 --no-verify --wait 2", "@ >/dev/full", 8,
            "1/1", "%Dquorvan-cli: #1: sent dhcp off, ip 10.77.0.30, mask 255.255.255.0,");
    special("set into a closed pipe", "set #1 --ip 10.77.0.30 --wait 2",
            "@ | true; exit ${PIPESTATUS[0]}", 8, "1/2",
            "quorvan-cli: standard output could not be written (Broken pipe)\n"
            "quorvan-cli: %Tquorvan-cli: #1: applied\n");
    // --output: a file is replaced whole, with its mode, or not at all; anything else is
    // written as it is. The disk is a tmpfs of four pages, full or with one page free for a
    // JSON list of three.
    special("discover into a file", "discover --format csv --output l.csv --wait 2",
            "echo old >l.csv && chmod 444 l.csv && @ && stat -c 'mode %a' l.csv && "
            "grep -e ^mac -e ^2:0:00:00:00:01, l.csv",
            0, "0/1",
            "mode 444\nmac,ip,mask,gateway,dns,dhcp,port,level2,version,layout,local_address,"
            "interface,via\n#1,10.77.0.20,255.255.255.0,10.77.0.254,10.77.0.254,off,502,off,"
            "V2.10.00,long,");
    for (const char *fill : {"12288", "8192"}) {
        const QByteArray tag =
            QByteArray("discover into a file on a disk with ") + fill + " of 16384 bytes taken";
        special(tag.constData(), "discover --format json --output l.csv --wait 2",
                QByteArray("exec unshare --mount bash -c 'mount -t tmpfs "
                           "-o size=16k q . && cd \"$PWD\" && echo old >l.csv && head -c " +
                           QByteArray(fill) +
                           " /dev/zero >fill && { @; c=$?; echo \"quorvan-cli: $(ls -A | "
                           "xargs) $(cat l.csv)\" >&2; exit $c; }' \"$0\" $*")
                    .constData(),
                8, "0/1",
                "quorvan-cli: --output: l.csv could not be written (No space left on device); it "
                "is left as it was\nquorvan-cli: fill l.csv old\n");
    }
    special("discover into a missing folder", "discover --output no/l.csv --wait 2", "@", 1, "0/0",
            "quorvan-cli: --output: no/l.csv: No such file or directory\n");
    special("discover into a hard-linked file", "discover --output l.csv --wait 2",
            "echo old >l.csv && ln l.csv m.csv && @", 1, "0/0",
            "quorvan-cli: --output: l.csv: the file has another name (hard links), which would "
            "keep the old content: give another name\n");
    special("discover into no file", "discover --output  --wait 2", "@", 1, "0/0",
            "quorvan-cli: --output: the file name is empty\n");
    // Without the right to make a device (in a user namespace), the null device is bound
    // onto a file instead.
    special("discover into a device", "discover --output n --wait 2",
            "{ mknod n c 1 3 2>/dev/null || { touch n && mount --bind "
            "/dev/null n; }; } && @ && stat -c %F n",
            0, "0/1", "character special file\n");
    // The reader's timeout only keeps a failing test from hanging.
    special("discover into a named pipe", "discover --format csv --output f --wait 2",
            "mkfifo f && { timeout 60 cat f >got & } && @ && wait && stat -c %F f && cat got", 0,
            "0/1", "fifo\nmac,ip,mask,");
    // Listening for 5 s leaves the reply sent after the first query (at 1 s) time to come in
    // on a busy machine.
    special(
        "41-byte reply", "discover --format csv --wait 5", "41-byte reply", 0, "0/4",
        "\n#e,10.77.0.40,255.255.255.0,10.77.0.254,10.77.0.253,off,502,,N1.00,short,10.77.0.1,");
    special("discover into standard output", "discover --format csv --output /dev/stdout --wait 2",
            "set -o pipefail; @ | cat", 0, "0/1", "mac,ip,mask,");
    // Interrupted: each board's "sent" line came when its write left, and the wait ends at
    // once with what was not verified.
    special("apply interrupted after its writes", "apply - --wait 2", "SIGINT 2", 130, "2/1",
            "%T0:50:c2:0d:e4:05: sent dhcp off, ip 10.77.0.31%S\n"
            "#1: not verified (interrupted)\n0:50:c2:0d:e4:05: not verified (interrupted)\n--\n"
            "%Wquorvan-cli: interrupted by SIGINT%U",
            "mac,ip\n2:0:00:00:00:01,10.77.0.30\n00:50:c2:0d:e4:05,10.77.0.31\n");
    special("set stopped before its write", "set #1 --ip 10.77.0.30 --wait 2", "SIGTERM 0", 143,
            "0/0", "--\n%Wquorvan-cli: interrupted by SIGTERM: nothing sent\n");
    // A lost terminal (an SSH session that drops) during the restart wait.
    special("set hung up after its write", "set #1 --ip 10.77.0.30 --wait 2", "SIGHUP 1", 129,
            "1/1", "%T#1: not verified (interrupted)\n--\n%Wquorvan-cli: interrupted by SIGHUP%U");
    // A lost terminal after standard output failed: the signal's status, not 8.
    special("set hung up after its output failed", "set #1 --ip 10.77.0.30 --wait 2",
            ": >e && { QUORVAN_CLI_RESTART_WAIT_MS=20000 @ >/dev/full 2>>e & "
            "c=$!; } && until grep -q ' sent ' e; do sleep 0.05; done; kill -HUP $c; wait $c; "
            "s=$?; cat e >&2; exit $s",
            129, "1/1",
            "%Dquorvan-cli: %Tquorvan-cli: #1: not verified (interrupted)\n"
            "quorvan-cli: interrupted by SIGHUP%U");
    // Standard output is a full pipe that nobody reads (dd fills it and stops): the "sent"
    // line waits in write() until SIGTERM ends it. Should the command not end, the shell's
    // end leaves the pipe without a reader, which frees it.
    special("set interrupted while its output is blocked", "set #1 --ip 10.77.0.30 --wait 2",
            "mkfifo p && exec 3<>p && { dd if=/dev/zero of=p oflag=nonblock bs=4096 2>/dev/null; "
            "true; } && { @ >&3 3>&- & c=$!; } && until grep -q pipe_write /proc/$c/wchan; do "
            "sleep 0.05; done; kill -TERM $c; wait $c",
            143, "1/1",
            "quorvan-cli: standard output could not be written (interrupted by SIGTERM)\n"
            "quorvan-cli: %Tquorvan-cli: #1: not verified (interrupted)\n"
            "quorvan-cli: interrupted by SIGTERM%U");
    special("named pipe without a writer", "apply f", "mkfifo f && @", 1, "0/0",
            "quorvan-cli: f: a named pipe that no program writes into");
    // The shell holds the pipe open for writing (and so does the command, which inherits
    // the descriptor) and writes nothing.
    special("named pipe with a silent writer", "apply f", "mkfifo f && exec 3<>f && @", 1, "0/0",
            "quorvan-cli: f: a named pipe that no program writes into");
    // Streams closed at the start: Qt's own descriptors must not take their numbers.
    special("apply from a closed standard input", "apply -", "@ <&-", 1, "0/0",
            "quorvan-cli: -: standard input is closed: give the file's name");
    special("discover into a closed standard output", "discover --wait 2", "@ >&-", 8, "0/1",
            "quorvan-cli: standard output could not be written (it was closed when the command "
            "started)\n");
    // How much of a too large file is left unread: all of a regular file, and of a stream
    // all past the byte that tells it is too large.
    special("large file left unread", "apply -",
            "head -c 2000000 /dev/zero >big && { @; c=$?; echo \"quorvan-cli: left $(wc -c)\" >&2; "
            "exit $c; } <big",
            1, "0/0", "nothing sent\nquorvan-cli: left 2000000\n");
    special("stream read up to its limit", "apply -",
            "head -c 2000000 /dev/zero | { @; c=$?; echo \"quorvan-cli: left $(wc -c)\" >&2; "
            "exit $c; }",
            1, "0/0", "nothing sent\nquorvan-cli: left 951423\n");
    special("file name that is not UTF-8", "apply b\\xe9.csv",
            "n=$(printf 'b\\351.csv') && printf 'mac\\nzz\\n' >\"$n\" && "
            "exec \"$0\" apply \"$n\"",
            1, "0/0", "quorvan-cli: b\\xe9.csv: line 2: mac: \"zz\" is not a MAC address\n");
    row("applied",
        "set 00:50:C2:0D:E4:05 --ip 10.77.0.99 --mask 255.255.0.0 --gateway 10.77.0.1 --dns "
        "10.77.0.53 --level2 on",
        0,
        "0:50:c2:0d:e4:05: sent dhcp off, ip 10.77.0.99, mask 255.255.0.0, gateway 10.77.0.1, dns "
        "10.77.0.53, level2 on\n0:50:c2:0d:e4:05: applied\n");
    // The other verdicts after a restart are rows of tst_session, on a simulated network.
    row("ignored", "set #4 --ip 10.77.0.98 --level2 on", 3,
        "#4: settings differ: ip 10.77.0.23 (sent 10.77.0.98), level2 off (sent on)\n");
    row("level2 on a V2 board", "set #1 --level2 on", 1, "--level2: board version V2.10.00 cannot");
    row("address on a DHCP board", "set #2 --ip 10.77.0.99", 1, "--ip: cannot be set with DHCP on");
    row("unknown board", "set #9 --ip 10.77.0.99", 2, "board #9 did not answer the search");
    row("address of this PC", "set #1 --ip 10.77.0.1", 1, "--ip: 10.77.0.1 is held by this PC (");
    row("address of another board", "set #1 --ip 10.77.0.21", 1,
        "--ip: 10.77.0.21 is held by board #2 (--force sends it anyway)");
    row("forced", "set #1 --ip 10.77.0.21 --force --no-verify", 0,
        "#1: sent dhcp off, ip 10.77.0.21,");
    // The level-2 code that a short-layout reply does not report is sent off, and said so.
    row("short layout", "set #d --ip 10.77.0.35 --no-verify", 0,
        "#d: sent dhcp off, ip 10.77.0.35%S (the board's short-layout reply reports no level-2 "
        "code: off is sent unless --level2 or a level2 cell names it)\n");
    row("short layout, level2 given", "set #d --ip 10.77.0.35 --level2 off --no-verify", 0,
        "#d: sent dhcp off, ip 10.77.0.35%S\n");
    row("level2 as reported, DHCP on", "set #1 --dhcp on --level2 off --no-verify", 0,
        "#1: sent dhcp on, ip 10.77.0.20%S\n");
    row("claimed MAC", "set #3 --ip 10.77.0.40", 6,
        "; give --expect-ip with the IP it reports now\n");
    row("claimed MAC, replies differ", "set #3 --ip 10.77.0.40 --expect-ip 10.77.0.22", 6,
        "; the replies with IP 10.77.0.22 differ in gateway, dns, which the write would keep");
    row("claimed MAC, the port differs", "set #a --ip 10.77.0.40 --expect-ip 10.77.0.33", 6,
        "; the replies with IP 10.77.0.33 differ in port, which the write would keep from the "
        "reply and no option can give: ");
    row("claimed MAC, all differences given",
        "set #3 --ip 10.77.0.40 --gateway 10.77.0.1 --dns 10.77.0.53 --expect-ip 10.77.0.22 "
        "--no-verify",
        0,
        "#3: sent dhcp off, ip 10.77.0.40, mask 255.255.255.0, gateway 10.77.0.1, dns 10.77.0.53");
    row("apply, one address for two boards", "apply -", 1,
        "-: line 2: ip: 10.77.0.30 is held by board #4, which line 3 gives it too (--force",
        "mac;ip\n2:0:00:00:00:01;10.77.0.30\n2:0:00:00:00:04;10.77.0.30\n");
}

} // namespace

// quorvan-cli against simulated boards: the test's namespace is the PC, the boards sit in
// a namespace behind a veth link (10.77.0.1 here, 10.77.0.2 and 192.168.50.7 there).
class TestCli : public StrictTestCase
{
    Q_OBJECT

private slots:
    void cleanup() { lab.reset(); }

    // The pieces, without a network.
    void inputSyntax_data();
    void inputSyntax();
    void countdownRedraw_data();
    void countdownRedraw();
    void applyFile_data();
    void applyFile();
    void settingsChecks_data();
    void settingsChecks();
    void boardWarnings_data();
    void boardWarnings();

    void discoverFormatsTimingAndCountdown();
    void commands_data() { commandRows(CommandRows::Plain); }
    void commands();
    void interruptedCommands_data() { commandRows(CommandRows::Special); }
    void interruptedCommands() { commands(); }
    void verifiedChanges_data() { commandRows(CommandRows::Verified); }
    void verifiedChanges() { commands(); }
    void applyDiscoveredListToThreeBoards();
    void sameMacBehindTwoCards();

private:
    Simulator *startBoards(const QStringList &boards);
    QVector<SimEvent> writes(Simulator *sim) { return sim->events("RECV", "write"); }
    QVector<SimEvent> queries(Simulator *sim) { return sim->events("RECV", "query"); }

    std::unique_ptr<NetLab> lab;
    QString host;
    QString card; // the PC's end of the link
};

Simulator *TestCli::startBoards(const QStringList &boards)
{
    // The boards restart in 300 ms; the command waits a little longer, instead of the 20 s of
    // a real board.
    qputenv("QUORVAN_CLI_RESTART_WAIT_MS", "800");
    lab = std::make_unique<NetLab>();
    host = lab->addHost();
    card = lab->link(host, "10.77.0.1/24", {"10.77.0.2/24", "192.168.50.7/24"});
    if (host.isEmpty() || card.isEmpty())
        return nullptr;
    QStringList arguments{"--bind", "10.77.0.2", "--restart", "300"};
    for (const QString &board : boards)
        arguments << QStringLiteral("--board") << board;
    return lab->startSimulator(host, arguments);
}

void TestCli::inputSyntax_data()
{
    QTest::addColumn<QString>("text"); // a MAC, or an address when it has a dot
    QTest::addColumn<QString>("read"); // as written back; empty when refused
    for (const char *text : {"0:50:c2:0d:e4:05", "00:50:C2:0D:E4:05", "00-50-c2-0D-e4-05"})
        QTest::newRow(text) << text << "0:50:c2:0d:e4:05";
    QTest::newRow("leading zeros")
        << QStringLiteral("010.001.000.007") << QStringLiteral("10.1.0.7");
    QTest::newRow("all ones") << QStringLiteral("255.255.255.255")
                              << QStringLiteral("255.255.255.255");
    const auto refused = [](const char *text) {
        QTest::newRow(qPrintable(escapedInput(QString::fromUtf8(text))))
            << QString::fromUtf8(text) << QString();
    };
    for (const char *text :
         {"2:0:00:00:01:0d\n", "0:50:c2:0d:e4:05 ", "0:50:c2:0d:e4", "0:50:c2:0d:e4:05:06",
          ":50:c2:0d:e4:05:06", "0:50:c2:0d:e4:g5", "000:50:c2:0d:e4:05", "0:50-c2:0d:e4:05", "",
          "..10.77...0.113.", "10.0.0.1.", "0010.0.0.1", "10.0.0.256", "10.0.0", "10.0.0.1.5",
          "1.2.3.+4", "1.2.3.4\n", "1.2.3.\xd9\xa4", "."})
        refused(text);
    refused("0000000000000000000000010.77.0.113");
}

void TestCli::inputSyntax()
{
    QFETCH(QString, text);
    QFETCH(QString, read);
    MacAddress mac{};
    Address address{};
    if (text.contains(QLatin1Char('.')))
        QCOMPARE(parseAddressText(text, address) ? addressText(address.data()) : QString(), read);
    else
        QCOMPARE(parseMacText(text, mac) ? macText(mac.data()) : QString(), read);
}

// What a terminal line shows after each step of a countdown, one console taking escape
// sequences and one that would show them as characters (an older Windows console): the
// latest text alone, whatever longer text came before, and no escape byte for the second.
void TestCli::countdownRedraw_data()
{
    QTest::addColumn<bool>("escapes");
    QTest::newRow("escape sequences") << true;
    QTest::newRow("plain console") << false;
}

void TestCli::countdownRedraw()
{
    QFETCH(bool, escapes);
    // The line as a terminal keeps it: carriage return to its start, characters written over
    // it, ESC [ K erasing from the cursor on; any other escape byte would stay on screen.
    QString line;
    int column = 0;
    for (const QString &text :
         {QStringLiteral("waiting for the restart: 20 s"), QStringLiteral("searching: 10 s"),
          QStringLiteral("searching: 9 s"), QStringLiteral("searching: 10 s"), QString()}) {
        const QByteArray bytes = Countdown::redraw(text, int(line.size()), escapes);
        QCOMPARE(bytes.contains('\x1b'), escapes);
        for (int i = 0; i < bytes.size(); ++i) {
            if (bytes.at(i) == '\r') {
                column = 0;
            } else if (escapes && bytes.mid(i, 3) == "\x1b[K") {
                line.truncate(column);
                i += 2;
            } else {
                line = line.leftJustified(column + 1, QLatin1Char(' '));
                line[column++] = QLatin1Char(bytes.at(i));
            }
        }
        QCOMPARE(line.trimmed(), text);
        QCOMPARE(column, int(text.size()));
    }
}

void TestCli::applyFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("result"); // the problems, or else the boards planned
    const auto row = [](const char *tag, const QByteArray &file, const QStringList &result) {
        QTest::newRow(tag) << file << result;
    };
    row("comma, CRLF, BOM, comments",
        "\xef\xbb\xbfmac,ip,dhcp,level2,version\r\n# a comment\n\n"
        "0:50:c2:0d:e4:05,10.0.0.1,off,,V3\n2:0:00:00:00:01,,on,on,\n",
        {"line 4: 0:50:c2:0d:e4:05 ip 10.0.0.1 dhcp off",
         "line 5: 2:0:00:00:00:01 dhcp on level2 on"});
    row("wrong lines",
        "mac,ip,mask,dhcp\n0:50:c2:0d:e4:05,10.0.0.256,,\n0:50:c2:0d:e4:05,,,maybe\n"
        "zz\x1b[2J,,,\n2:0:00:00:00:01,,255.255.0,\n2:0:00:00:00:02,,,,extra\n",
        {"line 2: ip: \"10.0.0.256\" is not an address",
         "line 3: mac: 0:50:c2:0d:e4:05 is already listed on line 2",
         "line 3: dhcp: \"maybe\" is neither on nor off",
         "line 4: mac: \"zz\\x1b[2J\" is not a MAC address", "line 5: mask: \"255.255.0\"",
         "line 6: 5 fields"});
    row("unknown columns", "mac,gatway,\x1b]0;x\x07\n",
        {"line 1: unknown column \"gatway\" (known: mac,",
         "line 1: unknown column \"\\x1b]0;x\\x07\""});
    // Not UTF-8: read as Latin-1, every byte of it, past a NUL too.
    row("Latin-1", "mac,r\xe9seau\n", {"line 1: unknown column \"r\\xc3\\xa9seau\""});
    row("Latin-1 with NUL", QByteArray("mac\n\0\xe9\n", 7),
        {"line 2: mac: \"\\x00\\xc3\\xa9\" is not a MAC address"});
    row("no board", "mac\n", {"the file lists no board"});
    // Cleared cells of a spreadsheet, quoted or not, and the last line without its line end.
    row("rows of empty cells",
        ",,\r\nmac,ip,mask\r\n,,\r\n2:0:00:00:00:01,10.0.0.1,\r\n , ,\"\"\r\n,,",
        {"line 4: 2:0:00:00:00:01 ip 10.0.0.1"});
    row("quotes", "mac,version\n2:0:00:00:00:01,\"V3,\"\"x\"\n\"zz,\n",
        {"line 3: unbalanced quotes"});
    // A BOM comes off before the text is found not to be UTF-8.
    row("BOM and Latin-1", "\xef\xbb\xbfmac,r\xe9seau\n",
        {"line 1: unknown column \"r\\xc3\\xa9seau\""});
    row("CR line ends", "mac,ip\r2:0:00:00:00:01,10.0.0.1\r\r# a comment\r2:0:00:00:00:02,\r",
        {"line 2: 2:0:00:00:00:01 ip 10.0.0.1", "line 5: 2:0:00:00:00:02"});
    row("quoted cell over two lines",
        "mac,version\n2:0:00:00:00:01,\"V3\nx\"\n2:0:00:00:00:02,V3\n",
        {"line 2: unbalanced quotes: a quoted cell runs on to line 3"});
    // A file cut short (a full disk, a copy that stopped) must not pass for a shorter one.
    row("cut in a line",
        "mac,ip,mask,via\n2:0:00:00:00:01,10.0.0.1,255.255.255.0,unicast\n"
        "2:0:00:00:00:24,10.77.0.4",
        {"line 3: the last line has no line end and is not complete (2 of 4 columns)"});
    row("cut in the last cell", "mac,ip,layout,via\r\n2:0:00:00:00:01,10.0.0.1,long,unicas",
        {"line 2: the last line has no line end and is not complete (via \"unicas\")"});
    row("cut after a separator", "mac;ip;dns\n2:0:00:00:00:01;10.0.0.1;",
        {"line 2: the last line has no line end and is not complete (its last "
         "column dns is empty)"});
    row("whole last line without a line end", "mac,ip,via\n2:0:00:00:00:01,10.0.0.1,broadcast",
        {"line 2: 2:0:00:00:00:01 ip 10.0.0.1"});
    QStringList many;
    for (int line = 2; line < 2 + maxListedErrors; ++line)
        many << QStringLiteral("line %1: mac: \"zz\" is not a MAC address").arg(line);
    row("many wrong lines", "mac\n" + QByteArray("zz\n").repeated(100),
        many + QStringList{"60 more problems not listed"});
}

void TestCli::applyFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, result);
    const ApplyFile read = readApplyFile(applyFileText(file));
    QStringList got = read.errors;
    for (const PlannedBoard &board : got.isEmpty() ? read.boards : QVector<PlannedBoard>()) {
        QString text = QStringLiteral("line %1: %2").arg(board.line).arg(macText(board.mac.data()));
        for (int field = 0; field < AddressFieldCount; ++field)
            if (const auto &address = board.change.addresses[std::size_t(field)])
                text += ' ' + addressFieldName(field) + ' ' + addressText(address->data());
        if (board.change.dhcp)
            text += " dhcp " + onOff(*board.change.dhcp);
        if (board.change.levelTwo)
            text += " level2 " + onOff(*board.change.levelTwo);
        got << text;
    }
    QCOMPARE(cutTo(got, result), result);
}

void TestCli::settingsChecks_data()
{
    QTest::addColumn<QString>("settings"); // dhcp, ip, mask, gateway as sent
    QTest::addColumn<QString>("refused");  // "|" between refusals, "!" before a forceable one
    // The board reports "off 10.0.0.20 255.255.255.0 10.0.0.254"; this PC is 10.0.0.1.
    const auto row = [](const char *tag, const char *settings, const char *refused) {
        QTest::newRow(tag) << QString::fromLatin1(settings) << QString::fromLatin1(refused);
    };
    row("DHCP", "on 0.0.0.0 0.0.0.0 0.0.0.0", "");
    row("host of a /16", "off 10.0.0.255 255.255.0.0 10.0.0.254", "");
    row("gap", "off 10.0.0.30 255.0.255.0 10.0.0.254", "mask: 255.0.255.0 is not a subnet mask");
    row("zero", "off 0.0.0.0 255.0.0.0 0.0.0.1", "ip: 0.0.0.0 is no address a board can hold");
    row("loopback", "off 127.0.0.5 255.0.0.0 127.0.0.1", "ip: 127.0.0.5 is a loopback address");
    row("multicast", "off 224.0.0.5 255.0.0.0 224.0.0.1", "ip: 224.0.0.5 is a multicast address");
    row("network", "off 10.0.0.0 255.255.255.0 10.0.0.254",
        "ip: 10.0.0.0 is the network address of the subnet 10.0.0.0/24");
    row("broadcast", "off 10.0.255.255 255.255.0.0 10.0.0.254",
        "ip: 10.0.255.255 is the broadcast address of the subnet 10.0.0.0/16");
    row("outside", "off 10.0.0.30 255.255.255.0 10.1.0.1",
        "!gateway: 10.1.0.1 lies outside the new subnet 10.0.0.0/24");
    row("all wrong", "off 10.0.0.1 255.255.0.255 10.0.0.1",
        "mask: 255.255.0.255 is not a subnet mask|!ip: 10.0.0.1 is held by this PC (eth0)|"
        "!gateway: 10.0.0.1 is the board's own IP address");
    // Point-to-point subnets: both addresses of a /31 are hosts; a /32 holds the board alone,
    // is asked about, and has its gateway outside by nature.
    row("/31, lower address", "off 10.0.0.30 255.255.255.254 10.0.0.31", "");
    row("/31, upper address", "off 10.0.0.31 255.255.255.254 10.0.0.30", "");
    row("/31, gateway outside", "off 10.0.0.31 255.255.255.254 10.0.0.254",
        "!gateway: 10.0.0.254 lies outside the new subnet 10.0.0.30/31");
    row("/32", "off 10.0.0.30 255.255.255.255 10.0.0.254",
        "!mask: 255.255.255.255 leaves the board alone on its link");
    row("/32, gateway is the ip", "off 10.0.0.30 255.255.255.255 10.0.0.30",
        "!mask: 255.255.255.255 leaves the board alone|!gateway: 10.0.0.30 is the board's own IP "
        "address");
    row("/30 keeps its broadcast", "off 10.0.0.31 255.255.255.252 10.0.0.29",
        "ip: 10.0.0.31 is the broadcast address of the subnet 10.0.0.28/30");
    row("new ip, board with no gateway", "off 10.0.0.55 255.255.255.0 0.0.0.0", "");
    row("new subnet, board with no gateway", "off 10.1.0.55 255.255.0.0 0.0.0.0", "");
    row("gateway is the network", "off 10.0.0.30 255.255.255.0 10.0.0.0",
        "!gateway: 10.0.0.0 is the network address of the new subnet 10.0.0.0/24");
    row("gateway is the broadcast", "off 10.0.0.30 255.255.255.128 10.0.0.127",
        "!gateway: 10.0.0.127 is the broadcast address of the new subnet 10.0.0.0/25");
    row("gateway removed", "off 10.0.0.30 255.255.255.0 0.0.0.0",
        "!gateway: 0.0.0.0 means no gateway: the board will answer only on its own subnet "
        "10.0.0.0/24");
    row("/31 gateway is a host", "off 10.0.0.31 255.255.255.254 10.0.0.30", "");
    row("this network", "off 0.1.2.3 255.0.0.0 0.1.2.1",
        "ip: 0.1.2.3 lies in 0.0.0.0/8, which means \"this network\"");
    row("reserved", "off 240.0.0.5 255.255.255.0 240.0.0.1",
        "ip: 240.0.0.5 lies in 240.0.0.0/4, which is reserved");
    row("reserved, top", "off 255.255.255.254 255.255.255.0 255.255.255.1",
        "ip: 255.255.255.254 lies in 240.0.0.0/4, which is reserved");
}

void TestCli::settingsChecks()
{
    QFETCH(QString, settings);
    QFETCH(QString, refused);
    const AddressHolders holders{
        {QHostAddress("10.0.0.1").toIPv4Address(), AddressHolder::ThisPc, "eth0", 0}};
    // A tag ending in "no gateway" stands for a board that reports the gateway 0.0.0.0.
    const bool noGateway = QByteArray(QTest::currentDataTag()).endsWith("no gateway");
    const DeviceRecord reported =
        record("off 10.0.0.20 255.255.255.0 " + QString(noGateway ? "0.0.0.0" : "10.0.0.254"));
    const DeviceRecord sent = record(settings);
    QStringList got;
    for (const SettingsProblem &problem : checkNewSettings(reported, sent, holders))
        got << (problem.needsConfirmation() ? "!" : "") + settingName(problem.field) + ": " +
                   problemReason(problem, reported, sent);
    const QStringList expected = refused.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QCOMPARE(cutTo(got, expected), expected);
}

void TestCli::boardWarnings_data()
{
    // "MAC IP CARD" for each board, "-" for a card that is not known.
    QTest::addColumn<QStringList>("boards");
    QTest::addColumn<QStringList>("warnings"); // the start of each, in order
    // 10.77.0.99 lies in card A's subnet, but its reply came through card B: A's wire is
    // another one. Without a card, any subnet of the PC will do.
    QTest::newRow("subnet of the card the reply came through")
        << QStringList{"2:0:00:00:00:01 10.88.0.5 eth1", "2:0:00:00:00:02 10.77.0.99 eth1",
                       "2:0:00:00:00:03 10.77.0.98 -", "2:0:00:00:00:04 10.99.0.5 -"}
        << QStringList{"board 2:0:00:00:00:02 (10.77.0.99) lies in no subnet of eth1, the card it "
                       "answered through; it can still be reconfigured",
                       "board 2:0:00:00:00:04 (10.99.0.5) lies in no subnet of this PC; "};
    // A flood of forged boards: twenty of a kind are listed, the rest counted.
    QStringList flood;
    QStringList listed{
        "boards 2:0:00:00:02:01, 2:0:00:00:02:02 report the same IP address 10.77.0.1",
        "board 2:0:00:00:02:01 reports 10.77.0.1, an address of this PC (eth0)",
        "board 2:0:00:00:02:02 reports 10.77.0.1, an address of this PC (eth0)"};
    QStringList oneAddress;
    QStringList named;
    const auto mac = [](int group, int i) {
        return QStringLiteral("2:0:00:00:0%1:%2").arg(group).arg(i, 2, 16, QLatin1Char('0'));
    };
    for (int i = 1; i <= 25; ++i) {
        const QString ip = "10.80.0." + QString::number(i);
        flood << mac(1, i) + ' ' + ip + " eth0";
        if (i <= 22)
            oneAddress << mac(3, i) + " 10.88.0.50 eth1";
        if (i <= 20) {
            listed << "board " + mac(1, i) + " (" + ip + ") lies in no subnet of eth0";
            named << mac(3, i);
        }
    }
    flood << "2:0:00:00:02:01 10.77.0.1 eth0"
          << "2:0:00:00:02:02 10.77.0.1 eth0";
    listed << QStringLiteral("\u2026 and 5 more boards in no subnet of the card they answered "
                             "through");
    QTest::newRow("one address for many boards")
        << oneAddress
        << QStringList{"boards " + named.join(", ") +
                       " and 2 more report the same IP address 10.88.0.50"};
    QTest::newRow("flood") << flood << listed;
}

void TestCli::boardWarnings()
{
    QFETCH(QStringList, boards);
    QFETCH(QStringList, warnings);
    const auto network = [](const char *card, const char *address) {
        return LocalNetwork{QString::fromLatin1(card),
                            QHostAddress(QString::fromLatin1(address)).toIPv4Address(),
                            QHostAddress(QStringLiteral("255.255.255.0")).toIPv4Address()};
    };
    QVector<FoundBoard> found;
    for (const QString &board : boards) {
        const QStringList parts = board.split(QLatin1Char(' '));
        FoundBoard one;
        one.record = record("off " + parts.at(1));
        MacAddress mac{};
        QVERIFY(parseMacText(parts.at(0), mac));
        std::copy(mac.cbegin(), mac.cend(), one.record.mac);
        one.interfaceName = parts.at(2) == QLatin1String("-") ? QString() : parts.at(2);
        found << one;
    }
    const QStringList got =
        ::boardWarnings(found, {network("eth0", "10.77.0.1"), network("eth1", "10.88.0.1")});
    QCOMPARE(cutTo(got, warnings), warnings);
}

// Every board case on one simulated network, seen in each format: the table after the window's
// series of queries (1, 2, 3 and 4 s, ten seconds in all), with one row per board however many
// replies it sends; CSV with an empty cell for what is not reported and a quote before a leading
// "-"; JSON the same, with booleans, null and the warnings. Port 4022 held on a second address of
// the card makes each search partial. The countdown only on a terminal.
void TestCli::discoverFormatsTimingAndCountdown()
{
    Simulator *sim = startBoards(
        {"mac=0a:1b:2c:3d:4e:5f,ip=10.77.0.21,layout=short,dhcp=on,version=V3.07,reply=broadcast,"
         "delay=100",
         "mac=02:00:00:00:00:06,ip=10.77.0.26,port=,version=-",
         "mac=02:00:00:00:00:01,ip=10.77.0.50",
         "mac=02:00:00:00:00:02,ip=10.77.0.50,reply=broadcast",
         "mac=02:00:00:00:00:04,ip=10.77.0.1"});
    QVERIFY(sim);
    QVERIFY(lab->startSimulator(host, {"--bind", "192.168.50.7", "--board",
                                       "mac=02:00:00:00:00:05,ip=192.168.50.7,reply=broadcast",
                                       "--board", // claims the MAC of another board
                                       "mac=02:00:00:00:00:04,ip=10.77.0.1,dns=10.77.0.53"}));
    // The card's name is its administrator's choice: a formula's start and terminal escapes
    // (13 bytes; Linux allows 15), shown escaped in every format.
    QVERIFY(lab->renameLink(card, QStringLiteral("=1+\x1b[31mX\x1b]0;")));
    card = QStringLiteral("=1+\x1b[31mX\x1b]0;");
    const QString cardShown = QStringLiteral("=1+\\x1b[31mX\\x1b]0;");
    QVERIFY(NetLab::ip("address add 10.78.0.1/24 dev " + card));
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress("10.78.0.1"), 4022, QUdpSocket::ShareAddress));
    QElapsedTimer clock;
    clock.start();
    QMap<QString, CliRun> runs{{"table", cli({"discover"})}};
    QVERIFY2(clock.elapsed() >= 10000 && clock.elapsed() < 12500,
             qPrintable(QString::number(clock.elapsed())));
    // The series and its timing are the window's (tst_session, tst_discovery); sent from 4022.
    QCOMPARE(queries(sim).size(), 4);
    for (const SimEvent &query : queries(sim))
        QCOMPARE(query.port, 4022);
    runs["csv"] = cli({"discover", "--format", "csv", "--wait", shortSearch});
    runs["json"] = cli({"discover", "--format", "json", "--wait", shortSearch});
    const QJsonDocument json = QJsonDocument::fromJson(runs["json"].out.toUtf8());
    // The same warnings on standard error in every format (the replies claiming one MAC in
    // the order they came), and every one of them in JSON, the search's own too.
    QStringList printed = lines(runs["json"].err);
    for (const QJsonValue &warning : json.object().value(QStringLiteral("warnings")).toArray())
        QVERIFY(printed.removeOne("quorvan-cli: warning: " + warning.toString()));
    QVERIFY2(printed.isEmpty(), qPrintable(printed.join('\n')));
    for (const CliRun &run : runs) {
        QVERIFY2(run.code == 7 && lines(run.err).size() == 5, qPrintable(describe(run)));
        for (const QString &start :
             {QStringLiteral("boards 2:0:00:00:00:01, 2:0:00:00:00:02 report the same IP address"),
              QStringLiteral("board 2:0:00:00:00:04 answered with 2 different replies, so another "
                             "device may claim its MAC: (dhcp off, ip 10.77.0.1,"),
              QStringLiteral("board 2:0:00:00:00:04 reports 10.77.0.1, an address of this PC (%1)")
                  .arg(cardShown),
              QStringLiteral("board 2:0:00:00:00:05 (192.168.50.7) lies in no subnet"),
              QStringLiteral("UDP port 4022 is in use by another program on 10.78.0.1")})
            QVERIFY2(('\n' + run.err).count("\nquorvan-cli: warning: " + start) == 1,
                     qPrintable(run.err));
        QVERIFY(run.err.contains(QLatin1String("dns 10.77.0.53")));
        QVERIFY2(!(run.out + run.err).contains(QLatin1Char('\x1b')), qPrintable(describe(run)));
    }

    const QStringList rows = lines(runs["table"].out);
    QCOMPARE(rows.value(0).simplified(), "MAC IP MASK GATEWAY DNS DHCP PORT LEVEL2 VERSION LAYOUT "
                                         "LOCAL ADDRESS INTERFACE VIA");
    QString table;
    for (const QString &row : rows) {
        table += row.simplified() + '\n';
        // Columns line up: every row has its IP where the header has "IP".
        const QString ip = row.mid(rows.at(0).indexOf(QLatin1String("IP")), 3);
        QVERIFY2(ip == "IP " || ip == "10." || ip == "192", qPrintable(row));
    }
    const QString csv = runs["csv"].out;
    for (const char *row :
         {"\n2:0:00:00:00:06 10.77.0.26 255.255.255.0 10.77.0.254 10.77.0.254 off - off \\x2d long "
          "10.77.0.1 %1 unicast\n",
          "\n2:0:00:00:00:05 192.168.50.7 255.255.255.0 10.77.0.254 10.77.0.254 off 502 off "
          "V3.00.01 long 10.77.0.1 %1 broadcast\n",
          "\na:1b:2c:3d:4e:5f,10.77.0.21,255.255.255.0,10.77.0.254,10.77.0.254,on,502,,V3.07,short,"
          "10.77.0.1,'%1,broadcast\n",
          "\n2:0:00:00:00:06,10.77.0.26,255.255.255.0,10.77.0.254,10.77.0.254,off,,off,'-,long,"
          "10.77.0.1,'%1,unicast\n"})
        QVERIFY2((strchr(row, ',') ? csv : table).contains(QString::fromLatin1(row).arg(cardShown)),
                 qPrintable(table + csv));
    QVERIFY(rows.size() == 7 && lines(csv).size() == 7 &&
            json.object().value(QStringLiteral("boards")).toArray().size() == 6);
    const QString board = QStringLiteral(
        "{\"dhcp\":true,\"dns\":\"10.77.0.254\",\"gateway\":\"10.77.0.254\",\"interface\":\"%1\","
        "\"ip\":\"10.77.0.21\",\"layout\":\"short\",\"level2\":null,\"local_address\":"
        "\"10.77.0.1\",\"mac\":\"a:1b:2c:3d:4e:5f\",\"mask\":\"255.255.255.0\",\"port\":\"502\","
        "\"version\":\"V3.07\",\"via\":\"broadcast\"}");
    QVERIFY2(json.toJson(QJsonDocument::Compact)
                 .contains(board.arg(QString(cardShown).replace("\\", "\\\\")).toUtf8()),
             qPrintable(runs["json"].out));

    // Through a pipe, as above, standard error holds no countdown; on a terminal the seconds
    // are rewritten in place. A shorter wait sends only the queries that fit.
    const CliRun shown = cli({"-qec", QUORVAN_CLI " discover --wait 2.5 >/dev/null", "/dev/null"},
                             QByteArray(), QStringLiteral("script"));
    QVERIFY2(shown.out.contains("\rsearching: 3 s") && shown.out.contains("\rsearching: 1 s"),
             qPrintable(describe(shown)));
    QVERIFY(!shown.out.contains(QStringLiteral("a:1b:2c:3d:4e:5f"))); // stdout went to /dev/null
    QTRY_COMPARE(queries(sim).size(), 8);

    // Replies the kernel throws away, the command's buffer full, are counted and said, and
    // the list is partial. A probe socket with the buffer the command asks for tells how
    // many replies such a buffer takes; with the command stopped after its first query,
    // more than that arrive, each a board of its own, so each is either listed or dropped.
    // The command stays stopped until its wait is over, as on a machine too busy to read
    // them in time: what its buffer holds came in time all the same.
    QUdpSocket probe;
    QVERIFY(probe.bind(QHostAddress(QHostAddress::LocalHost), 0));
    probe.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, receiveBufferSize);
    const auto burst = [](int count, quint16 port) {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        for (int index = 0; index < count; ++index)
            NetLab::sendFrom(
                fd, replyBytes(makeBoard(QByteArray::number(0x020000030000LL + index, 16))),
                QStringLiteral("127.0.0.1"), port);
        close(fd);
    };
    burst(25000, probe.localPort());
    int held = 0;
    while (probe.hasPendingDatagrams() && probe.readDatagram(nullptr, 0) >= 0)
        ++held;
    if (held + 500 > 19000)
        QSKIP("this machine's receive buffers hold as many replies as a search lists");
    const int overflow = held + 500;
    const int before = int(queries(sim).size());
    const CliRun lost = cli({"discover", "--format", "json", "--wait", "4"}, QByteArray(),
                            QStringLiteral(QUORVAN_CLI), [&](QProcess &process) {
                                QTRY_VERIFY(queries(sim).size() > before);
                                ::kill(pid_t(process.processId()), SIGSTOP);
                                QElapsedTimer stopped;
                                stopped.start();
                                burst(overflow, 4022);
                                // The first query goes out a second into the 4 s wait.
                                QTest::qWait(std::max<int>(0, 3500 - int(stopped.elapsed())));
                                ::kill(pid_t(process.processId()), SIGCONT);
                            });
    const QJsonObject lostList = QJsonDocument::fromJson(lost.out.toUtf8()).object();
    int burstListed = 0;
    for (const QJsonValue &board : lostList.value(QStringLiteral("boards")).toArray())
        burstListed +=
            board.toObject().value(QStringLiteral("mac")).toString().startsWith("2:0:00:03:");
    const QRegularExpression dropWarning(QStringLiteral(
        "^the system dropped ([0-9]+) replies that came faster than they could be "
        "read: boards may be missing; search again, or raise .*net\\.core\\.rmem_max"));
    QRegularExpressionMatch said;
    for (const QJsonValue &warning : lostList.value(QStringLiteral("warnings")).toArray())
        if (!said.hasMatch())
            said = dropWarning.match(warning.toString());
    QVERIFY2(lost.code == 7 && said.hasMatch() &&
                 lost.err.contains("quorvan-cli: warning: " + said.captured(0)),
             qPrintable(describe(lost).left(2000)));
    QCOMPARE(burstListed + said.captured(1).toInt(), overflow);
}

// Refused before the search: the simulator hears nothing at all. Checked once the search has
// shown the board: one search, a write only when nothing was refused, and a search after the
// restart unless --no-verify. Nothing that was typed reaches the terminal unescaped.
void TestCli::commands()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(QString, how);
    QFETCH(QString, traffic);
    Simulator *sim = startBoards(
        {"mac=00:50:c2:0d:e4:05,ip=10.77.0.19,port=4022",
         "mac=02:00:00:00:00:01,ip=10.77.0.20,version=V2.10.00",
         "mac=02:00:00:00:00:02,ip=10.77.0.21,dhcp=on", "mac=02:00:00:00:00:03,ip=10.77.0.22",
         "mac=02:00:00:00:00:04,ip=10.77.0.23,write=ignore",
         "mac=02:00:00:00:00:05,ip=10.77.0.24,write=mangle",
         "mac=02:00:00:00:00:07,ip=10.77.0.26,write=mangle", "mac=02:00:00:00:00:08,ip=10.77.0.27",
         "mac=02:00:00:00:00:0a,ip=10.77.0.33", "mac=02:00:00:00:00:0b,ip=10.77.0.42,write=ignore",
         "mac=02:00:00:00:00:0c,ip=10.77.0.44,version=V3.07\\x00,padding=vary",
         "mac=02:00:00:00:00:0d,ip=10.77.0.34,layout=short"});
    QVERIFY(sim);
    // A second device claims 2:0:00:00:00:03 with the same IP but another gateway and DNS;
    // the board next to it takes longer to restart than the command waits.
    QVERIFY(lab->startSimulator(
        host, {"--bind", "192.168.50.7", "--restart", "5000", "--board",
               "mac=02:00:00:00:00:03,ip=10.77.0.22,gateway=192.168.50.1,dns=192.168.50.53",
               "--board", "mac=02:00:00:00:00:06,ip=10.77.0.25",
               // A device that claims the MAC of 2:0:00:00:00:07 and never changes, and one
               // that claims 2:0:00:00:00:0a with another port.
               "--board", "mac=02:00:00:00:00:07,ip=10.77.0.92,write=ignore", "--board",
               "mac=02:00:00:00:00:0a,ip=10.77.0.33,port=503", "--board",
               "mac=02:00:00:00:00:0b,ip=10.77.0.41"}));
    CliRun run;
    if (how.startsWith(QLatin1String("SIG"))) {
        // Long enough a restart wait that the signal surely comes during it.
        qputenv("QUORVAN_CLI_RESTART_WAIT_MS", "20000");
        const int writesBefore = how.section(QLatin1Char(' '), 1).toInt();
        run = cli(arguments, input, QStringLiteral(QUORVAN_CLI), [&](QProcess &process) {
            if (writesBefore > 0)
                QTRY_VERIFY_WITH_TIMEOUT(writes(sim).size() >= writesBefore, 10000);
            else
                QTest::qWait(500);
            const QMap<QString, int> numbers{
                {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}, {"SIGTERM", SIGTERM}};
            ::kill(pid_t(process.processId()), numbers.value(how.section(' ', 0, 0)));
        });
        QCOMPARE(run.out + "--\n" + run.err, message);
    } else if (how == QLatin1String("41-byte reply")) {
        // A short-layout reply of 41 bytes, whose version begins with 'N' where a long one
        // has its level-2 code, sent to the command once its first query shows it listening.
        const QByteArray reply =
            replyBytes(makeBoard("02000000000e", "10.77.0.40", "N1.00"), ReplyLayout::Short);
        run = cli(arguments, input, QStringLiteral(QUORVAN_CLI), [&](QProcess &) {
            QTRY_VERIFY_WITH_TIMEOUT(!queries(sim).isEmpty(), 10000);
            QUdpSocket socket;
            QVERIFY(socket.bind(QHostAddress(QStringLiteral("10.77.0.1")), 0));
            QCOMPARE(socket.writeDatagram(reply.left(41), QHostAddress("10.77.0.1"), 4022),
                     qint64(41));
        });
    } else if (!how.isEmpty()) {
        const QString script = QString(how).replace(QLatin1Char('@'), "\"$0\" \"$@\"");
        run = cli(QStringList{"-c", "cd \"$(mktemp -d)\" && " + script, QUORVAN_CLI} + arguments,
                  input, QStringLiteral("bash"));
    } else {
        run = cli(arguments, input);
    }
    const bool searched = arguments.contains(QStringLiteral("--wait"));
    const bool sent = searched && (how.isEmpty() ? code == 0 || code == 3 || code == 4 || code == 9
                                                 : !traffic.startsWith(QLatin1Char('0')));
    const bool resultsOnOut = code == 0 || (sent && code != 8 && code < 128);
    QVERIFY2(run.code == code && (how.startsWith(QLatin1String("SIG")) ||
                                  (resultsOnOut ? run.out : run.err).contains(message)),
             qPrintable(describe(run)));
    if (code == 0 && !searched)
        QVERIFY(run.out.startsWith(message) && run.out.contains("\nExit status: 0 "));
    // A restart wait that the environment shortens is said first, once the options are read.
    QString err = run.err;
    const QString shortened = text("%W").replace("20000 ms", "800 ms");
    if (how.isEmpty() && searched && arguments.first() != QLatin1String("discover")) {
        QVERIFY2(err.startsWith(shortened), qPrintable(err));
        err.remove(0, shortened.size());
    }
    if (how.isEmpty())
        QVERIFY2(err.isEmpty() == (code == 0 || sent), qPrintable(err));
    for (const QString &line : lines(run.err))
        QVERIFY2(line.startsWith(QLatin1String("quorvan-cli: ")), qPrintable(run.err));
    QVERIFY2(!searched || sent || arguments.first() == QLatin1String("discover") ||
                 run.err.endsWith("nothing sent\n"),
             qPrintable(run.err));
    QVERIFY(!(run.out + run.err).contains(QLatin1Char('\x1b')));
    const bool verified = sent && !arguments.contains(QStringLiteral("--no-verify"));
    // A query at each whole second before the end of a search.
    const int perSearch =
        searched ? int(std::ceil(arguments.at(arguments.indexOf("--wait") + 1).toDouble())) - 1 : 0;
    if (traffic.isEmpty())
        traffic = QStringLiteral("%1/%2").arg(sent ? 1 : 0).arg(perSearch * (verified ? 2 : 1));
    QTRY_COMPARE_WITH_TIMEOUT(writes(sim).size(), traffic.section('/', 0, 0).toInt(), 1000);
    QCOMPARE(queries(sim).size(), traffic.section('/', 1).toInt());
    if (verified && !sim->events("BACK").isEmpty() && how.isEmpty())
        QVERIFY(queries(sim).last().msecs > sim->events("BACK").first().msecs);
    if (QTest::currentDataTag() == QLatin1String("applied")) {
        // Exactly the window's datagram, from the PC's port 4022.
        const SimEvent write = writes(sim).first();
        QCOMPARE(write.address + ':' + QString::number(write.port), "10.77.0.1:4022");
        QCOMPARE(write.bytes, "QuorvanW" + QByteArray::fromHex("0050c20de405") + "N4022" +
                                  QByteArray::fromHex("000a4d0063ffff00000a4d00010a4d0035") +
                                  "OV3.00.01");
    }
}

// The list a user gets from discover, with texts that a spreadsheet would take for formulas
// and a cell that needs quotes, edited, saved the way a French spreadsheet saves it, with one
// board more that does not answer, and fed back through standard input.
void TestCli::applyDiscoveredListToThreeBoards()
{
    Simulator *sim = startBoards(
        {"mac=02:00:00:00:00:01,ip=10.77.0.20,version==1\\x2c\"2",
         "mac=02:00:00:00:00:02,ip=10.77.0.21,layout=short,reply=broadcast,dhcp=on,port=@A1,"
         "version=-1+2",
         "mac=02:00:00:00:00:03,ip=10.77.0.22,version=V1.05,port=+1"});
    QVERIFY(sim);
    QString csv = cli({"discover", "--format", "csv", "--wait", shortSearch}).out;
    QCOMPARE(lines(csv).size(), 4);
    for (const char *cell : {",\"'=1,\"\"2\",", ",'@A1,", ",'-1+2,", ",'+1,"})
        QVERIFY2(csv.contains(QLatin1String(cell)), qPrintable(csv));
    csv.replace("10.77.0.20,255.255.255.0", "10.77.0.40,255.255.0.0");
    // DHCP off and a new address for the DHCP board, whose reported addresses stand in the
    // other cells, and a level-2 code its short replies cannot show.
    csv.replace("2:0:00:00:00:02,10.77.0.21", "2:0:00:00:00:02,10.77.0.41");
    csv.replace("10.77.0.254,on,'@A1,,", "10.77.0.254,off,'@A1,on,");
    csv.replace("2:0:00:00:00:03,10.77.0.22", "2:0:00:00:00:03,10.77.0.42");
    csv.replace(',', ';').replace('\n', ";;\r\n").replace(0, csv.indexOf(';'), "MAC");
    // A board that is not there, first: results come in file order.
    csv.insert(csv.indexOf('\n') + 1, "2:0:00:00:00:07;10.77.0.37\r\n");

    const CliRun run = cli({"apply", "-", "--wait", shortSearch}, csv.toUtf8());
    QVERIFY2(run.code == 2, qPrintable(describe(run)));
    // A "sent" line as each write leaves (in the order of the file, which is the order in
    // which discover heard the boards), then the results.
    QStringList sent = lines(run.out).mid(0, 3);
    QStringList results = lines(run.out).mid(3);
    sent.sort();
    const QStringList sentStarts{"2:0:00:00:00:01: sent dhcp off, ip 10.77.0.40, mask 255.255.0.0,",
                                 "2:0:00:00:00:02: sent dhcp off, ip 10.77.0.41,",
                                 "2:0:00:00:00:03: sent dhcp off, ip 10.77.0.42,"};
    QCOMPARE(cutTo(sent, sentStarts), sentStarts);
    QCOMPARE(results.takeFirst(), "2:0:00:00:00:07: did not answer the first search; nothing sent");
    results.sort();
    QCOMPARE(results, (QStringList{"2:0:00:00:00:01: applied",
                                   "2:0:00:00:00:02: applied (a short-layout reply carries no "
                                   "level-2 code: not checked)",
                                   "2:0:00:00:00:03: applied"}));
    QCOMPARE(writes(sim).size(), 3);
    QCOMPARE(queries(sim).size(), 3); // discover, then apply's two searches

    // The card's address goes away after the board answered: the write would leave through
    // loopback alone, where no board lives, so it is not "sent". It goes once the second query
    // (at 2 s, a second before the end) shows that the replies to the first were read.
    const CliRun late = cli({"set", "2:0:00:00:00:01", "--ip", "10.77.0.45", "--wait", "3"}, {},
                            QStringLiteral(QUORVAN_CLI), [&](QProcess &) {
                                QTRY_VERIFY_WITH_TIMEOUT(queries(sim).size() >= 5, 10000);
                                QVERIFY(NetLab::ip("addr del 10.77.0.1/24 dev " + card));
                            });
    QVERIFY2(late.code == 5 && late.out.isEmpty() &&
                 late.err.contains("could not be sent through any network card"),
             qPrintable(describe(late)));
}

// One MAC behind two cards of the PC: nothing is sent without --expect-ip, and the cards are
// named; with it, the write leaves through the card of the chosen reply only, and the device
// behind the other card keeps its settings.
void TestCli::sameMacBehindTwoCards()
{
    Simulator *first = startBoards({"mac=02:00:00:00:00:04,ip=10.77.0.61"});
    QVERIFY(first);
    const QString other = lab->linkedHost("10.88.0.1/24", {"10.88.0.2/24"});
    Simulator *second = lab->startSimulator(
        other, {"--bind", "10.88.0.2", "--restart", "300", "--board",
                "mac=02:00:00:00:00:04,ip=10.88.0.22,gateway=10.88.0.254,dns=10.88.0.254"});
    QVERIFY(second);
    const QStringList change{"set",       "2:0:00:00:00:04", "--ip",   "10.88.0.32",
                             "--gateway", "10.88.0.1",       "--wait", shortSearch};
    CliRun run = cli(change);
    QVERIFY2(run.code == 6 && run.err.contains("through 10.77.0.1") &&
                 run.err.contains("through 10.88.0.1") && run.err.contains("ip 10.77.0.61") &&
                 run.err.contains("ip 10.88.0.22") && run.err.endsWith("nothing sent\n"),
             qPrintable(describe(run)));
    run = cli(change + QStringList{"--expect-ip", "10.88.0.22"});
    QVERIFY2(run.code == 0 && run.out.endsWith("applied (2 different replies claim this MAC)\n"),
             qPrintable(describe(run)));
    QCOMPARE(writes(second).size(), 1);
    QCOMPARE(writes(second).first().address, QStringLiteral("10.88.0.1"));
    QCOMPARE(writes(first).size(), 0);
    QVERIFY(first->events("APPLY").isEmpty());
}

QUORVAN_TEST_MAIN(TestCli)
#include "tst_cli.moc"
