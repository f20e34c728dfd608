// SPDX-License-Identifier: MIT
#include "listexport.h"

#include "outputfile.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

ListExport::ListExport(QWidget *window, Rows rows)
    : QObject(window), window(window), rows(std::move(rows))
{
}

QString ListExport::save(const QString &file, const QVector<BoardRow> &rows)
{
    OutputFile output;
    QString error;
    if (!output.open(file, error) || !output.write(formatCsv(rows).toUtf8(), error))
        return error.isEmpty() ? QStringLiteral("unknown error") : error;
    return QString();
}

void ListExport::chooseFile()
{
    // The desktop's own dialog would speak the desktop's language and could not be driven
    // the same way everywhere; Qt's, with its captions in French, is the same on every PC.
    auto *dialog = new QFileDialog(window, QStringLiteral("Exporter la liste"));
    dialog->setObjectName(QStringLiteral("exportDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    // Qt's own question is in English; the write below replaces a file only once the new
    // list is whole, and the name was typed or picked for this list.
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters(
        {QStringLiteral("Fichiers CSV (*.csv)"), QStringLiteral("Tous les fichiers (*)")});
    dialog->setLabelText(QFileDialog::LookIn, QStringLiteral("Dossier\u00a0:"));
    dialog->setLabelText(QFileDialog::FileName, QStringLiteral("Nom du fichier\u00a0:"));
    dialog->setLabelText(QFileDialog::FileType, QStringLiteral("Type\u00a0:"));
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Enregistrer"));
    dialog->setLabelText(QFileDialog::Reject, QStringLiteral("Annuler"));
    dialog->selectFile(QStringLiteral("cartes.csv"));

    connect(dialog, SIGNAL(fileSelected(QString)), SLOT(write(QString)));
    dialog->open();
}

void ListExport::write(const QString &file)
{
    const QString error = save(file, rows());
    if (error.isEmpty())
        return;
    // The reason is the system's, as the command line gives it.
    auto *box = new QMessageBox(
        QMessageBox::Critical, QStringLiteral("Erreur"),
        QStringLiteral("La liste n'a pas été enregistrée dans «\u00a0%1\u00a0»\u00a0: %2.")
            .arg(QDir::toNativeSeparators(file), error),
        QMessageBox::Ok, window);
    box->setObjectName(QStringLiteral("exportErrorBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(true);
    box->show();
}
