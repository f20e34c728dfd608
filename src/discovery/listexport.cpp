// SPDX-License-Identifier: MIT
#include "listexport.h"

#include "outputfile.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

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
    // Qt's own question is in English: chosen() asks it in French.
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

    connect(dialog, SIGNAL(fileSelected(QString)), SLOT(chosen(QString)));
    dialog->open();
}

// A device or a pipe is written as it is, and asks nothing: only a file holds a list to lose.
void ListExport::chosen(const QString &file)
{
    if (!QFileInfo(file).isFile()) {
        write(file);
        return;
    }
    fileToReplace = file;
    auto *question = new QMessageBox(
        QMessageBox::Question, QStringLiteral("Exporter la liste"),
        QStringLiteral("Le fichier «\u00a0%1\u00a0» existe déjà. Le remplacer par la liste\u00a0?")
            .arg(QDir::toNativeSeparators(file)),
        QMessageBox::Yes | QMessageBox::No, window);
    question->setObjectName(QStringLiteral("exportReplaceBox"));
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->button(QMessageBox::Yes)->setText(QStringLiteral("Remplacer"));
    question->button(QMessageBox::No)->setText(QStringLiteral("Annuler"));
    question->setDefaultButton(QMessageBox::No);
    question->setEscapeButton(QMessageBox::No);

    connect(question, SIGNAL(finished(int)), SLOT(replaceAnswered()));
    question->open();
}

// By the button clicked, which Escape and closing the box make « Annuler ».
void ListExport::replaceAnswered()
{
    const auto *question = qobject_cast<const QMessageBox *>(sender());
    const QString file = fileToReplace;
    fileToReplace.clear();
    if (question && question->clickedButton() == question->button(QMessageBox::Yes))
        write(file);
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
