// SPDX-License-Identifier: MIT
#include "app/scaling.h"
#include "common/boards.h"
#include "common/dialogs.h"
#include "common/testsupport.h"
#include "common/textroom.h"
#include "discovery/devicetext.h"
#include "discovery/mainwindow.h"
#ifdef QUORVAN_APPLY_READER
#include "applyfile.h"
#endif
#ifndef Q_OS_WIN
#include "common/netlab.h"
#endif

#include <QAccessible>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTemporaryDir>

#include <cstring>
#include <memory>

// The main window against its form, where it finds its picture and icon (the real executable
// too, started from a bare directory on an X server), the device table as boards fill it
// over the loopback interface, and the way the window meets the settings dialog.
class TestMainWindow : public StrictTestCase
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void form();
    void startsWithoutOptionalFilesAndExitsCleanly_data();
    void startsWithoutOptionalFilesAndExitsCleanly();
    void everyTextFits_data();
    void everyTextFits();
    void fitsTheScreen_data();
    void fitsTheScreen();
    void rowTexts_data();
    void rowTexts();
    void selectedRowOpensItsRecord_data();
    void selectedRowOpensItsRecord();
    void headerClickSorts_data();
    void headerClickSorts();
    void searchTellsHowItWent_data();
    void searchTellsHowItWent();
    void copyRow_data();
    void copyRow();
    void exportList_data();
    void exportList();
    void rowMarks_data();
    void rowMarks();

private:
    QTableWidget *table() const { return window->findChild<QTableWidget *>(); }
    QPushButton *button(const char *name) const { return window->findChild<QPushButton *>(name); }
    void listBoard(const DeviceRecord &record, ReplyLayout layout = ReplyLayout::Long);
    void clickRow(int row);
    void clickHeader(int column);
    QDialog *openedDialog() const { return window->findChild<QDialog *>(QStringLiteral("Update")); }
    static void clickThroughWindow(QWidget *widget);

    std::unique_ptr<QTemporaryDir> workDir;
    std::unique_ptr<MainWindow> window;
};

using TextRoom::narrowFont;

namespace {

// The scaling a user may have asked for is replaced by a run's own.
QProcessEnvironment withoutUserScaling()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"QT_ENABLE_HIGHDPI_SCALING", "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_SCALE_FACTOR",
          "QT_SCREEN_SCALE_FACTORS", "QT_SCALE_FACTOR_ROUNDING_POLICY", "QT_DEVICE_PIXEL_RATIO"})
        environment.remove(QLatin1String(name));
    return environment;
}

// Runs the current row of the current test function in a run of this program of its own.
void runRowApart(const QProcessEnvironment &environment)
{
    QProcess run;
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(QCoreApplication::applicationFilePath(),
              {QLatin1String(QTest::currentTestFunction()) + QLatin1Char(':') +
               QLatin1String(QTest::currentDataTag())});
    QVERIFY(run.waitForFinished(120000));
    QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0,
             run.readAll().constData());
}

} // namespace

void TestMainWindow::init()
{
    QApplication::setFont(narrowFont);
    // An empty working directory: neither the table picture nor the icon is there.
    workDir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(workDir->path()));
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestMainWindow::cleanup()
{
    window.reset();
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    // Windows cannot remove a folder that is a process's working directory.
    QDir::setCurrent(QDir::tempPath());
    workDir.reset();
}

// The captions, the table's columns, and the state the window starts in.
void TestMainWindow::form()
{
    QStringList captions;
    for (const char *name : {"buttonSearch", "buttonUpdate", "labelBroadcast", "editBroadcast"})
        captions << window->findChild<QWidget *>(name)->property("text").toString();
    QCOMPARE(captions, (QStringList{"Rechercher", "Mettre à jour",
                                    "Adresse du Broadcast:", "255.255.255.255"}));
    QCOMPARE(window->windowTitle(), QStringLiteral("Configuration Quorvan V1.0.0.2"));
    QCOMPARE(window->size(), QSize(1088, 585));
    QVERIFY(window->findChild<QWidget *>(QStringLiteral("frameBroadcast"))->isHidden());
    QVERIFY(button("buttonSearch")->isEnabled() && !button("buttonUpdate")->isEnabled());
    QVERIFY(!QGuiApplication::overrideCursor());

    QTableWidget *t = table();
    QStringList headers;
    for (int column = 0; column < t->columnCount(); ++column)
        headers << (t->isColumnHidden(column) ? "hidden " : "") +
                       t->horizontalHeaderItem(column)->text();
    QCOMPARE(headers,
             (QStringList{"Adresse Mac", "Adresse IP", "DHCP", "Port", "Passerelle",
                          "Masque de sous réseau", "DNS", "hidden Code Niveau 2", "Version"}));
    QCOMPARE(t->rowCount(), 0);
    QCOMPARE(t->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(t->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(!t->showGrid() && t->wordWrap() && !t->isSortingEnabled() && t->autoFillBackground());
    QVERIFY(t->horizontalHeader()->isSortIndicatorShown() && t->verticalHeader()->isHidden());

    // What a screen reader hears of the table and the buttons.
    QStringList heard;
    for (QWidget *widget : QWidgetList{t, button("buttonSearch"), button("buttonUpdate")})
        heard << QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    QCOMPARE(heard, (QStringList{"Cartes trouvées", "Rechercher", "Mettre à jour"}));

    // The hidden level-2 column is kept from screen readers too: eight columns, whose
    // headers are the visible ones in order (rowTexts counts the children).
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(t);
    QAccessibleTableInterface *cells = face->tableInterface();
    QVERIFY(cells);
    QCOMPARE(cells->columnCount(), 8);
    const QStringList visible{"Adresse Mac",           "Adresse IP", "DHCP",   "Port", "Passerelle",
                              "Masque de sous réseau", "DNS",        "Version"};
    QStringList described;
    for (int column = 0; column < cells->columnCount(); ++column)
        described << cells->columnDescription(column);
    QCOMPARE(described, visible);
}

// The tool takes its picture and icon from the working directory, or else the copies
// installed beside it, or else its embedded images: the table never shows plain white and
// the window always has an icon. The two pictures differ in the colour of their stripes.
void TestMainWindow::startsWithoutOptionalFilesAndExitsCleanly_data()
{
    QTest::addColumn<bool>("inWorkingDirectory");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("seen"); // icon sizes and colours
    QTest::newRow("working directory first") << true << true << "icon 36x45|colour d6e4f0";
    QTest::newRow("installed copies") << false << true << "icon 36x45|colour d6e4f0";
    QTest::newRow("embedded images") << false << false << "icon 16x5|colour 9dc3e6";
}

void TestMainWindow::startsWithoutOptionalFilesAndExitsCleanly()
{
#ifdef Q_OS_WIN
    QSKIP("starts the Linux build on an X server; the Windows build is started end to end");
#endif
    QFETCH(bool, inWorkingDirectory);
    QFETCH(bool, installed);
    QFETCH(QString, seen);
    QProcess server;
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

    // An installation laid out as the package lays it out, anywhere. Its picture differs from
    // the working directory's, to tell them apart.
    QTemporaryDir bare;
    QTemporaryDir prefix;
    const QString share = prefix.filePath(QStringLiteral("share/quorvan-config/"));
    const auto place = [](const char *resource, const QString &to) {
        return QDir().mkpath(QFileInfo(to).path()) &&
               QFile::copy(QLatin1String(QUORVAN_RESOURCES) + QLatin1String(resource), to);
    };
    QVERIFY(!installed || (QDir(prefix.path()).mkpath(QStringLiteral("bin")) &&
                           QFile::copy(QStringLiteral(QUORVAN_TOOL),
                                       prefix.filePath(QStringLiteral("bin/quorvan-config"))) &&
                           place(inWorkingDirectory ? "/embedded/vemtal_64x64.png" : "/brenik.png",
                                 share + QStringLiteral("run/config/brenik.png")) &&
                           place("/bg.ico", share + QStringLiteral("FindQuorvan/bg.ico"))));
    QVERIFY(!inWorkingDirectory ||
            (place("/brenik.png", bare.filePath(QStringLiteral("a/b/brenik.png"))) &&
             place("/bg.ico", bare.filePath(QStringLiteral("FindQuorvan/bg.ico")))));
    QVERIFY(QDir(bare.path()).mkpath(QStringLiteral("a/b")));
    QProcess tool;
    const auto stopTool = qScopeGuard([&tool] {
        tool.kill();
        tool.waitForFinished();
    });
    tool.setProcessEnvironment(environment);
    tool.setWorkingDirectory(bare.filePath(QStringLiteral("a/b")));
    tool.start(installed ? prefix.filePath(QStringLiteral("bin/quorvan-config"))
                         : QStringLiteral(QUORVAN_TOOL),
               QStringList());
    QVERIFY(tool.waitForStarted());

    QProcess closer;
    closer.setProcessEnvironment(environment);
    closer.start(QStringLiteral(QUORVAN_CLOSE_WINDOW),
                 {QStringLiteral("Configuration Quorvan"), QStringLiteral("--describe")});
    QVERIFY2(closer.waitForFinished(30000) && closer.exitCode() == 0,
             closer.readAllStandardError().constData());
    const QStringList described = QString::fromUtf8(closer.readAllStandardOutput()).split('\n');
    // Docks and task bars tie the window to the desktop entry through its WM_CLASS.
    QFile entry(QLatin1String(QUORVAN_RESOURCES) +
                QLatin1String("/invalid.quorvan.config.desktop.in"));
    QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString wmClassLine = QStringLiteral("StartupWMClass=");
    QString wmClass;
    for (const QString &line : QString::fromUtf8(entry.readAll()).split('\n'))
        if (line.startsWith(wmClassLine))
            wmClass = line.mid(wmClassLine.size());
    QVERIFY2(!wmClass.isEmpty(), "no StartupWMClass in the desktop entry");
    const QStringList expected = seen.split('|') << QStringLiteral("class ") + wmClass;
    for (const QString &line : expected)
        QVERIFY2(described.contains(line), qPrintable(described.join(' ')));
    QVERIFY(tool.waitForFinished(15000) && tool.exitStatus() == QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);
}

void TestMainWindow::everyTextFits_data()
{
    QTest::addColumn<QFont>("font");
    QTest::addColumn<int>("dpi");      // a logical resolution of a run of its own; 0: 96
    QTest::addColumn<bool>("scaling"); // the tool's own scaling, not switched off by the user
    const QFont nine(QStringLiteral("DejaVu Sans"), 9);
    QTest::newRow("narrow") << narrowFont << 0 << true;
    QTest::newRow("9 pt") << nine << 0 << true;
    QTest::newRow("11 pt") << QFont(QStringLiteral("DejaVu Sans"), 11) << 0 << true;
    QTest::newRow("120 dpi") << nine << 120 << true;
    QTest::newRow("144 dpi") << nine << 144 << true;
    QTest::newRow("192 dpi") << nine << 192 << true;
    QTest::newRow("144 dpi, unscaled") << nine << 144 << false;
    QTest::newRow("192 dpi, unscaled") << nine << 192 << false;
}

// Every text of the window after a search, and of the settings dialog opened on a board with
// the longest MAC and addresses, against the room its widget leaves for it across and up and
// down. The columns are never narrower than drawn, and a widened one is exactly as wide as its
// widest text needs; the window shows them all where the screen is wide enough. A resolution
// is the process's own, so each of those rows runs this program again at it: scaled by the
// tool itself, or with the user's QT_ENABLE_HIGHDPI_SCALING=0.
void TestMainWindow::everyTextFits()
{
    QFETCH(QFont, font);
    QFETCH(int, dpi);
    QFETCH(bool, scaling);
    window.reset();
    if (dpi != qEnvironmentVariableIntValue("QT_FONT_DPI")) {
#ifdef Q_OS_WIN
        QSKIP("the Windows build is measured at 150 % end to end");
#endif
        QProcessEnvironment environment = withoutUserScaling();
        environment.insert(QStringLiteral("QT_FONT_DPI"), QString::number(dpi));
        if (!scaling)
            environment.insert(QStringLiteral("QT_ENABLE_HIGHDPI_SCALING"), QStringLiteral("0"));
        runRowApart(environment);
        return;
    }
    QApplication::setFont(font);
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // 125, 150 and 200 % exactly, not rounded to a whole factor.
    QCOMPARE(window->devicePixelRatioF(), dpi && scaling ? dpi / 96.0 : 1.0);
    DeviceRecord board = makeBoard("888888888888", QStringLiteral("192.168.100.200"));
    storeAddressText("255.255.255.255", board.mask);
    storeAddressText("192.168.100.254", board.gateway);
    storeAddressText("208.167.222.222", board.dns);
    std::memcpy(board.port, "40220", 5);
    QTableWidget *t = table();
    listBoard(makeBoard("a0b0c00dc20f", QStringLiteral("10.0.0.1")), ReplyLayout::Short);
    listBoard(board);
    clickHeader(5); // the arrow of a sorted column takes room from its caption
    QCOMPARE(t->horizontalHeader()->sortIndicatorSection(), 5);

    QStringList clipped = TextRoom::clipped(window.get());
    const int drawn[] = {110, 85, 50, 50, 85, 130, 85, 90, 70};
    // Never narrower than drawn; wider only as far as a text needs, and not at all when narrow.
    for (int column = 0; column < 9; column += column == 6 ? 2 : 1) {
        const int extra = t->columnWidth(column) - drawn[column];
        if (extra < 0 || (extra > 0 && (font == narrowFont || TextRoom::columnSlack(t, column))))
            clipped << QStringLiteral("column %1: %2 px wider than drawn").arg(column).arg(extra);
    }
    // The window is as drawn, or as wide as the columns need if the screen has the room.
    const int lacking = t->horizontalHeader()->length() - t->viewport()->width();
    const int screenWidth = window->screen()->availableGeometry().width();
    if (lacking > 0 && window->width() + lacking <= screenWidth)
        clipped << QStringLiteral("%1 px of the columns behind the scroll bar").arg(lacking);
    if (window->width() > qMax(1088, screenWidth) || window->width() < 1088)
        clipped << QStringLiteral("window %1 px wide").arg(window->width());
    if (font == narrowFont && window->size() != QSize(1088, 585))
        clipped << QStringLiteral("window not as drawn");

    clickRow(t->findItems(QStringLiteral("88:88:88:88:88:88"), Qt::MatchExactly).value(0)->row());
    QTest::mouseClick(button("buttonUpdate"), Qt::LeftButton);
    QDialog *dialog = openedDialog();
    QVERIFY(dialog && QTest::qWaitForWindowExposed(dialog));
    QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("lineEditMask"))->text(),
             QStringLiteral("255.255.255.255"));
    clipped << TextRoom::clipped(dialog);
    // The rows have no layout: each must have grown around its children.
    for (const QFrame *row : dialog->findChildren<QFrame *>()) {
        if ((row->rect() | row->childrenRect()) != row->rect())
            clipped << row->objectName() + QStringLiteral(" is smaller than its children");
    }
    if (font == narrowFont && dialog->size() != QSize(357, 405))
        clipped << QStringLiteral("dialog not as drawn");
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1Char('\n'))));
}

void TestMainWindow::fitsTheScreen_data()
{
    QTest::addColumn<double>("scale");
    QTest::newRow("100 %") << 1.0;
    QTest::newRow("125 %") << 1.25;
    QTest::newRow("150 %") << 1.5;
}

// A 1366×768 laptop screen with a 40-pixel task bar along the bottom, at Windows' usual
// scales: the window opens as drawn where it fits, and otherwise on the free area with room
// for its frame, the table scrolling and both buttons there; the settings dialog likewise.
// Each scale is a run of this program of its own, on an X server of its own.
void TestMainWindow::fitsTheScreen()
{
    QFETCH(double, scale);
    const QSize screen(1366, 768);
    const int taskBar = 40;
    window.reset(); // its sockets, in this process and in a run of its own alike
    if (!qEnvironmentVariableIsSet("QUORVAN_FIT_SCALE")) {
#ifdef Q_OS_WIN
        QSKIP("the Windows build is measured at 150 % on a 1366×768 screen end to end");
#endif
        QProcess server;
        // Root properties, the work area among them, last only while a client is connected
        // unless the server is told not to reset.
        server.start(
            QStringLiteral("Xvfb"),
            QStringLiteral("-displayfd 1 -nolisten tcp -noreset -dpi 96 -screen 0 %1x%2x24")
                .arg(screen.width())
                .arg(screen.height())
                .split(' '));
        const auto stopServer = qScopeGuard([&server] {
            server.terminate();
            server.waitForFinished();
        });
        QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine(), 15000);
        QProcessEnvironment environment = withoutUserScaling();
        environment.insert(QStringLiteral("DISPLAY"),
                           ':' + QString::fromLatin1(server.readLine().trimmed()));
        // The free area as a desktop's task bar leaves it: a window manager publishes it
        // there (without one, nothing frames the windows, and the test measures them alone).
        QProcess workArea;
        workArea.setProcessEnvironment(environment);
        workArea.start(
            QStringLiteral("xprop"),
            {"-root", "-f", "_NET_WORKAREA", "32c", "-set", "_NET_WORKAREA",
             QStringLiteral("0, 0, %1, %2").arg(screen.width()).arg(screen.height() - taskBar)});
        QVERIFY(workArea.waitForFinished(15000) && workArea.exitCode() == 0);

        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("QT_FONT_DPI"), QStringLiteral("96"));
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(scale));
        environment.insert(QStringLiteral("QUORVAN_FIT_SCALE"), QString::number(scale));
        QTemporaryDir runtime;
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        // The X client libraries keep allocations to the end of the process.
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        runRowApart(environment);
        return;
    }

    // In screen pixels, as the task bar leaves them; a window's edges are rounded to them.
    const QRectF free(0, 0, screen.width(), screen.height() - taskBar);
    const auto onScreen = [&](const QRect &logical) {
        return QRectF(QPointF(logical.topLeft()) * scale, QSizeF(logical.size()) * scale);
    };
    const auto fits = [&](const QRect &logical) {
        return free.adjusted(-1, -1, 1, 1).contains(onScreen(logical));
    };
    // As the tool's main() opens it.
    window = std::make_unique<MainWindow>();
    const QSize drawn = window->size();
    Scaling::fitToScreen(window.get());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const auto describe = [](const QWidget *widget) {
        QString text;
        QDebug(&text) << widget->objectName() << widget->geometry();
        return text;
    };
    // With room left around it for Windows 10's caption and borders (31 and 8 pixels at any
    // scale), which no window manager draws here.
    const auto fitsFramed = [&](const QWidget *shown) {
        return fits(shown->geometry()) &&
               fits(QRect(QPoint(), shown->size() + QSize(8 + 8, 31 + 8)));
    };
    QVERIFY2(fitsFramed(window.get()), qPrintable(describe(window.get())));
    if (drawn.width() * scale <= free.width() && drawn.height() * scale <= free.height() - 60)
        QCOMPARE(window->size(), drawn);
    else // the most of the free area
        QVERIFY2(onScreen(window->geometry()).height() > free.height() - 100,
                 qPrintable(describe(window.get())));
    for (const char *name : {"buttonSearch", "buttonUpdate"}) {
        const QPushButton *shown = button(name);
        const QRect where(shown->mapToGlobal(QPoint(0, 0)), shown->size());
        QVERIFY2(shown->isVisible() && window->geometry().contains(where) && fits(where),
                 qPrintable(describe(shown)));
    }
    const QTableWidget *t = table();
    QCOMPARE(t->horizontalScrollBar()->maximum() > 0,
             t->horizontalHeader()->length() > t->viewport()->width());

    listBoard(makeBoard("a0b0c00dc20f", QStringLiteral("10.0.0.1")));
    window->activateWindow();
    QTRY_VERIFY(window->isActiveWindow());
    table()->setFocus();
    QTest::keyClick(table(), Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(table(), Qt::Key_Return);
    QDialog *dialog = openedDialog();
    QVERIFY(dialog && QTest::qWaitForWindowExposed(dialog));
    QVERIFY2(fitsFramed(dialog), qPrintable(describe(dialog)));
    for (const char *name : {"buttonOk", "buttonCancel"}) {
        const QWidget *shown = dialog->findChild<QWidget *>(name);
        const QRect where(shown->mapToGlobal(QPoint(0, 0)), shown->size());
        QVERIFY2(shown->isVisible() && dialog->geometry().contains(where),
                 qPrintable(describe(shown)));
    }
}

void TestMainWindow::listBoard(const DeviceRecord &record, ReplyLayout layout)
{
    const int rows = table()->rowCount();
    sendToTool(replyBytes(record, layout));
    QTRY_COMPARE(table()->rowCount(), rows + 1);
}

void TestMainWindow::clickRow(int row)
{
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                      table()->visualItemRect(table()->item(row, 0)).center());
}

void TestMainWindow::clickHeader(int column)
{
    QHeaderView *header = table()->horizontalHeader();
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, {},
        QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
               header->height() / 2));
}

void TestMainWindow::rowTexts_data()
{
    QTest::addColumn<bool>("shortLayout");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<int>("length");    // bytes of the reply, at most
    QTest::addColumn<QString>("shown"); // level 2 and version
    QTest::newRow("long") << false << QByteArray("V3.00.01") << 100 << "Oui,V3.00.01";
    QTest::newRow("short") << true << QByteArray("V2.01xyz") << 100 << "Non,V2.01";
    QTest::newRow("3 bytes") << false << QByteArray("V1.\0\0\0\0", 7) << 100 << "Oui,V1.";
    QTest::newRow("markup") << false << QByteArray("<b>x</b>") << 100 << "Oui,<b>x</b>";
    // After a longer reply, the version's missing bytes must not show the earlier ones.
    QTest::newRow("41 bytes") << false << QByteArray("V9.9") << 41 << "Oui,V9.9";
}

// Listed before any search, on top of an earlier board whose duplicates changed nothing,
// with every cell centred and read-only.
void TestMainWindow::rowTexts()
{
    QFETCH(bool, shortLayout);
    QFETCH(QByteArray, version);
    QFETCH(int, length);
    QFETCH(QString, shown);
    // Sent together, so that they may be listed together.
    sendToTool(replyBytes(makeBoard("020000000001", QStringLiteral("10.0.0.1"), "V3.00.01")));
    for (int i = 0; i < 3; ++i)
        sendToTool(replyBytes(makeBoard("020000000001", QStringLiteral("10.0.0.9"))));
    DeviceRecord board = makeBoard("0050c20de405", QStringLiteral("10.0.0.254"), version);
    board.dhcp = 1;
    board.cdeNiveau2 = 1;
    sendToTool(
        replyBytes(board, shortLayout ? ReplyLayout::Short : ReplyLayout::Long).left(length));
    QTRY_COMPARE(table()->rowCount(), 2);
    QCOMPARE(table()->item(1, 1)->text(), QStringLiteral("10.0.0.1"));
    QStringList cells =
        (QStringLiteral(
             "0:50:c2:0d:e4:05,10.0.0.254,Oui,502,10.77.0.254,255.255.255.0,10.77.0.253,") +
         shown)
            .split(QLatin1Char(','));
    for (int column = 0; column < 9; ++column) {
        const QTableWidgetItem *item = table()->item(0, column);
        QCOMPARE(item->text(), cells.at(column));
        QCOMPARE(item->data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
        QCOMPARE(item->flags(), Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled |
                                    Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
    }

    // What a screen reader reads of the rows: the cells shown, the level-2 code left out,
    // each cell found again from the table by its place and by its index.
    cells.removeAt(7);
    clickRow(0);
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(table());
    QAccessibleTableInterface *access = face->tableInterface();
    QCOMPARE(access->rowCount(), 2);
    QCOMPARE(access->columnCount(), 8);
    int found = 0;
    for (int row = 0; row < 2; ++row) {
        QStringList read;
        for (int column = 0; column < 8; ++column) {
            QAccessibleInterface *cell = access->cellAt(row, column);
            QVERIFY(cell);
            read << cell->text(QAccessible::Name);
            QCOMPARE(cell->tableCellInterface()->rowIndex(), row);
            QCOMPARE(cell->tableCellInterface()->columnIndex(), column);
            QCOMPARE(cell->tableCellInterface()->isSelected(), row == 0);
            QCOMPARE(cell->parent(), face);
            QCOMPARE(face->child(face->indexOfChild(cell)), cell);
        }
        if (row == 0)
            QCOMPARE(read, cells);
        else
            QCOMPARE(read.at(1), QStringLiteral("10.0.0.1"));
    }
    for (int index = 0; index < face->childCount(); ++index)
        found += face->child(index) ? 1 : 0;
    QCOMPARE(found, 3 * 8);
    QCOMPARE(access->selectedRows(), QList<int>{0});
    QCOMPARE(access->selectedCellCount(), 8);
    for (QAccessibleInterface *cell : access->selectedCells())
        QCOMPARE(cell->tableCellInterface()->rowIndex(), 0);

    // The view names the cell that takes the focus by its own numbering of the children,
    // (row + 1) * (model columns + 1) + column + 1 (a header row, a row-header slot): walked
    // to the last column with the arrow keys, past the hidden one, a screen reader is told
    // of each cell shown.
    QStringList heard;
    table()->setFocus(Qt::TabFocusReason);
    for (int column = 1; column < 8; ++column) {
        QTest::keyClick(table(), Qt::Key_Right);
        const QModelIndex current = table()->currentIndex();
        QAccessibleEvent focus(table(), QAccessible::Focus);
        focus.setChild((current.row() + 1) * (table()->columnCount() + 1) + current.column() + 1);
        QAccessibleInterface *cell = focus.accessibleInterface();
        heard << (cell ? cell->text(QAccessible::Name) : QStringLiteral("(nothing)"));
    }
    QCOMPARE(heard, cells.mid(1));
}

// Clicks go through the window system, where a modal dialog blocks them.
void TestMainWindow::clickThroughWindow(QWidget *widget)
{
    QWidget *top = widget->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {},
                      widget->mapTo(top, widget->rect().center()));
}

void TestMainWindow::selectedRowOpensItsRecord_data()
{
    QTest::addColumn<QByteArray>("mac");
    QTest::addColumn<bool>("renamed");
    QTest::addColumn<QString>("select"); // how row 1 is selected
    QTest::addColumn<QString>("open");   // how the settings are asked for
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("keyboard"); // the dialog escaped and the search started by keys
    const auto add = [](const char *name, const char *mac, const char *select, const char *open,
                        bool opens, bool keyboard) {
        QTest::newRow(name) << QByteArray(mac) << false << select << open << opens << keyboard;
    };
    add("first byte below 16, clicks", "0a0b0c0d0e0f", "click", "button", true, false);
    // Tab leaves the table without moving the selection, and Return presses the button.
    add("first byte zero, keyboard only", "0050c20de405", "Down Down", "Tab Tab Return", true,
        true);
    add("large bytes, selected by a screen reader, Enter on the row", "a0b0c0d0e0f0",
        "accessibility", "Enter", true, false);
    add("double click", "0b0000000001", "", "double click", true, true);
    // Enter held down on the row: the press opens the dialog, its repeats do not validate it,
    // not even those that the platform fails to flag as repeats.
    add("Enter held on the row", "0f0000000001", "click", "held Enter", true, false);
    // The button goes with the selection: nothing to open, whatever still has the focus.
    add("deselected by Ctrl+click", "0c0000000001", "click Ctrl+click", "button", false, false);
    add("deselected by Ctrl+Space", "0d0000000001", "Down Down Ctrl+Space", "button", false, true);
    // Enter acts on the row it is pressed on, and selects it for the user to see.
    add("Enter on the current row, unselected", "0e0000000001", "Down Down Ctrl+Space", "Enter",
        true, true);
    // The lookup by MAC text must not fall back to another board's record: that would open,
    // and send, the wrong board's settings.
    QTest::newRow("row matching no record") << QByteArray("020000000002") << true << "click"
                                            << "button" << false << false;
}

// The dialog opens on the selected row's record, however the row was selected and the
// settings asked for, blocks the window while it is open and releases it once cancelled.
void TestMainWindow::selectedRowOpensItsRecord()
{
    QFETCH(QByteArray, mac);
    QFETCH(bool, renamed);
    QFETCH(QString, select);
    QFETCH(QString, open);
    QFETCH(bool, opens);
    QFETCH(bool, keyboard);
    listBoard(makeBoard("020000000001", QStringLiteral("10.0.0.1")));
    listBoard(makeBoard(mac, QStringLiteral("10.0.0.2")));
    listBoard(makeBoard("020000000003", QStringLiteral("10.0.0.3")));
    if (renamed)
        table()->item(1, 0)->setText(QStringLiteral("2:0:00:00:00:09"));
    QVERIFY(!button("buttonUpdate")->isEnabled());
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    table()->setFocus(Qt::TabFocusReason);
    for (const QString &step : select.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (step == QLatin1String("click"))
            clickRow(1);
        else if (step == QLatin1String("Ctrl+click"))
            QTest::mouseClick(table()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              table()->visualItemRect(table()->item(1, 0)).center());
        else if (step == QLatin1String("Down"))
            QTest::keyClick(table(), Qt::Key_Down);
        else if (step == QLatin1String("Ctrl+Space"))
            QTest::keyClick(table(), Qt::Key_Space, Qt::ControlModifier);
        else
            QVERIFY(QAccessible::queryAccessibleInterface(table())->tableInterface()->selectRow(1));
    }
    const bool selected = !select.isEmpty() && !select.contains(QLatin1String("Ctrl"));
    if (selected)
        QCOMPARE(table()->selectedItems().size(), 8); // the whole row, less the hidden column
    QCOMPARE(button("buttonUpdate")->isEnabled(), selected && !renamed);
    const auto selectedRows = [this] {
        QSet<int> rows;
        for (const QTableWidgetItem *item : table()->selectedItems())
            rows << item->row();
        return rows;
    };
    const QSet<int> before = selectedRows();
    if (open == QLatin1String("button")) {
        clickThroughWindow(button("buttonUpdate"));
    } else if (open == QLatin1String("Enter")) {
        QTest::keyClick(table(), Qt::Key_Enter, Qt::KeypadModifier);
    } else if (open == QLatin1String("held Enter")) {
        QTest::keyPress(window->windowHandle(), Qt::Key_Enter, Qt::KeypadModifier);
    } else if (open == QLatin1String("double click")) {
        // Through the window system, which makes the second press a double click.
        const QPoint cell = table()->viewport()->mapTo(
            window.get(), table()->visualItemRect(table()->item(1, 0)).center());
        QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, cell);
        QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, {}, cell);
    } else {
        for (const char *name : {"buttonSearch", "buttonUpdate"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (button(name)->isEnabled())
                QCOMPARE(QApplication::focusWidget(), button(name));
        }
        QCOMPARE(selectedRows(), before);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }
    QPointer<QDialog> dialog = openedDialog();
    QCOMPARE(!dialog, !opens);
    if (!dialog)
        return;
    QVERIFY(QTest::qWaitForWindowExposed(dialog.data()) && dialog->isModal());
    if (open == QLatin1String("held Enter")) {
        for (int repeat = 0; repeat < 3 && dialog; ++repeat)
            QTest::keyPress(dialog->windowHandle(), Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyRelease(dialog ? dialog->windowHandle() : window->windowHandle(), Qt::Key_Enter,
                          Qt::KeypadModifier);
        QVERIFY(dialog && dialog->isVisible());
    }
    QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("lineEditIP"))->text(),
             QStringLiteral("10.0.0.2"));
    QCOMPARE(selectedRows(), QSet<int>{1});     // the row the user sees is the board edited
    clickThroughWindow(button("buttonSearch")); // blocked by the modal dialog
    QVERIFY(button("buttonSearch")->isEnabled());
    if (keyboard)
        QTest::keyPress(dialog->windowHandle(), Qt::Key_Escape);
    else
        clickThroughWindow(dialog->findChild<QPushButton *>(QStringLiteral("buttonCancel")));
    QTRY_VERIFY(!dialog); // disposed of, not kept until the window closes

    // A search empties the table and the selection, and holds the wait cursor.
    if (keyboard) {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
    } else {
        clickThroughWindow(button("buttonSearch"));
    }
    QVERIFY(!button("buttonSearch")->isEnabled() && !button("buttonUpdate")->isEnabled());
    QCOMPARE(table()->rowCount(), 0);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QMetaObject::invokeMethod(window.get(), "UpdateButtonClick"); // with nothing selected
    QVERIFY(!openedDialog());
}

void TestMainWindow::headerClickSorts_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("ascending"); // of five boards
    QTest::addColumn<QString>("late");      // the one listed after the first click
    QTest::newRow("MACs by their bytes")
        << 0 << "9:0:00:00:00:03,a:0:00:00:00:01,b:0:00:00:00:04,f:0:00:00:00:05,10:0:00:00:00:02"
        << "f:0:00:00:00:05";
    QTest::newRow("addresses as numbers")
        << 1 << "10.77.0.9,10.77.0.10,10.77.0.15,10.77.0.20,10.77.0.100"
        << "10.77.0.15";
    QTest::newRow("ports as numbers") << 3 << "9,80,502,600,4022"
                                      << "600";
    QTest::newRow("versions naturally") << 8 << "V3.00.01,V3.9.01,V3.9.10,V3.10.01,V10.0.00"
                                        << "V3.9.10";
}

// A click on a header sorts the rows, a board listed afterwards takes its place, a second
// click reverses the order; a search lists the boards newest on top again, without arrow.
void TestMainWindow::headerClickSorts()
{
    QFETCH(int, column);
    QFETCH(QString, ascending);
    QFETCH(QString, late);
    const auto board = [](const char *mac, const char *ip, const char *port, const char *version) {
        DeviceRecord record = makeBoard(mac, QString::fromLatin1(ip), version);
        std::memset(record.port, 0, sizeof record.port);
        std::memcpy(record.port, port, std::strlen(port));
        return record;
    };
    listBoard(board("0a0000000001", "10.77.0.10", "4022", "V3.10.01"));
    listBoard(board("100000000002", "10.77.0.9", "502", "V3.9.01"));
    listBoard(board("090000000003", "10.77.0.100", "80", "V3.00.01"));
    listBoard(board("0b0000000004", "10.77.0.20", "9", "V10.0.00"));
    QHeaderView *header = table()->horizontalHeader();
    const auto shown = [this, column] {
        QStringList texts;
        for (int row = 0; row < table()->rowCount(); ++row)
            texts << table()->item(row, column)->text();
        return texts;
    };
    const QStringList expected = ascending.split(QLatin1Char(','));
    clickHeader(column);
    QStringList firstFour = expected;
    firstFour.removeOne(late);
    QCOMPARE(shown(), firstFour);
    listBoard(board("0f0000000005", "10.77.0.15", "600", "V3.9.10"));
    QCOMPARE(shown(), expected);
    clickHeader(column);
    QStringList descending;
    for (const QString &text : expected)
        descending.prepend(text);
    QCOMPARE(shown(), descending);
    QCOMPARE(header->sortIndicatorSection(), column);

    QTest::mouseClick(button("buttonSearch"), Qt::LeftButton);
    QCOMPARE(header->sortIndicatorSection(), -1);
    listBoard(board("0a0000000001", "10.77.0.10", "4022", "V3.10.01"));
    listBoard(board("100000000002", "10.77.0.9", "502", "V3.9.01"));
    QCOMPARE(table()->item(0, 1)->text(), QStringLiteral("10.77.0.9"));
}

void TestMainWindow::searchTellsHowItWent_data()
{
    QTest::addColumn<int>("boards");
    QTest::addColumn<QString>("told"); // in the empty area (when nothing answered) and tooltip
    QTest::addColumn<QString>("key");  // pressed in the table afterwards: down to the last row
    QTest::newRow("nothing answered")
        << 0
        << "Aucune carte n'a répondu.\nCartes réseau interrogées\u00a0: %1 (10.77.0.1).\n\n"
           "Causes possibles\u00a0:\n– un câble réseau débranché ou une carte hors "
           "tension\u00a0;\n– un pare-feu de ce PC qui bloque le port UDP\u00a04022\u00a0;\n"
           "– un autre programme qui utilise le port UDP\u00a04022."
        << "";
    QTest::newRow("one board") << 1 << "1\u00a0carte a répondu à la recherche."
                               << "";
    const QString three = QStringLiteral("3\u00a0cartes ont répondu à la recherche.");
    QTest::newRow("three boards, Ctrl+End") << 3 << three << "Ctrl+End";
    QTest::newRow("three boards, Page Down") << 3 << three << "PageDown";
}

// Each search says how it went without a box and without touching a caption: a line over
// the empty table while it runs; at its end, why nothing may have answered, or the count,
// in the tooltip and in the table's description for screen readers. (The toolkit passes
// its accessibility events on only to a running screen reader, so that the change of
// description is announced cannot be seen from here.) The focus then shows on the top row,
// unselected, and the keys move from there.
void TestMainWindow::searchTellsHowItWent()
{
#ifdef Q_OS_WIN
    QSKIP("needs a network card of its own, made in a Linux network namespace");
#else
    QFETCH(int, boards);
    QFETCH(QString, told);
    QFETCH(QString, key);
    NetLab lab;
    const QString card =
        lab.link(lab.addHost(), QStringLiteral("10.77.0.1/24"), {QStringLiteral("10.77.0.2/24")});
    QVERIFY(!card.isEmpty());
    if (boards == 0)
        told = told.arg(card);
    const QString title = window->windowTitle();

    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    table()->setFocus();
    QTest::keyClick(table(), Qt::Key_F5);
    const auto *status = table()->viewport()->findChild<QLabel *>();
    QVERIFY(status && status->isVisible());
    const QString running =
        QStringLiteral("Recherche en cours… Cartes réseau interrogées\u00a0: %1 (10.77.0.1).")
            .arg(card);
    QCOMPARE(status->text(), running);
    QVERIFY(table()->viewport()->rect().contains(status->geometry()));
    for (int i = 0; i < boards; ++i)
        listBoard(makeBoard(QByteArray("02000000000") + char('1' + i), QStringLiteral("10.0.0.1")));
    QCOMPARE(status->isVisible(), boards == 0);
    endSearchNow(window.get()); // its ten seconds are timed by tst_discovery
    QTRY_VERIFY(button("buttonSearch")->isEnabled());

    QCOMPARE(status->isVisible(), boards == 0);
    if (boards == 0)
        QCOMPARE(status->text(), told);
    QCOMPARE(table()->toolTip(), told);
    QCOMPARE(QAccessible::queryAccessibleInterface(table())->text(QAccessible::Description), told);
    const QWidget *modal = QApplication::activeModalWidget();
    QVERIFY2(!modal,
             modal ? qPrintable(modal->objectName() + ' ' + modal->property("text").toString())
                   : "");
    QCOMPARE(window->windowTitle(), title);

    QCOMPARE(table()->currentIndex().row(), boards ? 0 : -1);
    QVERIFY(table()->selectedItems().isEmpty() && !button("buttonUpdate")->isEnabled());
    if (key.isEmpty())
        return;
    QTest::keyClick(table(), key == QLatin1String("PageDown") ? Qt::Key_PageDown : Qt::Key_End,
                    key == QLatin1String("PageDown") ? Qt::NoModifier : Qt::ControlModifier);
    const QList<QTableWidgetItem *> selected = table()->selectedItems();
    QCOMPARE(selected.size(), 8);
    for (const QTableWidgetItem *item : selected)
        QCOMPARE(item->row(), boards - 1);
    QVERIFY(button("buttonUpdate")->isEnabled());
#endif
}

void TestMainWindow::copyRow_data()
{
    QTest::addColumn<QString>("how");    // how the copy is asked for
    QTest::addColumn<bool>("selected");  // whether the middle row is selected first
    QTest::addColumn<QString>("copied"); // on the clipboard afterwards
    const QString header = "Adresse Mac\tAdresse IP\tDHCP\tPort\tPasserelle\tMasque de sous "
                           "réseau\tDNS\tVersion\n";
    // The version's tab would have split the row into one cell more.
    const QString row =
        "2:0:00:00:00:02\t10.0.0.2\tNon\t502\t10.77.0.254\t255.255.255.0\t10.77.0.253\tV3 01\n";
    QTest::newRow("Ctrl+C") << "Ctrl+C" << true << header + row;
    QTest::newRow("right click, the row") << "mouse 0" << false << header + row;
    QTest::newRow("Menu key, the MAC") << "Menu 1" << true << "2:0:00:00:00:02";
    QTest::newRow("Shift+F10, the IP") << "Shift+F10 2" << true << "10.0.0.2";
    QTest::newRow("Ctrl+C, nothing selected") << "Ctrl+C" << false << "untouched";
    QTest::newRow("Menu key, nothing selected") << "Menu 0" << false << "untouched";
}

// Ctrl+C copies the selected row under its header line, ready for a spreadsheet; the
// context menu, by mouse or keyboard, copies the row, the MAC or the IP.
void TestMainWindow::copyRow()
{
    QFETCH(QString, how);
    QFETCH(bool, selected);
    QFETCH(QString, copied);
    listBoard(makeBoard("020000000001", QStringLiteral("10.0.0.1")));
    listBoard(makeBoard("020000000002", QStringLiteral("10.0.0.2"), QByteArray("V3\t01")));
    listBoard(makeBoard("020000000003", QStringLiteral("10.0.0.3")));
    QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    table()->setFocus(Qt::TabFocusReason);
    if (selected)
        clickRow(1);
    const QStringList steps = how.split(QLatin1Char(' '));
    const QString &trigger = steps.first();
    if (trigger == QLatin1String("Ctrl+C")) {
        QTest::keyClick(table(), Qt::Key_C, Qt::ControlModifier);
    } else {
        if (trigger == QLatin1String("mouse")) {
            // The right button selects the row it is pressed on, and opens its menu: through
            // the window system, which turns the press into a request for the menu.
            const QPoint cell = table()->viewport()->mapTo(
                window.get(), table()->visualItemRect(table()->item(1, 3)).center());
            QTest::mouseClick(window->windowHandle(), Qt::RightButton, {}, cell);
        } else if (trigger == QLatin1String("Menu")) {
            QTest::keyClick(table(), Qt::Key_Menu);
        } else {
            QTest::keyClick(table(), Qt::Key_F10, Qt::ShiftModifier);
        }
        QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QStringList items;
        for (const QAction *action : menu->actions()) {
            if (!action->isSeparator())
                items << action->text() + (action->isEnabled() ? "" : " (grisé)");
        }
        const QString grey = copied == QLatin1String("untouched") ? " (grisé)" : "";
        QCOMPARE(items, (QStringList{"Copier la ligne" + grey, "Copier l'adresse MAC" + grey,
                                     "Copier l'adresse IP" + grey, "Exporter la liste…"}));
        const int chosen = steps.at(1).toInt();
        if (!grey.isEmpty()) {
            QTest::keyClick(menu, Qt::Key_Escape);
        } else if (trigger == QLatin1String("mouse")) {
            QTest::mouseClick(menu, Qt::LeftButton, {},
                              menu->actionGeometry(menu->actions().at(chosen)).center());
        } else {
            for (int i = 0; i <= chosen; ++i)
                QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        }
        QTRY_VERIFY(!QApplication::activePopupWidget());
    }
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

void TestMainWindow::exportList_data()
{
    QTest::addColumn<QString>("key");    // what opens the menu
    QTest::addColumn<QString>("file");   // typed into the file dialog; "%1" is a scratch folder
    QTest::addColumn<QString>("answer"); // to the question before a file is replaced
    QTest::addColumn<bool>("saved");
    const auto row = [](const char *tag, const char *key, const char *file, const char *answer,
                        bool saved) { QTest::newRow(tag) << key << file << answer << saved; };
    row("Menu key, a new file", "Menu", "%1/cartes.csv", "", true);
    row("Shift+F10, an older file replaced", "Shift+F10", "%1/old.csv", "Remplacer", true);
    row("an older file kept", "Menu", "%1/old.csv", "Escape", false);
    row("a folder that does not exist", "Menu", "%1/none/cartes.csv", "", false);
#ifndef Q_OS_WIN
    // Opened as a device and written as it is, without a question: the write itself fails.
    row("a full disk", "Menu", "/dev/full", "", false);
#endif
}

// « Exporter la liste… », chosen with the keyboard from the row menu, saves every listed
// board so that the command line's reader takes the file back as the same boards; a write
// that fails shows the error box and leaves no file.
void TestMainWindow::exportList()
{
#ifndef QUORVAN_APPLY_READER
    QSKIP("built without the command-line companion, whose reader checks the file");
#else
    QFETCH(QString, key);
    QFETCH(QString, file);
    QFETCH(QString, answer);
    QFETCH(bool, saved);
    QTemporaryDir scratch;
    file.replace(QLatin1String("%1"), scratch.path());
    QFile older(scratch.filePath(QStringLiteral("old.csv")));
    const QByteArray olderList = "mac\n02:00:00:00:00:99\n";
    QVERIFY(older.open(QIODevice::WriteOnly) && older.write(olderList) > 0);
    older.close();

    // An empty table has no list to export.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    table()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(table(), Qt::Key_Menu);
    QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QCOMPARE(menu->actions().last()->text(), QStringLiteral("Exporter la liste…"));
    QVERIFY(!menu->actions().last()->isEnabled());
    QTest::keyClick(menu, Qt::Key_Escape);
    QTRY_VERIFY(!QApplication::activePopupWidget());

    DeviceRecord plain = makeBoard("020000000001", QStringLiteral("10.0.0.1"));
    DeviceRecord dhcp = makeBoard("020000000002", QStringLiteral("10.0.0.2"), "V2.01");
    dhcp.dhcp = 1;
    // A version that a spreadsheet would take for a formula.
    DeviceRecord formula = makeBoard("020000000003", QStringLiteral("10.0.0.3"), "=1+2");
    formula.cdeNiveau2 = 1;
    storeAddressText("10.0.0.254", formula.gateway);
    listBoard(plain);
    listBoard(dhcp, ReplyLayout::Short);
    listBoard(formula);

    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    table()->setFocus(Qt::TabFocusReason);
    clickRow(1);
    if (key == QLatin1String("Menu"))
        QTest::keyClick(table(), Qt::Key_Menu);
    else
        QTest::keyClick(table(), Qt::Key_F10, Qt::ShiftModifier);
    QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
    menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    for (int i = 0; i < menu->actions().size() &&
                    (!menu->activeAction() ||
                     !menu->activeAction()->text().startsWith(QLatin1String("Exporter")));
         ++i)
        QTest::keyClick(menu, Qt::Key_Down);
    QCOMPARE(menu->activeAction()->text(), QStringLiteral("Exporter la liste…"));
    QTest::keyClick(menu, Qt::Key_Return);

    QFileDialog *dialog = nullptr;
    QTRY_VERIFY((dialog = window->findChild<QFileDialog *>()) && dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Exporter la liste"));
    QCOMPARE(dialog->labelText(QFileDialog::Accept), QStringLiteral("Enregistrer"));
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    QTRY_VERIFY(name->hasFocus());
    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(name, QDir::toNativeSeparators(file));
    QTest::keyClick(name, Qt::Key_Return);
    QTRY_VERIFY(!window->findChild<QFileDialog *>() ||
                !window->findChild<QFileDialog *>()->isVisible());
    QMessageBox *question = nullptr;
    if (!answer.isEmpty()) {
        QTRY_VERIFY(
            (question = window->findChild<QMessageBox *>(QStringLiteral("exportReplaceBox"))) &&
            question->isVisible());
        QCOMPARE(question->text(), "Le fichier «\u00a0" + QDir::toNativeSeparators(file) +
                                       "\u00a0» existe déjà. Le remplacer par la liste\u00a0?");
        if (answer == QLatin1String("Escape"))
            QTest::keyClick(question, Qt::Key_Escape);
        else
            QTest::mouseClick(question->button(QMessageBox::Yes), Qt::LeftButton);
        QTRY_VERIFY(!window->findChild<QMessageBox *>(QStringLiteral("exportReplaceBox")));
    } else {
        QVERIFY(!window->findChild<QMessageBox *>(QStringLiteral("exportReplaceBox")));
    }
    if (answer == QLatin1String("Escape")) {
        QFile kept(file);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), olderList);
        QVERIFY(!window->findChild<QMessageBox *>(QStringLiteral("exportErrorBox")));
        return;
    }

    auto *box = window->findChild<QMessageBox *>(QStringLiteral("exportErrorBox"));
    if (!saved) {
        QTRY_VERIFY((box = window->findChild<QMessageBox *>(QStringLiteral("exportErrorBox"))) &&
                    box->isVisible());
        QCOMPARE(box->windowTitle(), QStringLiteral("Erreur"));
        QCOMPARE(box->icon(), QMessageBox::Critical);
        QVERIFY2(box->text().startsWith(QStringLiteral("La liste n'a pas été enregistrée dans "
                                                       "«\u00a0") +
                                        QDir::toNativeSeparators(file) + "\u00a0»\u00a0: "),
                 qPrintable(box->text()));
        if (file.startsWith(scratch.path()))
            QVERIFY(!QFile::exists(file));
        return;
    }
    QVERIFY(!box);
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    QVERIFY2(bytes.contains(",'=1+2,"), bytes.constData());
    const ApplyFile read = readApplyFile(applyFileText(bytes));
    QVERIFY2(read.errors.isEmpty(), qPrintable(read.errors.join(QLatin1Char('\n'))));
    // In the table's order, newest on top.
    const DeviceRecord *listed[] = {&formula, &dhcp, &plain};
    QCOMPARE(read.boards.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const DeviceRecord &record = *listed[i];
        const PlannedBoard &board = read.boards.at(i);
        QVERIFY(sameMac(record, board.mac));
        QCOMPARE(board.change.dhcp, std::optional<bool>(record.dhcp != 0));
        // The short reply carries no level-2 code: left empty, it stays as the board has it.
        QCOMPARE(board.change.levelTwo, &record == &dhcp
                                            ? std::optional<bool>()
                                            : std::optional<bool>(record.cdeNiveau2 != 0));
        for (int field = 0; field < AddressFieldCount; ++field)
            QCOMPARE(addressText(board.change.addresses.at(field)->data()),
                     addressText(addressOf(record, field)));
    }
#endif
}

void TestMainWindow::rowMarks_data()
{
    QTest::addColumn<QString>("second"); // MAC and IP of the board listed after 2:0:00:00:00:01
    QTest::addColumn<QString>("first");  // what the first board's MAC cell then says
    QTest::addColumn<QString>("last");   // and the second's
    // "@lo" stands for the loopback card's name, which is the system's ("lo" on Linux).
    const QString card = "Réponse reçue par la carte réseau @lo (127.0.0.1).";
    QTest::newRow("nothing to tell") << "020000000002 127.0.0.5" << card << card;
    QTest::newRow("same IP address")
        << "020000000002 127.0.0.4"
        << "!La carte 2:0:00:00:00:02 a aussi cette adresse IP (127.0.0.4).\n" + card
        << "!La carte 2:0:00:00:00:01 a aussi cette adresse IP (127.0.0.4).\n" + card;
    QTest::newRow("an address of this PC")
        << "020000000002 127.0.0.1" << card
        << "!L'adresse IP 127.0.0.1 est une adresse de ce PC (carte réseau @lo).\n" + card;
    QTest::newRow("in no subnet of its card")
        << "020000000002 10.0.0.1" << card
        << "!L'adresse IP 10.0.0.1 n'est dans aucun sous-réseau de la carte réseau @lo, par "
           "laquelle elle a répondu\u00a0; la carte reste modifiable, les réglages partant par "
           "diffusion.\n" +
               card;
    QTest::newRow("MAC claimed twice")
        << "020000000001 127.0.0.9"
        << "!Attention\u00a0: cette adresse MAC a 2\u00a0réponses différentes. Un autre "
           "appareil la revendique peut-être.\n" +
               card
        << "";
}

// A row that needs care before a change is marked, in its MAC cell, by a triangle in the
// corner, a tooltip and a description for screen readers; every row names the card its
// reply came through.
void TestMainWindow::rowMarks()
{
    QFETCH(QString, second);
    QFETCH(QString, first);
    QFETCH(QString, last);
    QString loopback;
    for (const QNetworkInterface &card : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry &entry : card.addressEntries())
            if (entry.ip() == QHostAddress(QHostAddress::LocalHost))
                loopback = card.name();
    first.replace(QStringLiteral("@lo"), loopback);
    last.replace(QStringLiteral("@lo"), loopback);
    listBoard(makeBoard("020000000001", QStringLiteral("127.0.0.4")));
    const QStringList macAndIp = second.split(QLatin1Char(' '));
    const DeviceRecord board = makeBoard(macAndIp.at(0).toLatin1(), macAndIp.at(1));
    if (last.isEmpty()) // a second reply for a listed MAC: no row of its own
        sendToTool(replyBytes(board));
    else
        listBoard(board);
    const auto says = [this](const QString &mac) {
        const QTableWidgetItem *cell = table()->findItems(mac, Qt::MatchExactly).value(0);
        if (!cell)
            return QStringLiteral("no row");
        const QString tip = cell->toolTip();
        if (cell->data(Qt::AccessibleDescriptionRole).toString() != tip)
            return QStringLiteral("description differs: ") + tip;
        // The triangle, in the mark's colour, in the cell's corner.
        const QImage shown = table()->viewport()->grab().toImage();
        const QPoint corner = table()->visualItemRect(cell).topLeft() + QPoint(2, 2);
        const QPoint scaled = corner * shown.devicePixelRatio();
        const bool marked = shown.pixelColor(scaled) == QColor(0xd9, 0x4f, 0x00);
        return (marked ? QStringLiteral("!") : QString()) + tip;
    };
    QTRY_COMPARE(says(QStringLiteral("2:0:00:00:00:01")), first);
    if (!last.isEmpty())
        QCOMPARE(says(QStringLiteral("2:0:00:00:00:02")), last);
    QCOMPARE(TestSupport::frenchTypographyFaults(first + last), QStringList());
}

QUORVAN_TEST_MAIN_PREPARED(TestMainWindow, Scaling::enableHighDpi)
#include "tst_mainwindow.moc"
