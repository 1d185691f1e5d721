#include "querytestsupport.h"

#include "support/exportreader.h"

#include "query/gridmenu.h"
#include "query/resultgrid.h"
#include "query/sortstate.h"
#include "reference/rtnform.h"

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QHelpEvent>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QToolTip>

using namespace querytest;

namespace {

const QString RemarkCode = QStringLiteral("215");

GridMenu *menu(int gridNumber)
{
    return queryform->page(gridNumber).menu();
}

QStringList actionTexts(const QWidget *widget)
{
    QStringList texts;
    for (const QAction *action : widget->actions())
        texts << action->text();
    return texts;
}

// What the save dialog offered, and the answer given to it.
struct DialogVisit
{
    QStringList filters;
    QString offeredName;
    QString folder;
};

// Answers the export's save dialog with `path` and Qt's overwrite question
// with `overwrite`; records what the dialog offered.
testsupport::ModalWatcher::Handler saveAs(const QString &path, DialogVisit &visit, bool overwrite = true)
{
    return [path, &visit, overwrite](QWidget *modal, const testsupport::ModalRecord &) {
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            visit.filters = dialog->nameFilters();
            visit.offeredName = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            visit.folder = dialog->directory().absolutePath();
            dialog->selectFile(path);
            // Accepted from the event loop: the watcher meets the question
            // Qt asks first when the file exists.
            QTimer::singleShot(0, dialog, [dialog] {
                QMetaObject::invokeMethod(dialog, "accept");
                if (dialog->isVisible())
                    dialog->reject();
            });
        } else if (auto *question = qobject_cast<QMessageBox *>(modal); question && modal->parentWidget()) {
            // Qt's own question, in Qt's Chinese.
            testsupport::pressButton(modal, question->button(overwrite ? QMessageBox::Yes : QMessageBox::No)->text());
        } else {
            closeModal(modal);
        }
    };
}

} // namespace

class GridMenuTest : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<Session> m_session;

private slots:
    void initTestCase()
    {
        testsupport::generateDatabase(databasePath(), 300, 5);
        sqliteExec(databasePath(), "update ashare_ordwth2 set remark=' 215 ' where rec_num=(select min(rec_num) "
                                   "from ashare_ordwth2)");
    }
    void init() { m_session = std::make_unique<Session>(); }
    void cleanup()
    {
        m_session.reset();
        testsupport::removeDbset(); // dragged widths are kept there
    }

    void copyTakesTheCellAndTheRowUnderItsCaptions()
    {
        QCOMPARE(actionTexts(grid(1)), (QStringList{"复制", "复制整行", "导出...", "追踪委托"}));
        QCOMPARE(grid(1)->contextMenuPolicy(), Qt::ActionsContextMenu);
        QCOMPARE(menu(1)->copyAction()->shortcut(), QKeySequence(QKeySequence::Copy));
        click("Button1");
        clickTitle(1, 2); // the arrow must not reach the copied captions
        QVERIFY(caption(1, 2).startsWith(DescendingArrow));
        QTableView *view = grid(1);
        view->setFocus();
        view->setCurrentIndex(view->model()->index(3, 1));
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), columnTexts(1, 1).at(3));

        menu(1)->copyRowAction()->trigger();
        QStringList cells;
        for (int column = 0; column < TradeCaptions.size(); ++column)
            cells << columnTexts(1, column).at(3);
        QCOMPARE(QGuiApplication::clipboard()->text(), TradeCaptions.join('\t') + '\n' + cells.join('\t'));
        QCOMPARE(view->selectionMode(), QAbstractItemView::SingleSelection);
    }

    void entriesEnabledOnlyWhileAResultIsOpen()
    {
        for (int page = 1; page <= 3; ++page)
            QVERIFY(!menu(page)->exportAction()->isEnabled());
        click("Button1");
        QVERIFY(menu(1)->exportAction()->isEnabled());
        QVERIFY(!menu(2)->exportAction()->isEnabled());
        sqliteExec(databasePath(), "alter table ashare_cjhb rename to cjhb_away");
        {
            testsupport::ModalWatcher watcher;
            click("Button1");
            QCOMPARE(watcher.records.size(), 1);
        }
        sqliteExec(databasePath(), "alter table cjhb_away rename to ashare_cjhb");
        QVERIFY(!menu(1)->exportAction()->isEnabled());
        QVERIFY(!menu(1)->copyAction()->isEnabled());
        click("Button1");
        QVERIFY(menu(1)->exportAction()->isEnabled());
        datamod->qry1->close(); // as a clearing of the table leaves it
        QVERIFY(!menu(1)->exportAction()->isEnabled());
    }

    void exportWritesTheGridAsShown()
    {
        QTemporaryDir dir;
        click("Button1");
        clickTitle(1, 2);
        grid(1)->setCurrentIndex(grid(1)->model()->index(7, 0));
        QCoreApplication::processEvents();
        const int current = datamod->qry1->recNo();

        DialogVisit visit;
        {
            testsupport::ModalWatcher watcher(saveAs(dir.filePath("trades.xlsx"), visit));
            menu(1)->exportAction()->trigger();
        }
        QCOMPARE(visit.filters, (QStringList{"Excel 工作簿 (*.xlsx)", "CSV 文件 (*.csv)"}));
        QVERIFY2(QRegularExpression("^ashare_cjhb_\\d{8}_\\d{6}\\.xlsx$").match(visit.offeredName).hasMatch(),
                 qPrintable(visit.offeredName));
        QCOMPARE(datamod->qry1->recNo(), current);
        const QJsonArray rows = testsupport::readWorkbook(dir.filePath("trades.xlsx")).at(0).toObject().value("rows").toArray();
        QCOMPARE(rows.size(), datamod->qry1->recordCount() + 1);
        QCOMPARE(rows.at(0).toArray().at(2).toObject().value("v").toString(), QStringLiteral("成交数量"));
        QCOMPARE(testsupport::sheetColumn(rows, 2), columnTexts(1, 2)); // the sorted order

        // The next export opens where the last one went; CSV by its suffix.
        {
            testsupport::ModalWatcher watcher(saveAs(dir.filePath("trades.csv"), visit));
            menu(1)->exportAction()->trigger();
        }
        QCOMPARE(visit.folder, QFileInfo(dir.path()).absoluteFilePath());
        const QList<QStringList> records = testsupport::readCsv(dir.filePath("trades.csv"));
        QCOMPARE(records.value(0), TradeCaptions);
        QStringList codes;
        for (int row = 1; row < records.size(); ++row)
            codes << records[row].value(1);
        QCOMPARE(codes, columnTexts(1, 1));
    }

    void existingFileReplacedOnlyAfterTheQuestion()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("old.csv");
        testsupport::writeFile(path, "old");
        click("Button4");
        DialogVisit visit;
        {
            testsupport::ModalWatcher watcher(saveAs(path, visit, false));
            menu(2)->exportAction()->trigger();
            QCOMPARE(watcher.records.size(), 2); // the dialog and its question
            QVERIFY2(watcher.records.at(1).text.contains(QStringLiteral("已存在")), qPrintable(watcher.records.at(1).text));
            QVERIFY2(!watcher.records.at(1).buttons.contains(QStringLiteral("&Yes")), qPrintable(watcher.records.at(1).buttons.join(' ')));
        }
        QCOMPARE(testsupport::readFile(path), QByteArray("old"));
        {
            testsupport::ModalWatcher watcher(saveAs(path, visit, true));
            menu(2)->exportAction()->trigger();
        }
        QCOMPARE(testsupport::readCsv(path).size(), datamod->qry2->recordCount() + 1);
        QCOMPARE(testsupport::filesIn(dir.path()), QStringList{"old.csv"});
    }

    void failedExportShowsTheReason()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("missing/trades.csv"); // in a folder that is not there
        click("Button1");
        DialogVisit visit;
        testsupport::ModalWatcher watcher(saveAs(path, visit));
        menu(1)->exportAction()->trigger();
        QCOMPARE(watcher.records.size(), 2);
        const testsupport::ModalRecord &box = watcher.records.at(1);
        QCOMPARE(box.icon, int(QMessageBox::Critical));
        QVERIFY2(box.text.startsWith("无法创建文件 " + QDir::toNativeSeparators(path) + "："), qPrintable(box.text));
        QCOMPARE(testsupport::filesIn(dir.path()), QStringList());
    }

    void columnsFitTheirFieldsAndKeepDraggedWidths()
    {
        QHeaderView *titles = grid(3)->horizontalHeader();
        const int checkord = 17;
        const int side = 3;
        click("Button8");
        const int fitted = titles->sectionSize(checkord);
        QVERIFY2(fitted > 150 && fitted <= MaxFittedColumnWidth, qPrintable(QString::number(fitted)));
        // A one-character field is as wide as its caption.
        QVERIFY(titles->sectionSize(side) >= titles->fontMetrics().horizontalAdvance(caption(3, side)));
        QVERIFY(titles->sectionSize(side) < 100);

        titles->resizeSection(1, 250); // as the operator's drag does
        click("Button8");
        QCOMPARE(titles->sectionSize(1), 250);
        QCOMPARE(titles->sectionSize(checkord), fitted);
        clickTitle(3, 4);
        QCOMPARE(titles->sectionSize(1), 250);
        QCOMPARE(titles->sectionSize(checkord), fitted);
    }

    void returnCodeTipRule_data()
    {
        QTest::addColumn<QString>("remark");
        QTest::addColumn<QString>("tip");
        QTest::newRow("code") << "215" << "215 无效帐号";
        QTest::newRow("code with blanks") << " 215 " << "215 无效帐号";
        QTest::newRow("note over two rows") << "2100"
                                            << "2100 笼统的[PC端已处理]信息。只在崩溃恢复过程中产生，这时不再仔细区分各种PC端已处理、从而不再真正发往主机"
                                               "的情形，可能包括各种PC端检查发现错单以及本地撤单。";
        QTest::newRow("not a code") << "999" << "";
        QTest::newRow("a note") << "无效帐号" << "";
        QTest::newRow("empty") << "" << "";
    }

    void returnCodeTipRule()
    {
        QFETCH(QString, remark);
        QFETCH(QString, tip);
        QCOMPARE(returnCodeTip(remark), tip);
    }

    void returnCodeShownAsTooltip()
    {
        click("Button8");
        const int remark = 10;
        const int row = int(columnTexts(3, remark).indexOf(" 215 "));
        QVERIFY(row >= 0);
        QTableView *view = grid(3);
        view->scrollTo(view->model()->index(row, remark));
        const QRect cell = view->visualRect(view->model()->index(row, remark));
        QHelpEvent help(QEvent::ToolTip, cell.center(), view->viewport()->mapToGlobal(cell.center()));
        QCoreApplication::sendEvent(view->viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("215 无效帐号"));
    }
};

SQLTOOL_TEST_MAIN(GridMenuTest)
#include "tst_gridmenu.moc"
