// SPDX-License-Identifier: MIT
#include "common/testsupport.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QResource>
#include <QScopeGuard>
#include <QTemporaryDir>

// The embedded images, and the real executable started from a bare working directory on an
// X server, with its table picture and window icon, and closed as a user closes it.
class TestStartup : public StrictTestCase
{
    Q_OBJECT

private slots:
    void embeddedImages_data();
    void embeddedImages();
    void startsWithoutOptionalFilesAndExitsCleanly_data();
    void startsWithoutOptionalFilesAndExitsCleanly();
};

void TestStartup::embeddedImages_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::newRow("brenik") << ":/brenik.png" << QSize(147, 45);
    QTest::newRow("16x16") << ":/quorvan_16x16.png" << QSize(16, 5);
    QTest::newRow("64x64") << ":/vemtal_64x64.png" << QSize(64, 20);
}

void TestStartup::embeddedImages()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    const QResource resource(name);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
    QCOMPARE(resource.locale().language(), QLocale::C); // no language, no country
    QCOMPARE(resource.locale().country(), QLocale::AnyCountry);
    QCOMPARE(resource.data()[1], 'P'); // a PNG signature, stored as it is
    const QImage image(name);
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(image.format(), QImage::Format_ARGB32);
}

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
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                  QStringLiteral("1280x800x24")});
    QVERIFY(server.waitForStarted());
    const auto stopServer = qScopeGuard([&server] {
        server.terminate();
        server.waitForFinished();
    });
    QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine(), 15000);
    const QString display = QLatin1Char(':') + QString::fromLatin1(server.readLine().trimmed());

    QTemporaryDir bare;
    QString program = QStringLiteral(QUORVAN_TOOL);
    QTemporaryDir prefix;
    if (installed) {
        // An installation laid out as the package lays it out, anywhere.
        QDir root(prefix.path());
        QVERIFY(root.mkpath(QStringLiteral("bin")));
        QVERIFY(root.mkpath(QStringLiteral("share/quorvan-config/run/config")));
        QVERIFY(root.mkpath(QStringLiteral("share/quorvan-config/FindQuorvan")));
        program = root.filePath(QStringLiteral("bin/quorvan-config"));
        QVERIFY(QFile::copy(QStringLiteral(QUORVAN_TOOL), program));
        QVERIFY(QFile::copy(
            QStringLiteral(QUORVAN_RESOURCES "/brenik.png"),
            root.filePath(QStringLiteral("share/quorvan-config/run/config/brenik.png"))));
        QVERIFY(
            QFile::copy(QStringLiteral(QUORVAN_RESOURCES "/bg.ico"),
                        root.filePath(QStringLiteral("share/quorvan-config/FindQuorvan/bg.ico"))));
    }
    QProcess tool;
    const auto stopTool = qScopeGuard([&tool] {
        tool.kill();
        tool.waitForFinished();
    });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // The X client libraries keep allocations to the end of the process; in a sanitizer
    // build the leak report would replace the exit code under test.
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    tool.setProcessEnvironment(environment);
    tool.setWorkingDirectory(bare.path());
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    tool.start(program, QStringList());
    QVERIFY(tool.waitForStarted());

    QProcess closer;
    closer.setProcessEnvironment(environment);
    closer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    closer.start(QStringLiteral(QUORVAN_CLOSE_WINDOW),
                 {QStringLiteral("Configuration Quorvan"), QStringLiteral("--describe")});
    QVERIFY(closer.waitForFinished(30000));
    QCOMPARE(closer.exitCode(), 0);
    const QStringList seen =
        QString::fromUtf8(closer.readAllStandardOutput()).split(QLatin1Char('\n'));
    QVERIFY2(seen.contains(icon), qPrintable(seen.join(QLatin1Char(' '))));
    QVERIFY2(seen.contains(stripes), qPrintable(seen.join(QLatin1Char(' '))));

    QVERIFY(tool.waitForFinished(15000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);
}

QUORVAN_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
