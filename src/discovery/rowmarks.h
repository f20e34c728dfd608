// SPDX-License-Identifier: MIT
#pragma once

// The marks of the device table's rows: what a technician should know of a board before
// changing it, told on its MAC cell by a warning triangle in its corner, a tooltip and a
// description for screen readers (the form and its columns stay as drawn). Two boards with
// one IP address, a MAC that several devices claim or that answers through several cards of
// the PC, an address of this PC, an address in no subnet of the card the reply came through.
// Every row's tooltip also names that card.

#include "boardreplies.h"
#include "localnetworks.h"

#include <QHash>
#include <QVector>

class QTableWidget;
class QTableWidgetItem;

class RowMarks
{
public:
    // Draws the triangle of the marked cells of `table`.
    explicit RowMarks(QTableWidget *table);

    // A new search: the rows go, and the PC's networks are taken anew.
    void clear();
    // A board's row was listed, with `item` its MAC cell.
    void listed(QTableWidgetItem *item, const DeviceRecord *record, const BoardReplies &replies);
    // The replies for the board of `key` changed (a second device claims its MAC).
    void mark(quint64 key, const BoardReplies &replies);

    // The role of a MAC cell's data that is true while the row is marked.
    static constexpr int MarkedRole = Qt::UserRole + 1;

private:
    struct Row
    {
        QTableWidgetItem *item = nullptr;
        const DeviceRecord *record = nullptr;
    };

    QHash<quint64, Row> rows;
    // The listed boards by IP address, in the order they were listed.
    QHash<quint32, QVector<quint64>> keysByAddress;
    QVector<LocalNetwork> networks;
    bool networksTaken = false;
};
