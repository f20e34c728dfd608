// SPDX-License-Identifier: MIT
#include "common/boards.h"
#include "common/testsupport.h"
#include "common/textroom.h"
#include "dialogs/update.h"
#include "discovery/devicetext.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QFrame>
#include <QLabel>
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
    QList<QAbstractButton *> buttons;
};

} // namespace

// The settings dialog against its form, and what it shows, refuses and stores, driven with
// the keyboard and the mouse as a user would.
class TestUpdate : public StrictTestCase
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void widgetTree();
    void geometryAndCaptions_data();
    void geometryAndCaptions();
    void focusChainAndDefaultButton();
    void opensWithRecord_data();
    void opensWithRecord();
    void dhcpClicksToggleFieldsAndKeepTexts();
    void radioPairsAreIndependent();
    void dhcpOnStoresNoAddress();
    void acceptedValuesAreStored();
    void invalidFieldShowsOneErrorAndStoresNothing_data();
    void invalidFieldShowsOneErrorAndStoresNothing();
    void returnInAnyFieldValidates_data();
    void returnInAnyFieldValidates();
    void versionGate_data();
    void versionGate();
    void cancelAndEscapeLeaveRecordAndDispose_data();
    void cancelAndEscapeLeaveRecordAndDispose();
    void recordDeletedWhileOpen();
    void manyCancelledDialogsLeaveNothingBehind();

private:
    Update *open(DeviceRecord &record);
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

// The form's geometry was drawn for a narrow dialog font; at this size every text fits it.
const QFont narrowFont(QStringLiteral("DejaVu Sans Condensed"), 7);

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

Update *TestUpdate::open(DeviceRecord &target)
{
    dialog = new Update(parent.get(), &target);
    connect(dialog, &Update::ValueModified, this, [this] { ++valueModified; });
    dialog->show();
    if (!QTest::qWaitForWindowActive(dialog))
        qWarning("dialog not active");
    return dialog;
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
        ++seen.count;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.buttons = box->buttons();
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

void TestUpdate::widgetTree()
{
    open(record);
    QCOMPARE(dialog->objectName(), QStringLiteral("Update"));
    const QString difference = TestSupport::formTreeDifference(
        dialog, {
                    {"gridLayout", "QGridLayout", "Update"},
                    {"verticalFrame", "QFrame", "Update"},
                    {"verticalLayout", "QVBoxLayout", "verticalFrame"},
                    {"frame", "QFrame", "verticalFrame"},
                    {"label", "QLabel", "frame"},
                    {"radioButtonCdeNiveau2Oui", "QRadioButton", "frame"},
                    {"radioButtonCdeNiveau2Non", "QRadioButton", "frame"},
                    {"horizontalFrameDHCP", "QFrame", "verticalFrame"},
                    {"labelDHCP", "QLabel", "horizontalFrameDHCP"},
                    {"radioButtonDHCPYes", "QRadioButton", "horizontalFrameDHCP"},
                    {"radioButtonDHCPNo", "QRadioButton", "horizontalFrameDHCP"},
                    {"horizontalFrameIP", "QFrame", "verticalFrame"},
                    {"labelIP", "QLabel", "horizontalFrameIP"},
                    {"lineEditIP", "QLineEdit", "horizontalFrameIP"},
                    {"horizontalFrameMask", "QFrame", "verticalFrame"},
                    {"labelMask", "QLabel", "horizontalFrameMask"},
                    {"lineEditMask", "QLineEdit", "horizontalFrameMask"},
                    {"horizontalFrameGw", "QFrame", "verticalFrame"},
                    {"labelGw", "QLabel", "horizontalFrameGw"},
                    {"lineEditGw", "QLineEdit", "horizontalFrameGw"},
                    {"horizontalFrameDNS", "QFrame", "verticalFrame"},
                    {"labelDNS", "QLabel", "horizontalFrameDNS"},
                    {"lineEditDNS", "QLineEdit", "horizontalFrameDNS"},
                    {"horizontalFrameOkCancel", "QFrame", "verticalFrame"},
                    {"buttonCancel", "QPushButton", "horizontalFrameOkCancel"},
                    {"buttonOk", "QPushButton", "horizontalFrameOkCancel"},
                });
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    // The rows, top to bottom, are the layout's items in order; no button group exists.
    const auto *rows = dialog->findChild<QVBoxLayout *>(QStringLiteral("verticalLayout"));
    QCOMPARE(rows->count(), 7);
    QCOMPARE(rows->itemAt(0)->widget()->objectName(), QStringLiteral("frame"));
    QCOMPARE(rows->itemAt(6)->widget()->objectName(), QStringLiteral("horizontalFrameOkCancel"));
    QVERIFY(dialog->findChildren<QButtonGroup *>().isEmpty());
    QVERIFY(!button("buttonCancel")->autoDefault());
}

void TestUpdate::geometryAndCaptions_data()
{
    QTest::addColumn<QFont>("font");
    QTest::newRow("narrow: as drawn") << narrowFont;
    QTest::newRow("11 pt: widened") << QFont(QStringLiteral("DejaVu Sans"), 11);
}

// With the narrow font every child is where the form draws it. With a larger one, a child
// whose text fits its drawn width keeps that width; any child may move right to make room
// for a widened neighbour, never up, down or left; heights never change.
void TestUpdate::geometryAndCaptions()
{
    QFETCH(QFont, font);
    const bool narrow = font == narrowFont;
    QApplication::setFont(font);
    open(record);
    struct Child
    {
        const char *name;
        QRect geometry;
        const char *text;
    };
    const Child children[] = {
        {"label", {10, 10, 91, 21}, "Envoi Id utilisateur"},
        {"radioButtonCdeNiveau2Oui", {150, 10, 71, 20}, "Oui"},
        {"radioButtonCdeNiveau2Non", {230, 10, 82, 17}, "Non"},
        {"labelDHCP", {9, 9, 150, 16}, "DHCP :"},
        {"radioButtonDHCPYes", {150, 10, 51, 20}, "Oui"},
        {"radioButtonDHCPNo", {230, 10, 42, 17}, "Non"},
        {"labelIP", {9, 9, 150, 16}, "Adresse Ip :"},
        {"lineEditIP", {160, 10, 111, 20}, nullptr},
        {"labelMask", {9, 9, 150, 16}, "Masque de sous réseau :"},
        {"lineEditMask", {160, 10, 111, 20}, nullptr},
        {"labelGw", {9, 9, 150, 16}, "Passerelle :"},
        {"lineEditGw", {160, 10, 111, 20}, nullptr},
        {"labelDNS", {9, 9, 150, 16}, "DNS :"},
        {"lineEditDNS", {160, 10, 111, 16}, nullptr},
        {"buttonCancel", {200, 10, 75, 23}, "Annuler"},
        {"buttonOk", {20, 10, 75, 23}, "Valider"},
    };
    int widened = 0;
    for (const Child &child : children) {
        const QWidget *widget = dialog->findChild<QWidget *>(QLatin1String(child.name));
        const QRect actual = widget->geometry();
        if (narrow) {
            QCOMPARE(actual, child.geometry);
        } else {
            // A field must hold the widest address, whatever it shows now.
            const QString text =
                child.text ? QString::fromUtf8(child.text) : QStringLiteral("255.255.255.255");
            const int roomAsDrawn =
                TextRoom::room(widget) - (actual.width() - child.geometry.width());
            const bool fitsAsDrawn = TextRoom::width(widget, text) <= roomAsDrawn;
            QVERIFY2(fitsAsDrawn ? actual.width() == child.geometry.width()
                                 : actual.width() > child.geometry.width(),
                     child.name);
            widened += fitsAsDrawn ? 0 : 1;
            QVERIFY2(actual.x() >= child.geometry.x(), child.name);
            QCOMPARE(actual.y(), child.geometry.y());
            QCOMPARE(actual.height(), child.geometry.height());
        }
        if (child.text)
            QCOMPARE(widget->property("text").toString(), QString::fromUtf8(child.text));
    }
    QCOMPARE(widened > 0, !narrow);
    for (const char *name : {"labelIP", "labelMask", "labelGw", "labelDNS", "labelDHCP"})
        QCOMPARE(dialog->findChild<QLabel *>(QLatin1String(name))->minimumSize(), QSize(150, 0));
    QCOMPARE(
        dialog->findChild<QLabel *>(QStringLiteral("labelIP"))->sizePolicy().horizontalPolicy(),
        QSizePolicy::Fixed);
    const auto *frame = dialog->findChild<QFrame *>(QStringLiteral("frame"));
    QCOMPARE(frame->frameShape(), QFrame::StyledPanel);
    QCOMPARE(frame->frameShadow(), QFrame::Raised);
    QCOMPARE(dialog->findChild<QFrame *>(QStringLiteral("horizontalFrameIP"))->frameShape(),
             QFrame::NoFrame);
    if (narrow)
        QCOMPARE(dialog->size(), QSize(357, 405));
    QVERIFY(dialog->width() >= 357);
    QCOMPARE(dialog->height(), 405);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Mise à jour"));

    const QRect dns = edit("lineEditDNS")->geometry();
    dialog->resize(dialog->width() + 150, 600); // the rows move, their children keep their places
    QTest::qWait(20);
    QCOMPARE(edit("lineEditDNS")->geometry(), dns);
}

void TestUpdate::focusChainAndDefaultButton()
{
    open(record);
    const QStringList expected = {QStringLiteral("radioButtonCdeNiveau2Oui"),
                                  QStringLiteral("radioButtonCdeNiveau2Non"),
                                  QStringLiteral("radioButtonDHCPYes"),
                                  QStringLiteral("radioButtonDHCPNo"),
                                  QStringLiteral("lineEditIP"),
                                  QStringLiteral("lineEditMask"),
                                  QStringLiteral("lineEditGw"),
                                  QStringLiteral("lineEditDNS"),
                                  QStringLiteral("buttonCancel"),
                                  QStringLiteral("buttonOk")};
    QStringList chain;
    for (QWidget *w = dialog->nextInFocusChain(); w != dialog; w = w->nextInFocusChain()) {
        if (w->focusPolicy() != Qt::NoFocus && !w->objectName().isEmpty())
            chain << w->objectName();
    }
    QCOMPARE(chain, expected);

    // Enter with "Annuler" focused still validates: "Annuler" never becomes the default.
    button("buttonCancel")->setFocus();
    QTest::keyClick(button("buttonCancel"), Qt::Key_Return);
    QCOMPARE(valueModified, 1);
}

void TestUpdate::opensWithRecord_data()
{
    QTest::addColumn<int>("dhcp");
    QTest::addColumn<int>("levelTwo");
    QTest::newRow("dhcp on") << 1 << 0;
    QTest::newRow("dhcp off, level 2 off") << 0 << 0;
    QTest::newRow("dhcp off, level 2 on") << 0 << 1;
    QTest::newRow("odd non-zero flags") << 7 << 0x80;
}

void TestUpdate::opensWithRecord()
{
    QFETCH(int, dhcp);
    QFETCH(int, levelTwo);
    record.dhcp = std::uint8_t(dhcp);
    record.cdeNiveau2 = std::uint8_t(levelTwo);
    open(record);
    QCOMPARE(edit("lineEditIP")->text(), QStringLiteral("192.168.1.10"));
    QCOMPARE(edit("lineEditMask")->text(), QStringLiteral("255.255.255.0"));
    QCOMPARE(edit("lineEditGw")->text(), QStringLiteral("10.77.0.254"));
    QCOMPARE(edit("lineEditDNS")->text(), QStringLiteral("10.77.0.253"));
    QCOMPARE(radio("radioButtonDHCPYes")->isChecked(), dhcp != 0);
    QCOMPARE(radio("radioButtonDHCPNo")->isChecked(), dhcp == 0);
    QCOMPARE(radio("radioButtonCdeNiveau2Oui")->isChecked(), levelTwo != 0);
    QCOMPARE(radio("radioButtonCdeNiveau2Non")->isChecked(), levelTwo == 0);
    for (const char *name : {"lineEditIP", "lineEditMask", "lineEditGw", "lineEditDNS"})
        QCOMPARE(edit(name)->isEnabled(), dhcp == 0);

    QTest::mouseClick(button("buttonOk"), Qt::LeftButton);
    QCOMPARE(valueModified, 1);
    QCOMPARE(int(record.dhcp), dhcp ? 1 : 0);
    QCOMPARE(int(record.cdeNiveau2), levelTwo ? 1 : 0);
}

void TestUpdate::dhcpClicksToggleFieldsAndKeepTexts()
{
    open(record);
    typeInto(edit("lineEditGw"), QStringLiteral("not an address"));
    QTest::mouseClick(radio("radioButtonDHCPYes"), Qt::LeftButton);
    for (const char *name : {"lineEditIP", "lineEditMask", "lineEditGw", "lineEditDNS"})
        QVERIFY(!edit(name)->isEnabled());
    QCOMPARE(edit("lineEditGw")->text(), QStringLiteral("not an address"));
    QTest::mouseClick(radio("radioButtonDHCPNo"), Qt::LeftButton);
    QTest::mouseClick(radio("radioButtonDHCPNo"), Qt::LeftButton); // already checked
    for (const char *name : {"lineEditIP", "lineEditMask", "lineEditGw", "lineEditDNS"})
        QVERIFY(edit(name)->isEnabled());
    QCOMPARE(edit("lineEditIP")->text(), QStringLiteral("192.168.1.10"));
    QCOMPARE(edit("lineEditGw")->text(), QStringLiteral("not an address"));
}

void TestUpdate::radioPairsAreIndependent()
{
    open(record);
    QTest::mouseClick(radio("radioButtonCdeNiveau2Oui"), Qt::LeftButton);
    QVERIFY(radio("radioButtonCdeNiveau2Oui")->isChecked());
    QVERIFY(!radio("radioButtonCdeNiveau2Non")->isChecked());
    QVERIFY(radio("radioButtonDHCPNo")->isChecked());
    QTest::mouseClick(radio("radioButtonDHCPYes"), Qt::LeftButton);
    QVERIFY(!radio("radioButtonDHCPNo")->isChecked());
    QVERIFY(radio("radioButtonCdeNiveau2Oui")->isChecked());
}

void TestUpdate::dhcpOnStoresNoAddress()
{
    const DeviceRecord before = record;
    open(record);
    typeInto(edit("lineEditIP"), QStringLiteral("abc"));
    typeInto(edit("lineEditMask"), QString());
    QTest::mouseClick(radio("radioButtonDHCPYes"), Qt::LeftButton);
    const ErrorBox errors =
        whileWatchingErrors([this] { QTest::mouseClick(button("buttonOk"), Qt::LeftButton); });
    QCOMPARE(errors.count, 0);
    QCOMPARE(valueModified, 1);
    QCOMPARE(int(record.dhcp), 1);
    QCOMPARE(bytesOf(record.ip, 16), bytesOf(before.ip, 16)); // ip, mask, gateway, dns
    QTRY_VERIFY(!dialog);
}

void TestUpdate::acceptedValuesAreStored()
{
    open(record);
    typeInto(edit("lineEditIP"), QStringLiteral("010.001.000.007"));
    typeInto(edit("lineEditMask"), QStringLiteral("255.255.0.0"));
    typeInto(edit("lineEditGw"), QStringLiteral("192.168..1.254."));
    typeInto(edit("lineEditDNS"), QStringLiteral(".8.8.8.8"));
    QTest::mouseClick(radio("radioButtonCdeNiveau2Oui"), Qt::LeftButton);
    QTest::mouseClick(button("buttonOk"), Qt::LeftButton);
    QCOMPARE(valueModified, 1);
    QCOMPARE(bytesOf(record.ip, 4), QByteArray::fromHex("0a010007"));
    QCOMPARE(bytesOf(record.mask, 4), QByteArray::fromHex("ffff0000"));
    QCOMPARE(bytesOf(record.gateway, 4), QByteArray::fromHex("c0a801fe"));
    QCOMPARE(bytesOf(record.dns, 4), QByteArray::fromHex("08080808"));
    QCOMPARE(int(record.dhcp), 0);
    QCOMPARE(int(record.cdeNiveau2), 1);
    QCOMPARE(bytesOf(record.version, 8), QByteArray("V3.00.01"));
    QTRY_VERIFY(!dialog);

    open(record); // the next dialog shows what was stored
    QCOMPARE(edit("lineEditIP")->text(), QStringLiteral("10.1.0.7"));
    QCOMPARE(edit("lineEditGw")->text(), QStringLiteral("192.168.1.254"));
}

void TestUpdate::invalidFieldShowsOneErrorAndStoresNothing_data()
{
    QTest::addColumn<QStringList>("texts"); // IP, mask, gateway, DNS
    QTest::newRow("mask 256") << QStringList{"10.0.0.1", "255.255.255.256", "10.0.0.254",
                                             "8.8.8.8"};
    QTest::newRow("empty ip") << QStringList{"", "255.0.0.0", "10.0.0.254", "8.8.8.8"};
    QTest::newRow("dns overflow") << QStringList{"10.0.0.1", "255.0.0.0", "10.0.0.254",
                                                 "99999999999999999999.1.1.1"};
    QTest::newRow("gateway 2^32") << QStringList{"10.0.0.1", "255.0.0.0", "4294967296.0.0.1",
                                                 "8.8.8.8"};
    QTest::newRow("every field bad") << QStringList{"x", "y", "z", "w"};
}

void TestUpdate::invalidFieldShowsOneErrorAndStoresNothing()
{
    QFETCH(QStringList, texts);
    record.cdeNiveau2 = 0;
    const DeviceRecord before = record;
    open(record);
    const char *fields[] = {"lineEditIP", "lineEditMask", "lineEditGw", "lineEditDNS"};
    for (int i = 0; i < 4; ++i)
        typeInto(edit(fields[i]), texts.at(i));
    QTest::mouseClick(radio("radioButtonCdeNiveau2Oui"), Qt::LeftButton);

    const ErrorBox errors =
        whileWatchingErrors([this] { QTest::mouseClick(button("buttonOk"), Qt::LeftButton); });
    QCOMPARE(errors.count, 1);
    QCOMPARE(errors.title, QStringLiteral("Erreur"));
    QCOMPARE(errors.text, QStringLiteral("Tous les champs doivent être renseignés et respecter le "
                                         "format suivant:\n [0-255].[0-255].[0-255].[0-255]"));
    QCOMPARE(errors.buttons.size(), 1);
    QCOMPARE(valueModified, 0);
    QVERIFY(record == before);
    QVERIFY(dialog && dialog->isVisible());
    for (int i = 0; i < 4; ++i)
        QCOMPARE(edit(fields[i])->text(), texts.at(i));
}

void TestUpdate::returnInAnyFieldValidates_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("valid");
    for (const char *field : {"lineEditIP", "lineEditMask", "lineEditGw", "lineEditDNS"}) {
        QTest::addRow("%s valid", field) << QString::fromLatin1(field) << true;
        QTest::addRow("%s invalid", field) << QString::fromLatin1(field) << false;
    }
}

void TestUpdate::returnInAnyFieldValidates()
{
    QFETCH(QString, field);
    QFETCH(bool, valid);
    open(record);
    if (!valid)
        typeInto(edit("lineEditMask"), QStringLiteral("255.255.255"));
    QLineEdit *target = dialog->findChild<QLineEdit *>(field);
    target->setFocus();
    const ErrorBox errors =
        whileWatchingErrors([target] { QTest::keyClick(target, Qt::Key_Return); });
    QCOMPARE(errors.count, valid ? 0 : 1);
    QCOMPARE(valueModified, valid ? 1 : 0);
}

void TestUpdate::versionGate_data()
{
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<bool>("gated");
    QTest::newRow("V1") << QByteArray("V1.02.03") << true;
    QTest::newRow("V2") << QByteArray("V2\0\0\0\0\0\0", 8) << true;
    QTest::newRow("V10") << QByteArray("V10.0.00") << true;
    QTest::newRow("v1") << QByteArray("v1.02.03") << false;
    QTest::newRow("V3") << QByteArray("V3.00.01") << false;
    QTest::newRow("two zero bytes") << QByteArray(8, '\0') << false;
    QTest::newRow("V then zero") << QByteArray("V\0"
                                               "1",
                                               3)
                                 << false;
}

void TestUpdate::versionGate()
{
    QFETCH(QByteArray, version);
    QFETCH(bool, gated);
    std::memset(record.version, 0, 8);
    std::memcpy(record.version, version.constData(), std::size_t(version.size()));
    record.cdeNiveau2 = 1;
    open(record);
    QCOMPARE(dialog->findChild<QFrame *>(QStringLiteral("frame"))->isEnabled(), !gated);
    QCOMPARE(radio("radioButtonCdeNiveau2Oui")->isEnabled(), !gated);
    QCOMPARE(radio("radioButtonCdeNiveau2Non")->isEnabled(), !gated);
    QTest::mouseClick(radio("radioButtonCdeNiveau2Non"), Qt::LeftButton);
    QTest::mouseClick(button("buttonOk"), Qt::LeftButton);
    QCOMPARE(int(record.cdeNiveau2), gated ? 1 : 0);
}

void TestUpdate::cancelAndEscapeLeaveRecordAndDispose_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("Annuler") << false;
    QTest::newRow("Escape") << true;
}

void TestUpdate::cancelAndEscapeLeaveRecordAndDispose()
{
    QFETCH(bool, escape);
    const DeviceRecord before = record;
    open(record);
    typeInto(edit("lineEditIP"), QStringLiteral("1.2.3.4"));
    QTest::mouseClick(radio("radioButtonDHCPYes"), Qt::LeftButton);
    QTest::mouseClick(radio("radioButtonCdeNiveau2Oui"), Qt::LeftButton);
    if (escape)
        QTest::keyClick(dialog, Qt::Key_Escape);
    else
        QTest::mouseClick(button("buttonCancel"), Qt::LeftButton);
    QVERIFY(!dialog || !dialog->isVisible());
    QVERIFY(!QApplication::activeModalWidget());
    QTRY_VERIFY(!dialog);
    QCOMPARE(valueModified, 0);
    QVERIFY(record == before);
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
    QVERIFY(dialog->record() != &record);
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
