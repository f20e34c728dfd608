// SPDX-License-Identifier: MIT
#include "common/boards.h"
#include "common/testsupport.h"

#include "discovery/boardreplies.h"
#include "discovery/writecheck.h"
#include "searchsteps.h"

#include <QHostAddress>

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

void TestSession::boardCap()
{
    BoardReplies book;
    HeardReply one = reply(QStringLiteral("1.20"));
    for (int i = 0; i <= maxBoardsPerSearch; ++i) {
        for (int byte = 0; byte < 4; ++byte)
            one.record.mac[5 - byte] = std::uint8_t((i + 1) >> (8 * byte));
        QCOMPARE(book.add(one), i < maxBoardsPerSearch ? BoardReplies::Added::Listed
                                                       : BoardReplies::Added::Capped);
    }
    QCOMPARE(book.size(), maxBoardsPerSearch);
    QVERIFY(book.capped());
    book.clear();
    QVERIFY(!book.capped() && book.size() == 0);
}

void TestSession::verdictAfterRestart_data()
{
    QTest::addColumn<QString>("before"); // the replies for the MAC before the write
    QTest::addColumn<QString>("sent");   // a reply standing for what was sent
    QTest::addColumn<QString>("after");  // the replies for the MAC after the restart
    QTest::addColumn<int>("kind");
    const auto row = [](const char *tag, const char *before, const char *sent, const char *after,
                        RestartVerdict::Kind kind) {
        QTest::newRow(tag) << before << sent << after << int(kind);
    };
    // The board is 3.41; the write moves it to 3.51. Another device, 3.42, claims its MAC.
    row("back as sent", "3.41", "3.51", "3.51 3.51 3.51", RestartVerdict::Applied);
    row("other settings", "3.41", "3.51", "3.51/g", RestartVerdict::Differs);
    row("not back", "3.41", "3.51", "", RestartVerdict::NotBack);
    row("back as sent, padding varies", "3.41/1", "3.51/1", "3.51/2 3.51/3",
        RestartVerdict::Applied);
    row("back as sent through both cards", "3.41 3.41/b", "3.51", "3.51/b 3.51",
        RestartVerdict::Applied);
    row("not back, the known other stays", "3.41 3.42", "3.51", "3.42", RestartVerdict::NotBack);
    row("not back, the known other stays, padding varies", "3.41/1 3.42/1", "3.51/1", "3.42/2",
        RestartVerdict::NotBack);
    row("back as sent beside the known other", "3.41 3.42", "3.51", "3.42 3.51",
        RestartVerdict::Applied);
    row("other settings beside the known other", "3.41 3.42", "3.51", "3.42 3.51/g",
        RestartVerdict::Differs);
    row("known other on the other card stays", "3.41 3.22/b", "3.51", "3.22/b",
        RestartVerdict::NotBack);
    // A device that answers for the first time may be the board itself.
    row("impostor seen only after, beside the board", "3.41", "3.51", "3.51 3.60",
        RestartVerdict::CannotTell);
    // Nothing tells a board back with other settings from a board gone and a new device.
    row("one reply seen only after, the board gone", "3.41 3.42", "3.51", "3.42 3.60",
        RestartVerdict::Differs);
    row("the known other changed, the board back", "3.41 3.42", "3.51", "3.43 3.51",
        RestartVerdict::CannotTell);
    // The board could hide behind another device that answers exactly what was sent.
    row("known other reports what was sent", "3.41 3.51", "3.51", "3.51",
        RestartVerdict::CannotTell);
    row("known other reports what was sent, the board mangles", "3.41 3.51", "3.51", "3.51 3.52",
        RestartVerdict::CannotTell);
    // With DHCP on the addresses come from the DHCP server.
    row("DHCP on, back", "3.41", "3.41/d", "3.77/d", RestartVerdict::Applied);
    row("DHCP on, back beside the known other", "3.41 3.42", "3.41/d", "3.42 3.90/d",
        RestartVerdict::Applied);
    row("DHCP on, not back, the known other stays", "3.41 3.42", "3.41/d", "3.42",
        RestartVerdict::NotBack);
    row("DHCP on, two new replies", "3.41", "3.41/d", "3.77/d 3.78/d/s",
        RestartVerdict::CannotTell);
}

// Both programs judge each row: the window's check of its latest write, fed as a search
// feeds it, and the command line's result for set and apply, with its exit status.
void TestSession::verdictAfterRestart()
{
    QFETCH(QString, before);
    QFETCH(QString, sent);
    QFETCH(QString, after);
    QFETCH(int, kind);
    BoardReplies first;
    for (const HeardReply &one : replies(before))
        first.add(one);
    BoardReplies second;
    for (const HeardReply &one : replies(after))
        second.add(one);
    const QVector<HeardReply> heardBefore = first.replies(0);
    const DeviceRecord written = reply(sent).record;

    WriteCheck window;
    window.written(written, heardBefore.first(), heardBefore);
    window.waitOver();
    QVERIFY(window.isDue());
    QCOMPARE(int(window.verdict(second).kind), kind);

    const FoundBoard boardBefore = FoundBoard::fromReplies(heardBefore);
    const FoundBoard boardAfter =
        second.size() > 0 ? FoundBoard::fromReplies(second.replies(0)) : FoundBoard();
    const Outcome cli = verify(written, second.size() > 0 ? &boardAfter : nullptr, boardBefore,
                               boardBefore.replies().first());
    const int codes[] = {0, 3, 4, 9}; // Applied, Differs, NotBack, CannotTell
    QVERIFY2(cli.code == codes[kind], qPrintable(cli.text));
}

QUORVAN_TEST_MAIN(TestSession)
#include "tst_session.moc"
