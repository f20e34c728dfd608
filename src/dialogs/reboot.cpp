// SPDX-License-Identifier: MIT
#include "reboot.h"

#include "discovery/protocol.h"
#include "ui_reboot.h"

#include <QGuiApplication>
#include <QTimer>

Reboot::Reboot(QWidget *parent) : QDialog(parent), ui(new Ui::Reboot)
{
    ui->setupUi(this);
    waitTimer = new QTimer(this);

    connect(waitTimer, SIGNAL(timeout()), SLOT(Timeout()));

    setModal(true);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    waitTimer->start(restartWaitMs);
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

Reboot::~Reboot()
{
    delete ui;
}

// The deletion is deferred: this slot runs inside the timeout() of a child of the dialog.
void Reboot::Timeout()
{
    waitTimer->stop();
    QGuiApplication::restoreOverrideCursor();
    emit TimerDone();
    close();
    deleteLater();
}
