// SPDX-License-Identifier: MIT
#pragma once

// The tool's only window and its discovery controller. It owns the sockets of a search (one
// UDP socket per local address on port 4022 plus, where the platform needs it, a
// receive-only listener for replies sent to the broadcast address; see discoverysockets.h),
// the search session that keeps the replies and judges the writes (searchsession.h), the
// list of boards found (DeviceRecord), and the two timers that pace a search: its slots
// only arm the timers and show what the session says.
// The device table (devicetable.h) shows the list; the Update dialog edits the selected
// record in place and the Reboot dialog covers the board's restart after a write.

#include "boardreplies.h"
#include "protocol.h"
#include "rowmarks.h"
#include "searchnetwork.h"
#include "searchsession.h"
#include "settingsrules.h"
#include "writecheck.h"

#include <QBasicTimer>
#include <QHash>
#include <QMainWindow>
#include <QVector>

struct BoardRow;
class SearchStatus;
class QTableWidgetItem;
class QTimer;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    // On another network than the PC's sockets: the tests' simulated cards and devices.
    MainWindow(SearchNetwork *network, QWidget *parent);
    ~MainWindow() override;

public slots:
    void SearchButtonClick();
    void UpdateButtonClick();
    void DisplayRequest();
    void SelectionChanged();
    void UpdateClosed();
    void RebootDone();
    void SearchTimerDone();
    void RequestTimerDone();

private:
    bool containsDevice(const DeviceRecord *record) const;
    DeviceRecord *findDeviceByMacText(const QByteArray &text) const;
    QVector<BoardRow> listedRows() const;
    void clearDevices();
    void clearTable();
    void restartDiscovery();
    void heard(const HeardReply &reply, SearchSession::Heard fate);
    void listNewDevices();
    void timerEvent(QTimerEvent *event) override;
    void reportSocketProblems(const SocketReport &report);
    void reportBoardLimit();
    void reportDroppedReplies(qint64 dropped);
    void showSearchWarning(const char *name, const QString &text);
    void markClaimedRow(quint64 key);
    AddressHolders boardAddresses(const DeviceRecord &edited) const;
    QString claimQuestion(const DeviceRecord &edited) const;

    Ui::MainWindow *ui = nullptr;
    // Bound again at every search, so that they follow the PC's addresses; unused when the
    // window was given another network.
    SocketNetwork sockets{this, SLOT(DisplayRequest()), false};
    // Every distinct reply of the running search per MAC, with its card (the first is the
    // listed record's, the others tell that the MAC is claimed twice), and the writes.
    SearchSession session;
    // The replies for the board of a settings dialog that a new search cleared, by macKey().
    QHash<quint64, QVector<HeardReply>> repliesUnderDialogs;
    QVector<DeviceRecord *> devices;
    // The same records by macKey(), for the duplicate check of every reply: a scan of the
    // list made each reply cost time in proportion to the boards already listed.
    QHash<quint64, DeviceRecord *> devicesByMac;
    // Records read but not shown yet, oldest first. Rows go in at the top of the table, and
    // each insertion there moves every row below: a group of rows pays for that once.
    QVector<const DeviceRecord *> unlisted;
    QBasicTimer listTimer;
    // The marks of the listed rows, renewed when a second reply comes for a MAC.
    RowMarks *marks = nullptr;
    DeviceRecord *selectedDevice = nullptr;
    QTimer *searchTimer = nullptr;
    QTimer *requestTimer = nullptr;
    int requestCount = 0;
    SearchStatus *status = nullptr;
};
