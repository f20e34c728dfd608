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

namespace {

// The rectangle a widget draws its text in: a label centres it in its contents, a button
// draws it in the style's contents rectangle, a line edit clips it to its contents less its
// text margins.
QRect textRect(const QWidget *widget)
{
    const QStyle *style = widget->style();
    if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        const int margin = label->margin();
        return label->contentsRect().adjusted(margin, margin, -margin, -margin);
    }
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const auto *push = qobject_cast<const QPushButton *>(widget);
        if (push && push->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        const QStyle::SubElement contents =
            push ? QStyle::SE_PushButtonContents : QStyle::SE_RadioButtonContents;
        return style->subElementRect(contents, &option, button);
    }
    const auto *edit = qobject_cast<const QLineEdit *>(widget);
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    return style->subElementRect(QStyle::SE_LineEditContents, &option, edit)
        .marginsRemoved(edit->textMargins());
}

} // namespace

// A line edit draws its text 2 pixels in from its contents on each side, and keeps one more
// for the cursor after it; a longer text scrolls.
int room(const QWidget *widget)
{
    const int width = textRect(widget).width();
    return qobject_cast<const QLineEdit *>(widget) ? width - 4 - 1 : width;
}

int heightRoom(const QWidget *widget)
{
    return textRect(widget).height();
}

int width(const QWidget *widget, const QString &text)
{
    return qCeil(QFontMetricsF(widget->font()).horizontalAdvance(text));
}

int height(const QWidget *widget)
{
    const QFontMetrics metrics(widget->font());
    return metrics.ascent() + metrics.descent();
}

namespace {

struct Fit
{
    QString what; // and its text
    int needed;
    int room;
    const char *unit = "px";
};

// A header elides its caption to the style's label rectangle, less the arrow on the section
// that shows the sort indicator, which a click may put on any section; a cell elides its text to
// the cell less the style's focus margin and one pixel each side.
QList<Fit> columnFits(const QTableWidget *table, int column)
{
    const QHeaderView *header = table->horizontalHeader();
    QStyleOptionHeader option;
    option.initFrom(header);
    option.state |= QStyle::State_Horizontal;
    option.orientation = Qt::Horizontal;
    option.rect = QRect(0, 0, header->sectionSize(column), header->height());
    if (header->isSortIndicatorShown())
        option.sortIndicator = QStyleOptionHeader::SortUp;
    const QString caption = table->model()->headerData(column, Qt::Horizontal).toString();
    const QString headerName = QStringLiteral("header %1 \"%2\"").arg(column).arg(caption);
    const QRect label = header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header);
    QList<Fit> fits = {{headerName, width(header, caption), label.width()},
                       {headerName, height(header), label.height(), "px high"}};
    const int margin =
        table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (const QTableWidgetItem *item = table->item(row, column)) {
            const QString name =
                QStringLiteral("cell %1,%2 \"%3\"").arg(row).arg(column).arg(item->text());
            const QRect cell = table->visualItemRect(item);
            fits.append({name, width(table, item->text()), cell.width() - 2 * margin});
            fits.append({name, height(table), cell.height(), "px high"});
        }
    }
    return fits;
}

} // namespace

int columnSlack(const QTableWidget *table, int column)
{
    int slack = table->columnWidth(column);
    for (const Fit &fit : columnFits(table, column)) {
        if (qstrcmp(fit.unit, "px") == 0)
            slack = qMin(slack, fit.room - fit.needed);
    }
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
            const QString name = QStringLiteral("%1 \"%2\"").arg(widget->objectName(), text);
            fits << Fit{name, width(widget, text), room(widget)}
                 << Fit{name, height(widget), heightRoom(widget), "px high"};
        }
        for (const Fit &fit : fits) {
            if (fit.needed > fit.room)
                out << QStringLiteral("%1: %2 %3 in %4")
                           .arg(fit.what)
                           .arg(fit.needed)
                           .arg(QLatin1String(fit.unit))
                           .arg(fit.room);
        }
    }
    return out;
}

} // namespace TextRoom
