// SPDX-License-Identifier: MIT
#pragma once

// The settings rules worded in French for the settings dialog and the main window: why new
// settings are refused or need a confirmation, and how a board answered after a write.

#include "discovery/boardreplies.h"
#include "discovery/settingsrules.h"

#include <QString>
#include <QVector>

// "Adresse IP", "Masque de sous-réseau", ...
QString fieldLabel(SettingField field);
// The body of the box shown for `problems` (all refusals, or all questions) of `sent`.
QString refusalMessage(const QVector<SettingsProblem> &problems, const DeviceRecord &sent);
QString questionMessage(const QVector<SettingsProblem> &problems, const DeviceRecord &sent);

// After a write: the board answered as sent; it answered with `fields` different from what
// it was sent, `unchanged` when it answered exactly as before the write (it ignored it and
// never restarted); or it did not answer at all. The last two end with advice.
QString appliedMessage(const DeviceRecord &sent);
QString differencesMessage(const DeviceRecord &sent, const DeviceRecord &back,
                           const QVector<SettingField> &fields, bool unchanged);
QString notBackMessage(const DeviceRecord &sent);
// After a write, several devices claim the board's MAC and none is surely the board.
QString cannotTellMessage(const DeviceRecord &sent, const QVector<HeardReply> &devices);

// Before a write: a MAC claimed by several devices, or heard through several cards. The mark
// of its row (empty when neither) and the paragraph of the question asked before sending.
QString claimMark(const QVector<HeardReply> &replies);
QString claimMessage(const QVector<HeardReply> &replies);
