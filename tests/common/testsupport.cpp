// SPDX-License-Identifier: MIT
#include "testsupport.h"

#include <QFile>
#include <QLayout>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace {

// Under Wine the Linux file system is drive Z:. The files are read whole: /proc reports a
// size of 0, which Windows' file API takes at its word.
QList<QByteArray> procLines(const char *name)
{
#ifdef Q_OS_WIN
    QFile file(QLatin1String("Z:/proc/") + QLatin1String(name));
#else
    QFile file(QLatin1String("/proc/") + QLatin1String(name));
#endif
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().split('\n');
}

bool hasDefaultRoute()
{
    for (const QByteArray &line : procLines("net/route")) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 2 && fields.at(1) == "00000000" && fields.at(0) != "lo")
            return true;
    }
    for (const QByteArray &line : procLines("net/ipv6_route")) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 10 && fields.at(0) == QByteArray(32, '0') && fields.at(1) == "00" &&
            fields.at(9) != "lo")
            return true;
    }
    return false;
}

#ifdef Q_OS_WIN
// A Windows program cannot ask which namespace it is in. tests/windows/wine-run checks that it
// left the machine's own namespace, then marks the one it made with an interface named by a
// random token; only a program that sees that interface in its /proc/net/dev runs. On a real
// Windows machine, or under a Wine started any other way, there is no such interface.
bool inMarkedNamespace()
{
    const QByteArray token = qgetenv("QUORVAN_NETNS_TOKEN");
    if (token.size() < 8)
        return false;
    for (const QByteArray &line : procLines("net/dev")) {
        if (line.trimmed().startsWith(token + ':'))
            return true;
    }
    return false;
}
#endif

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
#ifdef Q_OS_WIN
    if (!inMarkedNamespace() || hasDefaultRoute()) {
#else
    char own[64] = {};
    char first[64] = {};
    const QByteArray origin = qgetenv("QUORVAN_ORIGIN_NETNS");
    const bool known = readlink("/proc/self/ns/net", own, sizeof own - 1) > 0;
    const bool sameAsInit =
        readlink("/proc/1/ns/net", first, sizeof first - 1) > 0 && std::strcmp(own, first) == 0;
    if (!known || origin.isEmpty() || origin == own || sameAsInit || hasDefaultRoute()) {
#endif
        std::fprintf(stderr, "REFUSED: this test opens sockets and must run in a private network "
                             "namespace (run it through ctest, tests/netns-run, scripts/test or "
                             "tests/windows/wine-run)\n");
        std::exit(2);
    }
}

QStringList frenchTypographyFaults(const QString &text)
{
    static const QRegularExpression faults(QStringLiteral(
        "( [:;?!»]|« |\\b[0-9a-f]{1,2}:[0-9a-f]{1,2}(:[0-9a-f]{2}){4}\\.(?![0-9]))"));
    QStringList found;
    for (auto match = faults.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch fault = match.next();
        found << QStringLiteral("\"%1\" in: %2")
                     .arg(fault.captured(), text.mid(qMax(0, int(fault.capturedStart()) - 30), 60));
    }
    return found;
}

} // namespace TestSupport

void StrictTestCase::initTestCase()
{
    previousHandler = qInstallMessageHandler(strictHandler);
}
