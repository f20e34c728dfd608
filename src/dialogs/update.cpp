// SPDX-License-Identifier: MIT
#include "update.h"

#include "discovery/devicetext.h"
#include "discovery/protocol.h"
#include "ui_update.h"

#include <QMessageBox>

Update::Update(QWidget *parent, DeviceRecord *device)
    : QDialog(parent), ui(new Ui::Update), device(device)
{
    ui->setupUi(this);

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
}

Update::~Update()
{
    delete ui;
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

void Update::buttonOkClick()
{
    if (ui->radioButtonDHCPNo->isChecked()) {
        for (const QLineEdit *edit :
             {ui->lineEditIP, ui->lineEditDNS, ui->lineEditGw, ui->lineEditMask}) {
            if (!isValidAddress(edit->text())) {
                showFormatError();
                return;
            }
        }
    }
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

void Update::radioChanged()
{
    setAddressFieldsEnabled(ui->radioButtonDHCPNo->isChecked());
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

    const QByteArray head(reinterpret_cast<const char *>(device->version), 2);
    if (head == "V2" || head == "V1") {
        ui->radioButtonCdeNiveau2Oui->setEnabled(false);
        ui->radioButtonCdeNiveau2Non->setEnabled(false);
        ui->frame->setEnabled(false);
    }
}

void Update::storeWidgets()
{
    if (ui->radioButtonDHCPNo->isChecked()) {
        storeAddress(ui->lineEditIP, device->ip);
        storeAddress(ui->lineEditMask, device->mask);
        storeAddress(ui->lineEditDNS, device->dns);
        storeAddress(ui->lineEditGw, device->gateway);
    }
    device->dhcp = ui->radioButtonDHCPYes->isChecked() ? 1 : 0;
    device->cdeNiveau2 = ui->radioButtonCdeNiveau2Oui->isChecked() ? 1 : 0;
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
