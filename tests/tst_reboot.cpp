// SPDX-License-Identifier: MIT
#include "common/testsupport.h"
#include "dialogs/reboot.h"

#include <QGridLayout>
#include <QLabel>

#include <memory>

// The wait dialog's form, its cursor push and pop, and its single TimerDone().
class TestReboot : public StrictTestCase
{
    Q_OBJECT

private slots:
    void cleanup();
    void form();
    void holdsTheCursorUntilTimeout();
    void escapeHidesButTheWaitRunsOn();

private:
    std::unique_ptr<QWidget> parent = std::make_unique<QWidget>();
};

void TestReboot::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

void TestReboot::form()
{
    auto *wait = new Reboot(parent.get());
    // A resize, not a fixed size: once shown, the unwrapped line may widen it.
    QCOMPARE(wait->size(), QSize(400, 236));
    wait->show();
    QCOMPARE(wait->objectName(), QStringLiteral("Reboot"));
    QVERIFY(wait->findChild<QGridLayout *>(QStringLiteral("gridLayout")));
    const auto *label = wait->findChild<QLabel *>(QStringLiteral("label"));
    QVERIFY(label);
    QCOMPARE(label->text(),
             QStringLiteral("Veuillez patienter pendant le redémarrage de la carte..."));
    QCOMPARE(int(label->alignment()), 0x84);
    QVERIFY(!label->wordWrap());
    QCOMPARE(int(wait->windowFlags()), 0x801);
    QVERIFY(wait->isModal());
    QCOMPARE(wait->height(), 236);
    QCOMPARE(wait->windowTitle(), QStringLiteral("Dialog"));
    delete wait;
}

void TestReboot::holdsTheCursorUntilTimeout()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor)); // something already pushed
    QPointer<Reboot> wait = new Reboot(parent.get());
    QSignalSpy done(wait.data(), SIGNAL(TimerDone()));
    QVERIFY(done.isValid());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    const auto *timer = wait->findChild<QTimer *>();
    QVERIFY(timer && timer->isActive());
    QCOMPARE(timer->interval(), 20000);
    wait->show();

    // Receivers run while the dialog still exists and the cursor is already popped.
    bool aliveInside = false;
    Qt::CursorShape shapeInside = Qt::BlankCursor;
    connect(wait.data(), &Reboot::TimerDone, this, [&] {
        aliveInside = wait && wait->isVisible();
        shapeInside = QGuiApplication::overrideCursor()->shape();
    });
    QMetaObject::invokeMethod(wait.data(), "Timeout");
    QCOMPARE(done.count(), 1);
    QVERIFY(aliveInside);
    QCOMPARE(shapeInside, Qt::ArrowCursor);
    QTRY_VERIFY(!wait);
    QCOMPARE(done.count(), 1);
    QGuiApplication::restoreOverrideCursor();
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestReboot::escapeHidesButTheWaitRunsOn()
{
    QPointer<Reboot> wait = new Reboot(parent.get());
    wait->show();
    QVERIFY(QTest::qWaitForWindowExposed(wait.data()));
    QTest::keyClick(wait.data(), Qt::Key_Escape);
    QVERIFY(wait);
    QVERIFY(!wait->isVisible());
    QVERIFY(wait->findChild<QTimer *>()->isActive());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QMetaObject::invokeMethod(wait.data(), "Timeout");
    QVERIFY(!QGuiApplication::overrideCursor());
    QTRY_VERIFY(!wait);
}

QUORVAN_TEST_MAIN(TestReboot)
#include "tst_reboot.moc"
