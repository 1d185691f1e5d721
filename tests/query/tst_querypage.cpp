#include "querytestsupport.h"

#include "support/exportreader.h"

#include "connection/loginform.h"
#include "base/settings.h"
#include "query/columnwidths.h"
#include "query/findbar.h"
#include "query/gridmenu.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QUrl>

using namespace querytest;

namespace {

// Rows whose cells hold "4242" in a number column, in text columns, or in
// several columns of one row.
const QString FindRows = QStringLiteral(
    "('A900004242','X','20261208','T9000001','30001',4242,0,'600519','93000','93000',10,3000,'FIND000001','B','00001'),"
    "('A900000002','Y','20261208','T4242002','30001',300,0,'600519','110000','110000',10,3000,'FIND000002','S','04242'),"
    "('A900000003','Z','20261208','T9000003','30001',100,0,'016009','94515','94515',10,1000,'FIND000003','B','00001')");

FindBar *findBar(int page)
{
    return queryform->page(page).findBar();
}

QLabel *countLabelOf(FindBar *bar)
{
    return testsupport::child<QLabel>(bar, "FindCount");
}

// Every cell of the grid whose shown text contains `text` (case ignored),
// rows in the grid's order, each row left to right.
QList<GridCell> cellsShowing(int gridNumber, const QString &text)
{
    const QAbstractItemModel *model = grid(gridNumber)->model();
    QList<GridCell> cells;
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int column = 0; column < model->columnCount(); ++column) {
            if (model->index(row, column).data().toString().contains(text, Qt::CaseInsensitive))
                cells.append({row, column});
        }
    }
    return cells;
}

GridCell currentCell(int gridNumber)
{
    const QModelIndex current = grid(gridNumber)->currentIndex();
    return {current.row(), current.column()};
}

// Ctrl+F in the window, then the text typed into the bar's box; returns
// once the search has finished.
FindBar *find(int gridNumber, const QString &text)
{
    showPageOf(grid(gridNumber));
    queryform->activateWindow();
    if (!QTest::qWaitForWindowActive(queryform))
        qWarning("query window not active");
    grid(gridNumber)->setFocus();
    QTest::keyClick(grid(gridNumber), Qt::Key_F, Qt::ControlModifier);
    FindBar *bar = findBar(gridNumber);
    typeCharacters(bar->box(), text);
    if (!QTest::qWaitFor([bar] { return !bar->search()->running(); }, 10000))
        qWarning("the search did not finish");
    return bar;
}

// Opens the folder a notice's button asks for.
class FolderCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

} // namespace

class QueryPageTest : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<Session> m_session;

private slots:
    void initTestCase()
    {
        testsupport::generateDatabase(databasePath(), 300, 5);
        sqliteExec(databasePath(), TradeInsert + FindRows);
        testsupport::generateDatabase(testsupport::otherDatabasePath(), 20, 9);
    }
    void init() { m_session = std::make_unique<Session>(); }
    void cleanup()
    {
        m_session.reset();
        testsupport::removeDbset();
    }

    void textMatcherRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cell");
        QTest::addColumn<bool>("matches");
        QTest::newRow("inside") << "424" << "T4242002" << true;
        QTest::newRow("at the end") << "002" << "T4242002" << true;
        QTest::newRow("whole") << "T4242002" << "T4242002" << true;
        QTest::newRow("case ignored") << "t42" << "T4242002" << true;
        QTest::newRow("longer than the cell") << "T42420021" << "T4242002" << false;
        QTest::newRow("after a false start") << "aab" << "aaab" << true;
        QTest::newRow("chinese") << "股东" << "无效股东代码" << true;
        QTest::newRow("not there") << "4243" << "T4242002" << false;
        QTest::newRow("empty text finds nothing") << "" << "T4242002" << false;
        QTest::newRow("empty cell") << "4" << "" << false;
    }

    void textMatcherRule()
    {
        QFETCH(QString, text);
        QFETCH(QString, cell);
        QFETCH(bool, matches);
        QCOMPARE(TextMatcher(text).matches(cell), matches);
    }

    // Next and previous walk the matching cells in the grid's order, also
    // after a re-sort, and wrap round at either end.
    void findWalksTheMatchesInTheGridsOrder()
    {
        click("Button1");
        grid(1)->setCurrentIndex(grid(1)->model()->index(0, 0));
        FindBar *bar = find(1, "4242");
        QList<GridCell> expected = cellsShowing(1, "4242");
        QVERIFY(expected.size() >= 4); // a number, two text cells, an account
        QCOMPARE(bar->search()->count(), expected.size());
        QCOMPARE(currentCell(1), expected.at(0)); // the first from the current cell on
        QCOMPARE(countLabelOf(bar)->text(), QStringLiteral("第 1 处，共 %1 处").arg(expected.size()));

        clickTitle(1, 2); // 成交数量 descending: the search starts again
        QTRY_VERIFY(!bar->search()->running());
        expected = cellsShowing(1, "4242");
        QCOMPARE(bar->search()->count(), expected.size());
        grid(1)->setCurrentIndex(grid(1)->model()->index(0, 0));
        QList<GridCell> forward;
        for (int i = 0; i <= expected.size(); ++i) {
            testsupport::child<QPushButton>(bar, "FindNext")->click();
            forward << currentCell(1);
        }
        QCOMPARE(forward.mid(0, expected.size()), expected);
        QCOMPARE(forward.last(), expected.first()); // wrapped round
        QCOMPARE(countLabelOf(bar)->text(), QStringLiteral("第 1 处，共 %1 处").arg(expected.size()));

        QTest::keyClick(bar->box(), Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(currentCell(1), expected.last()); // wrapped back
        testsupport::child<QPushButton>(bar, "FindPrevious")->click();
        QCOMPARE(currentCell(1), expected.at(expected.size() - 2));
        QTest::keyClick(bar->box(), Qt::Key_Return);
        QCOMPARE(currentCell(1), expected.last());
        QCOMPARE(grid(1)->selectionModel()->selectedIndexes().size(), 1);
    }

    // Numbers, text, any case: the search counts exactly the cells whose
    // shown text holds the text.
    void findCountsTheShownCells_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("whole amount") << "3000";
        QTest::newRow("decimals") << ".5";
        QTest::newRow("side, lower case") << "b";
        QTest::newRow("text and number") << "42";
        QTest::newRow("trade number") << "t9000";
    }

    void findCountsTheShownCells()
    {
        QFETCH(QString, text);
        click("Button1");
        clickTitle(1, 4);
        FindBar *bar = find(1, text);
        const QList<GridCell> cells = cellsShowing(1, text);
        QVERIFY(!cells.isEmpty());
        QCOMPARE(bar->search()->count(), cells.size());
    }

    void findWithoutMatchAndEscape()
    {
        click("Button4");
        grid(2)->setCurrentIndex(grid(2)->model()->index(5, 3));
        FindBar *bar = find(2, "没有这个");
        QVERIFY(bar->isVisible());
        QVERIFY(!findBar(1)->isVisible()); // the bar of the page in front only
        QCOMPARE(countLabelOf(bar)->text(), QStringLiteral("无匹配"));
        testsupport::child<QPushButton>(bar, "FindNext")->click();
        QCOMPARE(currentCell(2), (GridCell{5, 3}));

        QTest::keyClick(bar->box(), Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
        QVERIFY(queryform->isVisible()); // Escape closed the bar, not the window
        QVERIFY(grid(2)->hasFocus());
    }

    // Rows of another database are not left on screen by a new login.
    void loginShowsNothingOfAnEarlierConnection()
    {
        click("Button1");
        click("Button4");
        click("Button8");
        clickTitle(1, 2);
        QVERIFY(caption(1, 2).startsWith(DescendingArrow));
        datamod->con->close(); // the logout
        // The login window's "确 定" on another DSN.
        testsupport::child<QLineEdit>(loginform, "Edit3")->setText(QStringLiteral("other"));
        testsupport::child<QPushButton>(loginform, "Button1")->click();
        QVERIFY(datamod->con->connected());
        for (int page = 1; page <= 3; ++page) {
            QCOMPARE(grid(page)->model()->rowCount(), 0);
            QVERIFY(!queryform->page(page).query()->active());
        }
        for (const char *label : {"Label12", "Label15", "Label39"})
            QCOMPARE(labelText(label), QString());
        QCOMPARE(caption(1, 2), QStringLiteral("成交数量"));
        QVERIFY(!queryform->page(1).sortState().ascendingNext());
        click("Button1");
        QCOMPARE(labelText("Label12"), QStringLiteral("20"));
    }

    void exportEndsWithANotice()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("trades.csv");
        click("Button4");
        FolderCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        testsupport::ModalWatcher watcher([&path](QWidget *modal, const testsupport::ModalRecord &) {
            if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
                dialog->selectFile(path);
                QTimer::singleShot(0, dialog, [dialog] { QMetaObject::invokeMethod(dialog, "accept"); });
            } else {
                closeModal(modal, QStringLiteral("打开所在文件夹"));
            }
        });
        queryform->page(2).menu()->exportAction()->trigger();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(watcher.records.size(), 2);
        const testsupport::ModalRecord &notice = watcher.records.at(1);
        QCOMPARE(notice.text, QStringLiteral("已导出 %1 行到文件：\n%2")
                                  .arg(datamod->qry2->recordCount())
                                  .arg(QDir::toNativeSeparators(path)));
        QCOMPARE(notice.icon, int(QMessageBox::Information));
        QCOMPARE(notice.hasOwner, false);
        QVERIFY(notice.buttons.contains(QStringLiteral("打开所在文件夹")));
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(QFileInfo(path).absolutePath())});
        QCOMPARE(testsupport::readCsv(path).size(), datamod->qry2->recordCount() + 1);
    }

    // An entry added to a grid's menu comes last and follows the result
    // like the others.
    void gridMenuTakesAnotherEntry()
    {
        int chosen = 0;
        QAction *entry = queryform->page(3).menu()->addEntry(QStringLiteral("另一项"), [&chosen] { ++chosen; });
        QCOMPARE(grid(3)->actions().last(), entry);
        QVERIFY(!entry->isEnabled());
        click("Button8");
        QVERIFY(entry->isEnabled());
        entry->trigger();
        QCOMPARE(chosen, 1);
        datamod->qry3->close();
        QVERIFY(!entry->isEnabled());
    }

    void storedWidthRule_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("width");
        QTest::newRow("width") << "250" << 250;
        QTest::newRow("blanks") << " 80 " << 80;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("text") << "wide" << 0;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("negative") << "-40" << 0;
        QTest::newRow("beyond reason") << "99999" << 0;
    }

    void storedWidthRule()
    {
        QFETCH(QString, stored);
        QFETCH(int, width);
        QCOMPARE(storedColumnWidth(stored), width);
    }

    // A dragged width comes back with the next start, beside the fitted
    // widths of the other columns; the login settings stay as they were.
    void draggedWidthKeptAcrossARestart()
    {
        const QByteArray login = "[ConDBSet]\r\nSQLUser=qtrl\r\nDSN=sse\r\nDATABASE=OIW\r\n";
        testsupport::writeDbset(login);
        QHeaderView *titles = grid(3)->horizontalHeader();
        click("Button8");
        const int fitted = titles->sectionSize(17);
        titles->resizeSection(1, 250); // as the operator's drag does
        m_session.reset();             // the program ends
        QVERIFY(testsupport::readDbset().startsWith(login));

        m_session = std::make_unique<Session>();
        titles = grid(3)->horizontalHeader();
        QCOMPARE(titles->sectionSize(1), 250);
        click("Button8");
        QCOMPARE(titles->sectionSize(1), 250);
        QCOMPARE(titles->sectionSize(17), fitted);
        QCOMPARE(settings::readSetting(ColumnWidthsSection, "DBGrid3.acc", {}), QStringLiteral("250"));
    }
};

SQLTOOL_TEST_MAIN(QueryPageTest)
#include "tst_querypage.moc"
