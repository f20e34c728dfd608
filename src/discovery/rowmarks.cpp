// SPDX-License-Identifier: MIT
#include "rowmarks.h"

#include "devicetext.h"
#include "dialogs/settingsmessages.h"
#include "settingsrules.h"

#include <QHostAddress>
#include <QPainter>
#include <QPainterPath>
#include <QStyledItemDelegate>
#include <QTableWidget>

namespace {

// Boards named in a row's tooltip as sharing its address; the rows of a larger group keep
// their text, which already ends with "…", so that a flood of replies costs no more.
constexpr int namedSharers = 5;

// Paints the cell as usual, then a warning triangle in its top-left corner, sized by the
// font so that it follows the display's scaling, and over no text.
class MarkDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (!index.data(RowMarks::MarkedRole).toBool())
            return;
        const qreal side = option.fontMetrics.height() * 0.6;
        const QPointF corner = option.rect.topLeft() + QPointF(1, 1);
        QPainterPath triangle;
        triangle.moveTo(corner);
        triangle.lineTo(corner + QPointF(side, 0));
        triangle.lineTo(corner + QPointF(0, side));
        triangle.closeSubpath();
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->fillPath(triangle, QColor(0xd9, 0x4f, 0x00));
        painter->restore();
    }
};

QString cardName(const HeardReply &reply)
{
    return reply.interfaceName.isEmpty() ? QStringLiteral("carte réseau de ce PC")
                                         : QStringLiteral("carte réseau ") + reply.interfaceName;
}

} // namespace

RowMarks::RowMarks(QTableWidget *table)
{
    table->setItemDelegateForColumn(0, new MarkDelegate(table));
}

void RowMarks::clear()
{
    rows.clear();
    keysByAddress.clear();
    networks = localNetworks();
    networksTaken = true;
}

void RowMarks::listed(QTableWidgetItem *item, const DeviceRecord *record,
                      const BoardReplies &replies)
{
    if (!networksTaken)
        clear();
    const quint64 key = macKey(record->mac);
    rows.insert(key, {item, record});
    QVector<quint64> &sharers = keysByAddress[addressValue(record->ip)];
    sharers.append(key);
    if (sharers.size() == 1 || sharers.size() > namedSharers + 2) {
        mark(key, replies);
        return;
    }
    for (quint64 sharer : std::as_const(sharers))
        mark(sharer, replies);
}

void RowMarks::mark(quint64 key, const BoardReplies &replies)
{
    const Row row = rows.value(key);
    if (!row.item)
        return;
    const DeviceRecord &record = *row.record;
    const QString ip = addressText(record.ip);
    const QVector<HeardReply> heard = replies.repliesOf(record.mac);
    HeardReply first;
    if (!heard.isEmpty())
        first = heard.first();
    QStringList warnings;

    QStringList others;
    for (quint64 sharer : keysByAddress.value(addressValue(record.ip))) {
        if (sharer != key && others.size() <= namedSharers)
            others << macText(rows.value(sharer).record->mac);
    }
    if (others.size() > namedSharers)
        others.last() = QStringLiteral("…");
    if (!others.isEmpty())
        warnings << (others.size() == 1
                         ? QStringLiteral("La carte %2 a aussi cette adresse IP (%1).")
                         : QStringLiteral("Les cartes %2 ont aussi cette adresse IP (%1)."))
                        .arg(ip, others.join(QStringLiteral(", ")));

    const QString claim = claimMark(heard);
    if (!claim.isEmpty())
        warnings << claim;

    const AddressStanding standing =
        addressStanding(addressValue(record.ip), networks, [&first](const LocalNetwork &network) {
            return first.interfaceName.isEmpty() || network.interfaceName == first.interfaceName;
        });
    for (const LocalNetwork &network : standing.pcEntries)
        warnings << QStringLiteral("L'adresse IP %1 est une adresse de ce PC (carte réseau %2).")
                        .arg(ip, network.interfaceName);
    if (!standing.inSubnet)
        warnings << QStringLiteral("L'adresse IP %1 n'est dans aucun sous-réseau de la %2, "
                                   "par laquelle elle a répondu\u00a0; la carte reste "
                                   "modifiable, les réglages partant par diffusion.")
                        .arg(ip, cardName(first));

    QStringList lines = warnings;
    if (!first.card.isNull())
        lines << QStringLiteral("Réponse reçue par la %1 (%2).")
                     .arg(cardName(first), first.card.toString());
    const QString text = lines.join(QLatin1Char('\n'));
    row.item->setToolTip(text);
    row.item->setData(Qt::AccessibleDescriptionRole, text);
    row.item->setData(MarkedRole, !warnings.isEmpty());
}
