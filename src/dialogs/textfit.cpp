// SPDX-License-Identifier: MIT
#include "textfit.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QtMath>

namespace TextFit {

namespace {

// Room a widget's style leaves for its text at the widget's present size. It grows pixel for
// pixel with the size, so a widget `size + text - room` large holds the text exactly.
QSize textRoom(const QWidget *widget)
{
    QStyle *style = widget->style();
    if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        const int margin = 2 * label->margin();
        return label->contentsRect().size() - QSize(margin, margin);
    }
    if (const auto *radio = qobject_cast<const QRadioButton *>(widget)) {
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = radio->text();
        return style->subElementRect(QStyle::SE_RadioButtonContents, &option, radio).size();
    }
    if (const auto *button = qobject_cast<const QPushButton *>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        if (button->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        return style->subElementRect(QStyle::SE_PushButtonContents, &option, button).size();
    }
    const auto *edit = qobject_cast<const QLineEdit *>(widget);
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->hasFrame() ? style->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
    option.state |= QStyle::State_Sunken;
    // The line edit keeps 2 pixels clear on each side of its text and one for the cursor, and
    // clips its text to its contents less the text margins.
    const QMargins margins = edit->textMargins();
    const QSize contents = style->subElementRect(QStyle::SE_LineEditContents, &option, edit).size();
    return {contents.width() - margins.left() - margins.right() - 2 * 2 - 1,
            contents.height() - margins.top() - margins.bottom()};
}

} // namespace

QChar widestOf(const QFontMetricsF &metrics, const QString &characters)
{
    QChar widest = characters.front();
    for (QChar c : characters) {
        if (metrics.horizontalAdvance(c) > metrics.horizontalAdvance(widest))
            widest = c;
    }
    return widest;
}

int lineHeight(const QFont &font)
{
    const QFontMetrics metrics(font);
    return metrics.ascent() + metrics.descent();
}

QSize neededSize(const QWidget *widget, const QString &text)
{
    const QSize room = textRoom(widget);
    const QSize needed(qCeil(QFontMetricsF(widget->font()).horizontalAdvance(text)),
                       lineHeight(widget->font()));
    return widget->size().expandedTo(widget->size() + needed - room);
}

} // namespace TextFit
