// SPDX-License-Identifier: MIT
#include "boardsimulator.h"
#include "simoptions.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

// Only write() is safe in a signal handler; the event loop reads the pipe and quits, so
// that SIGTERM from QProcess::terminate() ends the simulator through a normal exit.
void onSignal(int)
{
    const char byte = 1;
    const ssize_t written = ::write(signalPipe[1], &byte, 1);
    static_cast<void>(written);
}

bool installQuitOnSignal(QCoreApplication &app)
{
    if (::pipe(signalPipe) != 0)
        return false;
    ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, SIGNAL(activated(int)), &app, SLOT(quit()));
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGINT, &action, nullptr) == 0;
}

void printError(const QString &message)
{
    std::fprintf(stderr, "quorvan-board-sim: %s\n", qPrintable(message));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvan-board-sim"));

    SimOptions options;
    QString message;
    switch (parseCommandLine(QCoreApplication::arguments(), options, message)) {
    case ParseResult::Help:
        std::fputs(qPrintable(message), stdout);
        return 0;
    case ParseResult::Error:
        printError(message);
        return 1;
    case ParseResult::Run:
        break;
    }

    if (!installQuitOnSignal(app)) {
        printError(QStringLiteral("cannot install the signal handlers"));
        return 1;
    }
    BoardSimulator simulator(options);
    if (!simulator.start(message)) {
        printError(message);
        return 1;
    }
    return app.exec();
}
