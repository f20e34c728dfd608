// SPDX-License-Identifier: MIT
#pragma once

// « Exporter la liste… »: every listed board saved as the command-line companion's CSV
// (boardcsv.h), for colleagues and spreadsheets, so that `quorvan-cli apply` takes the file
// back as it is. The file is chosen in a dialog of the tool's own, in French whatever the
// desktop, and written by the command line's checked write (outputfile.h): a write that
// fails is told in a box, never passed over. A file that exists is replaced only once the
// user said so.

#include "boardcsv.h"

#include <QObject>

#include <functional>

class QWidget;

class ListExport : public QObject
{
    Q_OBJECT

public:
    // The listed boards, in the table's order, when the file is written.
    using Rows = std::function<QVector<BoardRow>()>;

    ListExport(QWidget *window, Rows rows);

    // Writes `rows` to `file`; empty once done, otherwise the system's reason.
    static QString save(const QString &file, const QVector<BoardRow> &rows);

public slots:
    void chooseFile();

private slots:
    void chosen(const QString &file);
    void replaceAnswered();

private:
    void write(const QString &file);

    QWidget *window = nullptr;
    Rows rows;
    QString fileToReplace;
};
