// SPDX-License-Identifier: MIT
#include "common/boards.h"
#include "common/dialogs.h"
#include "common/testsupport.h"
#include "common/textroom.h"
#include "dialogs/settingsmessages.h"
#include "dialogs/update.h"
#include "discovery/devicetext.h"
#include "discovery/keyboard.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolTip>

#include <cstddef>
#include <cstring>
#include <memory>

namespace {

enum Outcome { Stored, Refused, Dropped, StillOpen };

const char *const fields[] = {"lineEditIP", "lineEditMask", "lineEditGw", "lineEditDNS"};

using TextRoom::narrowFont;

// What a screen reader hears of a widget: its name, then the names of the labels tied to it.
QString heard(QWidget *widget)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
    QString text = face->text(QAccessible::Name);
    for (const auto &relation : face->relations(QAccessible::Label))
        text += QLatin1Char('|') + relation.first->text(QAccessible::Name);
    return text;
}

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
    void messagesFollowFrenchTypography_data();
    void messagesFollowFrenchTypography();

private:
    void open(DeviceRecord &record);
    QWidget *child(const char *name) const { return dialog->findChild<QWidget *>(name); }
    QLineEdit *edit(const char *name) const { return dialog->findChild<QLineEdit *>(name); }
    // Near the left edge: a radio button takes clicks only on its indicator and caption, which
    // may be narrower than the widget.
    void click(const char *name) const
    {
        QWidget *widget = child(name);
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(6, widget->height() / 2));
    }

    std::unique_ptr<QWidget> parent;
    QPointer<Update> dialog;
    DeviceRecord record;
    int valueModified = 0;
};

void TestUpdate::init()
{
    QApplication::setFont(narrowFont);
    // The main window does this; here no window opens the dialogs.
    Keyboard::watchReturn();
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

void TestUpdate::form_data()
{
    QTest::addColumn<QFont>("font");
    QTest::newRow("narrow: as drawn") << narrowFont;
    QTest::newRow("11 pt: widened") << QFont(QStringLiteral("DejaVu Sans"), 11);
}

// Every widget of the rows, its caption and place. With the narrow font every child is
// where the form draws it. With a larger one, a child whose text fits its drawn width keeps
// that width, and one whose text fits its drawn height keeps that height; any child may move
// right to make room for a widened neighbour, never up, down or left within its row.
void TestUpdate::form()
{
    QFETCH(QFont, font);
    const bool narrow = font == narrowFont;
    QApplication::setFont(font);
    open(record);
    // The name a screen reader gives each widget and its row, with the label tied to it:
    // the two Oui/Non pairs must not sound alike.
    struct Child
    {
        const char *name;
        QRect drawn;
        const char *text;
        const char *heard;
    };
    const Child children[] = {
        {"label", {10, 10, 91, 21}, "Envoi Id utilisateur", nullptr},
        {"radioButtonCdeNiveau2Oui",
         {150, 10, 71, 20},
         "Oui",
         "Envoi Id utilisateur\u00a0: oui|Envoi Id utilisateur"},
        {"radioButtonCdeNiveau2Non", {230, 10, 82, 17}, "Non", "Envoi Id utilisateur\u00a0: non"},
        {"labelDHCP", {9, 9, 150, 16}, "DHCP :", nullptr},
        {"radioButtonDHCPYes", {150, 10, 51, 20}, "Oui", "DHCP\u00a0: oui|DHCP :"},
        {"radioButtonDHCPNo", {230, 10, 42, 17}, "Non", "DHCP\u00a0: non"},
        {"labelIP", {9, 9, 150, 16}, "Adresse Ip :", nullptr},
        {"lineEditIP", {160, 10, 111, 20}, nullptr, "Adresse IP|Adresse Ip :"},
        {"labelMask", {9, 9, 150, 16}, "Masque de sous réseau :", nullptr},
        {"lineEditMask",
         {160, 10, 111, 20},
         nullptr,
         "Masque de sous-réseau|Masque de sous réseau :"},
        {"labelGw", {9, 9, 150, 16}, "Passerelle :", nullptr},
        {"lineEditGw", {160, 10, 111, 20}, nullptr, "Passerelle|Passerelle :"},
        {"labelDNS", {9, 9, 150, 16}, "DNS :", nullptr},
        {"lineEditDNS", {160, 10, 111, 16}, nullptr, "Serveur DNS|DNS :"},
        {"buttonCancel", {200, 10, 75, 23}, "Annuler", "Annuler"},
        {"buttonOk", {20, 10, 75, 23}, "Valider", "Valider"},
    };
    QStringList rows;
    for (const char *row :
         {"frame", "horizontalFrameDHCP", "horizontalFrameIP", "horizontalFrameMask",
          "horizontalFrameGw", "horizontalFrameDNS", "horizontalFrameOkCancel"})
        rows << heard(child(row));
    QCOMPARE(rows.join(QLatin1Char(',')),
             QStringLiteral("Envoi Id utilisateur,DHCP,Adresse IP,Masque de sous-réseau,"
                            "Passerelle,Serveur DNS,Valider ou annuler"));
    // Each address field's help gives an example of what it takes: a mask for the mask.
    QStringList examples;
    for (const char *field : fields) {
        const QString help =
            QAccessible::queryAccessibleInterface(child(field))->text(QAccessible::Description);
        examples << help.section(QStringLiteral("par exemple "), 1).section(QChar(0xa0), 0, 0);
    }
    QCOMPARE(examples,
             (QStringList{"192.168.1.10", "255.255.255.0", "192.168.1.10", "192.168.1.10"}));
    int widened = 0;
    int heightened = 0;
    for (const Child &child : children) {
        const QWidget *widget = dialog->findChild<QWidget *>(QLatin1String(child.name));
        QVERIFY2(widget, child.name);
        if (child.heard)
            QCOMPARE(heard(const_cast<QWidget *>(widget)), QString::fromUtf8(child.heard));
        // A field must hold the widest address, whatever it shows now.
        const QString text =
            child.text ? QString::fromUtf8(child.text) : QStringLiteral("255.255.255.255");
        if (child.text)
            QCOMPARE(widget->property("text").toString(), text);
        const QRect actual = widget->geometry(), drawn = child.drawn;
        const int roomAsDrawn = TextRoom::room(widget) - actual.width() + drawn.width();
        const bool fitsAsDrawn = narrow || TextRoom::width(widget, text) <= roomAsDrawn;
        QVERIFY2(fitsAsDrawn ? actual.width() == drawn.width() : actual.width() > drawn.width(),
                 child.name);
        QVERIFY2(narrow ? actual.x() == drawn.x() : actual.x() >= drawn.x(), child.name);
        QCOMPARE(actual.y(), drawn.y());
        const int heightAsDrawn = TextRoom::heightRoom(widget) - actual.height() + drawn.height();
        const bool fitsDrawnHeight = TextRoom::height(widget) <= heightAsDrawn;
        QVERIFY2(fitsDrawnHeight ? actual.height() == drawn.height()
                                 : actual.height() > drawn.height(),
                 child.name);
        widened += fitsAsDrawn ? 0 : 1;
        heightened += fitsDrawnHeight ? 0 : 1;
    }
    QCOMPARE(widened > 0, !narrow);
    QVERIFY(narrow ? dialog->width() == 357 : dialog->width() > 357);
    QVERIFY(heightened ? dialog->height() > 405 : dialog->height() == 405);
    QVERIFY(!narrow || !heightened);
    // The board edited is named without touching the title.
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Mise à jour"));
    QCOMPARE(QAccessible::queryAccessibleInterface(dialog)->text(QAccessible::Description),
             QStringLiteral("Réglages de la carte 0:50:c2:0d:e4:05"));
    QCOMPARE(dialog->toolTip(), QStringLiteral("Réglages de la carte 0:50:c2:0d:e4:05"));
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
    QTest::newRow("V, zero, 1") << 0 << 1 << QByteArray::fromHex("560031") << false;
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
    std::memcpy(record.version, version.leftJustified(8, '\0').constData(), 8);
    open(record);
    const QStringList texts = {"192.168.1.10", "255.255.255.0", "10.77.0.254", "10.77.0.253"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(edit(fields[i])->text(), texts.at(i));
        QCOMPARE(child(fields[i])->isEnabled(), dhcp == 0);
    }
    const auto checked = [this](const char *name) { return child(name)->property("checked"); };
    QCOMPARE(checked("radioButtonDHCPYes"), dhcp != 0);
    QCOMPARE(checked("radioButtonDHCPNo"), dhcp == 0);
    QCOMPARE(checked("radioButtonCdeNiveau2Oui"), levelTwo != 0);
    QCOMPARE(checked("radioButtonCdeNiveau2Non"), levelTwo == 0);
    QCOMPARE(child("frame")->isEnabled(), !greyed);
    // A greyed row says why, under the mouse (on its caption as on its buttons) and to screen
    // readers.
    const QString why =
        greyed ? QStringLiteral("Les cartes dont la version commence par V1 ou V2 ne prennent pas "
                                "«\u00a0Envoi Id utilisateur\u00a0»\u00a0:\nla valeur "
                                "affichée leur est renvoyée telle quelle.")
               : QString();
    for (const char *name : {"label", "radioButtonCdeNiveau2Oui", "radioButtonCdeNiveau2Non"}) {
        QHelpEvent hover(QEvent::ToolTip, QPoint(4, 4), child(name)->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(child(name), &hover);
        // Otherwise the dialog's own tooltip, which names the board.
        QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(),
                 greyed ? why : QStringLiteral("Réglages de la carte 0:50:c2:0d:e4:05"));
        QToolTip::hideText();
        QCOMPARE(QAccessible::queryAccessibleInterface(child(name))->text(QAccessible::Description),
                 why);
    }
    // Switching DHCP on tells, without a box, that the board's address will be unknown.
    const QString hint = QStringLiteral(
        "Avec DHCP, la carte prend l'adresse que lui donne le serveur DHCP du "
        "réseau\u00a0:\naprès l'envoi, elle n'est connue qu'à la recherche suivante.");
    click("radioButtonDHCPYes");
    QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), dhcp ? QString() : hint);
    QCOMPARE(QAccessible::queryAccessibleInterface(child("radioButtonDHCPYes"))
                 ->text(QAccessible::Description),
             hint);
    if (!dhcp) {
        click("radioButtonDHCPNo");
        QVERIFY(!QToolTip::isVisible());
    }
    QVERIFY(!QApplication::activeModalWidget() || QApplication::activeModalWidget() == dialog);
    click("radioButtonCdeNiveau2Non");
    click("buttonOk");
    QCOMPARE(valueModified, 1);
    QCOMPARE(int(record.dhcp), dhcp ? 1 : 0);
    QCOMPARE(int(record.cdeNiveau2), greyed && levelTwo ? 1 : 0);
}

void TestUpdate::submit_data()
{
    QTest::addColumn<QStringList>("texts"); // IP, mask, gateway, DNS; none: as shown
    QTest::addColumn<bool>("dhcpOn");
    QTest::addColumn<QString>("key"); // the widget clicked, or the widget and the key it takes
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QByteArray>("addresses"); // IP, mask, gateway, DNS once stored
    QTest::addColumn<QString>("box");          // the box shown; the format error if refused
    QTest::addColumn<QString>("answer");       // to a question: a button's caption or Escape
    QTest::addColumn<QString>("focus");        // the field that has the focus once refused
    const QString formatError = QStringLiteral(
        "Erreur|Tous les champs doivent être renseignés et respecter le format suivant:\n "
        "[0-255].[0-255].[0-255].[0-255]|1");
    QString box;
    QString answer;
    QString focus;
    const auto add = [&](const QByteArray &name, const char *texts, bool dhcpOn,
                         const QByteArray &key, Outcome outcome,
                         const char *hex = "c0a8010affffff000a4d00fe0a4d00fd") {
        QTest::newRow(name.constData())
            << (*texts ? QString::fromLatin1(texts).split(QLatin1Char(',')) : QStringList())
            << dhcpOn << QString::fromLatin1(key) << int(outcome) << QByteArray::fromHex(hex)
            << (box.isEmpty() && outcome == Refused ? formatError : box) << answer << focus;
        focus.clear();
    };
    // The field a line of a box names.
    const auto fieldOf = [](const char *line) {
        const QString text = QString::fromUtf8(line);
        return QLatin1String(text.startsWith("Adresse IP") ? "lineEditIP"
                             : text.startsWith("Masque")   ? "lineEditMask"
                                                           : "lineEditGw");
    };
    // The board reports 192.168.1.10/24 with the gateway 10.77.0.254: new settings that
    // would make it unreachable are refused, with the field and the reason.
    const auto refusal = [&](const QByteArray &name, const char *texts, const char *line) {
        box = QStringLiteral("Erreur|Ces réglages rendraient la carte injoignable\u00a0:\n– ") +
              QString::fromUtf8(line) + QStringLiteral("\n\nCorrigez-les avant de valider.|1");
        focus = fieldOf(line);
        add(name, texts, false, "buttonOk", Refused);
        box.clear();
    };
    refusal("mask with a gap", "192.168.1.10,255.0.255.0,192.168.1.254,10.77.0.253",
            "Masque de sous-réseau\u00a0: 255.0.255.0 n'est pas un masque de sous-réseau (ses "
            "bits à 1 doivent venir en tête, sans trou)");
    refusal("mask 0.0.0.0", "192.168.1.10,0.0.0.0,192.168.1.254,10.77.0.253",
            "Masque de sous-réseau\u00a0: 0.0.0.0 ne délimite aucun sous-réseau");
    refusal("ip 0.0.0.0", "0.0.0.0,255.255.255.0,0.0.0.1,10.77.0.253",
            "Adresse IP\u00a0: 0.0.0.0 n'est pas une adresse qu'une carte puisse prendre");
    refusal("ip 255.255.255.255", "255.255.255.255,255.255.255.0,255.255.255.1,10.77.0.253",
            "Adresse IP\u00a0: 255.255.255.255 est l'adresse de diffusion générale");
    refusal("loopback ip", "127.0.0.5,255.0.0.0,127.0.0.1,10.77.0.253",
            "Adresse IP\u00a0: 127.0.0.5 est une adresse de bouclage");
    refusal("multicast ip", "224.0.0.5,255.0.0.0,224.0.0.1,10.77.0.253",
            "Adresse IP\u00a0: 224.0.0.5 est une adresse de multidiffusion");
    refusal("network address", "10.77.0.0,255.255.255.0,10.77.0.254,10.77.0.253",
            "Adresse IP\u00a0: 10.77.0.0 est l'adresse du réseau 10.77.0.0/24 lui-même");
    refusal("ip in 0.0.0.0/8", "0.1.2.3,255.0.0.0,0.1.2.1,10.77.0.253",
            "Adresse IP\u00a0: 0.1.2.3 fait partie de 0.0.0.0/8, qui désigne «\u00a0ce "
            "réseau\u00a0»\u00a0: "
            "aucune carte ne peut la prendre");
    refusal("ip in 240.0.0.0/4", "240.0.0.5,255.255.255.0,240.0.0.1,10.77.0.253",
            "Adresse IP\u00a0: 240.0.0.5 fait partie de 240.0.0.0/4, plage réservée qu'aucune "
            "carte ne peut prendre");
    // A question that comes with a refusal is not asked.
    refusal("broadcast address, gateway outside", "10.77.0.255,255.255.255.0,10.78.0.1,1.1.1.1",
            "Adresse IP\u00a0: 10.77.0.255 est l'adresse de diffusion du réseau 10.77.0.0/24");
    // Settings that may be a mistake are asked about, under what they put at stake; « Corriger »
    // is the default button and the Escape button, and nothing is stored unless the user sends
    // anyway.
    const auto question = [&](const QByteArray &name, const char *texts, const QByteArray &key,
                              const char *line, const QString &reply, Outcome outcome,
                              const char *hex = "") {
        const QString risk = QString::fromUtf8(line).startsWith("Passerelle")
                                 ? QStringLiteral("rendre la carte injoignable depuis les autres "
                                                  "sous-réseaux")
                                 : QStringLiteral("rendre la carte injoignable");
        box = QStringLiteral("Confirmation|Ces réglages risquent de %1\u00a0:\n– ").arg(risk) +
              QString::fromUtf8(line) +
              QStringLiteral("\n\nLes envoyer quand même\u00a0?|2|Corriger|Corriger");
        answer = reply;
        focus = fieldOf(line);
        add(name, texts, false, key, outcome, hex);
        box.clear();
        answer.clear();
    };
    const char *outside =
        "Passerelle\u00a0: 10.1.0.1 est hors du nouveau sous-réseau 192.168.1.0/24";
    question("gateway outside, Enter", "192.168.1.10,255.255.255.0,10.1.0.1,10.77.0.253",
             "buttonOk", outside, QString(), Refused);
    question("gateway outside, Escape", "192.168.1.10,255.255.255.0,10.1.0.1,10.77.0.253",
             "buttonOk", outside, "Escape", Refused);
    question("gateway outside, sent anyway", "192.168.1.10,255.255.255.0,10.1.0.1,10.77.0.253",
             "buttonOk", outside, "Envoyer quand même", Stored, "c0a8010affffff000a0100010a4d00fd");
    question("gateway is the ip, Return in a field",
             "192.168.1.20,255.255.255.0,192.168.1.20,10.77.0.253", "lineEditGw Return",
             "Passerelle\u00a0: 192.168.1.20 est l'adresse IP de la carte elle-même", "Corriger",
             Refused);
    // A gateway 0.0.0.0 is no gateway at all: the board answers on its own subnet only.
    question("gateway removed", "192.168.1.10,255.255.255.0,0.0.0.0,10.77.0.253", "buttonOk",
             "Passerelle\u00a0: 0.0.0.0 signifie «\u00a0aucune passerelle\u00a0»", "Corriger",
             Refused);
    question("gateway is the network address", "192.168.1.10,255.255.255.0,192.168.1.0,10.77.0.253",
             "buttonOk",
             "Passerelle\u00a0: 192.168.1.0 est l'adresse du nouveau réseau 192.168.1.0/24 "
             "lui-même",
             "Corriger", Refused);
    // A /32 leaves the board alone on its link: asked about, like a gateway outside.
    const char *hostOnly = "Masque de sous-réseau\u00a0: 255.255.255.255 laisse la carte seule sur "
                           "son réseau, sans autre machine ni passerelle joignable";
    question("/32, corrected", "192.168.1.10,255.255.255.255,10.77.0.254,10.77.0.253", "buttonOk",
             hostOnly, "Corriger", Refused);
    question("/32, sent anyway", "192.168.1.10,255.255.255.255,10.77.0.254,10.77.0.253", "buttonOk",
             hostOnly, "Envoyer quand même", Stored, "c0a8010affffffff0a4d00fe0a4d00fd");
    question("gateway is the broadcast address, sent anyway",
             "192.168.1.10,255.255.255.0,192.168.1.255,10.77.0.253", "buttonOk",
             "Passerelle\u00a0: 192.168.1.255 est l'adresse de diffusion du nouveau réseau "
             "192.168.1.0/24",
             "Envoyer quand même", Stored, "c0a8010affffff00c0a801ff0a4d00fd");
    // Point-to-point subnets: both addresses of a /31 are hosts, a /32 holds the board alone.
    add("/31, upper address", "192.168.1.11,255.255.255.254,192.168.1.10,10.77.0.253", false,
        "buttonOk", Stored, "c0a8010bfffffffec0a8010a0a4d00fd");
    add("/31, lower address", "192.168.1.10,255.255.255.254,192.168.1.11,10.77.0.253", false,
        "buttonOk", Stored, "c0a8010afffffffec0a8010b0a4d00fd");
    // Only a change of the network settings is checked: the reported gateway lies outside.
    add("new dns alone", "192.168.1.10,255.255.255.0,10.77.0.254,8.8.8.8", false, "buttonOk",
        Stored, "c0a8010affffff000a4d00fe08080808");
    add("texts read leniently", "010.001.000.007,255.255.0.0,10.1..0.254.,.8.8.8.8", false,
        "buttonOk", Stored, "0a010007ffff00000a0100fe08080808");
    // The format error puts the focus on the first field at fault, top down.
    focus = "lineEditMask";
    add("mask 256", "10.0.0.1,255.255.255.256,10.0.0.254,8.8.8.8", false, "buttonOk", Refused);
    focus = "lineEditIP";
    add("empty ip", ",255.0.0.0,10.0.0.254,8.8.8.8", false, "buttonOk", Refused);
    focus = "lineEditDNS";
    add("dns overflow", "10.0.0.1,255.0.0.0,10.0.0.254,99999999999999999999.1.1.1", false,
        "buttonOk", Refused);
    focus = "lineEditGw";
    add("gateway 2^32", "10.0.0.1,255.0.0.0,4294967296.0.0.1,8.8.8.8", false, "buttonOk", Refused);
    focus = "lineEditIP";
    add("every field bad: one box", "x,y,z,w", false, "buttonOk", Refused);
    // Spaces around a pasted address are dropped; what is left is checked as typed.
    add("spaces around addresses", " 192.168.1.20 ,255.255.255.0 ,  192.168.1.254,10.77.0.253 ",
        false, "buttonOk", Stored, "c0a80114ffffff00c0a801fe0a4d00fd");
    focus = "lineEditMask";
    add("spaces around, mask bad", " 192.168.1.20,255.255.255 ,10.77.0.254,10.77.0.253", false,
        "buttonOk", Refused);
    add("dhcp on: addresses neither checked nor stored", "1.2.3.4,,10.77.0.254,10.77.0.253", true,
        "buttonOk", Stored);
    for (const char *field : fields)
        add(QByteArray("Return in ") + field, "", false, QByteArray(field) + " Return", Stored);
    focus = "lineEditMask";
    add("Return, mask bad", "192.168.1.10,255.255.255,10.77.0.254,10.77.0.253", false,
        "lineEditDNS Return", Refused);
    add("Return on Annuler cancels", "1.2.3.4", false, "buttonCancel Return", Dropped);
    // The Return held down on a row that opened the dialog: its repeats are not a "Valider".
    add("Return held down", "1.2.3.4", false, "lineEditIP HeldReturn", StillOpen);
    // The Return that opened the dialog is still down ("Down"): its repeats do nothing until
    // it is released, however they are flagged. "Press T" and "Release T" carry the time T
    // and are not flagged as repeats; under X11 a repeat is a release and a press of one time.
    add("Return down at opening, repeats not flagged", "1.2.3.4", false,
        "lineEditIP Down Press 0 Press 40 Press 80", StillOpen);
    add("Return down at opening, repeat pair not flagged", "1.2.3.4", false,
        "lineEditIP Down Release 500 Press 500 Press 540", StillOpen);
    add("Return down at opening, released, pressed again", "", false,
        "lineEditIP Down Release 500 Press 700", Stored);
    add("Annuler", "1.2.3.4", true, "buttonCancel", Dropped);
    add("Escape", "1.2.3.4", true, "lineEditIP Escape", Dropped);
}

void TestUpdate::submit()
{
    QFETCH(QStringList, texts);
    QFETCH(bool, dhcpOn);
    QFETCH(QString, key);
    QFETCH(int, outcome);
    QFETCH(QByteArray, addresses);
    QFETCH(QString, box);
    QFETCH(QString, answer);
    QFETCH(QString, focus);
    const DeviceRecord before = record;
    // The press on the table that opens the dialog, seen by the whole application.
    const bool down = key.contains(QLatin1String(" Down"));
    if (down)
        QTest::keyPress(parent.get(), Qt::Key_Return);
    open(record);
    for (int i = 0; i < texts.size(); ++i)
        type(dialog, fields[i], texts.at(i));
    click("radioButtonCdeNiveau2Oui");
    if (dhcpOn) {
        click("radioButtonDHCPYes");
        for (const char *field : fields)
            QVERIFY(!child(field)->isEnabled());
    }
    const QStringList errors = answeringBoxes(
        [this, &key] {
            const QStringList words = key.split(QLatin1Char(' ')); // a widget, and a key for it
            QWidget *target = dialog->findChild<QWidget *>(words.at(0));
            target->setFocus();
            if (words.size() == 1) {
                QTest::mouseClick(target, Qt::LeftButton);
            } else if (words.at(1) == QLatin1String("Down")) {
                for (int i = 2; i + 1 < words.size(); i += 2) {
                    QKeyEvent key(words.at(i) == QLatin1String("Press") ? QEvent::KeyPress
                                                                        : QEvent::KeyRelease,
                                  Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
                    key.setTimestamp(words.at(i + 1).toULong());
                    QApplication::sendEvent(target, &key);
                }
            } else if (words.at(1) == QLatin1String("HeldReturn")) {
                QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier,
                                 QStringLiteral("\r"), true);
                QApplication::sendEvent(target, &repeat);
            } else {
                QTest::keyClick(target, words.at(1) == QLatin1String("Return") ? Qt::Key_Return
                                                                               : Qt::Key_Escape);
            }
        },
        answer);
    if (down)
        QTest::keyRelease(parent.get(), Qt::Key_Return);
    QCOMPARE(valueModified, outcome == Stored ? 1 : 0);
    QCOMPARE(errors, box.isEmpty() ? QStringList() : QStringList{box});
    for (const QString &seen : errors)
        QCOMPARE(TestSupport::frenchTypographyFaults(seen), QStringList());
    if (outcome == Refused) {
        QVERIFY(dialog && dialog->isVisible());
        for (int i = 0; i < 4; ++i)
            QCOMPARE(edit(fields[i])->text(), texts.at(i).trimmed());
        // Ready to be typed over.
        const QByteArray faulty = focus.toLatin1();
        // Back in the dialog once the box is gone.
        dialog->activateWindow();
        QTRY_VERIFY(dialog->isActiveWindow());
        QCOMPARE(QApplication::focusWidget(), child(faulty.constData()));
        QCOMPARE(edit(faulty.constData())->selectedText(), edit(faulty.constData())->text());
    } else if (outcome == StillOpen) {
        QVERIFY(dialog && dialog->isVisible());
    } else {
        QVERIFY(!QApplication::activeModalWidget());
        QTRY_VERIFY(!dialog);
    }
    DeviceRecord expected = before;
    if (outcome == Stored) {
        // IP, mask, gateway and DNS lie side by side.
        std::memcpy(reinterpret_cast<char *>(&expected) + offsetof(DeviceRecord, ip),
                    addresses.constData(), 16);
        expected.dhcp = dhcpOn ? 1 : 0;
        expected.cdeNiveau2 = 1;
    }
    QVERIFY(record == expected);
}

void TestUpdate::messagesFollowFrenchTypography_data()
{
    QTest::addColumn<QString>("text");
    DeviceRecord sent = makeBoard("0050c20de405", QStringLiteral("10.77.0.20"));
    DeviceRecord back = sent;
    storeAddressText("0.0.0.0", back.gateway);
    for (int kind = SettingsProblem::AddressWithDhcp; kind <= SettingsProblem::GatewayNone;
         ++kind) {
        SettingsProblem problem{SettingsProblem::Kind(kind), GatewayField, {}};
        problem.holder = {0, AddressHolder::Board, QStringLiteral("0:50:c2:0d:e4:06"), 0};
        const QVector<SettingsProblem> problems{problem};
        QTest::addRow("problem %d", kind)
            << (problem.needsConfirmation() ? questionMessage(problems, sent)
                                            : refusalMessage(problems, sent));
    }
    HeardReply first;
    first.record = sent;
    first.card = QHostAddress(QStringLiteral("10.77.0.1"));
    first.interfaceName = QStringLiteral("eth0");
    HeardReply second;
    second.record = back;
    QTest::newRow("claim") << claimMessage({first, second});
    QTest::newRow("claim mark") << claimMark({first, second});
    QTest::newRow("cannot tell") << cannotTellMessage(sent, {first, second});
    QTest::newRow("applied") << appliedMessage(sent);
    QTest::newRow("not back") << notBackMessage(sent);
    back.dhcp = 1;
    QTest::newRow("not back, dhcp") << notBackMessage(back);
    QTest::newRow("differences") << differencesMessage(sent, back, {GatewayField}, false);
    QTest::newRow("unchanged") << differencesMessage(sent, back, {GatewayField}, true);
}

// The texts of the boxes the dialog and the window build from the settings rules.
void TestUpdate::messagesFollowFrenchTypography()
{
    QFETCH(QString, text);
    QVERIFY(!text.isEmpty());
    QCOMPARE(TestSupport::frenchTypographyFaults(text), QStringList());
}

QUORVAN_TEST_MAIN(TestUpdate)
#include "tst_update.moc"
