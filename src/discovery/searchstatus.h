// SPDX-License-Identifier: MIT
#pragma once

// How the last search went, told by the device table without a box and without touching a
// caption of the form: a line over the table's empty area while a search runs, there too an
// explanation when no board answered (the network cards searched and the likely causes),
// and otherwise the count of boards listed in the table's tooltip and accessible
// description. Each end of a search changes that description, which screen readers hear.

#include <QObject>
#include <QString>
#include <QStringList>

class QLabel;
class QTableWidget;
struct SocketReport;

class SearchStatus : public QObject
{
public:
    explicit SearchStatus(QTableWidget *table);

    // A search starts on the given cards, each "name (address)".
    void started(const QStringList &cards);
    // The search's time is up.
    void ended();
    // Rows were listed or removed.
    void rowsChanged();

    // The PC's network cards that the search of `report` queries, each "name (address)".
    static QStringList searchedCards(const SocketReport &report);

protected:
    // Keeps the text over the viewport as the window is resized.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void show(const QString &emptyAreaText, const QString &description);
    void placeLabel();

    QTableWidget *table = nullptr;
    QWidget *viewport = nullptr;
    QLabel *label = nullptr;
    QStringList cards;
    bool running = false;
    bool over = false;
};
