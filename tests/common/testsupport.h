// SPDX-License-Identifier: MIT
#pragma once

// What every test program of the project shares: the refusal to run where a datagram could
// leave the machine, and a main() that sets up Qt for tests.

#include <QByteArray>
#include <QStringList>
#include <QtTest>

namespace TestSupport {

// Aborts the program unless it runs in a private network namespace: not the namespace of
// process 1, and no default route through any interface.
void requirePrivateNetwork();

// What a French text of the tool's own breaks of French typography, one line a fault: a plain
// space before « : ; ? ! » or inside « », and a full stop glued to a MAC address.
QStringList frenchTypographyFaults(const QString &text);

} // namespace TestSupport

// Base of every test class: from the first test function on, a Qt warning aborts the test
// (a misspelt signature in connect() is only a warning), except the offscreen platform's
// notices about window features it does not have. Qt Test installs its own message handler
// when the run starts, so the strict one is put in front of it here.
class StrictTestCase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
};

// A run started with QT_FONT_DPI set measures the tool at that logical resolution: `prepare`
// then does before the application object exists what the tool's main() does, and the run
// keeps its resolution instead of the 96 dpi that every other run is held to.
#define QUORVAN_TEST_MAIN_PREPARED(TestObject, prepare)                                            \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        TestSupport::requirePrivateNetwork();                                                      \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                        \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        const bool ownResolution = qEnvironmentVariableIsSet("QT_FONT_DPI");                       \
        if (ownResolution)                                                                         \
            prepare();                                                                             \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, !ownResolution);                                        \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
#define QUORVAN_TEST_MAIN(TestObject) QUORVAN_TEST_MAIN_PREPARED(TestObject, [] {})
