// SPDX-License-Identifier: MIT
#include "mainwindow.h"

#include "devicetable.h"
#include "dialogs/reboot.h"
#include "dialogs/update.h"
#include "localfiles.h"
#include "ui_mainwindow.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHostAddress>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QTimer>
#include <QTimerEvent>
#include <QUdpSocket>

#include <algorithm>

namespace {

// A read notification takes whatever the sockets hold, but gives the event loop back after
// this long even under a flood that never lets them run dry.
constexpr int readSliceMs = 10;
// New boards wait this long to be shown together: long enough to gather the replies of a
// burst, too short to be seen.
constexpr int listDelayMs = 15;
// At most this many rows per insertion (about 5 ms), so that a large backlog is shown in
// steps with the event loop running in between.
constexpr int maxRowsPerListing = 500;

// Every socket shares port 4022 with the broadcast listener (and with any other copy of the
// tool), so the binds are made with address reuse.
constexpr QAbstractSocket::BindMode bindMode =
    QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint;

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);

    // A PC may list one address twice (on two cards); a second socket on it would give every
    // board a second copy of each datagram.
    QList<QHostAddress> addresses;
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (addresses.contains(address))
            continue;
        addresses.append(address);
        auto *socket = new QUdpSocket(this);
        if (socket->bind(address, devicePort, bindMode))
            socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                                    receiveBufferSize);
        sockets.push_back(socket);
    }
    broadcastListener = new QUdpSocket(this);
    if (broadcastListener->bind(QHostAddress::AnyIPv4, devicePort, bindMode))
        broadcastListener->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                                           receiveBufferSize);
    searchTimer = new QTimer(this);
    requestTimer = new QTimer(this);

    for (QUdpSocket *socket : sockets)
        connect(socket, SIGNAL(readyRead()), SLOT(DisplayRequest()));
    connect(broadcastListener, SIGNAL(readyRead()), SLOT(DisplayRequest()));
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
}

MainWindow::~MainWindow()
{
    qDeleteAll(devices);
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
    if (!hasBoundIPv4Socket())
        reportPortUnavailable();
}

void MainWindow::UpdateButtonClick()
{
    // The button stays enabled after a deselection, when no record is selected any more.
    if (!selectedDevice)
        return;
    auto *dialog = new Update(this, selectedDevice);
    connect(dialog, SIGNAL(ValueModified()), SLOT(UpdateClosed()));
    dialog->show();
}

// Reading one datagram per socket per notification let the event loop, and a repaint of the
// table, run between two replies: a few hundred replies per second, while a burst of
// thousands overflowed the receive buffer. The sockets are now read in rounds, one datagram
// from each per round as before, until they are empty or the slice is used up.
void MainWindow::DisplayRequest()
{
    QElapsedTimer slice;
    slice.start();
    bool readAny = true;
    while (readAny && slice.elapsed() < readSliceMs) {
        readAny = false;
        for (QUdpSocket *socket : sockets)
            readAny = readOneDatagram(socket) || readAny;
        readAny = readOneDatagram(broadcastListener) || readAny;
    }
}

void MainWindow::SelectionChanged()
{
    const int row = ui->tableWidget->currentRow();
    if (row != -1) {
        const QTableWidgetItem *macItem = ui->tableWidget->item(row, DeviceTable::MacColumn);
        selectedDevice = macItem ? findDeviceByMacText(macItem->text().toUtf8()) : nullptr;
    }
    ui->buttonUpdate->setEnabled(true);
}

void MainWindow::UpdateClosed()
{
    // The dialog only reports a record that is still listed; checking again keeps a write
    // datagram from ever being built out of a record that a new search has deleted.
    if (!selectedDevice || !devices.contains(selectedDevice))
        return;
    const QHostAddress destination(QString::fromLatin1(broadcastAddress));
    const WriteDatagram datagram = buildWriteDatagram(*selectedDevice);
    sendToAllSockets(reinterpret_cast<const char *>(datagram.data()), int(datagram.size()),
                     destination, devicePort);

    auto *wait = new Reboot(this);
    connect(wait, SIGNAL(TimerDone()), SLOT(RebootDone()));
    wait->show();
}

void MainWindow::RebootDone()
{
    SearchButtonClick();
}

void MainWindow::SearchTimerDone()
{
    searchTimer->stop();
    QGuiApplication::restoreOverrideCursor();
    ui->buttonSearch->setEnabled(true);
}

void MainWindow::RequestTimerDone()
{
    requestTimer->stop();
    if (requestCount == queriesPerSearch) {
        requestCount = 0;
        return;
    }
    const QueryDatagram query = queryDatagram();
    sendToAllSockets(reinterpret_cast<const char *>(query.data()), int(query.size()),
                     QHostAddress(QString::fromLatin1(broadcastAddress)), devicePort);
    ++requestCount;
    requestTimer->start(queryIntervalMs);
}

// Only bound sockets send: Qt binds an unbound socket to the any-address and an ephemeral
// port on its first write, which would give every board a second copy of each datagram.
void MainWindow::sendToAllSockets(const char *data, int length, const QHostAddress &address,
                                  quint16 port)
{
    for (QUdpSocket *socket : sockets) {
        if (socket->state() == QAbstractSocket::BoundState)
            socket->writeDatagram(data, length, address, port);
    }
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

void MainWindow::clearDevices()
{
    listTimer.stop();
    unlisted.clear();
    devicesByMac.clear();
    const QList<Update *> dialogs = findChildren<Update *>(QString(), Qt::FindDirectChildrenOnly);
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
    selectedDevice = nullptr;
    ui->buttonUpdate->setEnabled(false);
}

void MainWindow::restartDiscovery()
{
    clearDevices();
    clearTable();
    requestTimer->start(queryIntervalMs);
}

// A fresh zeroed buffer for every read, and the parser is told how many bytes arrived, so a
// short datagram can never show bytes of an earlier one.
bool MainWindow::readOneDatagram(QUdpSocket *socket)
{
    if (socket->state() != QAbstractSocket::BoundState || !socket->hasPendingDatagrams())
        return false;
    std::uint8_t buffer[replyDatagramSize] = {};
    const qint64 length =
        socket->readDatagram(reinterpret_cast<char *>(buffer), qint64(sizeof buffer));
    if (length < 0 || !isReply(buffer, std::size_t(length)))
        return true;
    const DeviceRecord parsed = parseReply(buffer, std::size_t(length));
    if (containsDevice(&parsed))
        return true;
    auto *record = new DeviceRecord(parsed);
    devices.append(record);
    devicesByMac.insert(macKey(record->mac), record);
    unlisted.append(record);
    if (!listTimer.isActive())
        listTimer.start(listDelayMs, this);
    return true;
}

// The oldest records go in first, each group at the top, so the rows end up newest on top
// exactly as if each had been inserted on arrival.
void MainWindow::listNewDevices()
{
    const int count = std::min(int(unlisted.size()), maxRowsPerListing);
    DeviceTable::addDeviceRows(ui->tableWidget, unlisted.constData(), count);
    unlisted.remove(0, count);
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

bool MainWindow::hasBoundIPv4Socket() const
{
    const auto boundIPv4 = [](const QUdpSocket *socket) {
        return socket->state() == QAbstractSocket::BoundState &&
               socket->localAddress().protocol() == QAbstractSocket::IPv4Protocol;
    };
    return boundIPv4(broadcastListener) || std::any_of(sockets.cbegin(), sockets.cend(), boundIPv4);
}

// Without any IPv4 socket on port 4022 no reply can ever be read, and an empty table would
// look like a network without boards. The box does not block: the search runs on as usual.
void MainWindow::reportPortUnavailable()
{
    auto *box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Erreur"),
                                QStringLiteral("Le port UDP 4022 n'a pas pu être ouvert : il est "
                                               "peut-être utilisé par un autre programme.\n"
                                               "Aucune carte ne pourra répondre à la recherche."),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(true);
    box->show();
}
