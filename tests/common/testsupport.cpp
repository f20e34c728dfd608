// SPDX-License-Identifier: MIT
#include "testsupport.h"

#include <QFile>
#include <QLayout>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

bool hasDefaultRoute()
{
    QFile routes(QStringLiteral("/proc/net/route"));
    if (routes.open(QIODevice::ReadOnly)) {
        routes.readLine(); // header
        while (!routes.atEnd()) {
            const QList<QByteArray> fields = routes.readLine().simplified().split(' ');
            if (fields.size() > 2 && fields.at(1) == "00000000" && fields.at(0) != "lo")
                return true;
        }
    }
    QFile routes6(QStringLiteral("/proc/net/ipv6_route"));
    if (routes6.open(QIODevice::ReadOnly)) {
        while (!routes6.atEnd()) {
            const QList<QByteArray> fields = routes6.readLine().simplified().split(' ');
            if (fields.size() >= 10 && fields.at(0) == QByteArray(32, '0') &&
                fields.at(1) == "00" && fields.at(9) != "lo")
                return true;
        }
    }
    return false;
}

QtMessageHandler previousHandler = nullptr;

void strictHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    previousHandler(type, context, message);
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (message.contains(QLatin1String("This plugin does not support")))
        return;
    std::fprintf(stderr, "FAIL: a Qt warning is a test failure: %s\n", qPrintable(message));
    std::abort();
}

} // namespace

namespace TestSupport {

// tests/netns-run records the namespace it was started from before it leaves it; a test
// that finds itself still there, or that was not started through it, refuses to run.
void requirePrivateNetwork()
{
    char own[64] = {};
    char first[64] = {};
    const QByteArray origin = qgetenv("QUORVAN_ORIGIN_NETNS");
    const bool known = readlink("/proc/self/ns/net", own, sizeof own - 1) > 0;
    const bool sameAsInit =
        readlink("/proc/1/ns/net", first, sizeof first - 1) > 0 && std::strcmp(own, first) == 0;
    if (!known || origin.isEmpty() || origin == own || sameAsInit || hasDefaultRoute()) {
        std::fprintf(stderr, "REFUSED: this test opens sockets and must run in a private network "
                             "namespace (run it through ctest, tests/netns-run or scripts/test)\n");
        std::exit(2);
    }
}

} // namespace TestSupport

void StrictTestCase::initTestCase()
{
    previousHandler = qInstallMessageHandler(strictHandler);
}
