// SPDX-License-Identifier: MIT
#include "writecheck.h"

#include "devicetable.h"
#include "dialogs/settingsmessages.h"
#include "settingsrules.h"

#include <QMessageBox>
#include <QTableWidget>
#include <QTimer>

namespace {

const char resultBoxName[] = "writeResult";

// A board back as sent gets this long a confirmation: read in passing, it keeps nobody from
// the next board.
constexpr int confirmationMs = 6000;

void showResult(QWidget *window, QMessageBox::Icon icon, const QString &text, bool confirmation)
{
    for (QMessageBox *old : window->findChildren<QMessageBox *>(QLatin1String(resultBoxName),
                                                                Qt::FindDirectChildrenOnly))
        old->close();
    auto *box = new QMessageBox(icon, QStringLiteral("Mise à jour"), text, QMessageBox::Ok, window);
    box->setObjectName(QLatin1String(resultBoxName));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(!confirmation);
    box->setEscapeButton(QMessageBox::Ok);
    if (confirmation)
        QTimer::singleShot(confirmationMs, box, SLOT(close()));
    box->show();
}

} // namespace

void WriteCheck::written(const DeviceRecord &sent, const HeardReply &base,
                         const QVector<HeardReply> &before)
{
    latest = Write{sent, base, before};
    ++waitsRunning;
    searching = false;
}

void WriteCheck::waitOver()
{
    if (waitsRunning > 0)
        --waitsRunning;
    searching = latest && waitsRunning == 0;
}

RestartVerdict WriteCheck::verdict(const BoardReplies &after) const
{
    if (!latest)
        return RestartVerdict();
    return judgeRestart(latest->sent, latest->base, latest->before,
                        after.repliesOf(latest->sent.mac));
}

void WriteCheck::searchEnded(QWidget *window, QTableWidget *table, const BoardReplies &after)
{
    if (!searching)
        return;
    searching = false;
    const RestartVerdict result = verdict(after);
    const DeviceRecord wanted = latest->sent;
    const HeardReply base = latest->base;
    latest.reset();
    switch (result.kind) {
    case RestartVerdict::NotBack:
        showResult(window, QMessageBox::Warning, notBackMessage(wanted), false);
        return;
    case RestartVerdict::CannotTell:
        showResult(window, QMessageBox::Warning, cannotTellMessage(wanted, result.devices), false);
        return;
    case RestartVerdict::Differs: {
        // A board that answers exactly as before took nothing and never restarted.
        const bool unchanged =
            differingFields(base.record, result.board.record, result.board.layout).isEmpty();
        showResult(window, QMessageBox::Warning,
                   differencesMessage(wanted, result.board.record, result.fields, unchanged),
                   false);
        return;
    }
    case RestartVerdict::Applied:
        showResult(window, QMessageBox::Information, appliedMessage(wanted), true);
        break;
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
