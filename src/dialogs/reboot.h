// SPDX-License-Identifier: MIT
#pragma once

// The frameless wait shown while a board restarts after a write. It holds the wait cursor
// for a fixed 20 seconds (the board never acknowledges), then emits TimerDone(), to which the
// main window answers by starting a new search, and then closes and deletes itself.

#include <QDialog>

class QTimer;

namespace Ui {
class Reboot;
}

class Reboot : public QDialog
{
    Q_OBJECT

public:
    explicit Reboot(QWidget *parent);
    ~Reboot() override;

signals:
    void TimerDone();

public slots:
    void Timeout();

private:
    Ui::Reboot *ui = nullptr;
    QTimer *waitTimer = nullptr;
};
