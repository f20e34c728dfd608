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

} // namespace

// One change of settings from the table to a simulated board and back, watched on the wire
// and in the window at every step.
class TestDelivery : public StrictTestCase
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void changeReachesBoardAndComesBack();
    void cancelSendsNothing();
    void changeDuringSearchWaitEndsWithEmptyStack();
    void escapedWaitThenRecordDeletedUnderOpenDialog();

private:
    QTableWidget *table() const
    {
        return window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    }
    QPushButton *button(const char *name) const
    {
        return window->findChild<QPushButton *>(QLatin1String(name));
    }
    int rowOf(const QString &mac) const;
    void searchAndWait();
    QDialog *openSettings(const QString &mac);
    static void type(QDialog *dialog, const char *field, const QString &text);
    QVector<SimEvent> writes()
    {
        return sim->events(QStringLiteral("RECV"), QStringLiteral("write"));
    }

    std::unique_ptr<NetLab> lab;
    std::unique_ptr<MainWindow> window;
    Simulator *sim = nullptr;
};

void TestDelivery::init()
{
    lab = std::make_unique<NetLab>();
    const QString boards = lab->addHost();
    QVERIFY(!lab->link(boards, QStringLiteral("10.77.0.1/24"), {QStringLiteral("10.77.0.2/24")})
                 .isEmpty());
    sim = lab->startSimulator(
        boards,
        {QStringLiteral("--restart"), QStringLiteral("3000"), QStringLiteral("--board"),
         QStringLiteral("mac=00:50:c2:0d:e4:05,ip=10.77.0.20,layout=long,dhcp=on,port=4022"),
         QStringLiteral("--board"),
         QStringLiteral(
             "mac=0a:1b:2c:3d:4e:5f,ip=10.77.0.21,layout=short,version=V3.07,delay=100")});
    QVERIFY(sim);
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestDelivery::cleanup()
{
    window.reset();
    lab.reset();
    sim = nullptr;
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

int TestDelivery::rowOf(const QString &mac) const
{
    for (int row = 0; row < table()->rowCount(); ++row) {
        if (table()->item(row, 0)->text() == mac)
            return row;
    }
    return -1;
}

void TestDelivery::searchAndWait()
{
    QTest::mouseClick(button("buttonSearch"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(button("buttonSearch")->isEnabled(), 12000);
    QCOMPARE(table()->rowCount(), 2);
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

void TestDelivery::type(QDialog *dialog, const char *field, const QString &text)
{
    auto *edit = dialog->findChild<QLineEdit *>(QLatin1String(field));
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

// The lifecycle of one change, on the short-layout board, which must receive the long layout.
void TestDelivery::changeReachesBoardAndComesBack()
{
    searchAndWait();
    QCOMPARE(cursorDepth(), 0);
    QVERIFY(!button("buttonUpdate")->isEnabled());

    QDialog *settings = openSettings(QStringLiteral("a:1b:2c:3d:4e:5f"));
    QVERIFY(settings);
    QCOMPARE(settings->findChild<QLineEdit *>(QStringLiteral("lineEditIP"))->text(),
             QStringLiteral("10.77.0.21"));
    type(settings, "lineEditIP", QStringLiteral("10.77.0.99"));
    type(settings, "lineEditMask", QStringLiteral("255.255.0.0"));
    type(settings, "lineEditGw", QStringLiteral("10.77.0.1"));
    type(settings, "lineEditDNS", QStringLiteral("10.77.0.53"));
    QTest::mouseClick(
        settings->findChild<QRadioButton *>(QStringLiteral("radioButtonCdeNiveau2Oui")),
        Qt::LeftButton);
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(settings->findChild<QPushButton *>(QStringLiteral("buttonOk")),
                      Qt::LeftButton);

    QDialog *wait = visibleDialog("Reboot");
    QVERIFY(wait);
    QVERIFY(wait->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(cursorDepth(), 1);
    QVERIFY(!visibleDialog("Update"));
    QCOMPARE(table()->item(rowOf(QStringLiteral("a:1b:2c:3d:4e:5f")), 1)->text(),
             QStringLiteral("10.77.0.21")); // the row keeps the reported settings

    QTRY_COMPARE_WITH_TIMEOUT(writes().size(), 1, 2000);
    const SimEvent write = writes().first();
    QCOMPARE(write.address, QStringLiteral("10.77.0.1"));
    QCOMPARE(write.port, 4022);
    const QByteArray expected = QByteArray("QuorvanW") + QByteArray::fromHex("0a1b2c3d4e5f") + 'N' +
                                QByteArray("502\0\0", 5) +
                                QByteArray::fromHex("0a4d0063ffff00000a4d00010a4d0035") + 'O' +
                                QByteArray("V3.07\0\0\0", 8);
    QCOMPARE(write.bytes, expected);

    // Twenty seconds of wait, then the new search starts as the wait dialog goes.
    while (clock.elapsed() < 18000) {
        QTest::qWait(500);
        QVERIFY(visibleDialog("Reboot"));
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
    const int row = rowOf(QStringLiteral("a:1b:2c:3d:4e:5f"));
    QVERIFY(row >= 0);
    QCOMPARE(table()->item(row, 1)->text(), QStringLiteral("10.77.0.99"));
    QCOMPARE(table()->item(row, 5)->text(), QStringLiteral("255.255.0.0"));
    QCOMPARE(table()->item(row, 4)->text(), QStringLiteral("10.77.0.1"));
    QCOMPARE(table()->item(row, 6)->text(), QStringLiteral("10.77.0.53"));
    QCOMPARE(table()->item(row, 8)->text(), QStringLiteral("V3.07"));
    QCOMPARE(writes().size(), 1);
    QCOMPARE(sim->events(QStringLiteral("APPLY")).size(), 1);
}

void TestDelivery::cancelSendsNothing()
{
    searchAndWait();
    QDialog *settings = openSettings(QStringLiteral("0:50:c2:0d:e4:05"));
    QVERIFY(settings);
    QTest::mouseClick(settings->findChild<QRadioButton *>(QStringLiteral("radioButtonDHCPNo")),
                      Qt::LeftButton);
    type(settings, "lineEditIP", QStringLiteral("10.77.0.98"));
    QTest::mouseClick(settings->findChild<QPushButton *>(QStringLiteral("buttonCancel")),
                      Qt::LeftButton);
    QTest::qWait(500);
    QVERIFY(writes().isEmpty());
    QVERIFY(!visibleDialog("Reboot"));
    QVERIFY(button("buttonUpdate")->isEnabled());
    QVERIFY(button("buttonSearch")->isEnabled());
    QCOMPARE(cursorDepth(), 0);
    // The record is untouched: a new dialog shows what the board reported.
    settings = openSettings(QStringLiteral("0:50:c2:0d:e4:05"));
    QVERIFY(settings);
    QCOMPARE(settings->findChild<QLineEdit *>(QStringLiteral("lineEditIP"))->text(),
             QStringLiteral("10.77.0.20"));
    QVERIFY(settings->findChild<QRadioButton *>(QStringLiteral("radioButtonDHCPYes"))->isChecked());
}

void TestDelivery::changeDuringSearchWaitEndsWithEmptyStack()
{
    QTest::mouseClick(button("buttonSearch"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 2, 3000);
    QDialog *settings = openSettings(QStringLiteral("0:50:c2:0d:e4:05"));
    QVERIFY(settings);
    QTest::mouseClick(settings->findChild<QPushButton *>(QStringLiteral("buttonOk")),
                      Qt::LeftButton);
    QCOMPARE(cursorDepth(), 2); // the search's and the wait's
    QTRY_VERIFY_WITH_TIMEOUT(button("buttonSearch")->isEnabled(), 11000);
    QCOMPARE(cursorDepth(), 1);
    QVERIFY(visibleDialog("Reboot"));
    QTRY_VERIFY_WITH_TIMEOUT(!visibleDialog("Reboot"), 15000);
    QCOMPARE(cursorDepth(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(button("buttonSearch")->isEnabled(), 11000);
    QCOMPARE(cursorDepth(), 0);
    QCOMPARE(writes().size(), 1);
}

// Escape hides the wait dialog while its timer runs on; the user opens the settings of a
// listed board, and the search at the end of the wait deletes every record under it.
void TestDelivery::escapedWaitThenRecordDeletedUnderOpenDialog()
{
    searchAndWait();
    QDialog *settings = openSettings(QStringLiteral("0:50:c2:0d:e4:05"));
    QVERIFY(settings);
    QTest::mouseClick(settings->findChild<QPushButton *>(QStringLiteral("buttonOk")),
                      Qt::LeftButton);
    QDialog *wait = visibleDialog("Reboot");
    QVERIFY(wait);
    QTest::keyClick(wait, Qt::Key_Escape);
    QVERIFY(!visibleDialog("Reboot"));

    settings = openSettings(QStringLiteral("a:1b:2c:3d:4e:5f"));
    QVERIFY(settings);
    QTest::mouseClick(settings->findChild<QRadioButton *>(QStringLiteral("radioButtonDHCPNo")),
                      Qt::LeftButton);
    type(settings, "lineEditIP", QStringLiteral("10.77.0.97"));
    QTRY_COMPARE_WITH_TIMEOUT(table()->rowCount(), 0, 22000); // the wait is over: new search
    QPointer<QDialog> stale = settings;
    QTest::mouseClick(settings->findChild<QPushButton *>(QStringLiteral("buttonOk")),
                      Qt::LeftButton);
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
