// SPDX-License-Identifier: MIT
#include "common/dialogs.h"
#include "common/netlab.h"
#include "common/testsupport.h"
#include "discovery/mainwindow.h"

#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>

#include <memory>

namespace {

const QString longBoard = QStringLiteral("0:50:c2:0d:e4:05");
const QString shortBoard = QStringLiteral("a:1b:2c:3d:4e:5f");

} // namespace

// Changes of settings from the table to a simulated board and back, watched on the wire and
// in the window. Each starts while the search that lists the boards still runs.
class TestDelivery : public StrictTestCase
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void changeReachesBoardAndComesBack();
    void sameMacBehindTwoCards();

private:
    QTableWidget *table() const { return window->findChild<QTableWidget *>("tableWidget"); }
    QPushButton *button(const char *name) const { return window->findChild<QPushButton *>(name); }
    int rowOf(const QString &mac) const
    {
        const QList<QTableWidgetItem *> items = table()->findItems(mac, Qt::MatchExactly);
        return items.isEmpty() ? -1 : items.first()->row();
    }
    QVector<SimEvent> writes() { return sim->events("RECV", "write"); }

    std::unique_ptr<NetLab> lab;
    std::unique_ptr<MainWindow> window;
    Simulator *sim = nullptr;
    // Behind a second card, for sameMacBehindTwoCards: a device with the short board's MAC.
    Simulator *otherSim = nullptr;
};

void TestDelivery::init()
{
    lab = std::make_unique<NetLab>();
    sim = lab->startSimulator(
        lab->linkedHost("10.77.0.1/24", {"10.77.0.2/24"}),
        {"--restart", "3000", "--board",
         "mac=00:50:c2:0d:e4:05,ip=10.77.0.20,layout=long,dhcp=on,port=4022", "--board",
         "mac=0a:1b:2c:3d:4e:5f,ip=10.77.0.21,layout=short,version=V3.07,delay=100"});
    QVERIFY(sim);
    otherSim = nullptr;
    if (QTest::currentTestFunction() == QLatin1String("sameMacBehindTwoCards")) {
        otherSim = lab->startSimulator(
            lab->linkedHost("10.88.0.1/24", {"10.88.0.2/24"}),
            {"--restart", "3000", "--board",
             "mac=0a:1b:2c:3d:4e:5f,ip=10.88.0.22,layout=short,version=V3.07,gateway=10.88.0.254"});
        QVERIFY(otherSim);
    }
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTest::mouseClick(button("buttonSearch"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 2, 3000);
}

void TestDelivery::cleanup()
{
    window.reset();
    lab.reset();
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

// The lifecycle of one change on the short-layout board, which must receive the long layout
// (a cancelled edit is a row of tst_update): the search's cursor and the wait's share the
// stack. Its new IP is held by this PC, then by the other board: each is asked about, and
// only « Envoyer quand même » sends. When the search after the restart ends, the window tells
// that the board is back as sent: its row selected, and a confirmation that does not block
// (the other verdicts are rows of tst_session). The searches' ten seconds and the wait's
// twenty (tst_discovery and tst_reboot time them) are cut short once what they wait for has
// happened: the replies heard, the board restarted.
void TestDelivery::changeReachesBoardAndComesBack()
{
    QDialog *settings = openSettings(window.get(), shortBoard);
    QVERIFY(settings);
    QCOMPARE(settings->findChild<QLineEdit *>("lineEditIP")->text(), QStringLiteral("10.77.0.21"));
    type(settings, "lineEditIP", QStringLiteral("10.77.0.1"));
    type(settings, "lineEditMask", QStringLiteral("255.255.0.0"));
    type(settings, "lineEditGw", QStringLiteral("10.77.0.1"));
    type(settings, "lineEditDNS", QStringLiteral("10.77.0.53"));
    click(settings, "radioButtonCdeNiveau2Oui");
    // Under what each puts at stake: an address conflict, hosts beyond a router.
    const QString asked = QStringLiteral(
        "Confirmation|Ces réglages risquent de créer un conflit d'adresses\u00a0:\n– Adresse "
        "IP\u00a0: %1\n\nLes envoyer quand même\u00a0?");
    QString seen = answeringQuestion([&] { click(settings, "buttonOk"); }, "Corriger");
    // This PC's address, on the card whose name the lab chose.
    const QString pcAddress = QStringLiteral("10.77.0.1 est déjà une adresse de ce PC (");
    const int cardAt = seen.indexOf(pcAddress) + pcAddress.size();
    const QString card = seen.mid(cardAt, seen.indexOf(')', cardAt) - cardAt);
    QVERIFY2(!card.isEmpty(), qPrintable(seen));
    QCOMPARE(seen, asked.arg(pcAddress + card +
                             ")\n\nCes réglages risquent de rendre la carte injoignable depuis "
                             "les autres sous-réseaux\u00a0:\n– Passerelle\u00a0: 10.77.0.1 est "
                             "l'adresse IP de la carte elle-même"));
    QTest::qWait(300);
    QVERIFY(writes().isEmpty());
    QVERIFY(visibleDialog("Update") && !visibleDialog("Reboot"));
    type(settings, "lineEditIP", QStringLiteral("10.77.0.20"));
    seen = answeringQuestion([&] { click(settings, "buttonOk"); }, "Envoyer quand même");
    QCOMPARE(seen, asked.arg("10.77.0.20 est déjà l'adresse de la carte 0:50:c2:0d:e4:05"));
    QVERIFY(visibleDialog("Reboot") &&
            visibleDialog("Reboot")->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(cursorDepth(), 2); // the search's and the wait's
    QVERIFY(!visibleDialog("Update"));
    QCOMPARE(table()->item(rowOf(shortBoard), 1)->text(), QStringLiteral("10.77.0.21"));

    QTRY_COMPARE_WITH_TIMEOUT(writes().size(), 1, 2000);
    const SimEvent write = writes().first();
    QCOMPARE(write.address, QStringLiteral("10.77.0.1"));
    QCOMPARE(write.port, 4022);
    const QByteArray expected = QByteArray("QuorvanW") + QByteArray::fromHex("0a1b2c3d4e5f") + 'N' +
                                QByteArray("502\0\0", 5) +
                                QByteArray::fromHex("0a4d0014ffff00000a4d00010a4d0035") + 'O' +
                                QByteArray("V3.07\0\0\0", 8);
    QCOMPARE(write.bytes, expected);

    // The search ends under the wait, which stays; the new search starts as the wait dialog
    // goes, once the board has restarted.
    endSearchNow(window.get());
    QTRY_VERIFY(button("buttonSearch")->isEnabled());
    QCOMPARE(cursorDepth(), 1);
    QVERIFY(visibleDialog("Reboot"));
    QTRY_COMPARE_WITH_TIMEOUT(sim->events("BACK").size(), 1, 10000);
    QMetaObject::invokeMethod(visibleDialog("Reboot"), "Timeout");
    QTRY_VERIFY(!visibleDialog("Reboot"));
    QCOMPARE(table()->rowCount(), 0);
    QVERIFY(!button("buttonSearch")->isEnabled());
    QVERIFY(!button("buttonUpdate")->isEnabled());
    QCOMPARE(cursorDepth(), 1);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);

    // The search has heard the board.
    QTRY_VERIFY_WITH_TIMEOUT(rowOf(shortBoard) >= 0, 10000);
    endSearchNow(window.get());
    QTRY_VERIFY(button("buttonSearch")->isEnabled());
    QCOMPARE(cursorDepth(), 0);
    QCOMPARE(writes().size(), 1);
    QCOMPARE(sim->events("APPLY").size(), 1);
    QPointer<QMessageBox> result = window->findChild<QMessageBox *>("writeResult");
    QVERIFY(result && result->isVisible());
    QCOMPARE(result->windowTitle() + '|' + result->text(),
             "Mise à jour|La carte a:1b:2c:3d:4e:5f a répondu avec les réglages envoyés.");
    // The confirmation leaves the window free, and Escape closes it as it closes the others.
    QCOMPARE(result->icon(), QMessageBox::Information);
    QVERIFY(!result->isModal());
    const int row = rowOf(shortBoard);
    QStringList cells;
    for (int column = 0; column < table()->columnCount(); ++column)
        cells << table()->item(row, column)->text();
    QCOMPARE(cells.join('|'),
             "a:1b:2c:3d:4e:5f|10.77.0.20|Non|502|10.77.0.1|255.255.0.0|10.77.0.53|Non|V3.07");
    // The row is selected and shown, ready for the next change.
    QVERIFY(table()->currentRow() == row && table()->item(row, 0)->isSelected());
    QVERIFY(button("buttonUpdate")->isEnabled());
    QVERIFY(table()->viewport()->rect().intersects(table()->visualItemRect(table()->item(row, 0))));
    QTest::keyClick(result, Qt::Key_Escape);
    QTRY_VERIFY(!result);
}

// One MAC behind two cards: the row says so before it is opened, "Valider" asks first and
// names both replies and cards, and the write leaves only through the card of the listed
// reply, so the device behind the other card keeps its settings.
void TestDelivery::sameMacBehindTwoCards()
{
    const int row = rowOf(shortBoard);
    QVERIFY(row >= 0);
    // The row is marked once the second reply is in, naming both cards (the marks' texts are
    // rows of tst_mainwindow).
    QTRY_VERIFY_WITH_TIMEOUT(table()->item(row, 0)->toolTip().contains("2\u00a0cartes réseau"),
                             3000);
    // The listed reply, and so the card the write must take.
    const bool listedFirst = table()->item(row, 1)->text() == QLatin1String("10.77.0.21");
    Simulator *chosen = listedFirst ? sim : otherSim;
    Simulator *left = listedFirst ? otherSim : sim;

    QDialog *settings = openSettings(window.get(), shortBoard);
    QVERIFY(settings);
    type(settings, "lineEditDNS", listedFirst ? "10.77.0.53" : "10.88.0.53");
    QString seen = answeringQuestion([&] { click(settings, "buttonOk"); }, "Corriger");
    QVERIFY2(seen.startsWith("Confirmation|Plusieurs réponses portent l'adresse MAC "
                             "a:1b:2c:3d:4e:5f\u00a0:") &&
                 seen.contains("par la carte réseau 10.88.0.1 ("),
             qPrintable(seen));
    QTest::qWait(300);
    QVERIFY(sim->events("RECV", "write").isEmpty() && otherSim->events("RECV", "write").isEmpty());
    QVERIFY(visibleDialog("Update") && !visibleDialog("Reboot"));

    seen = answeringQuestion([&] { click(settings, "buttonOk"); }, "Envoyer quand même");
    QVERIFY(visibleDialog("Reboot"));
    QTRY_COMPARE_WITH_TIMEOUT(chosen->events("RECV", "write").size(), 1, 2000);
    QCOMPARE(chosen->events("RECV", "write").first().address,
             listedFirst ? QStringLiteral("10.77.0.1") : QStringLiteral("10.88.0.1"));
    QTRY_COMPARE_WITH_TIMEOUT(chosen->events("APPLY").size(), 1, 2000);
    QTest::qWait(300);
    QCOMPARE(left->events("RECV", "write").size(), 0);
    QVERIFY(left->events("APPLY").isEmpty());
}

QUORVAN_TEST_MAIN(TestDelivery)
#include "tst_delivery.moc"
