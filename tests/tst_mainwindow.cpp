// SPDX-License-Identifier: MIT
#include "common/boards.h"
#include "common/testsupport.h"
#include "discovery/mainwindow.h"

#include <QDialog>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTemporaryDir>

#include <memory>

// The main window against its form, the device table as boards fill it over the loopback
// interface, and the way the window meets the settings dialog.
class TestMainWindow : public StrictTestCase
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void widgetTree();
    void layoutsAndPolicies();
    void tableSettings();
    void captions();
    void stateAfterConstruction();
    void focusChain();
    void iconAndBackgroundFromWorkingDirectory_data();
    void iconAndBackgroundFromWorkingDirectory();

    void replyBeforeFirstSearchIsListed();
    void rowTexts_data();
    void rowTexts();
    void rowsFillFromTheBottomUp();
    void duplicateMacChangesNothing();
    void shortReplyAfterLongShowsNoOldBytes();
    void cellsAreCentredAndReadOnly();
    void singleRowSelection();
    void selectedRowOpensItsRecord_data();
    void selectedRowOpensItsRecord();
    void updateWithoutSelectionOpensNothing();
    void rowMatchingNoRecordOpensNothing();
    void cancelReleasesTheWindow();

private:
    QTableWidget *table() const
    {
        return window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    }
    QPushButton *button(const char *name) const
    {
        return window->findChild<QPushButton *>(QLatin1String(name));
    }
    void listBoard(const DeviceRecord &record, ReplyLayout layout = ReplyLayout::Long);
    static void clickThroughWindow(QWidget *widget);

    std::unique_ptr<QTemporaryDir> workDir;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::init()
{
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

void TestMainWindow::widgetTree()
{
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    const QString difference = TestSupport::formTreeDifference(
        window.get(),
        {
            {"centralWidget", "QWidget", "MainWindow"},
            {"gridLayout", "QGridLayout", "centralWidget"},
            {"verticalLayout", "QVBoxLayout", "gridLayout"},
            {"tableWidget", "QTableWidget", "centralWidget"},
            {"frameButton", "QFrame", "centralWidget"},
            {"gridLayout_2", "QGridLayout", "frameButton"},
            {"buttonSearch", "QPushButton", "frameButton"},
            {"buttonUpdate", "QPushButton", "frameButton"},
            {"frameBroadcast", "QFrame", "frameButton"},
            {"horizontalLayout", "QHBoxLayout", "frameBroadcast"},
            {"labelBroadcast", "QLabel", "frameBroadcast"},
            {"editBroadcast", "QLineEdit", "frameBroadcast"},
        },
        window->layout()); // the main window's own layout, "_layout"
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QVERIFY(!window->menuWidget());
    QCOMPARE(window->centralWidget()->objectName(), QStringLiteral("centralWidget"));
}

void TestMainWindow::layoutsAndPolicies()
{
    const auto *grid = window->findChild<QGridLayout *>(QStringLiteral("gridLayout"));
    const auto *buttons = window->findChild<QGridLayout *>(QStringLiteral("gridLayout_2"));
    const auto *vertical = window->findChild<QVBoxLayout *>(QStringLiteral("verticalLayout"));
    const auto *horizontal = window->findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout"));
    for (const QLayout *layout :
         {static_cast<const QLayout *>(grid), static_cast<const QLayout *>(buttons),
          static_cast<const QLayout *>(horizontal)}) {
        QCOMPARE(layout->spacing(), 6);
        QCOMPARE(layout->contentsMargins(), QMargins(11, 11, 11, 11));
    }
    QCOMPARE(vertical->spacing(), 6);
    QCOMPARE(grid->itemAtPosition(0, 0)->layout(), vertical);
    QCOMPARE(vertical->itemAt(0)->widget(), table());
    QCOMPARE(vertical->itemAt(1)->widget()->objectName(), QStringLiteral("frameButton"));
    QCOMPARE(buttons->itemAtPosition(0, 0)->widget(), button("buttonSearch"));
    QCOMPARE(buttons->itemAtPosition(0, 1)->widget(), button("buttonUpdate"));
    QCOMPARE(buttons->itemAtPosition(0, 2)->widget()->objectName(),
             QStringLiteral("frameBroadcast"));

    struct Policy
    {
        const char *name;
        QSizePolicy::Policy horizontal;
        QSizePolicy::Policy vertical;
    };
    const Policy policies[] = {
        {"MainWindow", QSizePolicy::Preferred, QSizePolicy::Maximum},
        {"frameButton", QSizePolicy::Expanding, QSizePolicy::Maximum},
        {"buttonSearch", QSizePolicy::Expanding, QSizePolicy::Expanding},
        {"buttonUpdate", QSizePolicy::Expanding, QSizePolicy::Expanding},
        {"frameBroadcast", QSizePolicy::Fixed, QSizePolicy::Minimum},
        {"labelBroadcast", QSizePolicy::Fixed, QSizePolicy::Preferred},
        {"editBroadcast", QSizePolicy::Fixed, QSizePolicy::Fixed},
    };
    for (const Policy &policy : policies) {
        const QWidget *widget = qstrcmp(policy.name, "MainWindow") == 0
                                    ? window.get()
                                    : window->findChild<QWidget *>(QLatin1String(policy.name));
        QCOMPARE(widget->sizePolicy().horizontalPolicy(), policy.horizontal);
        QCOMPARE(widget->sizePolicy().verticalPolicy(), policy.vertical);
    }
    const auto *frame = window->findChild<QFrame *>(QStringLiteral("frameButton"));
    QCOMPARE(frame->frameShape(), QFrame::StyledPanel);
    QCOMPARE(frame->frameShadow(), QFrame::Raised);
}

void TestMainWindow::tableSettings()
{
    QTableWidget *t = table();
    QVERIFY(t->autoFillBackground());
    QVERIFY(t->styleSheet().isEmpty());
    QCOMPARE(t->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(t->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(!t->showGrid());
    QCOMPARE(t->gridStyle(), Qt::SolidLine);
    QVERIFY(t->wordWrap());
    QVERIFY(t->isSortingEnabled() == false);
    const QHeaderView *header = t->horizontalHeader();
    QVERIFY(!header->isHidden());
    QVERIFY(!header->cascadingSectionResizes());
    QCOMPARE(header->defaultSectionSize(), 120);
    QVERIFY(!header->highlightSections());
    QCOMPARE(header->minimumSectionSize(), 27);
    QVERIFY(header->property("showSortIndicator").toBool());
    QVERIFY(!header->stretchLastSection());
    QVERIFY(t->verticalHeader()->isHidden());
    QVERIFY(!t->verticalHeader()->stretchLastSection());
}

void TestMainWindow::captions()
{
    const QStringList headers = {
        QStringLiteral("Adresse Mac"), QStringLiteral("Adresse IP"),
        QStringLiteral("DHCP"),        QStringLiteral("Port"),
        QStringLiteral("Passerelle"),  QStringLiteral("Masque de sous réseau"),
        QStringLiteral("DNS"),         QStringLiteral("Code Niveau 2"),
        QStringLiteral("Version")};
    for (int column = 0; column < headers.size(); ++column)
        QCOMPARE(table()->horizontalHeaderItem(column)->text(), headers.at(column));
    QCOMPARE(window->windowTitle(), QStringLiteral("Configuration Quorvan V1.0.0.2"));
    QCOMPARE(button("buttonSearch")->text(), QStringLiteral("Rechercher"));
    QCOMPARE(button("buttonUpdate")->text(), QStringLiteral("Mettre à jour"));
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("labelBroadcast"))->text(),
             QStringLiteral("Adresse du Broadcast:"));
}

void TestMainWindow::stateAfterConstruction()
{
    QCOMPARE(window->size(), QSize(1088, 585));
    QCOMPARE(table()->columnCount(), 9);
    QCOMPARE(table()->rowCount(), 0);
    QVERIFY(button("buttonSearch")->isEnabled());
    QVERIFY(!button("buttonUpdate")->isEnabled());
    QCOMPARE(window->findChild<QLineEdit *>(QStringLiteral("editBroadcast"))->text(),
             QStringLiteral("255.255.255.255"));
    QVERIFY(window->findChild<QFrame *>(QStringLiteral("frameBroadcast"))->isHidden());
    const int widths[] = {110, 85, 50, 50, 85, 130, 85, -1, 70};
    for (int column = 0; column < 9; ++column) {
        QCOMPARE(table()->isColumnHidden(column), column == 7);
        if (column != 7)
            QCOMPARE(table()->columnWidth(column), widths[column]);
    }
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestMainWindow::focusChain()
{
    const QStringList focusable = {QStringLiteral("tableWidget"), QStringLiteral("buttonSearch"),
                                   QStringLiteral("buttonUpdate"), QStringLiteral("editBroadcast")};
    QStringList chain;
    for (QWidget *w = window->nextInFocusChain(); w != window.get(); w = w->nextInFocusChain()) {
        if (focusable.contains(w->objectName()))
            chain << w->objectName();
    }
    QCOMPARE(chain, focusable);
}

void TestMainWindow::iconAndBackgroundFromWorkingDirectory_data()
{
    QTest::addColumn<bool>("filesPresent");
    QTest::newRow("missing") << false;
    QTest::newRow("present") << true;
}

void TestMainWindow::iconAndBackgroundFromWorkingDirectory()
{
    QFETCH(bool, filesPresent);
    window.reset();
    QTemporaryDir root;
    const auto leaveRoot = qScopeGuard([] { QDir::setCurrent(QDir::tempPath()); });
    const QString run = root.filePath(QStringLiteral("a/b"));
    QVERIFY(QDir().mkpath(run));
    if (filesPresent) {
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("FindQuorvan"))));
        QVERIFY(QFile::copy(QStringLiteral(QUORVAN_RESOURCES "/bg.ico"),
                            root.filePath(QStringLiteral("FindQuorvan/bg.ico"))));
        QVERIFY(QFile::copy(QStringLiteral(QUORVAN_RESOURCES "/brenik.png"),
                            run + QStringLiteral("/brenik.png")));
    }
    QVERIFY(QDir::setCurrent(run));
    window = std::make_unique<MainWindow>();
    QCOMPARE(!window->windowIcon().pixmap(36, 45).isNull(), filesPresent);
    const QBrush base = table()->viewport()->palette().brush(QPalette::Active, QPalette::Base);
    QCOMPARE(!base.texture().isNull(), filesPresent);
    if (filesPresent)
        QCOMPARE(base.texture().size(), QSize(147, 45));
}

void TestMainWindow::listBoard(const DeviceRecord &record, ReplyLayout layout)
{
    const int rows = table()->rowCount();
    sendToTool(replyBytes(record, layout));
    QTRY_COMPARE(table()->rowCount(), rows + 1);
}

void TestMainWindow::replyBeforeFirstSearchIsListed()
{
    listBoard(makeBoard("0050c20de405"));
    QCOMPARE(table()->item(0, 0)->text(), QStringLiteral("0:50:c2:0d:e4:05"));
}

void TestMainWindow::rowTexts_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QStringList>("cells");

    QTest::newRow("long") << int(ReplyLayout::Long) << QByteArray("V3.00.01")
                          << QStringList{"0:50:c2:0d:e4:05", "10.0.0.254",    "Oui",         "502",
                                         "10.77.0.254",      "255.255.255.0", "10.77.0.253", "Oui",
                                         "V3.00.01"};
    QTest::newRow("short") << int(ReplyLayout::Short) << QByteArray("V2.01xyz")
                           << QStringList{
                                  "0:50:c2:0d:e4:05", "10.0.0.254",  "Oui", "502",  "10.77.0.254",
                                  "255.255.255.0",    "10.77.0.253", "Non", "V2.01"};
    QTest::newRow("three version bytes")
        << int(ReplyLayout::Long) << QByteArray("V1.\0\0\0\0\0", 8)
        << QStringList{"0:50:c2:0d:e4:05", "10.0.0.254",  "Oui", "502", "10.77.0.254",
                       "255.255.255.0",    "10.77.0.253", "Oui", "V1."};
    QTest::newRow("markup shown as text")
        << int(ReplyLayout::Long) << QByteArray("<b>x</b>")
        << QStringList{"0:50:c2:0d:e4:05", "10.0.0.254",  "Oui", "502",     "10.77.0.254",
                       "255.255.255.0",    "10.77.0.253", "Oui", "<b>x</b>"};
}

void TestMainWindow::rowTexts()
{
    QFETCH(int, layout);
    QFETCH(QByteArray, version);
    QFETCH(QStringList, cells);
    DeviceRecord board = makeBoard("0050c20de405", QStringLiteral("10.0.0.254"), version);
    board.dhcp = 1;
    board.cdeNiveau2 = 1;
    listBoard(board, ReplyLayout(layout));
    for (int column = 0; column < 9; ++column)
        QCOMPARE(table()->item(0, column)->text(), cells.at(column));
}

void TestMainWindow::rowsFillFromTheBottomUp()
{
    listBoard(makeBoard("020000000001"));
    listBoard(makeBoard("020000000002"));
    listBoard(makeBoard("020000000003"));
    QCOMPARE(table()->item(0, 0)->text(), QStringLiteral("2:0:00:00:00:03"));
    QCOMPARE(table()->item(1, 0)->text(), QStringLiteral("2:0:00:00:00:02"));
    QCOMPARE(table()->item(2, 0)->text(), QStringLiteral("2:0:00:00:00:01"));
}

void TestMainWindow::duplicateMacChangesNothing()
{
    listBoard(makeBoard("020000000001", QStringLiteral("10.0.0.1")));
    for (int i = 0; i < 3; ++i)
        sendToTool(replyBytes(makeBoard("020000000001", QStringLiteral("10.0.0.9"))));
    // A different board behind the duplicates shows that they were all read.
    listBoard(makeBoard("020000000002"));
    QCOMPARE(table()->rowCount(), 2);
    QCOMPARE(table()->item(1, 1)->text(), QStringLiteral("10.0.0.1"));
}

void TestMainWindow::shortReplyAfterLongShowsNoOldBytes()
{
    listBoard(makeBoard("020000000001", QStringLiteral("10.0.0.1"), "V3.00.01"));
    QByteArray shorter =
        replyBytes(makeBoard("020000000002", QStringLiteral("10.0.0.2"), "V9.9")).left(41);
    sendToTool(shorter);
    QTRY_COMPARE(table()->rowCount(), 2);
    QCOMPARE(table()->item(0, 8)->text(), QStringLiteral("V9.9"));
    sendToTool(shorter.left(40)); // not a reply
    listBoard(makeBoard("020000000003"));
    QCOMPARE(table()->rowCount(), 3);
}

void TestMainWindow::cellsAreCentredAndReadOnly()
{
    listBoard(makeBoard("020000000001"));
    for (int column = 0; column < 9; ++column) {
        const QTableWidgetItem *item = table()->item(0, column);
        QCOMPARE(item->type(), int(QTableWidgetItem::Type));
        QCOMPARE(item->data(Qt::TextAlignmentRole).toInt(), 0x84);
        QCOMPARE(item->flags(), Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled |
                                    Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
        QVERIFY(!item->data(Qt::CheckStateRole).isValid());
        QVERIFY(!item->data(Qt::BackgroundRole).isValid());
    }
    const QRect cell = table()->visualItemRect(table()->item(0, 1));
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::keyClick(table()->viewport(), Qt::Key_F2);
    QTest::qWait(50);
    QVERIFY(table()->viewport()->findChildren<QLineEdit *>().isEmpty());
    QCOMPARE(table()->item(0, 1)->text(), QStringLiteral("10.77.0.50"));
}

void TestMainWindow::singleRowSelection()
{
    listBoard(makeBoard("020000000001"));
    listBoard(makeBoard("020000000002"));
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                      table()->visualItemRect(table()->item(1, 3)).center());
    QCOMPARE(table()->selectedItems().size(), 8); // the whole row, less the hidden column
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      table()->visualItemRect(table()->item(0, 3)).center());
    QCOMPARE(table()->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(table()->selectionModel()->selectedRows().first().row(), 0);
    QVERIFY(button("buttonUpdate")->isEnabled());
}

void TestMainWindow::selectedRowOpensItsRecord_data()
{
    QTest::addColumn<QByteArray>("mac");
    QTest::newRow("first byte below 16") << QByteArray("0a0b0c0d0e0f");
    QTest::newRow("first byte zero") << QByteArray("0050c20de405");
    QTest::newRow("large bytes") << QByteArray("a0b0c0d0e0f0");
}

void TestMainWindow::selectedRowOpensItsRecord()
{
    QFETCH(QByteArray, mac);
    listBoard(makeBoard("020000000001", QStringLiteral("10.0.0.1")));
    listBoard(makeBoard(mac, QStringLiteral("10.0.0.2")));
    listBoard(makeBoard("020000000003", QStringLiteral("10.0.0.3")));
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                      table()->visualItemRect(table()->item(1, 0)).center());
    QTest::mouseClick(button("buttonUpdate"), Qt::LeftButton);
    auto *dialog = window->findChild<QDialog *>(QStringLiteral("Update"));
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->isModal());
    QCOMPARE(dialog->findChild<QLineEdit *>(QStringLiteral("lineEditIP"))->text(),
             QStringLiteral("10.0.0.2"));
}

// The button can be pressed while no record is selected (the slot enables it on any change
// of selection); it must then open nothing rather than edit a null record.
void TestMainWindow::updateWithoutSelectionOpensNothing()
{
    QMetaObject::invokeMethod(window.get(), "UpdateButtonClick");
    QVERIFY(!window->findChild<QDialog *>(QStringLiteral("Update")));

    listBoard(makeBoard("020000000001"));
    const QPoint row = table()->visualItemRect(table()->item(0, 0)).center();
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, row);
    QVERIFY(button("buttonUpdate")->isEnabled());
    QTest::mouseClick(button("buttonSearch"), Qt::LeftButton); // empties list and selection
    QVERIFY(!button("buttonUpdate")->isEnabled());
    QCOMPARE(table()->rowCount(), 0);
    QMetaObject::invokeMethod(window.get(), "UpdateButtonClick");
    QVERIFY(!window->findChild<QDialog *>(QStringLiteral("Update")));
}

// The lookup by MAC text must not fall back to another board's record: that would open,
// and send, the wrong board's settings.
void TestMainWindow::rowMatchingNoRecordOpensNothing()
{
    listBoard(makeBoard("020000000001"));
    listBoard(makeBoard("020000000002"));
    table()->item(0, 0)->setText(QStringLiteral("2:0:00:00:00:09"));
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                      table()->visualItemRect(table()->item(0, 1)).center());
    QVERIFY(button("buttonUpdate")->isEnabled());
    QTest::mouseClick(button("buttonUpdate"), Qt::LeftButton);
    QVERIFY(!window->findChild<QDialog *>(QStringLiteral("Update")));
}

// Clicks go through the window system, where a modal dialog blocks them.
void TestMainWindow::clickThroughWindow(QWidget *widget)
{
    QWidget *top = widget->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {},
                      widget->mapTo(top, widget->rect().center()));
}

void TestMainWindow::cancelReleasesTheWindow()
{
    const DeviceRecord board = makeBoard("020000000001", QStringLiteral("10.0.0.1"));
    listBoard(board);
    clickThroughWindow(table()->viewport());
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {},
                      table()->visualItemRect(table()->item(0, 0)).center());
    clickThroughWindow(button("buttonUpdate"));
    QPointer<QDialog> dialog = window->findChild<QDialog *>(QStringLiteral("Update"));
    QVERIFY(dialog);
    QVERIFY(QTest::qWaitForWindowExposed(dialog.data()));

    clickThroughWindow(button("buttonSearch")); // blocked by the modal dialog
    QVERIFY(button("buttonSearch")->isEnabled());

    dialog->findChild<QLineEdit *>(QStringLiteral("lineEditIP"))
        ->setText(QStringLiteral("1.2.3.4"));
    clickThroughWindow(dialog->findChild<QPushButton *>(QStringLiteral("buttonCancel")));
    QTRY_VERIFY(!dialog); // disposed of, not kept until the window closes

    clickThroughWindow(button("buttonSearch"));
    QVERIFY(!button("buttonSearch")->isEnabled());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
}

QUORVAN_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
