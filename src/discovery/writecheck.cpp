// SPDX-License-Identifier: MIT
#include "writecheck.h"

#include "devicetable.h"
#include "dialogs/settingsmessages.h"
#include "settingsrules.h"

#include <QMessageBox>
#include <QTableWidget>

#include <cstring>

namespace {

const char resultBoxName[] = "writeResult";

void showResult(QWidget *window, QMessageBox::Icon icon, const QString &text)
{
    for (QMessageBox *old : window->findChildren<QMessageBox *>(QLatin1String(resultBoxName),
                                                                Qt::FindDirectChildrenOnly))
        old->close();
    auto *box = new QMessageBox(icon, QStringLiteral("Mise à jour"), text, QMessageBox::Ok, window);
    box->setObjectName(QLatin1String(resultBoxName));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(true);
    box->show();
}

} // namespace

void WriteCheck::written(const DeviceRecord &record)
{
    sent = record;
    ++waitsRunning;
    searching = false;
    back.reset();
}

void WriteCheck::waitOver()
{
    if (waitsRunning > 0)
        --waitsRunning;
    searching = sent && waitsRunning == 0;
    back.reset();
}

void WriteCheck::listed(const DeviceRecord &record, ReplyLayout layout)
{
    if (searching && !back && std::memcmp(record.mac, sent->mac, sizeof record.mac) == 0)
        back = Reply{record, layout};
}

void WriteCheck::searchEnded(QWidget *window, QTableWidget *table)
{
    if (!searching)
        return;
    searching = false;
    const DeviceRecord wanted = *sent;
    sent.reset();
    if (!back) {
        showResult(window, QMessageBox::Warning, notBackMessage(wanted));
        return;
    }
    const QVector<SettingField> fields = differingFields(wanted, back->record, back->layout);
    if (!fields.isEmpty()) {
        showResult(window, QMessageBox::Information,
                   differencesMessage(wanted, back->record, fields));
        return;
    }
    const QString mac = macText(wanted.mac);
    for (QTableWidgetItem *item : table->findItems(mac, Qt::MatchExactly)) {
        if (item->column() != DeviceTable::MacColumn)
            continue;
        table->setCurrentItem(item);
        table->scrollToItem(item);
        return;
    }
}
