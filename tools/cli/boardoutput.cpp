// SPDX-License-Identifier: MIT
#include "boardoutput.h"

#include "boardsettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

QString formatTable(const QVector<FoundBoard> &boards)
{
    const QStringList names = csvColumns();
    const int columns = int(names.size());
    QVector<QStringList> rows;
    QStringList header;
    for (const QString &name : names)
        header << name.toUpper().replace(QLatin1Char('_'), QLatin1Char(' '));
    rows.append(header);
    for (const FoundBoard &board : boards) {
        QStringList values = rowValues(board);
        // "-" stands for an empty or unreported value; a board text that is "-" itself is
        // written with its escape, so that the two stay apart.
        for (QString &value : values) {
            if (value.isEmpty())
                value = QStringLiteral("-");
            else if (value == QLatin1String("-"))
                value = QStringLiteral("\\x2d");
        }
        rows.append(values);
    }
    QVector<int> widths(columns, 0);
    for (const QStringList &row : rows) {
        for (int column = 0; column < columns; ++column)
            widths[column] = std::max(widths[column], int(row.at(column).size()));
    }
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (int column = 0; column < columns; ++column) {
            if (column > 0)
                line += QStringLiteral("  ");
            line += column + 1 < columns ? row.at(column).leftJustified(widths[column])
                                         : row.at(column);
        }
        text += line + QLatin1Char('\n');
    }
    return text;
}

QString formatCsv(const QVector<FoundBoard> &boards)
{
    QVector<BoardRow> rows;
    for (const FoundBoard &board : boards)
        rows.append(board);
    return formatCsv(rows);
}

QString formatJson(const QVector<FoundBoard> &boards, const QStringList &warnings)
{
    const QStringList names = csvColumns();
    QJsonArray list;
    for (const FoundBoard &board : boards) {
        const QStringList values = rowValues(board);
        QJsonObject object;
        for (int column = 0; column < names.size(); ++column)
            object.insert(names.at(column), values.at(column));
        object.insert(QStringLiteral("dhcp"), board.record.dhcp != 0);
        object.insert(QStringLiteral("level2"), board.layout == ReplyLayout::Long
                                                    ? QJsonValue(board.record.cdeNiveau2 != 0)
                                                    : QJsonValue(QJsonValue::Null));
        list.append(object);
    }
    QJsonObject root;
    root.insert(QStringLiteral("boards"), list);
    root.insert(QStringLiteral("warnings"), QJsonArray::fromStringList(warnings));
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
}
