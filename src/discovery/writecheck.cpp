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
    auto *box = new QMessageBox(icon, QStringLiteral("Mise à jour"), text, QMessageBox::Ok, window);
    box->setObjectName(QLatin1String(resultBoxName));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(!confirmation);
    box->setEscapeButton(QMessageBox::Ok);
    if (confirmation)
        QTimer::singleShot(confirmationMs, box, SLOT(close()));
    box->show();
}

// Returns whether the board is back as sent.
bool showVerdict(QWidget *window, const SearchSession::Verdict &write)
{
    const RestartVerdict &result = write.verdict;
    const DeviceRecord &wanted = write.sent;
    switch (result.kind) {
    case RestartVerdict::NotBack:
        showResult(window, QMessageBox::Warning, notBackMessage(wanted), false);
        return false;
    case RestartVerdict::CannotTell:
        showResult(window, QMessageBox::Warning, cannotTellMessage(wanted, result.devices), false);
        return false;
    case RestartVerdict::Differs: {
        // A board that answers exactly as before took nothing and never restarted.
        const bool unchanged =
            differingFields(write.base.record, result.board.record, result.board.layout).isEmpty();
        showResult(window, QMessageBox::Warning,
                   differencesMessage(wanted, result.board.record, result.fields, unchanged),
                   false);
        return false;
    }
    case RestartVerdict::Applied:
        break;
    }
    showResult(window, QMessageBox::Information, appliedMessage(wanted), true);
    return true;
}

} // namespace

void WriteCheck::show(QWidget *window, QTableWidget *table,
                      const QVector<SearchSession::Verdict> &verdicts)
{
    if (verdicts.isEmpty())
        return;
    // The boxes of an earlier search are done with; those of this one stay side by side.
    for (QMessageBox *old : window->findChildren<QMessageBox *>(QLatin1String(resultBoxName),
                                                                Qt::FindDirectChildrenOnly))
        old->close();
    QString selected;
    for (const SearchSession::Verdict &write : verdicts) {
        if (showVerdict(window, write))
            selected = macText(write.sent.mac);
    }
    if (selected.isEmpty())
        return;
    // The last board back as sent is the one the user goes on with.
    for (QTableWidgetItem *item : table->findItems(selected, Qt::MatchExactly)) {
        if (item->column() != DeviceTable::MacColumn)
            continue;
        table->setCurrentItem(item);
        table->scrollToItem(item);
        return;
    }
}
