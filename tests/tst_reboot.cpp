// SPDX-License-Identifier: MIT
#include "common/testsupport.h"
#include "dialogs/reboot.h"

// The wait dialog: frameless and modal, the wait cursor held for 20 s, one TimerDone().
class TestReboot : public StrictTestCase
{
    Q_OBJECT

private slots:
    void holdsTheCursorUntilTimeout_data();
    void holdsTheCursorUntilTimeout();
};

void TestReboot::holdsTheCursorUntilTimeout_data()
{
    QTest::addColumn<bool>("escaped");
    QTest::newRow("waited out") << false;
    QTest::newRow("escaped: hidden, the wait runs on") << true;
}

void TestReboot::holdsTheCursorUntilTimeout()
{
    QFETCH(bool, escaped);
    QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor)); // something already pushed
    QWidget parent;
    QPointer<Reboot> wait = new Reboot(&parent);
    QSignalSpy done(wait.data(), SIGNAL(TimerDone()));
    QVERIFY(done.isValid());
    QVERIFY(wait->isModal() && wait->windowFlags() == (Qt::Window | Qt::FramelessWindowHint));
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    const auto *timer = wait->findChild<QTimer *>();
    QVERIFY(timer && timer->isActive());
    QCOMPARE(timer->interval(), 20000);
    wait->show();
    QVERIFY(QTest::qWaitForWindowExposed(wait.data()));
    if (escaped) {
        QTest::keyClick(wait->windowHandle(), Qt::Key_Escape);
        QVERIFY(wait && !wait->isVisible() && timer->isActive());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    // Receivers run while the dialog still exists and the cursor is already popped.
    bool aliveInside = false;
    Qt::CursorShape shapeInside = Qt::BlankCursor;
    connect(wait.data(), &Reboot::TimerDone, this, [&] {
        aliveInside = wait && (escaped || wait->isVisible());
        shapeInside = QGuiApplication::overrideCursor()->shape();
    });
    QMetaObject::invokeMethod(wait.data(), "Timeout");
    QVERIFY(aliveInside);
    QCOMPARE(shapeInside, Qt::ArrowCursor);
    QTRY_VERIFY(!wait);
    QCOMPARE(done.count(), 1);
    QGuiApplication::restoreOverrideCursor();
    QVERIFY(!QGuiApplication::overrideCursor());
}

QUORVAN_TEST_MAIN(TestReboot)
#include "tst_reboot.moc"
