// SPDX-License-Identifier: MIT
#include "common/netlab.h"
#include "common/testsupport.h"
#include "discovery/mainwindow.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

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
    void escapedWaitThenRecordDeletedUnderOpenDialog();

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

// A cancelled edit, then the lifecycle of one change on the short-layout board, which must
// receive the long layout: the search's cursor and the wait's share the stack.
void TestDelivery::changeReachesBoardAndComesBack()
{
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
    type(settings, "lineEditIP", QStringLiteral("10.77.0.99"));
    type(settings, "lineEditMask", QStringLiteral("255.255.0.0"));
    type(settings, "lineEditGw", QStringLiteral("10.77.0.1"));
    type(settings, "lineEditDNS", QStringLiteral("10.77.0.53"));
    click(settings, "radioButtonCdeNiveau2Oui");
    QElapsedTimer clock;
    clock.start();
    click(settings, "buttonOk");
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
                                QByteArray::fromHex("0a4d0063ffff00000a4d00010a4d0035") + 'O' +
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
    QVERIFY(!button("buttonUpdate")->isEnabled());
    const int row = rowOf(shortBoard);
    QVERIFY(row >= 0);
    QStringList cells;
    for (int column = 0; column < table()->columnCount(); ++column)
        cells << table()->item(row, column)->text();
    QCOMPARE(cells.join('|'),
             "a:1b:2c:3d:4e:5f|10.77.0.99|Non|502|10.77.0.1|255.255.0.0|10.77.0.53|Non|V3.07");
    QCOMPARE(writes().size(), 1);
    QCOMPARE(sim->events("APPLY").size(), 1);
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
}

QUORVAN_TEST_MAIN(TestDelivery)
#include "tst_delivery.moc"
