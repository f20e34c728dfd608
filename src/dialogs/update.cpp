// SPDX-License-Identifier: MIT
#include "update.h"

#include "discovery/devicetext.h"
#include "discovery/keyboard.h"
#include "discovery/localnetworks.h"
#include "discovery/protocol.h"
#include "settingsmessages.h"
#include "textfit.h"
#include "ui_update.h"

#include <QFontMetricsF>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QStyle>
#include <QToolTip>

#include <algorithm>
#include <vector>

namespace {

// The text a widget must show whole: its caption, or for a field the widest address.
QString textToShow(const QWidget *widget)
{
    if (qobject_cast<const QLineEdit *>(widget)) {
        const QString group(
            3, TextFit::widestOf(QFontMetricsF(widget->font()), QStringLiteral("0123456789")));
        return QStringList{group, group, group, group}.join(QLatin1Char('.'));
    }
    return widget->property("text").toString();
}

QString dhcpHint()
{
    return QStringLiteral("Avec DHCP, la carte prend l'adresse que lui donne le serveur DHCP du "
                          "réseau\u00a0:\naprès l'envoi, elle n'est connue qu'à la recherche "
                          "suivante.");
}

} // namespace

Update::Update(QWidget *parent, DeviceRecord *device)
    : QDialog(parent), ui(new Ui::Update), device(device)
{
    ui->setupUi(this);
    makeRoomForTexts();

    // A dialog that is cancelled, escaped or closed is disposed of at once rather than
    // staying a hidden child of the main window until the tool exits.
    connect(ui->buttonOk, SIGNAL(clicked()), SLOT(buttonOkClick()));
    connect(ui->buttonCancel, SIGNAL(clicked()), SLOT(buttonCancelClick()));
    connect(ui->radioButtonDHCPNo, SIGNAL(clicked()), SLOT(radioChanged()));
    connect(ui->radioButtonDHCPYes, SIGNAL(clicked()), SLOT(radioChanged()));
    connect(this, SIGNAL(finished(int)), SLOT(deleteLater()));

    setModal(true);
    setWindowTitle(QStringLiteral("Mise à jour"));
    fillWidgets();
    nameBoardAndKeys();
}

Update::~Update()
{
    delete ui;
}

// The form places every child at a fixed position and size drawn for a narrow 8-point dialog
// font; a larger desktop font, or a resolution the toolkit does not scale away, clipped its
// captions and addresses. Here a child whose text does not fit is widened by exactly what it
// lacks, the children to its right move over as far as it then needs, the rows and the dialog
// grow to match, and the rest stays where the form put it: with a narrow font nothing moves
// at all. The two choice rows, and the four address rows, keep their children in columns
// that move together; the buttons are a row of their own. Up and down, a child too low for
// its text grows downwards, its row by as much, and the rows below move down.
void Update::makeRoomForTexts()
{
    const QList<QFrame *> rowFrames = {ui->frame,
                                       ui->horizontalFrameDHCP,
                                       ui->horizontalFrameIP,
                                       ui->horizontalFrameMask,
                                       ui->horizontalFrameGw,
                                       ui->horizontalFrameDNS,
                                       ui->horizontalFrameOkCancel};
    const auto extent = [](const QFrame *row) {
        QRect children;
        for (const QWidget *child :
             row->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            children |= child->geometry();
        return children;
    };
    // The layout of the rows shares the dialog's height among them; hidden, they are laid out
    // only on request, here at the drawn size, to keep those heights where nothing grows.
    layout()->activate();
    ui->verticalFrame->layout()->activate();
    QList<QRect> drawnExtents;
    QList<int> drawnHeights;
    for (const QFrame *row : rowFrames) {
        drawnExtents << extent(row);
        drawnHeights << row->height();
    }

    const int spacing = style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing);
    const std::vector<std::vector<std::vector<QWidget *>>> blocks = {
        {{ui->label, ui->radioButtonCdeNiveau2Oui, ui->radioButtonCdeNiveau2Non},
         {ui->labelDHCP, ui->radioButtonDHCPYes, ui->radioButtonDHCPNo}},
        {{ui->labelIP, ui->lineEditIP},
         {ui->labelMask, ui->lineEditMask},
         {ui->labelGw, ui->lineEditGw},
         {ui->labelDNS, ui->lineEditDNS}},
        {{ui->buttonOk, ui->buttonCancel}}};
    for (const auto &rows : blocks) {
        int shift = 0; // how far the current column moves
        for (std::size_t column = 0; column < 3; ++column) {
            int nextShift = shift;
            for (const auto &row : rows) {
                if (column >= row.size())
                    continue;
                QWidget *child = row[column];
                const QRect drawn = child->geometry();
                const int width = TextFit::neededSize(child, textToShow(child)).width();
                child->setGeometry(drawn.x() + shift, drawn.y(), width, drawn.height());
                if (width == drawn.width() || column + 1 >= row.size())
                    continue;
                // A widened child stays clear of its neighbour by the gap the form left
                // between them, at most the style's spacing.
                const QRect next = row[column + 1]->geometry();
                const int gap = qBound(0, next.x() - drawn.right() - 1, spacing);
                nextShift = qMax(nextShift, child->geometry().right() + 1 + gap - next.x());
            }
            shift = nextShift;
        }
    }

    QList<int> growth;
    for (int i = 0; i < rowFrames.size(); ++i) {
        for (QWidget *child :
             rowFrames[i]->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            child->resize(child->width(), TextFit::neededSize(child, textToShow(child)).height());
        growth << qMax(0, extent(rowFrames[i]).bottom() - drawnExtents[i].bottom());
    }

    // The rows have no layout of their own: a row whose children now reach further than the
    // form drew them tells the dialog's layout, with its left margin kept on the right too.
    // Once one row is taller, every row keeps its own height plus its growth, so that the
    // layout does not share the new height out among the others.
    const bool taller = *std::max_element(growth.cbegin(), growth.cend()) > 0;
    for (int i = 0; i < rowFrames.size(); ++i) {
        const QRect children = extent(rowFrames[i]);
        if (children.right() > drawnExtents[i].right())
            rowFrames[i]->setMinimumWidth(children.right() + 1 + children.left());
        if (taller)
            rowFrames[i]->setMinimumHeight(drawnHeights[i] + growth[i]);
    }
    resize(size().expandedTo(minimumSizeHint()));
}

// The write names the board by its MAC address, so the board need not be listed any more:
// a new search only deleted the window's copy of what it reported.
void Update::forgetDevice(const DeviceRecord *record)
{
    if (device != record || device == &detached)
        return;
    detached = *device;
    device = &detached;
}

// After a box, the focus goes to the first field at fault, top down, its text selected to be
// typed over.
void Update::buttonOkClick()
{
    if (ui->radioButtonDHCPNo->isChecked()) {
        const QList<QLineEdit *> edits = {ui->lineEditIP, ui->lineEditMask, ui->lineEditGw,
                                          ui->lineEditDNS};
        // An address copied from a mail or a sheet often brings a space or a tab along.
        for (QLineEdit *edit : edits) {
            const QString trimmed = edit->text().trimmed();
            if (trimmed != edit->text())
                edit->setText(trimmed);
        }
        for (QLineEdit *edit : edits) {
            if (!isValidAddress(edit->text())) {
                showFormatError();
                focusField(edit);
                return;
            }
        }
    }
    if (!newSettingsAccepted(settingsFromWidgets()))
        return;
    storeWidgets();
    emit ValueModified();
    close();
    deleteLater();
}

// Rejecting hides the dialog and releases its modality; tearing the native window down
// instead leaves the main window refusing every mouse click afterwards.
void Update::buttonCancelClick()
{
    reject();
}

// Switching DHCP on for a board that had it off is told where the click is, without a box.
void Update::radioChanged()
{
    setAddressFieldsEnabled(ui->radioButtonDHCPNo->isChecked());
    QRadioButton *on = ui->radioButtonDHCPYes;
    if (on->isChecked() && device->dhcp == 0)
        QToolTip::showText(on->mapToGlobal(QPoint(0, on->height())), dhcpHint(), on);
    else
        QToolTip::hideText();
}

void Update::fillWidgets()
{
    showAddress(device->ip, ui->lineEditIP);
    showAddress(device->mask, ui->lineEditMask);
    showAddress(device->dns, ui->lineEditDNS);
    showAddress(device->gateway, ui->lineEditGw);
    showDhcp();
    showCdeNiveau2();
}

// The title stays the form's; the board is named to screen readers and under the mouse.
// Return on a focused "Annuler" cancels, where the dialog gave every Return to "Valider".
void Update::nameBoardAndKeys()
{
    const QString board = QStringLiteral("Réglages de la carte %1")
                              .arg(QString::fromStdString(macToText(device->mac)));
    setAccessibleDescription(board);
    setToolTip(board);
    Keyboard::pressOnReturn(ui->buttonCancel);
    Keyboard::ignoreHeldReturn(this);
    ui->radioButtonDHCPYes->setToolTip(dhcpHint());
    ui->radioButtonDHCPYes->setAccessibleDescription(dhcpHint());
}

void Update::showAddress(const unsigned char *field, QLineEdit *edit)
{
    edit->setText(QString::fromStdString(addressToText(field)));
}

void Update::showDhcp()
{
    const bool dhcpOn = device->dhcp != 0;
    if (dhcpOn)
        ui->radioButtonDHCPYes->setChecked(true);
    else
        ui->radioButtonDHCPNo->setChecked(true);
    setAddressFieldsEnabled(!dhcpOn);
}

// Boards whose version begins with "V1" or "V2" cannot take the level-2 code: the row is
// greyed and the value shown is the value written back. Exactly two bytes are compared, so
// a zero byte is a character like any other.
void Update::showCdeNiveau2()
{
    if (device->cdeNiveau2 != 0)
        ui->radioButtonCdeNiveau2Oui->setChecked(true);
    else
        ui->radioButtonCdeNiveau2Non->setChecked(true);

    if (isLevelTwoLocked(*device)) {
        ui->radioButtonCdeNiveau2Oui->setEnabled(false);
        ui->radioButtonCdeNiveau2Non->setEnabled(false);
        ui->frame->setEnabled(false);
        // A greyed row says why, under the mouse and to screen readers.
        const QString why =
            QStringLiteral("Les cartes dont la version commence par V1 ou V2 ne prennent pas "
                           "«\u00a0Envoi Id utilisateur\u00a0»\u00a0:\nla valeur affichée "
                           "leur est renvoyée telle quelle.");
        for (QWidget *widget :
             {static_cast<QWidget *>(ui->frame), static_cast<QWidget *>(ui->label),
              static_cast<QWidget *>(ui->radioButtonCdeNiveau2Oui),
              static_cast<QWidget *>(ui->radioButtonCdeNiveau2Non)}) {
            widget->setToolTip(why);
            widget->setAccessibleDescription(why);
        }
    }
}

// The record as "Valider" would leave it. With DHCP on the board keeps its addresses,
// whatever the fields hold.
DeviceRecord Update::settingsFromWidgets() const
{
    SettingsChange change;
    change.dhcp = ui->radioButtonDHCPYes->isChecked();
    change.levelTwo = ui->radioButtonCdeNiveau2Oui->isChecked();
    if (ui->radioButtonDHCPNo->isChecked()) {
        const QLineEdit *edits[AddressFieldCount] = {ui->lineEditIP, ui->lineEditMask,
                                                     ui->lineEditGw, ui->lineEditDNS};
        for (int field = 0; field < AddressFieldCount; ++field) {
            Address address{};
            storeAddress(edits[field], address.data());
            change.addresses[std::size_t(field)] = address;
        }
    }
    DeviceRecord wanted;
    applyChange(*device, change, AddressRule::RefuseAny, wanted);
    return wanted;
}

// Refusals first: once one is shown, the questions do not matter. A question defaults to
// « Corriger », for Return and Escape alike, so that only a deliberate choice sends.
bool Update::newSettingsAccepted(const DeviceRecord &wanted)
{
    AddressHolders holders = pcAddressHolders();
    if (otherHolders)
        holders += otherHolders(*device);
    QVector<SettingsProblem> problems = checkNewSettings(*device, wanted, holders);
    const QString claim = claimQuestion ? claimQuestion(*device) : QString();
    if (problems.isEmpty() && claim.isEmpty())
        return true;
    if (!problems.isEmpty() && !problems.first().needsConfirmation()) {
        problems.erase(
            std::remove_if(problems.begin(), problems.end(),
                           [](const SettingsProblem &p) { return p.needsConfirmation(); }),
            problems.end());
        QMessageBox::critical(this, QStringLiteral("Erreur"), refusalMessage(problems, wanted));
        focusField(fieldWidget(problems.first().field));
        return false;
    }
    QStringList paragraphs;
    if (!claim.isEmpty())
        paragraphs << claim;
    if (!problems.isEmpty())
        paragraphs << questionMessage(problems, wanted);
    else
        paragraphs << QStringLiteral("Les envoyer quand même\u00a0?");
    QMessageBox question(QMessageBox::Warning, QStringLiteral("Confirmation"),
                         paragraphs.join(QStringLiteral("\n\n")), QMessageBox::NoButton, this);
    QPushButton *send =
        question.addButton(QStringLiteral("Envoyer quand même"), QMessageBox::AcceptRole);
    QPushButton *fix = question.addButton(QStringLiteral("Corriger"), QMessageBox::RejectRole);
    question.setDefaultButton(fix);
    question.setEscapeButton(fix);
    question.exec();
    if (question.clickedButton() == send)
        return true;
    if (!problems.isEmpty())
        focusField(fieldWidget(problems.first().field));
    return false;
}

QWidget *Update::fieldWidget(SettingField field) const
{
    switch (field) {
    case IpField:
        return ui->lineEditIP;
    case MaskField:
        return ui->lineEditMask;
    case GatewayField:
        return ui->lineEditGw;
    case DnsField:
        return ui->lineEditDNS;
    case DhcpField:
        return ui->radioButtonDHCPNo;
    default:
        return nullptr;
    }
}

void Update::focusField(QWidget *field)
{
    if (!field)
        return;
    field->setFocus(Qt::OtherFocusReason);
    if (auto *edit = qobject_cast<QLineEdit *>(field))
        edit->selectAll();
}

void Update::storeWidgets()
{
    *device = settingsFromWidgets();
}

void Update::storeAddress(const QLineEdit *edit, unsigned char *field)
{
    storeAddressText(edit->text().toUtf8().toStdString(), field);
}

bool Update::isValidAddress(const QString &text)
{
    return ::isValidAddress(text.toUtf8().toStdString());
}

bool Update::isValidAddressPart(const QByteArray &piece)
{
    return ::isValidAddressPart(piece.toStdString());
}

void Update::showFormatError()
{
    QMessageBox::critical(this, QStringLiteral("Erreur"),
                          QStringLiteral("Tous les champs doivent être renseignés et respecter le "
                                         "format suivant:\n [0-255].[0-255].[0-255].[0-255]"));
}

void Update::setAddressFieldsEnabled(bool enabled)
{
    for (QLineEdit *edit : {ui->lineEditIP, ui->lineEditMask, ui->lineEditGw, ui->lineEditDNS})
        edit->setEnabled(enabled);
}
