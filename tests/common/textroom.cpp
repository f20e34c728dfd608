// SPDX-License-Identifier: MIT
#include "textroom.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QStyleOptionHeader>
#include <QTableWidget>
#include <QtMath>

namespace TextRoom {

int room(const QWidget *widget)
{
    const QStyle *style = widget->style();
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->contentsRect().width() - 2 * label->margin();
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const auto *push = qobject_cast<const QPushButton *>(widget);
        if (push && push->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        const QStyle::SubElement contents =
            push ? QStyle::SE_PushButtonContents : QStyle::SE_RadioButtonContents;
        return style->subElementRect(contents, &option, button).width();
    }
    // A line edit draws its text 2 pixels in from its contents on each side, and keeps one
    // more for the cursor after it; a longer text scrolls.
    const auto *edit = qobject_cast<const QLineEdit *>(widget);
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    return style->subElementRect(QStyle::SE_LineEditContents, &option, edit).width() - 4 - 1;
}

int width(const QWidget *widget, const QString &text)
{
    return qCeil(QFontMetricsF(widget->font()).horizontalAdvance(text));
}

namespace {

struct Fit
{
    QString what; // and its text
    int needed;
    int room;
};

// A header elides its caption to the style's label rectangle, less the arrow on the section
// that shows the sort indicator; a cell elides its text to the cell less the style's focus
// margin and one pixel each side.
QList<Fit> columnFits(const QTableWidget *table, int column)
{
    const QHeaderView *header = table->horizontalHeader();
    QStyleOptionHeader option;
    option.initFrom(header);
    option.state |= QStyle::State_Horizontal;
    option.orientation = Qt::Horizontal;
    option.rect = QRect(0, 0, header->sectionSize(column), header->height());
    if (header->isSortIndicatorShown() && header->sortIndicatorSection() == column)
        option.sortIndicator = QStyleOptionHeader::SortUp;
    const QString caption = table->model()->headerData(column, Qt::Horizontal).toString();
    QList<Fit> fits = {
        {QStringLiteral("header %1 \"%2\"").arg(column).arg(caption), width(header, caption),
         header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header).width()}};
    const int margin =
        table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (const QTableWidgetItem *item = table->item(row, column))
            fits.append({QStringLiteral("cell %1,%2 \"%3\"").arg(row).arg(column).arg(item->text()),
                         width(table, item->text()),
                         table->visualItemRect(item).width() - 2 * margin});
    }
    return fits;
}

} // namespace

int columnSlack(const QTableWidget *table, int column)
{
    int slack = table->columnWidth(column);
    for (const Fit &fit : columnFits(table, column))
        slack = qMin(slack, fit.room - fit.needed);
    return slack;
}

QStringList clipped(const QWidget *root)
{
    QStringList out;
    for (const QWidget *widget : root->findChildren<QWidget *>()) {
        if (!widget->isVisibleTo(root->window()) || widget->objectName().isEmpty())
            continue;
        QList<Fit> fits;
        if (const auto *table = qobject_cast<const QTableWidget *>(widget)) {
            for (int column = 0; column < table->columnCount(); ++column) {
                if (!table->isColumnHidden(column))
                    fits << columnFits(table, column);
            }
        } else if (qobject_cast<const QLabel *>(widget) ||
                   qobject_cast<const QAbstractButton *>(widget) ||
                   qobject_cast<const QLineEdit *>(widget)) {
            const QString text = widget->property("text").toString();
            fits << Fit{QStringLiteral("%1 \"%2\"").arg(widget->objectName(), text),
                        width(widget, text), room(widget)};
        }
        for (const Fit &fit : fits) {
            if (fit.needed > fit.room)
                out << QStringLiteral("%1: %2 px in %3")
                           .arg(fit.what)
                           .arg(fit.needed)
                           .arg(fit.room);
        }
    }
    return out;
}

} // namespace TextRoom
