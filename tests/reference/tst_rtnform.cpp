#include "support/testsupport.h"

#include "reference/rtnform.h"

#include <QAbstractTableModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>

#include <memory>

using testsupport::Forms;
using testsupport::ModalWatcher;

namespace {

struct ExpectedRow
{
    int row;
    const char *code;
    const char *note;
};

// The return-code table as the operator must see it.
const ExpectedRow expectedRows[] = {
    {0, "返回代码", "注释"},
    {1, "202", "无效操作员代码"},
    {2, "203", "无效证券代码"},
    {3, "204", "非交易时间"},
    {4, "208", "无效买卖标志"},
    {5, "213", "证券被挂起"},
    {6, "214", "该股票不参与集合竞价"},
    {7, "215", "无效帐号"},
    {8, "216", "该帐号未指定在你席位"},
    {9, "217", "帐号已挂起"},
    {10, "218", "无效价格"},
    {11, "219", "申报价不能为零"},
    {12, "220", "最小价格步长是......."},
    {13, "222", "价格超出范围"},
    {14, "223", "申报买入数量必须是1000的整数倍"},
    {15, "224", "无效数量"},
    {16, "225", "申报数量必须大于0"},
    {17, "226", "新股申报数量至少1000"},
    {18, "227", "申报数量不符最小步长"},
    {19, "228", "申报数量必须不大于......."},
    {20, "229", "超出限量"},
    {21, "231", "余额不足"},
    {22, "234", "股票持有量超出限量"},
    {23, "236", "不允许买入（债转股用）"},
    {24, "243", "基金帐号\\机构帐号不能买卖此证券"},
    {25, "244", "[S]帐号不能买入"},
    {26, "245", "不能撤销指定（有卖空股票）"},
    {27, "246", "不能撤销指定（有委托）"},
    {28, "247", "不能撤销指定（公司卖空）"},
    {29, "248", "中央登记结算公司不允许撤销指定"},
    {30, "250", "托管席位（数据库中的firmid）错，请用结算会员代码，可从登记公司查询。"},
    {31, "252", "无效操作员代码"},
    {32, "271", "该帐号已指定在你席位"},
    {33, "272", "未做指定不能交易"},
    {34, "401", "无效操作员代码"},
    {35, "403", "无效申报序号"},
    {36, "404", "他人申报"},
    {37, "405", "帐号不同"},
    {38, "406", "股票不同"},
    {39, "407", "买卖不同"},
    {40, "408", "已撤单"},
    {41, "409", "只能通过买799998撤销指定"},
    {42, "410", "只能通过买799999重新指定"},
    {43, "411", "申报已成交"},
    {44, "499", "无申报可撤"},
    {45, "1001", "底层UDP通信环境没有成功建立"},
    {46, "1011", "底层TCP通信环境没有成功建立"},
    {47, "1021", "rec_num 必须连续递增"},
    {48, "1022", "股票代码错误"},
    {49, "1023", "账号错误"},
    {50, "1024", "买卖方向错误"},
    {51, "1025", "价格错误"},
    {52, "1026", "数量错误"},
    {53, "1027", "日期错误"},
    {54, "1028", "委托单或撤消单的标志错误"},
    {55, "1029", "结算会员代码错误"},
    {56, "1030", "撤消单的ordrec域错误"},
    {57, "1031", "撤消单的ordrec域大于等于撤消单的rec_num域"},
    {58, "1032", "被撤单记录在ORDWTH中无法找到"},
    {59, "1033", "撤消单的TEORDERNUM数据无效"},
    {60, "1034", "撤消的委托单是失败的数据单"},
    {61, "1035", "被撤单记录在ORDWTH2中找不到"},
    {62, "1036", "被撤单记录没有TEOrderNumber!(是空白字符串)，合同号空"},
    {63, "1038", "本地撤单[a撤b]"},
    {64, "1039", "刚读入待处理的单子的status是[P]或[p]"},
    {65, "1040", "刚读入待处理的单子的status不是[R]，也不是[P]"},
    {66, "1041", "PC本地撤单"},
    {67, "1042", "底层通讯接收时发生错"},
    {68, "1043", "接收到的数据包内容错误"},
    {69, "1100", "委托号太大"},
    {70, "1101", "记录不匹配"},
    {71, "2000", "与交易所的网络连接出错"},
    {72, "2001", "被撤单的日期不是今天"},
    {73, "2004", "被撤单的帐号不是本人"},
    {74, "2006", "撤单记录中被撤单的股票代码与被撤单不一致"},
    {75, "2007", "撤单记录中被撤单的股票价格不正确，与被撤单不一致"},
    {76, "2008", "只有委托才可被撤单"},
    {77, "2100", "笼统的[PC端已处理]信息。只在崩溃恢复过程中产生，这时不再仔细区分各种PC端已处理、从而不再真正发往主机"},
    {78, "", "的情形，可能包括各种PC端检查发现错单以及本地撤单。"},
    {79, "2101", "撤单记录和被撤单记录的股票买卖方向不同"},
    {80, "2102", "撤单记录和被撤单记录的股票数量不同"},
};

const QColor cream(255, 251, 240);

QTableView *grid()
{
    return testsupport::child<QTableView>(rtnform, "grid");
}

} // namespace

class RtnCodeTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_forms = std::make_unique<Forms>();
        QVERIFY(rtnform);
        rtnform->show();
        QVERIFY(QTest::qWaitForWindowExposed(rtnform));
    }

    void cleanupTestCase()
    {
        rtnform->hide();
        m_forms.reset();
    }

    void init()
    {
        grid()->clearSelection();
        grid()->scrollToTop();
    }

    void window()
    {
        QCOMPARE(rtnform->windowTitle(), QStringLiteral("错误代码对照表"));
        QCOMPARE(rtnform->size(), QSize(685, 453));
        QCOMPARE(rtnform->minimumSize(), QSize(685, 453));
        QCOMPARE(rtnform->maximumSize(), QSize(685, 453));
        const Qt::WindowFlags flags = rtnform->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(flags.testFlag(Qt::WindowSystemMenuHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
        QCOMPARE(rtnform->font().family(), QStringLiteral("MS Sans Serif"));

        auto *box = testsupport::child<QGroupBox>(rtnform, "GroupBox1");
        QCOMPARE(box->title(), QStringLiteral("错误代码对照表"));
        QCOMPARE(box->geometry(), QRect(0, 0, 685, 49));
        auto *label1 = testsupport::child<QLabel>(box, "Label1");
        auto *label2 = testsupport::child<QLabel>(box, "Label2");
        QCOMPARE(label1->text(),
                 QStringLiteral("说明：错误代码位数为3位的为网络错误、以及上交所交易主机产生错误。"));
        QCOMPARE(label2->text(), QStringLiteral("错误代码位数为4位的为本地数据格式校验错误。"));
        QCOMPARE(label1->x(), 8);
        QCOMPARE(label2->x(), 44);
        QVERIFY(label1->y() < label2->y());
        QVERIFY(label2->geometry().bottom() < 49);
        // The grid fills the rest of the window.
        QCOMPARE(grid()->geometry(), QRect(0, 49, 685, 453 - 49));
    }

    void size()
    {
        QCOMPARE(rtnform->cells()->rowCount(), 81);
        QCOMPARE(rtnform->cells()->columnCount(), 2);
        QCOMPARE(int(std::size(expectedRows)), 81);
        // Outside the grid there is nothing.
        QCOMPARE(rtnform->cell(0, 81), QString());
        QCOMPARE(rtnform->cell(2, 0), QString());
    }

    void rows_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("note");
        for (const ExpectedRow &expected : expectedRows) {
            QTest::addRow("row %d", expected.row)
                << expected.row << QString::fromUtf8(expected.code)
                << QString::fromUtf8(expected.note);
        }
    }

    void rows()
    {
        QFETCH(int, row);
        QFETCH(QString, code);
        QFETCH(QString, note);
        QCOMPARE(rtnform->cell(0, row), code);
        QCOMPARE(rtnform->cell(1, row), note);

        // What the view shows: row 0 as the column titles, column 0 as the
        // row titles, the notes in the cells.
        QAbstractItemModel *model = grid()->model();
        if (row == 0) {
            QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), note);
        } else {
            QCOMPARE(model->headerData(row, Qt::Vertical).toString(), code);
            QCOMPARE(model->index(row, 1).data().toString(), note);
            QVERIFY(!grid()->isRowHidden(row));
        }
    }

    void runOnNote()
    {
        QCOMPARE(rtnform->cell(0, 77), QStringLiteral("2100"));
        QCOMPARE(rtnform->cell(0, 78), QString());
        QCOMPARE(rtnform->cell(1, 77) + rtnform->cell(1, 78),
                 QStringLiteral("笼统的[PC端已处理]信息。只在崩溃恢复过程中产生，这时不再仔细区分各种"
                                "PC端已处理、从而不再真正发往主机的情形，可能包括各种PC端检查发现错单"
                                "以及本地撤单。"));
        // Every other row has a code.
        for (int row = 1; row <= 80; ++row) {
            if (row != 78)
                QVERIFY2(!rtnform->cell(0, row).isEmpty(), qPrintable(QString::number(row)));
        }
    }

    void sameNotes()
    {
        QStringList codes;
        for (int row = 1; row <= 80; ++row) {
            if (rtnform->cell(1, row) == QStringLiteral("无效操作员代码"))
                codes << rtnform->cell(0, row);
        }
        QCOMPARE(codes, (QStringList{QStringLiteral("202"), QStringLiteral("252"),
                                     QStringLiteral("401")}));
    }

    void codesAscending()
    {
        int previous = 0;
        int count = 0;
        for (int row = 1; row <= 80; ++row) {
            const QString code = rtnform->cell(0, row);
            if (code.isEmpty())
                continue;
            bool ok = false;
            const int value = code.toInt(&ok);
            QVERIFY2(ok, qPrintable(code));
            QVERIFY2(value > previous, qPrintable(code));
            previous = value;
            ++count;
        }
        QCOMPARE(count, 79);
    }

    void fullStops()
    {
        int rowsWithStops = 0;
        for (int row = 1; row <= 80; ++row) {
            const QString note = rtnform->cell(1, row);
            if (!note.contains(QStringLiteral("...")))
                continue;
            ++rowsWithStops;
            QVERIFY(note.endsWith(QStringLiteral(".......")));
            QVERIFY(!note.endsWith(QStringLiteral("........")));
        }
        QCOMPARE(rowsWithStops, 2);
    }

    void look()
    {
        QTableView *view = grid();
        QCOMPARE(view->horizontalHeader()->height(), 18);
        QCOMPARE(view->verticalHeader()->width(), 64);
        QCOMPARE(view->columnWidth(1), 618);
        for (int row = 1; row <= 80; ++row)
            QCOMPARE(view->rowHeight(row), 18);
        QVERIFY(view->showGrid());
        QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);

        // Fixed cells are cream: the blank right end of the title row, the
        // corner beside "返回代码", and the empty code cell of row 78.
        QImage image = view->grab().toImage();
        QCOMPARE(image.pixelColor(64 + 600, 9), cream);
        QCOMPARE(image.pixelColor(60, 9), cream);
        bool cornerHasText = false;
        for (int x = 2; x < 40 && !cornerHasText; ++x) {
            for (int y = 3; y < 15; ++y) {
                if (image.pixelColor(x, y) != cream) {
                    cornerHasText = true;
                    break;
                }
            }
        }
        QVERIFY(cornerHasText);

        view->scrollToBottom();
        QVERIFY(view->rowAt(0) > 1);
        const int y78 = view->rowViewportPosition(78);
        QVERIFY(y78 >= 0);
        image = view->grab().toImage();
        const int top = view->horizontalHeader()->height() + view->frameWidth();
        QCOMPARE(image.pixelColor(30, top + y78 + 9), cream);
        // The title row stays in place while the rows scroll.
        QCOMPARE(image.pixelColor(64 + 600, 9), cream);
        QCOMPARE(view->horizontalHeader()->geometry().top(), view->frameWidth());
    }

    void notEditable()
    {
        QTableView *view = grid();
        const QModelIndex index = view->model()->index(5, 1);
        view->scrollTo(index);
        const QPoint centre = view->visualRect(index).center();
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre);
        QTest::keyClick(view, Qt::Key_F2);
        QTest::keyClicks(view, QStringLiteral("x"));
        QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
        view->edit(index);
        // No editor was opened: editors live on the viewport.
        QVERIFY(view->viewport()->findChildren<QWidget *>().isEmpty());
        QVERIFY(!view->findChild<QLineEdit *>());
        QVERIFY(!view->model()->setData(index, QStringLiteral("x")));
        QCOMPARE(rtnform->cell(1, 5), QStringLiteral("证券被挂起"));
    }

    void rowSelection_data()
    {
        QTest::addColumn<int>("row");
        QTest::newRow("first") << 1;
        QTest::newRow("middle") << 40;
        QTest::newRow("run-on") << 78;
        QTest::newRow("last") << 80;
    }

    void rowSelection()
    {
        QFETCH(int, row);
        QTableView *view = grid();
        QAbstractItemModel *model = view->model();
        QItemSelectionModel *selection = view->selectionModel();

        const QModelIndex other = model->index(row == 1 ? 2 : row - 1, 1);
        view->scrollTo(other);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(other).center());
        QVERIFY(selection->isRowSelected(other.row()));

        const QModelIndex index = model->index(row, 1);
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
        // The whole row, code and note, and nothing else.
        QVERIFY(selection->isSelected(model->index(row, 0)));
        QVERIFY(selection->isSelected(model->index(row, 1)));
        QCOMPARE(selection->selectedRows().size(), 1);
        QCOMPARE(selection->selectedRows().first().row(), row);
        QVERIFY(!selection->isRowSelected(other.row()));
    }

    // Shown modally any number of times, the window keeps its rows.
    void shownAgain()
    {
        rtnform->hide();
        for (int showing = 0; showing < 2; ++showing) {
            QStringList seen;
            bool modal = false;
            ModalWatcher watcher([&](QWidget *window, const testsupport::ModalRecord &record) {
                modal = record.objectName == QStringLiteral("Trtnform") && window == rtnform;
                for (int row = 0; row <= 80; ++row)
                    seen << rtnform->cell(0, row) + QLatin1Char('|') + rtnform->cell(1, row);
                window->close();
            });
            rtnform->exec();
            QVERIFY(modal);
            QCOMPARE(seen.size(), 81);
            for (const ExpectedRow &expected : expectedRows) {
                QCOMPARE(seen.at(expected.row), QString::fromUtf8(expected.code) + QLatin1Char('|')
                                                    + QString::fromUtf8(expected.note));
            }
        }
        rtnform->show();
        QVERIFY(QTest::qWaitForWindowExposed(rtnform));
    }

private:
    std::unique_ptr<Forms> m_forms;
};

SQLTOOL_TEST_MAIN(RtnCodeTest)
#include "tst_rtnform.moc"
