// SPDX-License-Identifier: MIT
#include "searchstatus.h"

#include "discoverysockets.h"
#include "localnetworks.h"

#include <QAccessible>
#include <QEvent>
#include <QHostAddress>
#include <QLabel>
#include <QLocale>
#include <QTableWidget>

namespace {

QString countText(int boards)
{
    if (boards == 1)
        return QStringLiteral("1\u00a0carte a répondu à la recherche.");
    return QStringLiteral("%1\u00a0cartes ont répondu à la recherche.")
        .arg(QLocale(QLocale::French).toString(boards));
}

QString cardsText(const QStringList &cards)
{
    if (cards.isEmpty())
        return QStringLiteral("Aucune carte réseau de ce PC n'a pu être interrogée.");
    return QStringLiteral("Cartes réseau interrogées\u00a0: %1.")
        .arg(cards.join(QStringLiteral(", ")));
}

QString nothingAnswered(const QStringList &cards)
{
    return QStringLiteral("Aucune carte n'a répondu.\n") + cardsText(cards) +
           QStringLiteral("\n\nCauses possibles\u00a0:\n"
                          "– un câble réseau débranché ou une carte hors tension\u00a0;\n"
                          "– un pare-feu de ce PC qui bloque le port UDP\u00a04022\u00a0;\n"
                          "– un autre programme qui utilise le port UDP\u00a04022.");
}

} // namespace

SearchStatus::SearchStatus(QTableWidget *table)
    : QObject(table), table(table), viewport(table->viewport())
{
    // Over the viewport, which the table scrolls: a child of the table itself would hide
    // its headers. It lets every click through.
    label = new QLabel(viewport);
    label->setObjectName(QStringLiteral("searchStatus"));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setWordWrap(true);
    // On a plain panel fitted to the text: the picture's stripes behind letters made them
    // hard to read.
    label->setMargin(label->fontMetrics().height() / 2);
    QPalette panel = label->palette();
    panel.setColor(QPalette::Window, QColor(Qt::white));
    panel.setColor(QPalette::WindowText, QColor(Qt::black));
    label->setPalette(panel);
    label->setBackgroundRole(QPalette::Window); // not the viewport's, which is the picture
    label->setAutoFillBackground(true);
    label->setTextFormat(Qt::PlainText);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->hide();
    viewport->installEventFilter(this);
}

void SearchStatus::started(const QStringList &searched)
{
    cards = searched;
    running = true;
    over = false;
    rowsChanged();
}

void SearchStatus::ended()
{
    if (!running)
        return;
    running = false;
    over = true;
    rowsChanged();
    // Told at the end of every search, even when the text is the last search's: this is
    // what a screen reader announces.
    QAccessibleEvent changed(table, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

void SearchStatus::rowsChanged()
{
    const int rows = table->rowCount();
    if (running) {
        const QString line = QStringLiteral("Recherche en cours… ") + cardsText(cards);
        show(rows == 0 ? line : QString(), line);
    } else if (over) {
        const QString text = rows == 0 ? nothingAnswered(cards) : countText(rows);
        show(rows == 0 ? text : QString(), text);
    }
}

QStringList SearchStatus::searchedCards(const SocketReport &report)
{
    QStringList searched;
    for (const LocalNetwork &network : localNetworks()) {
        const QHostAddress address(network.address);
        if (address.isLoopback() || report.held.contains(address))
            continue;
        bool failed = false;
        for (const SocketReport::Failure &failure : report.failed)
            failed = failed || failure.address == address;
        const QString card =
            network.interfaceName + QStringLiteral(" (") + address.toString() + QLatin1Char(')');
        if (!failed && !searched.contains(card))
            searched << card;
    }
    return searched;
}

void SearchStatus::show(const QString &emptyAreaText, const QString &description)
{
    // Each group of rows listed comes here: only a new text is passed on.
    if (table->accessibleDescription() != description) {
        table->setToolTip(description);
        table->setAccessibleDescription(description);
    }
    label->setText(emptyAreaText);
    label->setVisible(!emptyAreaText.isEmpty());
    if (label->isVisible())
        placeLabel();
}

void SearchStatus::placeLabel()
{
    const QRect area = viewport->rect().adjusted(8, 8, -8, -8);
    const int width = qMin(area.width(), label->sizeHint().width());
    QRect panel(0, 0, width, qMin(area.height(), label->heightForWidth(width)));
    panel.moveCenter(area.center());
    label->setGeometry(panel);
    label->raise();
}

bool SearchStatus::eventFilter(QObject *watched, QEvent *event)
{
    // Only a resize is looked at: the filter also sees the events of the viewport's end,
    // when the table is no longer a table and the label may be gone.
    if (event->type() == QEvent::Resize && watched == viewport && label->isVisible())
        placeLabel();
    return QObject::eventFilter(watched, event);
}
