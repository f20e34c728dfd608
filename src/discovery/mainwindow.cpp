// SPDX-License-Identifier: MIT
#include "mainwindow.h"

#include "app/scaling.h"
#include "devicetable.h"
#include "dialogs/reboot.h"
#include "dialogs/settingsmessages.h"
#include "dialogs/update.h"
#include "keyboard.h"
#include "listexport.h"
#include "localfiles.h"
#include "rowcopy.h"
#include "searchstatus.h"
#include "tableaccess.h"
#include "ui_mainwindow.h"

#include <QGuiApplication>
#include <QHostAddress>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QTimerEvent>

#include <algorithm>
#include <cstring>

namespace {

// New boards wait this long to be shown together: long enough to gather the replies of a
// burst, too short to be seen.
constexpr int listDelayMs = 15;
// At most this many rows per insertion (about 5 ms), so that a large backlog is shown in
// steps with the event loop running in between.
constexpr int maxRowsPerListing = 500;

const char problemsBoxName[] = "socketProblems";
const char boardLimitBoxName[] = "boardLimit";
const char droppedBoxName[] = "droppedReplies";

QString heldByAnother()
{
    return QStringLiteral("Le port UDP 4022 est déjà utilisé sur ce PC par un autre "
                          "programme\u00a0: une autre copie de cet outil, l'outil en ligne de "
                          "commande quorvan-cli ou un autre logiciel.");
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : MainWindow(nullptr, parent) {}

MainWindow::MainWindow(SearchNetwork *network, QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow), session(network ? *network : sockets, true)
{
    // Before the table exists: Qt keeps the first interface it gives an object.
    TableAccess::install();
    ui->setupUi(this);

    // Each socket is connected to DisplayRequest() as it is bound. What could not be bound
    // is told at the search, when the user is waiting for a result.
    session.open();
    searchTimer = new QTimer(this);
    requestTimer = new QTimer(this);

    connect(ui->tableWidget, SIGNAL(itemSelectionChanged()), SLOT(SelectionChanged()));
    connect(ui->buttonSearch, SIGNAL(clicked()), SLOT(SearchButtonClick()));
    connect(ui->buttonUpdate, SIGNAL(clicked()), SLOT(UpdateButtonClick()));
    connect(searchTimer, SIGNAL(timeout()), SLOT(SearchTimerDone()));
    connect(requestTimer, SIGNAL(timeout()), SLOT(RequestTimerDone()));

    ui->frameBroadcast->hide();
    LocalFiles::setWindowIcon(this);
    DeviceTable::setTableBackground(ui->tableWidget);
    DeviceTable::setColumnWidths(ui->tableWidget);
    ui->tableWidget->hideColumn(DeviceTable::LevelTwoColumn);
    DeviceTable::setRowHeight(ui->tableWidget);
    DeviceTable::fitWindowToColumns(this, ui->tableWidget);
    DeviceTable::sortOnHeaderClick(ui->tableWidget);
    new WindowKeys(this, ui->tableWidget, ui->buttonSearch, ui->buttonUpdate);
    status = new SearchStatus(ui->tableWidget);
    new RowCopy(ui->tableWidget, new ListExport(this, [this] { return listedRows(); }));
    marks = new RowMarks(ui->tableWidget);
}

MainWindow::~MainWindow()
{
    qDeleteAll(devices);
    delete marks;
    delete ui;
}

// A search started while another is still in its ten seconds (the end of a reboot wait that
// was escaped) restarts the single timeout, which pops one cursor: it must push none.
void MainWindow::SearchButtonClick()
{
    const bool alreadyWaiting = searchTimer->isActive();
    searchTimer->start(searchDurationMs);
    ui->buttonSearch->setEnabled(false);
    if (!alreadyWaiting)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    restartDiscovery();
    reportSocketProblems(session.report());
    status->started(SearchStatus::searchedCards(session.report()));
}

void MainWindow::UpdateButtonClick()
{
    if (!selectedDevice)
        return;
    auto *dialog = new Update(this, selectedDevice);
    dialog->setAddressHolders(
        [this](const DeviceRecord &edited) { return boardAddresses(edited); });
    dialog->setClaimQuestion([this](const DeviceRecord &edited) { return claimQuestion(edited); });
    connect(dialog, SIGNAL(ValueModified()), SLOT(UpdateClosed()));
    Scaling::fitToScreen(dialog);
    dialog->show();
}

void MainWindow::DisplayRequest()
{
    session.read(sender(), [this](const HeardReply &reply, SearchSession::Heard fate) {
        heard(reply, fate);
    });
}

// The selection, not the current cell, names the board: a Ctrl+click takes the selection
// away and leaves the current cell, and a screen reader selects a row without moving it.
// The button is there exactly while a listed board is selected.
void MainWindow::SelectionChanged()
{
    const int row = DeviceTable::selectedRow(ui->tableWidget);
    const QTableWidgetItem *macItem =
        row == -1 ? nullptr : ui->tableWidget->item(row, DeviceTable::MacColumn);
    selectedDevice = macItem ? findDeviceByMacText(macItem->text().toUtf8()) : nullptr;
    ui->buttonUpdate->setEnabled(selectedDevice != nullptr);
}

void MainWindow::UpdateClosed()
{
    // The settings come from the dialog's record rather than from the selection: a search
    // that ended while the dialog was open has deleted the listed record and cleared the
    // selection, and the dialog then holds a copy that still names the board by its MAC.
    const auto *dialog = qobject_cast<const Update *>(sender());
    const DeviceRecord *record = dialog ? dialog->record() : selectedDevice;
    if (!record)
        return;
    // The write leaves through the card of the listed reply only (searchsession.h).
    QVector<HeardReply> heard = session.replies().repliesOf(record->mac);
    if (heard.isEmpty())
        heard = repliesUnderDialogs.value(macKey(record->mac));
    repliesUnderDialogs.remove(macKey(record->mac));
    HeardReply base;
    base.record = *record;
    if (!heard.isEmpty())
        base = heard.first();
    session.write(*record, base, heard);

    auto *wait = new Reboot(this);
    connect(wait, SIGNAL(TimerDone()), SLOT(RebootDone()));
    wait->show();
}

void MainWindow::RebootDone()
{
    session.waitOver();
    SearchButtonClick();
}

void MainWindow::SearchTimerDone()
{
    searchTimer->stop();
    QGuiApplication::restoreOverrideCursor();
    ui->buttonSearch->setEnabled(true);
    // Replies that came in time but that a busy event loop had not read yet count too: the
    // verdicts and the count told below take them in, as the command line's do.
    const SearchSession::Ended ended =
        session.end(true, [this](const HeardReply &reply, SearchSession::Heard fate) {
            heard(reply, fate);
        });
    reportDroppedReplies(ended.dropped);
    // The count told at the end takes in the replies still waiting to be listed.
    while (!unlisted.isEmpty())
        listNewDevices();
    status->ended();
    DeviceTable::showCurrentRow(ui->tableWidget);
    WriteCheck::show(this, ui->tableWidget, ended.verdicts);
}

void MainWindow::RequestTimerDone()
{
    requestTimer->stop();
    const bool more = session.queryDue();
    requestCount = session.queriesSent();
    if (more)
        requestTimer->start(queryIntervalMs);
}

bool MainWindow::containsDevice(const DeviceRecord *record) const
{
    return devicesByMac.contains(macKey(record->mac));
}

DeviceRecord *MainWindow::findDeviceByMacText(const QByteArray &text) const
{
    const MacAddress mac = macTextToBytes(text.toStdString());
    return devicesByMac.value(macKey(mac.data()), nullptr);
}

// The rows as the table shows them, sorted or not, each with the card of its first reply.
QVector<BoardRow> MainWindow::listedRows() const
{
    QVector<BoardRow> rows;
    for (int row = 0; row < ui->tableWidget->rowCount(); ++row) {
        const QTableWidgetItem *macItem = ui->tableWidget->item(row, DeviceTable::MacColumn);
        const DeviceRecord *record =
            macItem ? findDeviceByMacText(macItem->text().toUtf8()) : nullptr;
        if (record)
            rows.append(BoardRow::of(*record, session.replies().repliesOf(record->mac).value(0)));
    }
    return rows;
}

void MainWindow::clearDevices()
{
    listTimer.stop();
    unlisted.clear();
    devicesByMac.clear();
    const QList<Update *> dialogs = findChildren<Update *>(QString(), Qt::FindDirectChildrenOnly);
    // A dialog left open across a search still writes through the card its board answered on.
    for (const Update *dialog : dialogs) {
        const QVector<HeardReply> heard = session.replies().repliesOf(dialog->record()->mac);
        if (!heard.isEmpty())
            repliesUnderDialogs.insert(macKey(dialog->record()->mac), heard);
    }
    marks->clear();
    while (!devices.isEmpty()) {
        DeviceRecord *record = devices.takeLast();
        for (Update *dialog : dialogs)
            dialog->forgetDevice(record);
        delete record;
    }
}

void MainWindow::clearTable()
{
    ui->tableWidget->clearSelection();
    // One removal of every row: removing row 0 again and again moved all the rows below it
    // each time, a quarter of a second for 10000 rows.
    ui->tableWidget->setRowCount(0);
    DeviceTable::clearSortOrder(ui->tableWidget);
    selectedDevice = nullptr;
    ui->buttonUpdate->setEnabled(false);
    status->rowsChanged();
}

void MainWindow::restartDiscovery()
{
    clearDevices();
    clearTable();
    session.start(searchDurationMs);
    requestCount = session.queriesSent();
    requestTimer->start(queryIntervalMs);
}

void MainWindow::heard(const HeardReply &reply, SearchSession::Heard fate)
{
    switch (fate) {
    case SearchSession::Heard::Repeated:
    case SearchSession::Heard::Dropped:
        return;
    case SearchSession::Heard::CapReached:
        reportBoardLimit();
        return;
    case SearchSession::Heard::Kept:
        markClaimedRow(macKey(reply.record.mac));
        return;
    case SearchSession::Heard::Listed:
        break;
    }
    auto *record = new DeviceRecord(reply.record);
    devices.append(record);
    devicesByMac.insert(macKey(record->mac), record);
    unlisted.append(record);
    if (!listTimer.isActive())
        listTimer.start(listDelayMs, this);
}

// The oldest records go in first, each group at the top, so the rows end up newest on top
// exactly as if each had been inserted on arrival.
void MainWindow::listNewDevices()
{
    const int count = std::min(int(unlisted.size()), maxRowsPerListing);
    QVector<QTableWidgetItem *> items(count);
    DeviceTable::addDeviceRows(ui->tableWidget, unlisted.constData(), count, items.data());
    for (int i = 0; i < count; ++i)
        marks->listed(items.at(i), unlisted.at(i), session.replies());
    unlisted.remove(0, count);
    status->rowsChanged();
    if (!unlisted.isEmpty())
        listTimer.start(0, this);
}

void MainWindow::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != listTimer.timerId()) {
        QMainWindow::timerEvent(event);
        return;
    }
    listTimer.stop();
    listNewDevices();
}

// A search that cannot reach every card must not end like a network without boards: the
// user is told why at the search, which still runs on as usual. The box does not block.
void MainWindow::reportSocketProblems(const SocketReport &report)
{
    QString text;
    if (report.noCardAddress()) {
        text = QStringLiteral("Ce PC n'a aucune adresse IPv4\u00a0: aucune carte réseau n'est "
                              "connectée ou configurée.\n"
                              "Aucune carte ne pourra répondre à la recherche.");
    } else if (report.portHeld()) {
        text = heldByAnother() +
               QStringLiteral("\n\nAucune carte ne pourra répondre à cette recherche\u00a0: "
                              "fermez l'autre programme qui utilise le port, puis relancez la "
                              "recherche avec «\u00a0Rechercher\u00a0».");
    } else if (report.sendingSockets == 0) {
        text = QStringLiteral("Le port UDP 4022 n'a pas pu être ouvert\u00a0: il est peut-être "
                              "utilisé par un autre programme.\n"
                              "Aucune carte ne pourra répondre à la recherche.");
    } else if (report.incomplete()) {
        QStringList paragraphs;
        if (!report.held.isEmpty() || report.listenerMissing)
            paragraphs << heldByAnother();
        if (!report.held.isEmpty() || !report.failed.isEmpty()) {
            QStringList lines{
                QStringLiteral("Ces adresses de ce PC ne seront pas interrogées\u00a0:")};
            for (const QHostAddress &address : report.held)
                lines << QStringLiteral("– ") + address.toString();
            for (const SocketReport::Failure &failure : report.failed)
                lines << QStringLiteral(
                             "– %1\u00a0: le port UDP 4022 n'a pas pu y être ouvert (%2)")
                             .arg(failure.address.toString(), failure.reason);
            paragraphs << lines.join(QLatin1Char('\n'));
        }
        if (report.listenerMissing)
            paragraphs << QStringLiteral("Les réponses envoyées par diffusion, celles des cartes "
                                         "d'un autre sous-réseau notamment, ne seront pas reçues.");
        paragraphs << QStringLiteral("La recherche continue malgré tout.");
        text = paragraphs.join(QStringLiteral("\n\n"));
    }
    for (QMessageBox *old :
         findChildren<QMessageBox *>(QLatin1String(problemsBoxName), Qt::FindDirectChildrenOnly))
        old->close();
    if (text.isEmpty())
        return;
    auto *box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Erreur"), text,
                                QMessageBox::Ok, this);
    box->setObjectName(QLatin1String(problemsBoxName));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(true);
    box->show();
}

// Once per search (the session says when), without blocking: the replies go on being read
// (and dropped).
void MainWindow::reportBoardLimit()
{
    const QString limit = QLocale(QLocale::French).toString(maxBoardsPerSearch);
    showSearchWarning(boardLimitBoxName,
                      QStringLiteral("Plus de %1\u00a0cartes différentes ont répondu\u00a0: "
                                     "seules les %1 premières sont listées.\n"
                                     "Le réseau en compte peut-être trop, ou de fausses "
                                     "réponses l'inondent.")
                          .arg(limit));
}

// Replies that the system threw away because they came faster than they were read may have
// been the only ones of some boards: the list may lack them. Said once per search, where the
// platform counts them, without blocking.
void MainWindow::reportDroppedReplies(qint64 dropped)
{
    for (QMessageBox *old :
         findChildren<QMessageBox *>(QLatin1String(droppedBoxName), Qt::FindDirectChildrenOnly))
        old->close();
    if (dropped <= 0)
        return;
    const QString count = QLocale(QLocale::French).toString(dropped);
    const QString lost =
        dropped == 1
            ? QStringLiteral("Ce PC a perdu 1\u00a0réponse, arrivée plus vite qu'il ne pouvait la "
                             "lire\u00a0: des cartes peuvent manquer à la liste.")
            : QStringLiteral("Ce PC a perdu %1\u00a0réponses, arrivées plus vite qu'il ne pouvait "
                             "les lire\u00a0: des cartes peuvent manquer à la liste.")
                  .arg(count);
    showSearchWarning(droppedBoxName,
                      lost + QStringLiteral("\nRelancez la recherche\u00a0; si cela se répète "
                                            "sur un grand réseau, l'administrateur du PC peut "
                                            "agrandir la mémoire de réception du système "
                                            "(net.core.rmem_max)."));
}

// A warning about the running search, in a box that does not hold it up: the replies go on
// being read meanwhile.
void MainWindow::showSearchWarning(const char *name, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Recherche"), text,
                                QMessageBox::Ok, this);
    box->setObjectName(QLatin1String(name));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(true);
    box->show();
}

// A MAC claimed by several devices, or heard through several cards, is told on its row
// before anyone opens it.
void MainWindow::markClaimedRow(quint64 key)
{
    marks->mark(key, session.replies());
}

QString MainWindow::claimQuestion(const DeviceRecord &edited) const
{
    return claimMessage(session.replies().repliesOf(edited.mac));
}

// The listed boards other than the one being edited, whose addresses new settings must not
// take without a question.
AddressHolders MainWindow::boardAddresses(const DeviceRecord &edited) const
{
    AddressHolders holders;
    for (const DeviceRecord *record : devices) {
        if (std::memcmp(record->mac, edited.mac, sizeof edited.mac) != 0)
            holders.append(
                {addressValue(record->ip), AddressHolder::Board, macText(record->mac), 0});
    }
    return holders;
}
