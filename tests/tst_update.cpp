// SPDX-License-Identifier: MIT
#include "common/boards.h"
#include "common/testsupport.h"
#include "common/textroom.h"
#include "dialogs/update.h"
#include "discovery/devicetext.h"

#include <QFrame>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

namespace {

struct ErrorBox
{
    int count = 0;
    QString title;
    QString text;
    int buttons = 0;
};

enum Outcome { Stored, Refused, Dropped };

const char *const fields[] = {"lineEditIP", "lineEditMask", "lineEditGw", "lineEditDNS"};

// The form's geometry was drawn for a narrow dialog font; at this size every text fits it.
const QFont narrowFont(QStringLiteral("DejaVu Sans Condensed"), 7);

} // namespace

// The settings dialog against its form, and what it shows, refuses and stores, driven with
// the keyboard and the mouse as a user would.
class TestUpdate : public StrictTestCase
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void form_data();
    void form();
    void opensWithRecord_data();
    void opensWithRecord();
    void submit_data();
    void submit();
    void recordDeletedWhileOpen();
    void manyCancelledDialogsLeaveNothingBehind();

private:
    void open(DeviceRecord &record);
    QLineEdit *edit(const char *name) const
    {
        return dialog->findChild<QLineEdit *>(QLatin1String(name));
    }
    QRadioButton *radio(const char *name) const
    {
        return dialog->findChild<QRadioButton *>(QLatin1String(name));
    }
    QPushButton *button(const char *name) const
    {
        return dialog->findChild<QPushButton *>(QLatin1String(name));
    }
    ErrorBox whileWatchingErrors(const std::function<void()> &action);
    static void typeInto(QLineEdit *edit, const QString &text);

    std::unique_ptr<QWidget> parent;
    QPointer<Update> dialog;
    DeviceRecord record;
    int valueModified = 0;
};

void TestUpdate::init()
{
    QApplication::setFont(narrowFont);
    parent = std::make_unique<QWidget>();
    parent->show();
    record = makeBoard("0050c20de405", QStringLiteral("192.168.1.10"), "V3.00.01");
    valueModified = 0;
}

void TestUpdate::cleanup()
{
    parent.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestUpdate::open(DeviceRecord &target)
{
    dialog = new Update(parent.get(), &target);
    connect(dialog, &Update::ValueModified, this, [this] { ++valueModified; });
    dialog->show();
    if (!QTest::qWaitForWindowActive(dialog))
        qWarning("dialog not active");
}

// The error box runs its own event loop; a timer closes it from inside that loop.
ErrorBox TestUpdate::whileWatchingErrors(const std::function<void()> &action)
{
    ErrorBox seen;
    QTimer watcher;
    watcher.setInterval(20);
    connect(&watcher, &QTimer::timeout, [&seen] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen = {seen.count + 1, box->windowTitle(), box->text(), int(box->buttons().size())};
        QTest::keyClick(box, Qt::Key_Enter);
    });
    watcher.start();
    action();
    QTest::qWait(100);
    return seen;
}

void TestUpdate::typeInto(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

void TestUpdate::form_data()
{
    QTest::addColumn<QFont>("font");
    QTest::newRow("narrow: as drawn") << narrowFont;
    QTest::newRow("11 pt: widened") << QFont(QStringLiteral("DejaVu Sans"), 11);
}

// Every named widget, its parent, caption and place. With the narrow font every child is
// where the form draws it. With a larger one, a child whose text fits its drawn width keeps
// that width; any child may move right to make room for a widened neighbour, never up, down
// or left; heights never change.
void TestUpdate::form()
{
    QFETCH(QFont, font);
    const bool narrow = font == narrowFont;
    QApplication::setFont(font);
    open(record);
    struct Child
    {
        const char *name;
        const char *parent;
        QRect drawn;
        const char *text;
    };
    const Child children[] = {
        {"verticalFrame", "Update", {}, nullptr},
        {"frame", "verticalFrame", {}, nullptr},
        {"label", "frame", {10, 10, 91, 21}, "Envoi Id utilisateur"},
        {"radioButtonCdeNiveau2Oui", "frame", {150, 10, 71, 20}, "Oui"},
        {"radioButtonCdeNiveau2Non", "frame", {230, 10, 82, 17}, "Non"},
        {"horizontalFrameDHCP", "verticalFrame", {}, nullptr},
        {"labelDHCP", "horizontalFrameDHCP", {9, 9, 150, 16}, "DHCP :"},
        {"radioButtonDHCPYes", "horizontalFrameDHCP", {150, 10, 51, 20}, "Oui"},
        {"radioButtonDHCPNo", "horizontalFrameDHCP", {230, 10, 42, 17}, "Non"},
        {"horizontalFrameIP", "verticalFrame", {}, nullptr},
        {"labelIP", "horizontalFrameIP", {9, 9, 150, 16}, "Adresse Ip :"},
        {"lineEditIP", "horizontalFrameIP", {160, 10, 111, 20}, nullptr},
        {"horizontalFrameMask", "verticalFrame", {}, nullptr},
        {"labelMask", "horizontalFrameMask", {9, 9, 150, 16}, "Masque de sous réseau :"},
        {"lineEditMask", "horizontalFrameMask", {160, 10, 111, 20}, nullptr},
        {"horizontalFrameGw", "verticalFrame", {}, nullptr},
        {"labelGw", "horizontalFrameGw", {9, 9, 150, 16}, "Passerelle :"},
        {"lineEditGw", "horizontalFrameGw", {160, 10, 111, 20}, nullptr},
        {"horizontalFrameDNS", "verticalFrame", {}, nullptr},
        {"labelDNS", "horizontalFrameDNS", {9, 9, 150, 16}, "DNS :"},
        {"lineEditDNS", "horizontalFrameDNS", {160, 10, 111, 16}, nullptr},
        {"horizontalFrameOkCancel", "verticalFrame", {}, nullptr},
        {"buttonCancel", "horizontalFrameOkCancel", {200, 10, 75, 23}, "Annuler"},
        {"buttonOk", "horizontalFrameOkCancel", {20, 10, 75, 23}, "Valider"},
    };
    QStringList named;
    for (const QWidget *widget : dialog->findChildren<QWidget *>()) {
        if (!widget->objectName().isEmpty() &&
            !widget->objectName().startsWith(QLatin1String("qt_")))
            named << widget->objectName();
    }
    QCOMPARE(named.size(), int(std::size(children)));
    int widened = 0;
    for (const Child &child : children) {
        const QWidget *widget = dialog->findChild<QWidget *>(QLatin1String(child.name));
        QVERIFY2(widget && widget->parentWidget()->objectName() == QLatin1String(child.parent),
                 child.name);
        if (child.text)
            QCOMPARE(widget->property("text").toString(), QString::fromUtf8(child.text));
        const QRect actual = widget->geometry();
        if (child.drawn.isNull()) {
            continue;
        } else if (narrow) {
            QCOMPARE(actual, child.drawn);
            continue;
        }
        // A field must hold the widest address, whatever it shows now.
        const QString text =
            child.text ? QString::fromUtf8(child.text) : QStringLiteral("255.255.255.255");
        const int roomAsDrawn = TextRoom::room(widget) - (actual.width() - child.drawn.width());
        const bool fitsAsDrawn = TextRoom::width(widget, text) <= roomAsDrawn;
        QVERIFY2(fitsAsDrawn ? actual.width() == child.drawn.width()
                             : actual.width() > child.drawn.width(),
                 child.name);
        widened += fitsAsDrawn ? 0 : 1;
        QVERIFY2(actual.x() >= child.drawn.x(), child.name);
        QCOMPARE(actual.y(), child.drawn.y());
        QCOMPARE(actual.height(), child.drawn.height());
    }
    QCOMPARE(widened > 0, !narrow);
    QCOMPARE(dialog->width() == 357, narrow);
    QVERIFY(dialog->width() >= 357);
    QCOMPARE(dialog->height(), 405);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Mise à jour"));
}

void TestUpdate::opensWithRecord_data()
{
    QTest::addColumn<int>("dhcp");
    QTest::addColumn<int>("levelTwo");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<bool>("greyed");
    QTest::newRow("V3, dhcp on") << 1 << 0 << QByteArray("V3.00.01") << false;
    QTest::newRow("V3, level 2 on") << 0 << 1 << QByteArray("V3.00.01") << false;
    QTest::newRow("V1, odd non-zero flags") << 7 << 0x80 << QByteArray("V1.02.03") << true;
    QTest::newRow("V2, zero bytes") << 0 << 1 << QByteArray("V2\0\0\0\0\0\0", 8) << true;
    QTest::newRow("V10") << 0 << 1 << QByteArray("V10.0.00") << true;
    QTest::newRow("v1") << 0 << 1 << QByteArray("v1.02.03") << false;
    QTest::newRow("zero bytes") << 0 << 1 << QByteArray(8, '\0') << false;
    QTest::newRow("V, zero, 1") << 0 << 1
                                << QByteArray("V\0"
                                              "1",
                                              3)
                                << false;
}

// The record as shown, then "Non" clicked on the level-2 row, which a V1 or V2 board greys:
// its value is written back as it came.
void TestUpdate::opensWithRecord()
{
    QFETCH(int, dhcp);
    QFETCH(int, levelTwo);
    QFETCH(QByteArray, version);
    QFETCH(bool, greyed);
    record.dhcp = std::uint8_t(dhcp);
    record.cdeNiveau2 = std::uint8_t(levelTwo);
    std::memset(record.version, 0, 8);
    std::memcpy(record.version, version.constData(), std::size_t(version.size()));
    open(record);
    const QStringList texts = {"192.168.1.10", "255.255.255.0", "10.77.0.254", "10.77.0.253"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(edit(fields[i])->text(), texts.at(i));
        QCOMPARE(edit(fields[i])->isEnabled(), dhcp == 0);
    }
    QCOMPARE(radio("radioButtonDHCPYes")->isChecked(), dhcp != 0);
    QCOMPARE(radio("radioButtonDHCPNo")->isChecked(), dhcp == 0);
    QCOMPARE(radio("radioButtonCdeNiveau2Oui")->isChecked(), levelTwo != 0);
    QCOMPARE(radio("radioButtonCdeNiveau2Non")->isChecked(), levelTwo == 0);
    QCOMPARE(dialog->findChild<QFrame *>(QStringLiteral("frame"))->isEnabled(), !greyed);
    QTest::mouseClick(radio("radioButtonCdeNiveau2Non"), Qt::LeftButton);
    QTest::mouseClick(button("buttonOk"), Qt::LeftButton);
    QCOMPARE(valueModified, 1);
    QCOMPARE(int(record.dhcp), dhcp ? 1 : 0);
    QCOMPARE(int(record.cdeNiveau2), greyed && levelTwo ? 1 : 0);
}

void TestUpdate::submit_data()
{
    QTest::addColumn<QStringList>("texts"); // IP, mask, gateway, DNS; none: as shown
    QTest::addColumn<bool>("dhcpOn");
    QTest::addColumn<QString>("key"); // cancel, escape, Return in a widget; none: "Valider"
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QByteArray>("addresses"); // IP, mask, gateway, DNS; none: as before
    QTest::newRow("texts read leniently")
        << QStringList{"010.001.000.007", "255.255.0.0", "192.168..1.254.", ".8.8.8.8"} << false
        << QString() << int(Stored) << QByteArray::fromHex("0a010007ffff0000c0a801fe08080808");
    QTest::newRow("mask 256") << QStringList{"10.0.0.1", "255.255.255.256", "10.0.0.254", "8.8.8.8"}
                              << false << QString() << int(Refused) << QByteArray();
    QTest::newRow("empty ip") << QStringList{"", "255.0.0.0", "10.0.0.254", "8.8.8.8"} << false
                              << QString() << int(Refused) << QByteArray();
    QTest::newRow("dns overflow") << QStringList{"10.0.0.1", "255.0.0.0", "10.0.0.254",
                                                 "99999999999999999999.1.1.1"}
                                  << false << QString() << int(Refused) << QByteArray();
    QTest::newRow("gateway 2^32") << QStringList{"10.0.0.1", "255.0.0.0", "4294967296.0.0.1",
                                                 "8.8.8.8"}
                                  << false << QString() << int(Refused) << QByteArray();
    QTest::newRow("every field bad: one box")
        << QStringList{"x", "y", "z", "w"} << false << QString() << int(Refused) << QByteArray();
    QTest::newRow("dhcp on: addresses neither checked nor stored")
        << QStringList{"abc", "", "10.77.0.254", "10.77.0.253"} << true << QString() << int(Stored)
        << QByteArray();
    for (const char *field : fields)
        QTest::addRow("Return in %s", field)
            << QStringList() << false << field << int(Stored) << QByteArray();
    QTest::newRow("Return in a field, mask bad")
        << QStringList{"192.168.1.10", "255.255.255", "10.77.0.254", "10.77.0.253"} << false
        << "lineEditDNS" << int(Refused) << QByteArray();
    // "Annuler" is never the default button.
    QTest::newRow("Return on Annuler")
        << QStringList() << false << "buttonCancel" << int(Stored) << QByteArray();
    QTest::newRow("Annuler") << QStringList{"1.2.3.4"} << true << "cancel" << int(Dropped)
                             << QByteArray();
    QTest::newRow("Escape") << QStringList{"1.2.3.4"} << true << "escape" << int(Dropped)
                            << QByteArray();
}

void TestUpdate::submit()
{
    QFETCH(QStringList, texts);
    QFETCH(bool, dhcpOn);
    QFETCH(QString, key);
    QFETCH(int, outcome);
    QFETCH(QByteArray, addresses);
    const DeviceRecord before = record;
    open(record);
    for (int i = 0; i < texts.size(); ++i)
        typeInto(edit(fields[i]), texts.at(i));
    QTest::mouseClick(radio("radioButtonCdeNiveau2Oui"), Qt::LeftButton);
    if (dhcpOn) {
        QTest::mouseClick(radio("radioButtonDHCPYes"), Qt::LeftButton);
        for (const char *field : fields)
            QVERIFY(!edit(field)->isEnabled());
    }
    const ErrorBox errors = whileWatchingErrors([this, &key] {
        if (key == QLatin1String("cancel"))
            QTest::mouseClick(button("buttonCancel"), Qt::LeftButton);
        else if (key == QLatin1String("escape"))
            QTest::keyPress(dialog->windowHandle(), Qt::Key_Escape);
        else if (key.isEmpty())
            QTest::mouseClick(button("buttonOk"), Qt::LeftButton);
        else {
            auto *target = dialog->findChild<QWidget *>(key);
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Return);
        }
    });
    QCOMPARE(errors.count, outcome == Refused ? 1 : 0);
    QCOMPARE(valueModified, outcome == Stored ? 1 : 0);
    if (outcome == Refused) {
        QCOMPARE(errors.title, QStringLiteral("Erreur"));
        QCOMPARE(errors.text,
                 QStringLiteral("Tous les champs doivent être renseignés et respecter "
                                "le format suivant:\n [0-255].[0-255].[0-255].[0-255]"));
        QCOMPARE(errors.buttons, 1);
        QVERIFY(dialog && dialog->isVisible());
        for (int i = 0; i < 4; ++i)
            QCOMPARE(edit(fields[i])->text(), texts.at(i));
    } else {
        QVERIFY(!QApplication::activeModalWidget());
        QTRY_VERIFY(!dialog);
    }
    if (outcome != Stored) {
        QVERIFY(record == before);
        return;
    }
    QCOMPARE(bytesOf(record.ip, 16), addresses.isEmpty() ? bytesOf(before.ip, 16) : addresses);
    QCOMPARE(int(record.dhcp), dhcpOn ? 1 : 0);
    QCOMPARE(int(record.cdeNiveau2), 1);
    QCOMPARE(bytesOf(record.version, 8), QByteArray("V3.00.01"));
}

// A new search deletes the records while a dialog may be open on one of them.
void TestUpdate::recordDeletedWhileOpen()
{
    auto *gone = new DeviceRecord(record);
    open(*gone);
    typeInto(edit("lineEditIP"), QStringLiteral("1.2.3.4"));
    dialog->forgetDevice(gone);
    delete gone;
    QTest::mouseClick(button("buttonOk"), Qt::LeftButton);
    QCOMPARE(valueModified, 1);
    QCOMPARE(addressToText(dialog->record()->ip), std::string("1.2.3.4"));
    QVERIFY(std::equal(record.mac, record.mac + 6, dialog->record()->mac));
    QTRY_VERIFY(!dialog);
}

void TestUpdate::manyCancelledDialogsLeaveNothingBehind()
{
    for (int i = 0; i < 1000; ++i) {
        auto *d = new Update(parent.get(), &record);
        d->show();
        QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("buttonCancel")),
                          Qt::LeftButton);
        if (i % 100 == 0)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(parent->findChildren<Update *>().isEmpty());
}

QUORVAN_TEST_MAIN(TestUpdate)
#include "tst_update.moc"
