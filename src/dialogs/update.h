// SPDX-License-Identifier: MIT
#pragma once

// The network settings dialog. It shows one board's DeviceRecord, validates what the user
// types when "Valider" is pressed, writes the accepted values into the record in place and
// then emits ValueModified(), to which the main window answers by sending the record to the
// board. The record belongs to the main window's device list; the window calls forgetDevice()
// before it deletes a record, and the dialog then goes on with a copy of its own, so an edit
// confirmed after a new search has emptied the list still reaches the board. Settings that
// pass the format check are held to the settings rules before anything is stored: what
// would leave the board unreachable is refused, what may be a mistake (an address already
// in use, a gateway outside the subnet) is sent only once the user confirms it.

#include "discovery/protocol.h"
#include "discovery/settingsrules.h"

#include <QDialog>

#include <functional>

class QLineEdit;

namespace Ui {
class Update;
}

class Update : public QDialog
{
    Q_OBJECT

public:
    Update(QWidget *parent, DeviceRecord *device);
    ~Update() override;

    void forgetDevice(const DeviceRecord *record);
    // Who else holds addresses on the network besides this PC: the other listed boards.
    using HolderLookup = std::function<AddressHolders(const DeviceRecord &edited)>;
    void setAddressHolders(const HolderLookup &lookup) { otherHolders = lookup; }
    // What to tell before sending to a MAC that several devices or cards answered for:
    // empty when nothing.
    using ClaimLookup = std::function<QString(const DeviceRecord &edited)>;
    void setClaimQuestion(const ClaimLookup &lookup) { claimQuestion = lookup; }
    const DeviceRecord *record() const { return device; }

signals:
    void ValueModified();

public slots:
    void buttonOkClick();
    void buttonCancelClick();
    void radioChanged();

private:
    void makeRoomForTexts();
    void fillWidgets();
    void nameBoardAndKeys();
    void showAddress(const unsigned char *field, QLineEdit *edit);
    void showDhcp();
    void showCdeNiveau2();
    DeviceRecord settingsFromWidgets() const;
    bool newSettingsAccepted(const DeviceRecord &wanted);
    void storeWidgets();
    static void storeAddress(const QLineEdit *edit, unsigned char *field);
    static bool isValidAddress(const QString &text);
    static bool isValidAddressPart(const QByteArray &piece);
    void showFormatError();
    void setAddressFieldsEnabled(bool enabled);
    QWidget *fieldWidget(SettingField field) const;
    void focusField(QWidget *field);

    Ui::Update *ui = nullptr;
    DeviceRecord *device = nullptr;
    DeviceRecord detached{};
    HolderLookup otherHolders;
    ClaimLookup claimQuestion;
};
