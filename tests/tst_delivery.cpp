// SPDX-License-Identifier: MIT
#include "common/netlab.h"
#include "common/testsupport.h"
#include "discovery/mainwindow.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include <functional>
#include <memory>

namespace {

// Entries on the override-cursor stack, counted by popping them and pushing them back.
int cursorDepth()
{
    QList<QCursor> stack;
    while (QGuiApplication::overrideCursor()) {
        stack.prepend(*QGuiApplication::overrideCursor());
        QGuiApplication::restoreOverrideCursor();
    }
    for (const QCursor &cursor : stack)
        QGuiApplication::setOverrideCursor(cursor);
    return stack.size();
}

QDialog *visibleDialog(const char *name)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(name) && widget->isVisible())
            return qobject_cast<QDialog *>(widget);
    }
    return nullptr;
}

void click(QDialog *dialog, const char *name)
{
    QTest::mouseClick(dialog->findChild<QAbstractButton *>(name), Qt::LeftButton);
}

void type(QDialog *dialog, const char *field, const QString &text)
{
    auto *edit = dialog->findChild<QLineEdit *>(QLatin1String(field));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

const QString longBoard = QStringLiteral("0:50:c2:0d:e4:05");
const QString shortBoard = QStringLiteral("a:1b:2c:3d:4e:5f");

// The short-layout board's behaviour in each row of changeReachesBoardAndComesBack, and the
// box the window shows when the search after the write ends: a confirmation that does not
// block when the board is back as sent, a warning with advice otherwise.
struct Result
{
    const char *tag;
    const char *boardKeys;
    const char *box; // "title|text"
};
const Result results[] = {
    {"back as sent", "",
     "Mise à jour|La carte a:1b:2c:3d:4e:5f a répondu avec les réglages envoyés."},
    {"back with another gateway", ",write=mangle-gateway",
     "Mise à jour|La carte a:1b:2c:3d:4e:5f a répondu après son redémarrage avec d'autres "
     "réglages que ceux envoyés\u00a0:\n– Passerelle\u00a0: envoyé 10.77.0.1, reçu 10.77.0.2\n\n"
     "La carte a peut-être corrigé ou refusé ces valeurs. Vérifiez la ligne du tableau, puis "
     "renvoyez les réglages voulus avec «\u00a0Mettre à jour\u00a0»."},
    // It never restarted: nothing may speak of a restart.
    {"write ignored", ",write=ignore",
     "Mise à jour|La carte a:1b:2c:3d:4e:5f a répondu avec ses réglages d'avant la mise à jour, "
     "sans prendre ceux qui lui ont été envoyés\u00a0:\n"
     "– Adresse IP\u00a0: envoyé 10.77.0.20, reçu 10.77.0.21\n"
     "– Masque de sous-réseau\u00a0: envoyé 255.255.0.0, reçu 255.255.255.0\n"
     "– Passerelle\u00a0: envoyé 10.77.0.1, reçu 10.77.0.254\n"
     "– DNS\u00a0: envoyé 10.77.0.53, reçu 10.77.0.254\n\n"
     "Les réglages ne lui sont peut-être pas parvenus, ou elle les a refusés. Renvoyez-les avec "
     "«\u00a0Mettre à jour\u00a0»\u00a0; si elle les ignore encore, vérifiez-la sur place."},
    // The settings sent, and the likeliest cause first.
    {"not back", ",restart=60000",
     "Mise à jour|La carte a:1b:2c:3d:4e:5f n'a pas répondu à la recherche qui a suivi la mise à "
     "jour.\nRéglages envoyés\u00a0: adresse IP 10.77.0.20, masque 255.255.0.0.\n\n"
     "Causes possibles, de la plus probable à la moins probable\u00a0:\n"
     "1. les nouveaux réglages\u00a0: une adresse déjà prise ou qui ne convient pas au réseau, "
     "ou aucun serveur DHCP pour lui en donner une\u00a0;\n"
     "2. elle redémarre encore\u00a0: relancez une recherche avec «\u00a0Rechercher\u00a0»"
     "\u00a0;\n3. son câble réseau ou le réseau entre elle et ce PC."},
};

// Runs `action`, which opens a question box in a loop of its own, and answers the box with
// the button captioned `answer`; returns "title|text" of the box, empty when none came.
QString answeringQuestion(const std::function<void()> &action, const QString &answer)
{
    QString seen;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&seen, &answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen = box->windowTitle() + '|' + box->text();
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == answer) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        QTest::keyClick(box, Qt::Key_Escape);
    });
    watcher.start(20);
    action();
    return seen;
}

} // namespace

// Changes of settings from the table to a simulated board and back, watched on the wire and
// in the window. Each starts while the search that lists the boards still runs.
class TestDelivery : public StrictTestCase
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void changeReachesBoardAndComesBack_data();
    void changeReachesBoardAndComesBack();
    void escapedWaitThenRecordDeletedUnderOpenDialog();
    void sameMacBehindTwoCards();

private:
    QTableWidget *table() const { return window->findChild<QTableWidget *>("tableWidget"); }
    QPushButton *button(const char *name) const { return window->findChild<QPushButton *>(name); }
    int rowOf(const QString &mac) const
    {
        const QList<QTableWidgetItem *> items = table()->findItems(mac, Qt::MatchExactly);
        return items.isEmpty() ? -1 : items.first()->row();
    }
    QDialog *openSettings(const QString &mac);
    QVector<SimEvent> writes() { return sim->events("RECV", "write"); }

    std::unique_ptr<NetLab> lab;
    std::unique_ptr<MainWindow> window;
    Simulator *sim = nullptr;
    // Behind a second card, for sameMacBehindTwoCards: a device with the short board's MAC.
    Simulator *otherSim = nullptr;
};

void TestDelivery::init()
{
    QString shortKeys;
    for (const Result &result : results) {
        if (QLatin1String(QTest::currentDataTag()) == QLatin1String(result.tag))
            shortKeys = QString::fromUtf8(result.boardKeys);
    }
    lab = std::make_unique<NetLab>();
    sim = lab->startSimulator(
        lab->linkedHost("10.77.0.1/24", {"10.77.0.2/24"}),
        {"--restart", "3000", "--board",
         "mac=00:50:c2:0d:e4:05,ip=10.77.0.20,layout=long,dhcp=on,port=4022", "--board",
         "mac=0a:1b:2c:3d:4e:5f,ip=10.77.0.21,layout=short,version=V3.07,delay=100" + shortKeys});
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

QDialog *TestDelivery::openSettings(const QString &mac)
{
    const int row = rowOf(mac);
    if (row < 0)
        return nullptr;
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                      table()->visualItemRect(table()->item(row, 0)).center());
    QTest::mouseClick(button("buttonUpdate"), Qt::LeftButton);
    return visibleDialog("Update");
}

void TestDelivery::changeReachesBoardAndComesBack_data()
{
    QTest::addColumn<QString>("box");
    for (const Result &result : results)
        QTest::newRow(result.tag) << QString::fromUtf8(result.box);
}

// A cancelled edit, then the lifecycle of one change on the short-layout board, which must
// receive the long layout: the search's cursor and the wait's share the stack. Its new IP
// is held by this PC, then by the other board: each is asked about, and only « Envoyer
// quand même » sends. When the search after the restart ends, the window tells how the
// board answered: its row selected when it is back as sent, a box otherwise.
void TestDelivery::changeReachesBoardAndComesBack()
{
    QFETCH(QString, box);
    QDialog *settings = openSettings(longBoard);
    QVERIFY(settings);
    click(settings, "radioButtonDHCPNo");
    type(settings, "lineEditIP", QStringLiteral("10.77.0.98"));
    // Return on a focused "Annuler" cancels: it is not the dialog's default button.
    QWidget *cancel = settings->findChild<QWidget *>("buttonCancel");
    cancel->setFocus(Qt::TabFocusReason);
    QTest::keyClick(cancel, Qt::Key_Return);
    QTest::qWait(300);
    QVERIFY(writes().isEmpty());
    QVERIFY(!visibleDialog("Reboot"));
    QVERIFY(button("buttonUpdate")->isEnabled());
    QCOMPARE(cursorDepth(), 1);
    // The record is untouched: a new dialog shows what the board reported.
    settings = openSettings(longBoard);
    QVERIFY(settings);
    QCOMPARE(settings->findChild<QLineEdit *>("lineEditIP")->text(), QStringLiteral("10.77.0.20"));
    QVERIFY(settings->findChild<QRadioButton *>("radioButtonDHCPYes")->isChecked());
    click(settings, "buttonCancel");

    settings = openSettings(shortBoard);
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
    QElapsedTimer clock;
    seen = answeringQuestion(
        [&] {
            clock.start();
            click(settings, "buttonOk");
        },
        "Envoyer quand même");
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

    // The search ends under the wait, which lasts its twenty seconds; the new search then
    // starts as the wait dialog goes.
    QTRY_VERIFY_WITH_TIMEOUT(button("buttonSearch")->isEnabled(), 11000);
    QCOMPARE(cursorDepth(), 1);
    while (clock.elapsed() < 18000) {
        QVERIFY(visibleDialog("Reboot"));
        QTest::qWait(500);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!visibleDialog("Reboot"), 3000);
    QCOMPARE(table()->rowCount(), 0);
    QVERIFY(!button("buttonSearch")->isEnabled());
    QVERIFY(!button("buttonUpdate")->isEnabled());
    QCOMPARE(cursorDepth(), 1);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);

    QTRY_VERIFY_WITH_TIMEOUT(button("buttonSearch")->isEnabled(), 11000);
    QCOMPARE(cursorDepth(), 0);
    const QString tag = QLatin1String(QTest::currentDataTag());
    const bool asSent = tag == QLatin1String("back as sent");
    QCOMPARE(writes().size(), 1);
    QCOMPARE(sim->events("APPLY").size(), tag == QLatin1String("write ignored") ? 0 : 1);
    QPointer<QMessageBox> result = window->findChild<QMessageBox *>("writeResult");
    QVERIFY(result && result->isVisible());
    QCOMPARE(result->windowTitle() + '|' + result->text(), box);
    // A warning blocks the window until it is read; the confirmation leaves it free, and
    // Escape closes it as it closes the others.
    QCOMPARE(result->icon(), asSent ? QMessageBox::Information : QMessageBox::Warning);
    QCOMPARE(result->isModal(), !asSent);
    const int row = rowOf(shortBoard);
    QCOMPARE(row >= 0, tag != QLatin1String("not back"));
    if (row >= 0) {
        QStringList cells;
        for (int column = 0; column < table()->columnCount(); ++column)
            cells << table()->item(row, column)->text();
        const QString expected = tag == QLatin1String("write ignored")
                                     ? "10.77.0.21|Non|502|10.77.0.254|255.255.255.0|10.77.0.254"
                                     : "10.77.0.20|Non|502|" +
                                           QString(asSent ? "10.77.0.1" : "10.77.0.2") +
                                           "|255.255.0.0|10.77.0.53";
        QCOMPARE(cells.join('|'), "a:1b:2c:3d:4e:5f|" + expected + "|Non|V3.07");
        // Back as sent: the row is selected and shown, ready for the next change.
        QCOMPARE(table()->currentRow() == row && table()->item(row, 0)->isSelected(), asSent);
        QCOMPARE(button("buttonUpdate")->isEnabled(), asSent);
        if (asSent)
            QVERIFY(table()->viewport()->rect().intersects(
                table()->visualItemRect(table()->item(row, 0))));
    }
    QTest::keyClick(result, Qt::Key_Escape);
    QTRY_VERIFY(!result);
}

// Escape hides the wait dialog while its timer runs on; the user opens the settings of a
// listed board, and the search at the end of the wait deletes every record under it.
void TestDelivery::escapedWaitThenRecordDeletedUnderOpenDialog()
{
    QDialog *settings = openSettings(longBoard);
    QVERIFY(settings);
    click(settings, "buttonOk");
    QDialog *wait = visibleDialog("Reboot");
    QVERIFY(wait);
    QTest::keyClick(wait, Qt::Key_Escape);
    QVERIFY(!visibleDialog("Reboot"));

    settings = openSettings(shortBoard);
    QVERIFY(settings);
    click(settings, "radioButtonDHCPNo");
    type(settings, "lineEditIP", QStringLiteral("10.77.0.97"));
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 0, 22000); // the wait is over: new search
    QPointer<QDialog> stale = settings;
    click(settings, "buttonOk");
    QTRY_VERIFY(!stale);
    // The edit is not lost: the board, no longer listed, still gets it, and the wait begins.
    QTRY_COMPARE_WITH_TIMEOUT(writes().size(), 2, 2000);
    const QByteArray bytes = writes().last().bytes;
    QCOMPARE(bytes.mid(8, 6), QByteArray::fromHex("0a1b2c3d4e5f"));
    QCOMPARE(bytes.mid(20, 4), QByteArray::fromHex("0a4d0061"));
    QVERIFY(visibleDialog("Reboot"));
    // The search that the first wait started ends during the second wait: it follows no
    // write of its own, and the board it lists at its new address is not reported on yet.
    QTRY_VERIFY_WITH_TIMEOUT(rowOf(shortBoard) >= 0, 11000);
    QTRY_VERIFY_WITH_TIMEOUT(button("buttonSearch")->isEnabled(), 11000);
    QVERIFY(!window->findChild<QMessageBox *>("writeResult"));
    QVERIFY(table()->selectedItems().isEmpty());
}

// One MAC behind two cards: the row says so before it is opened, "Valider" asks first and
// names both replies and cards, and the write leaves only through the card of the listed
// reply, so the device behind the other card keeps its settings.
void TestDelivery::sameMacBehindTwoCards()
{
    const int row = rowOf(shortBoard);
    QVERIFY(row >= 0);
    const QTableWidgetItem *macCell = table()->item(row, 0);
    // Every row names its card at once; the mark follows the second reply.
    QTRY_VERIFY_WITH_TIMEOUT(macCell->toolTip().contains("Attention"), 3000);
    QCOMPARE(macCell->data(Qt::AccessibleDescriptionRole).toString(), macCell->toolTip());
    QVERIFY2(macCell->toolTip().contains("2\u00a0réponses différentes") &&
                 macCell->toolTip().contains("2\u00a0cartes réseau"),
             qPrintable(macCell->toolTip()));
    // The other board's cell only names the card its reply came through.
    const QString otherTip = table()->item(rowOf(longBoard), 0)->toolTip();
    QVERIFY2(otherTip.startsWith("Réponse reçue par la carte réseau ") && !otherTip.contains('\n'),
             qPrintable(otherTip));
    // The listed reply, and so the card the write must take.
    const bool listedFirst = table()->item(row, 1)->text() == QLatin1String("10.77.0.21");
    Simulator *chosen = listedFirst ? sim : otherSim;
    Simulator *left = listedFirst ? otherSim : sim;

    QDialog *settings = openSettings(shortBoard);
    QVERIFY(settings);
    type(settings, "lineEditDNS", listedFirst ? "10.77.0.53" : "10.88.0.53");
    QString seen = answeringQuestion([&] { click(settings, "buttonOk"); }, "Corriger");
    for (const char *part :
         {"Confirmation|Plusieurs réponses portent l'adresse MAC a:1b:2c:3d:4e:5f\u00a0:\n– IP ",
          "IP 10.77.0.21, masque 255.255.255.0, passerelle 10.77.0.254, version V3.07, par la "
          "carte réseau 10.77.0.1 (",
          "IP 10.88.0.22, masque 255.255.255.0, passerelle 10.88.0.254, version V3.07, par la "
          "carte réseau 10.88.0.1 ("})
        QVERIFY2(seen.contains(QString::fromUtf8(part)), qPrintable(seen));
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
