// SPDX-License-Identifier: MIT
#include "common/testsupport.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

// The real executable started from a bare working directory on an X server, with its table
// picture and window icon, and closed as a user closes it.
class TestStartup : public StrictTestCase
{
    Q_OBJECT

private slots:
    void startsWithoutOptionalFilesAndExitsCleanly_data();
    void startsWithoutOptionalFilesAndExitsCleanly();
};

// Started from a directory without the picture and the icon, the tool takes the copies
// installed beside it, or else its embedded images: the table never shows plain white and
// the window always has an icon. The two pictures differ in the colour of their stripes.
void TestStartup::startsWithoutOptionalFilesAndExitsCleanly_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("stripes");
    QTest::newRow("installed copies") << true << "icon 36x45"
                                      << "colour d6e4f0";
    QTest::newRow("embedded images") << false << "icon 16x5"
                                     << "colour 9dc3e6";
}

void TestStartup::startsWithoutOptionalFilesAndExitsCleanly()
{
    QFETCH(bool, installed);
    QFETCH(QString, icon);
    QFETCH(QString, stripes);
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral("Xvfb"),
                 QStringLiteral("-displayfd 1 -nolisten tcp -screen 0 1280x800x24").split(' '));
    const auto stopServer = qScopeGuard([&server] {
        server.terminate();
        server.waitForFinished();
    });
    QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine(), 15000);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"),
                       ':' + QString::fromLatin1(server.readLine().trimmed()));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // The X client libraries keep allocations to the end of the process; in a sanitizer
    // build the leak report would replace the exit code under test.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));

    // An installation laid out as the package lays it out, anywhere.
    QTemporaryDir bare;
    QTemporaryDir prefix;
    const auto place = [&prefix](const QString &from, const char *to) {
        const QString target = prefix.filePath(QLatin1String(to));
        return QDir().mkpath(QFileInfo(target).path()) && QFile::copy(from, target);
    };
    const QString res = QStringLiteral(QUORVAN_RESOURCES);
    QVERIFY(!installed ||
            (place(QStringLiteral(QUORVAN_TOOL), "bin/quorvan-config") &&
             place(res + "/brenik.png", "share/quorvan-config/run/config/brenik.png") &&
             place(res + "/bg.ico", "share/quorvan-config/FindQuorvan/bg.ico")));
    QProcess tool;
    const auto stopTool = qScopeGuard([&tool] {
        tool.kill();
        tool.waitForFinished();
    });
    tool.setProcessEnvironment(environment);
    tool.setWorkingDirectory(bare.path());
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    tool.start(installed ? prefix.filePath(QStringLiteral("bin/quorvan-config"))
                         : QStringLiteral(QUORVAN_TOOL),
               QStringList());
    QVERIFY(tool.waitForStarted());

    QProcess closer;
    closer.setProcessEnvironment(environment);
    closer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    closer.start(QStringLiteral(QUORVAN_CLOSE_WINDOW),
                 {QStringLiteral("Configuration Quorvan"), QStringLiteral("--describe")});
    QVERIFY(closer.waitForFinished(30000));
    QCOMPARE(closer.exitCode(), 0);
    const QStringList seen = QString::fromUtf8(closer.readAllStandardOutput()).split('\n');
    QVERIFY2(seen.contains(icon) && seen.contains(stripes), qPrintable(seen.join(' ')));
    QVERIFY(tool.waitForFinished(15000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);
}

QUORVAN_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
