// SPDX-License-Identifier: MIT
#include "common/boards.h"
#include "common/dialogs.h"
#include "common/testsupport.h"

#include "discovery/boardreplies.h"
#include "discovery/mainwindow.h"
#include "discovery/searchsession.h"
#include "searchsteps.h"

#include <QDialog>
#include <QHostAddress>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

namespace {

// The PC's two cards.
const QHostAddress cardA(QStringLiteral("10.77.0.1"));
const QHostAddress cardB(QStringLiteral("10.88.0.1"));
// Another address of card A.
const QHostAddress secondAddressOfA(QStringLiteral("10.78.0.1"));

// A reply written "MAC.IP" with optional letters after a slash: "3.41" is MAC 02:00:00:00:00:03
// at 10.77.0.41 through card A; "/b" through card B, "/c" through A's second address, "/g" another
// gateway, "/d" DHCP on, "/s" the short layout, "/1" to "/9" that byte in the version's padding
// (after "V3.07" and its terminating zero).
HeardReply reply(const QString &text)
{
    const QString address = text.section(QLatin1Char('/'), 0, 0);
    const QString flags = text.section(QLatin1Char('/'), 1);
    HeardReply heard;
    heard.record = makeBoard("02000000000" + address.section(QLatin1Char('.'), 0, 0).toLatin1(),
                             QStringLiteral("10.77.0.") + address.section(QLatin1Char('.'), 1),
                             QByteArray("V3.07\0\0\0", 8));
    heard.card = flags.contains(QLatin1Char('b')) ? cardB : cardA;
    heard.interfaceName =
        flags.contains(QLatin1Char('b')) ? QStringLiteral("lan2") : QStringLiteral("lan1");
    if (flags.contains(QLatin1Char('c')))
        heard.card = secondAddressOfA;
    if (flags.contains(QLatin1Char('g')))
        heard.record.gateway[3] = 1;
    if (flags.contains(QLatin1Char('d')))
        heard.record.dhcp = 1;
    if (flags.contains(QLatin1Char('s')))
        heard.layout = ReplyLayout::Short;
    for (QChar c : flags) {
        if (c.isDigit())
            heard.record.version[6] = heard.record.version[7] = std::uint8_t(c.digitValue());
    }
    return heard;
}

QVector<HeardReply> replies(const QString &texts)
{
    QVector<HeardReply> out;
    for (const QString &text : texts.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        out << reply(text);
    return out;
}

// A network of simulated cards and devices: every device answers each query at once, with
// the replies given for before or after its restart, each through its card. Writes are kept
// with the card they went through (null: every card).
class FakeNetwork : public SearchNetwork
{
public:
    QVector<HeardReply> answers;
    QVector<HeardReply> afterRestart;
    int queries = 0;
    QVector<QPair<QHostAddress, QByteArray>> writes;

    // The replies to the last query before the restart are still queued when it happens: the
    // window reads them during the wait, the command line must not take them for the board.
    void restart()
    {
        queue += answers;
        answers = afterRestart;
    }

    SocketReport refresh() override
    {
        lastReport = SocketReport();
        lastReport.cardAddresses = lastReport.sendingSockets = 2;
        return lastReport;
    }
    const SocketReport &report() const override { return lastReport; }
    int send(const QByteArray &datagram) override { return take(QHostAddress(), datagram) * 2; }
    int sendThrough(const QHostAddress &card, const QByteArray &datagram) override
    {
        return take(card, datagram);
    }
    void markDrops() override {}
    qint64 dropsSinceMark() const override { return 0; }
    void read(const QObject *, const Heard &heard) override { drain(heard); }
    void readQueued(const Heard &heard) override { drain(heard); }

private:
    int take(const QHostAddress &card, const QByteArray &datagram)
    {
        if (datagram.startsWith("QuorvanW") && datagram.size() == 45) {
            writes.append({card, datagram});
        } else if (datagram.startsWith("Quorvan?")) {
            ++queries;
            queue += answers;
        }
        return 1;
    }
    void drain(const Heard &heard)
    {
        // Taken whole: a flood of replies would make a reply-by-reply take quadratic.
        while (!queue.isEmpty()) {
            const QVector<HeardReply> taken = std::exchange(queue, {});
            for (const HeardReply &one : taken)
                heard(one);
        }
    }

    QVector<HeardReply> queue;
    SocketReport lastReport;
};

// The window on a simulated network, driven as its timers would drive it: each search sends
// its series and ends without waiting ten real seconds.
struct WindowRun
{
    FakeNetwork network;
    std::unique_ptr<MainWindow> window;

    WindowRun()
    {
        window = std::make_unique<MainWindow>(&network, nullptr);
        window->show();
    }
    ~WindowRun()
    {
        window.reset();
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
    }
    QTableWidget *table() const { return window->findChild<QTableWidget *>("tableWidget"); }
    // `read`: the replies are read as they come, or are all still queued when the search ends,
    // as on a busy machine.
    void search(int queries = 5, bool read = true)
    {
        QTest::mouseClick(window->findChild<QPushButton *>("buttonSearch"), Qt::LeftButton);
        runSeries(queries, read);
    }
    void runSeries(int queries = 5, bool read = true)
    {
        for (int i = 0; i < queries; ++i) {
            window->RequestTimerDone();
            if (read)
                window->DisplayRequest();
        }
    }
    void endSearch() { window->SearchTimerDone(); }
    // A whole search on a network where `answers` reply.
    void searchAmong(const QString &answers)
    {
        network.answers = replies(answers);
        search();
        endSearch();
    }
    QDialog *open(const QString &mac) { return openSettings(window.get(), mac); }
    // Opens them, lets `edit` change them and validates; returns the wait dialog.
    QDialog *write(const QString &mac, const std::function<void(QDialog *)> &edit)
    {
        QDialog *settings = open(mac);
        if (!settings)
            return nullptr;
        edit(settings);
        answeringQuestion([settings] { click(settings, "buttonOk"); },
                          QStringLiteral("Envoyer quand même"));
        return visibleDialog("Reboot");
    }
    // The verdict boxes on screen, "icon|text" each.
    QStringList results() const
    {
        QStringList seen;
        for (const QMessageBox *box : window->findChildren<QMessageBox *>("writeResult")) {
            if (box->isVisible())
                seen << QString::number(box->icon()) + '|' + box->text();
        }
        seen.sort();
        return seen;
    }
};

// What the user enters for the write that `sent` stands for: DHCP on, or the new IP.
void enter(QDialog *settings, const DeviceRecord &sent)
{
    if (sent.dhcp)
        QTest::mouseClick(settings->findChild<QRadioButton *>("radioButtonDHCPYes"),
                          Qt::LeftButton);
    else
        type(settings, "lineEditIP", addressText(sent.ip));
}

// The kind of verdict a box tells, from its icon and its first words.
int kindOfBox(const QString &box)
{
    if (box.startsWith(QString::number(QMessageBox::Information)))
        return RestartVerdict::Applied;
    if (box.contains(QStringLiteral("n'a pas répondu")))
        return RestartVerdict::NotBack;
    if (box.contains(QStringLiteral("plusieurs appareils ont répondu")))
        return RestartVerdict::CannotTell;
    return RestartVerdict::Differs;
}

} // namespace

// The search session's bookkeeping and the verdict after a restart, without a network: the
// replies are given as the sockets would hear them, with their cards.
class TestSession : public StrictTestCase
{
    Q_OBJECT

private slots:
    void repliesPerBoard_data();
    void repliesPerBoard();
    void boardCap();
    void verdictAfterRestart_data();
    void verdictAfterRestart();
    void eachWriteItsVerdict_data();
    void eachWriteItsVerdict();
    void recordDeletedUnderOpenDialog();
    void querySeries_data();
    void querySeries();
};

void TestSession::repliesPerBoard_data()
{
    QTest::addColumn<QString>("heard");
    QTest::addColumn<int>("boards");
    QTest::addColumn<int>("kept");     // replies kept for the first board
    QTest::addColumn<int>("devices");  // of the first board
    QTest::addColumn<bool>("claimed"); // several devices or cards
    QTest::newRow("one board, four replies") << "1.20 1.20 1.20 1.20" << 1 << 1 << 1 << false;
    QTest::newRow("two boards") << "1.20 2.21 1.20" << 2 << 1 << 1 << false;
    QTest::newRow("padding varies") << "1.20/1 1.20/2 1.20/3" << 1 << 1 << 1 << false;
    QTest::newRow("another device claims the MAC") << "1.20 1.21 1.20" << 1 << 2 << 2 << true;
    QTest::newRow("another layout") << "1.20 1.20/s" << 1 << 2 << 2 << true;
    QTest::newRow("one device through two cards") << "1.20 1.20/b" << 1 << 2 << 1 << true;
    // A board answers each query once per address of the PC that asked.
    QTest::newRow("one device through two addresses of one card")
        << "1.20 1.20/c" << 1 << 2 << 1 << false;
    QTest::newRow("two devices through two cards")
        << "1.61 1.22/b 1.61 1.22/b" << 1 << 2 << 2 << true;
    QTest::newRow("a flood of forged replies for one MAC")
        << "1.1 1.2 1.3 1.4 1.5 1.6 1.7 1.8 1.9 1.10 1.11 1.12" << 1
        << BoardReplies::maxRepliesPerBoard << BoardReplies::maxRepliesPerBoard << true;
}

void TestSession::repliesPerBoard()
{
    QFETCH(QString, heard);
    QFETCH(int, boards);
    QFETCH(int, kept);
    QFETCH(int, devices);
    QFETCH(bool, claimed);
    BoardReplies book;
    for (const HeardReply &one : replies(heard))
        book.add(one);
    QCOMPARE(book.size(), boards);
    const QVector<HeardReply> first = book.replies(0);
    QCOMPARE(first.size(), kept);
    QCOMPARE(devicesOf(first).size(), devices);
    QCOMPARE(isClaimedTwice(first), claimed);
    QVERIFY(sameDevice(first.first(), replies(heard).first()));
    // The command line's view of the same board: the first reply listed, the others aside.
    const FoundBoard found = FoundBoard::fromReplies(first);
    QCOMPARE(found.otherReplies.size(), kept - 1);
    QCOMPARE(found.localAddress, first.first().card.toString());
}

// The boards beyond the cap are dropped, and the session says so once per search; the
// command line lists as many, and warns once, its search incomplete; the window tells it once.
void TestSession::boardCap()
{
    FakeNetwork network;
    SearchSession session(network, true);
    QVector<HeardReply> flood;
    for (int i = 0; i < maxBoardsPerSearch + 2; ++i) {
        flood << reply(QStringLiteral("1.20"));
        for (int byte = 0; byte < 4; ++byte)
            flood.last().record.mac[5 - byte] = std::uint8_t((i + 1) >> (8 * byte));
    }
    for (int search = 0; search < 2; ++search) {
        session.start(searchDurationMs);
        for (int i = 0; i < flood.size(); ++i) {
            const SearchSession::Heard fate = i < maxBoardsPerSearch ? SearchSession::Heard::Listed
                                              : i == maxBoardsPerSearch
                                                  ? SearchSession::Heard::CapReached
                                                  : SearchSession::Heard::Dropped;
            QCOMPARE(session.heard(flood.at(i)), fate);
        }
        QCOMPARE(session.replies().size(), maxBoardsPerSearch);
        QVERIFY(session.capped());
    }
    network.answers = flood;
    BoardSearch cli(&network, 1);
    QVERIFY(cli.open().isEmpty());
    for (int search = 0; search < 2; ++search)
        QCOMPARE(cli.search(2).size(), maxBoardsPerSearch);
    const QStringList warnings = cli.takeWarnings();
    QVERIFY(cli.capped() && cli.incomplete());
    QCOMPARE(warnings
                 .filter(QStringLiteral("more than 20000 different boards answered: only the "
                                        "first 20000 are listed"))
                 .size(),
             1);
    // The window lists as many and says it stopped there, once, in a box that does not hold
    // up the search.
    WindowRun run;
    run.network.answers = flood;
    run.search(3);
    QTRY_COMPARE(run.table()->rowCount(), maxBoardsPerSearch);
    const QList<QMessageBox *> boxes = run.window->findChildren<QMessageBox *>("boardLimit");
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first()->isVisible() &&
                 boxes.first()->text().contains(QRegularExpression(
                     QStringLiteral("^Plus de 20.000\u00a0cartes différentes ont répondu\u00a0: "
                                    "seules les 20.000 premières sont listées\\."))),
             qPrintable(boxes.first()->text()));
}

void TestSession::verdictAfterRestart_data()
{
    QTest::addColumn<QString>("before"); // the replies for the MAC before the write
    QTest::addColumn<QString>("sent");   // a reply standing for what was sent
    QTest::addColumn<QString>("after");  // the replies for the MAC after the restart
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("cliSays");    // the start of the command line's result, if given
    QTest::addColumn<QString>("windowSays"); // the window's box, if given
    const auto row = [](const char *tag, const char *before, const char *sent, const char *after,
                        RestartVerdict::Kind kind, const char *cliSays = "",
                        const char *windowSays = "") {
        QTest::newRow(tag) << before << sent << after << int(kind) << QString::fromUtf8(cliSays)
                           << QString::fromUtf8(windowSays);
    };
    // The board is 3.41; the write moves it to 3.51. Another device, 3.42, claims its MAC.
    row("back as sent", "3.41", "3.51", "3.51 3.51 3.51", RestartVerdict::Applied, "applied");
    // The window's warnings give each field sent and received, and the causes from the
    // likeliest, with what to do next; a board that answers as before never restarted.
    row("other settings", "3.41", "3.51", "3.51/g", RestartVerdict::Differs,
        "settings differ: gateway 10.77.0.1 (sent 10.77.0.254)",
        "La carte 2:0:00:00:00:03 a répondu après son redémarrage avec d'autres réglages que "
        "ceux envoyés\u00a0:\n– Passerelle\u00a0: envoyé 10.77.0.254, reçu 10.77.0.1\n\n"
        "La carte a peut-être corrigé ou refusé ces valeurs. Vérifiez la ligne du tableau, puis "
        "renvoyez les réglages voulus avec «\u00a0Mettre à jour\u00a0».");
    row("write ignored", "3.41", "3.51", "3.41", RestartVerdict::Differs,
        "settings differ: ip 10.77.0.41 (sent 10.77.0.51)",
        "La carte 2:0:00:00:00:03 a répondu avec ses réglages d'avant la mise à jour, sans "
        "prendre ceux qui lui ont été envoyés\u00a0:\n– Adresse IP\u00a0: envoyé 10.77.0.51, "
        "reçu 10.77.0.41\n\nLes réglages ne lui sont peut-être pas parvenus, ou elle les a "
        "refusés. Renvoyez-les avec «\u00a0Mettre à jour\u00a0»\u00a0; si elle les ignore "
        "encore, vérifiez-la sur place.");
    row("not back", "3.41", "3.51", "", RestartVerdict::NotBack, "did not come back",
        "La carte 2:0:00:00:00:03 n'a pas répondu à la recherche qui a suivi la mise à jour.\n"
        "Réglages envoyés\u00a0: adresse IP 10.77.0.51, masque 255.255.255.0.\n\n"
        "Causes possibles, de la plus probable à la moins probable\u00a0:\n"
        "1. les nouveaux réglages\u00a0: une adresse déjà prise ou qui ne convient pas au "
        "réseau, ou aucun serveur DHCP pour lui en donner une\u00a0;\n"
        "2. elle redémarre encore\u00a0: relancez une recherche avec «\u00a0Rechercher\u00a0»"
        "\u00a0;\n3. son câble réseau ou le réseau entre elle et ce PC.");
    row("back as sent, padding varies", "3.41/1", "3.51/1", "3.51/2 3.51/3",
        RestartVerdict::Applied);
    row("back as sent through both cards", "3.41 3.41/b", "3.51", "3.51/b 3.51",
        RestartVerdict::Applied);
    row("not back, the known other stays", "3.41 3.42", "3.51", "3.42", RestartVerdict::NotBack,
        "did not come back (only a device that the first search saw claiming its MAC answered: "
        "dhcp off, ip 10.77.0.42,");
    row("not back, the known other stays, padding varies", "3.41/1 3.42/1", "3.51/1", "3.42/2",
        RestartVerdict::NotBack);
    row("back as sent beside the known other", "3.41 3.42", "3.51", "3.42 3.51",
        RestartVerdict::Applied, "applied (2 different replies claim this MAC)");
    row("other settings beside the known other", "3.41 3.42", "3.51", "3.42 3.51/g",
        RestartVerdict::Differs);
    row("known other on the other card stays", "3.41 3.22/b", "3.51", "3.22/b",
        RestartVerdict::NotBack);
    // A device that answers for the first time may be the board itself.
    row("impostor seen only after, beside the board", "3.41", "3.51", "3.51 3.60",
        RestartVerdict::CannotTell,
        "cannot tell which reply is the board: 2 different replies claim this MAC and more than "
        "one of them is new (");
    // Nothing tells a board back with other settings from a board gone and a new device.
    row("one reply seen only after, the board gone", "3.41 3.42", "3.51", "3.42 3.60",
        RestartVerdict::Differs);
    row("the known other changed, the board back", "3.41 3.42", "3.51", "3.43 3.51",
        RestartVerdict::CannotTell);
    // The board could hide behind another device that answers exactly what was sent.
    row("known other reports what was sent", "3.41 3.51", "3.51", "3.51",
        RestartVerdict::CannotTell);
    row("known other reports what was sent, the board mangles", "3.41 3.51", "3.51", "3.51 3.52",
        RestartVerdict::CannotTell,
        "cannot tell which reply is the board: 2 different replies claim this MAC and a device "
        "that the first search saw claiming it reports what was sent (dhcp off, ip 10.77.0.5");
    // With DHCP on the addresses come from the DHCP server.
    row("DHCP on, back", "3.41", "3.41/d", "3.77/d", RestartVerdict::Applied,
        "applied (DHCP on, now at 10.77.0.77)");
    row("DHCP on, back beside the known other", "3.41 3.42", "3.41/d", "3.42 3.90/d",
        RestartVerdict::Applied);
    row("DHCP on, not back, the known other stays", "3.41 3.42", "3.41/d", "3.42",
        RestartVerdict::NotBack);
    row("DHCP on, two new replies", "3.41", "3.41/d", "3.77/d 3.78/d/s",
        RestartVerdict::CannotTell);
}

// Both programs run each row on the same simulated network, from the first search to the
// verdict after the restart: the window as its user drives it (its boxes tell the verdict),
// the command line by the steps of set and apply (its exit status tells it). Each writes
// once, through the card of the reply it started from: the first, the board's.
void TestSession::verdictAfterRestart()
{
    QFETCH(QString, before);
    QFETCH(QString, sent);
    QFETCH(QString, after);
    QFETCH(int, kind);
    QFETCH(QString, cliSays);
    QFETCH(QString, windowSays);
    const DeviceRecord written = reply(sent).record;
    const HeardReply board = replies(before).first();
    const QString mac = macText(written.mac);
    MacAddress macBytes{};
    std::copy(written.mac, written.mac + 6, macBytes.begin());

    {
        WindowRun run;
        run.network.afterRestart = replies(after);
        run.searchAmong(before);
        QDialog *wait = run.write(mac, [&written](QDialog *settings) { enter(settings, written); });
        QVERIFY(wait);
        QCOMPARE(run.network.writes.size(), 1);
        QCOMPARE(run.network.writes.first().first, board.card);
        QCOMPARE(run.network.writes.first().second.mid(8, 6),
                 QByteArray::fromRawData(reinterpret_cast<const char *>(written.mac), 6));
        run.network.restart();
        run.window->DisplayRequest(); // the wait's event loop reads what came meanwhile
        QMetaObject::invokeMethod(wait, "Timeout");
        run.search(5, false);
        QVERIFY(run.results().isEmpty());
        run.endSearch();
        const QStringList boxes = run.results();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(kindOfBox(boxes.first()) == kind, qPrintable(boxes.first()));
        if (!windowSays.isEmpty())
            QCOMPARE(boxes.first().section('|', 1), windowSays);
    }

    FakeNetwork network;
    network.answers = replies(before);
    network.afterRestart = replies(after);
    BoardSearch search(&network, 1);
    QVERIFY(search.open().isEmpty());
    const QVector<FoundBoard> first = search.search(5);
    const FoundBoard *found = findBoard(first, macBytes);
    QVERIFY(found);
    QCOMPARE(network.queries, queriesPerSearch);
    QVERIFY(
        sendWrite(search, written, FoundBoard::fromReplies({found->replies().first()}), *found));
    QCOMPARE(network.writes.size(), 1);
    QCOMPARE(network.writes.first().first, board.card);
    network.restart();
    search.waitForRestart(0);
    search.search(5);
    const Outcome cli = verify(verdictFor(search, macBytes), written);
    const int codes[] = {0, 3, 4, 9}; // Applied, Differs, NotBack, CannotTell
    QVERIFY2(cli.code == codes[kind], qPrintable(cli.text));
    QVERIFY2(cli.text.startsWith(cliSays), qPrintable(cli.text));
}

void TestSession::eachWriteItsVerdict_data()
{
    QTest::addColumn<int>("firstSearchQueries"); // before the second wait ends, of 5
    QTest::addColumn<QStringList>("firstEnd");   // the boards told at the first search's end
    QTest::addColumn<QStringList>("secondEnd");
    const QStringList first{"2:0:00:00:00:01"};
    const QStringList second{"2:0:00:00:00:02"};
    QTest::newRow("the second wait ends after the first search") << 5 << first << second;
    // The second wait's search restarts the first: its end tells both.
    QTest::newRow("the second wait ends during the first search")
        << 2 << QStringList() << first + second;
    QTest::newRow("the second wait ends before the first search's queries")
        << 0 << QStringList() << first + second;
}

// Two boards written one after the other, the first wait escaped: each write gets its verdict
// at the end of the search that follows its own wait.
void TestSession::eachWriteItsVerdict()
{
    QFETCH(int, firstSearchQueries);
    QFETCH(QStringList, firstEnd);
    QFETCH(QStringList, secondEnd);
    WindowRun run;
    run.network.afterRestart = replies(QStringLiteral("1.30 2.31"));
    run.searchAmong(QStringLiteral("1.20 2.21"));
    QPointer<QDialog> firstWait = run.write(QStringLiteral("2:0:00:00:00:01"), [](QDialog *d) {
        type(d, "lineEditIP", QStringLiteral("10.77.0.30"));
    });
    QVERIFY(firstWait);
    QTest::keyClick(firstWait, Qt::Key_Escape);
    QVERIFY(!firstWait->isVisible());
    QPointer<QDialog> secondWait = run.write(QStringLiteral("2:0:00:00:00:02"), [](QDialog *d) {
        type(d, "lineEditIP", QStringLiteral("10.77.0.31"));
    });
    QVERIFY(secondWait && secondWait != firstWait);
    QCOMPARE(run.network.writes.size(), 2);
    run.network.restart();
    run.window->DisplayRequest();

    // The boards whose verdict is on screen, each back as sent.
    const auto told = [&run] {
        QStringList boards;
        for (const QString &box : run.results())
            boards << (kindOfBox(box) == RestartVerdict::Applied ? box.section(' ', 2, 2) : box);
        return boards;
    };
    QMetaObject::invokeMethod(firstWait, "Timeout");
    run.runSeries(firstSearchQueries);
    if (firstSearchQueries == 5) {
        run.endSearch();
        QCOMPARE(told(), firstEnd);
    }
    QMetaObject::invokeMethod(secondWait, "Timeout");
    run.runSeries();
    run.endSearch();
    QCOMPARE(told(), secondEnd);
}

// The search at the end of an escaped wait deletes every record, one of them under an open
// dialog: the edit is not lost, the board still gets it, and its wait begins.
void TestSession::recordDeletedUnderOpenDialog()
{
    WindowRun run;
    run.searchAmong(QStringLiteral("1.20"));
    QPointer<QDialog> settings = run.open(QStringLiteral("2:0:00:00:00:01"));
    QVERIFY(settings);
    type(settings, "lineEditIP", QStringLiteral("10.77.0.30"));
    run.window->RebootDone();
    QCOMPARE(run.table()->rowCount(), 0);
    answeringQuestion([&settings] { click(settings, "buttonOk"); },
                      QStringLiteral("Envoyer quand même"));
    QTRY_VERIFY(!settings);
    QCOMPARE(run.network.writes.size(), 1);
    QCOMPARE(run.network.writes.first().first, cardA); // the card the board answered on
    QCOMPARE(run.network.writes.first().second.mid(8, 16), QByteArray::fromHex("0200000000014e") +
                                                               QByteArray("502\0\0", 5) +
                                                               QByteArray::fromHex("0a4d001e"));
    QVERIFY(visibleDialog("Reboot"));
}

void TestSession::querySeries_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<int>("firstRun"); // due times the first search goes through
    QTest::addColumn<int>("queries");  // sent in all
    // The window: queries at 1, 2, 3 and 4 s, the series' end at 5 s; a search started
    // during a series (the end of an escaped wait) sends a full series of its own.
    QTest::newRow("window, one search") << "window" << -1 << 4;
    QTest::newRow("window, restarted after two queries") << "window" << 2 << 6;
    QTest::newRow("window, restarted after the fourth") << "window" << 4 << 8;
    QTest::newRow("window, restarted at the series' end") << "window" << 5 << 8;
    // The command line: the queries that come before the search's end.
    QTest::newRow("command line, 10 intervals") << "cli" << 10 << 4;
    QTest::newRow("command line, 3 intervals") << "cli" << 3 << 2;
    QTest::newRow("command line, 1 interval") << "cli" << 1 << 0;
}

void TestSession::querySeries()
{
    QFETCH(QString, program);
    QFETCH(int, firstRun);
    QFETCH(int, queries);
    if (program == QLatin1String("cli")) {
        FakeNetwork network;
        BoardSearch search(&network, 1);
        QVERIFY(search.open().isEmpty());
        search.search(firstRun);
        QCOMPARE(network.queries, queries);
        return;
    }
    WindowRun run;
    QTest::mouseClick(run.window->findChild<QPushButton *>("buttonSearch"), Qt::LeftButton);
    if (firstRun >= 0) {
        run.runSeries(firstRun);
        // The end of an escaped wait starts the next search.
        run.window->RebootDone();
    }
    for (int i = 0; i < 5; ++i)
        run.window->RequestTimerDone();
    QCOMPARE(run.network.queries, queries);
    // One wait cursor, whichever search pushed it, and the search's single end pops it.
    QVERIFY(QGuiApplication::overrideCursor());
    run.endSearch();
    QVERIFY(!QGuiApplication::overrideCursor());
    // The window's requestTimer is stopped once the series is over.
    bool running = false;
    for (const QTimer *timer :
         run.window->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
        running = running || (timer->interval() == queryIntervalMs && timer->isActive());
    QVERIFY(!running);
}

QUORVAN_TEST_MAIN(TestSession)
#include "tst_session.moc"
