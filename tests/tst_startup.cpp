// SPDX-License-Identifier: MIT
#include "common/testsupport.h"

#include <QImage>
#include <QProcess>
#include <QResource>
#include <QScopeGuard>
#include <QTemporaryDir>

// The embedded images, and the real executable started from a bare working directory on an
// X server and closed as a user closes it.
class TestStartup : public StrictTestCase
{
    Q_OBJECT

private slots:
    void embeddedImages_data();
    void embeddedImages();
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

void TestStartup::startsWithoutOptionalFilesAndExitsCleanly()
{
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
    tool.start(QStringLiteral(QUORVAN_TOOL), QStringList());
    QVERIFY(tool.waitForStarted());

    QProcess closer;
    closer.setProcessEnvironment(environment);
    closer.setProcessChannelMode(QProcess::ForwardedChannels);
    closer.start(QStringLiteral(QUORVAN_CLOSE_WINDOW), {QStringLiteral("Configuration Quorvan")});
    QVERIFY(closer.waitForFinished(30000));
    QCOMPARE(closer.exitCode(), 0);

    QVERIFY(tool.waitForFinished(15000));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);
}

QUORVAN_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
