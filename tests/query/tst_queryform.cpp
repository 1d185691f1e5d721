#include "querytestsupport.h"

#include <QCursor>
#include <QGroupBox>
#include <QTabWidget>

using namespace querytest;

namespace {

// Statement lines as the query window must send them.
const QString TradeSelect = QStringLiteral(
    "select gddm,zqdm,cjsl,cjjg,cjje,bcye,cjbh,bcrq,cjsj,sbsj,gdxm,gsdm,sqbh,bs,mjbh from ashare_cjhb");
const QString NoTimeWhere = QStringLiteral(
    "where (gddm like :tmpgddm) and (zqdm like :tmpzqdm) and (cjsl like :tmpcjsl) and (bcye like :tmpbcye) and (bs like :tmpbs)");
const QString SbsjRangeWhere = QStringLiteral(
    "where (gddm like :tmpgddm) and (zqdm like :tmpzqdm) and (cjsl like :tmpcjsl) and (bcye like :tmpbcye) and (bs like :tmpbs) and(sbsj between :tmptime3 and :tmptime4) ");
const QString CjsjRangeWhere = QStringLiteral(
    "where (gddm like :tmpgddm) and (zqdm like :tmpzqdm) and (cjsl like :tmpcjsl) and (bcye like :tmpbcye) and (bs like :tmpbs) and(cjsj between :tmptime5 and :tmptime6)");
const QString SplitSelect = QStringLiteral(
    "select distinct A.* from ashare_cjhb  A INNER JOIN ashare_cjhb B ON (A.cjbh=B.cjbh)and (A.gddm like :tmpgddm) and (A.zqdm like :tmpzqdm) and (A.cjsl like :tmpcjsl) and (A.bcye like :tmpbcye) and (A.bs like :tmpbs) ");
const QString SbsjSplitWhere = QStringLiteral(
    "where(A.sbsj between :tmptime3 and '95959')or(B.sbsj between '100000' and :tmptime4)");
const QString CjsjSplitWhere = QStringLiteral(
    "where(A.cjsj between :tmptime5 and '95959')or(B.cjsj between '100000' and :tmptime6)");
const QString OrdwthSelect = QStringLiteral(
    "select rec_num,acc,stock,bs,qty,price,time,date,status,owflag,ordrec,reff,firmid,checkord from ashare_ordwth");
const QString OrdwthWhere = QStringLiteral(
    "where (acc like :tmpgddm) and (stock like :tmpzqdm) and (qty like :tmpcjsl) and (price like :tmpbcye)and (bs like :tmpbs)");
const QString Ordwth2Select = QStringLiteral(
    "select rec_num,acc,stock,bs,qty,qty2,price,time,date,status,remark,status1,owflag,ordrec,teordernum,reff,firmid,checkord from ashare_ordwth2");
const QString Ordwth2Where = QStringLiteral(
    "where (acc like :tmpgddm) and (stock like :tmpzqdm) and (qty like :tmpcjsl) and (price like :tmpbcye)and (bs like :tmpbs)and (qty2 like :tmpqty2)");

const QString TradeFiveNotNull = QStringLiteral(
    "gddm is not null and zqdm is not null and cjsl is not null and bcye is not null and bs is not null");

// Independent count of the rows a time condition lists: times compared as
// times of day (numbers), the split range as "own time in the nine o'clock
// part or a row of the same trade number in the part from 10:00:00".
qint64 expectedTradeCount(const QString &kind, const QString &column, const QString &from,
                          const QString &to, const QString &extra = {})
{
    QString where = TradeFiveNotNull;
    if (!extra.isEmpty())
        where += QStringLiteral(" and ") + extra;
    if (kind == QLatin1String("range")) {
        where += QStringLiteral(" and cast(%1 as integer) between %2 and %3").arg(column, from, to);
    } else if (kind == QLatin1String("split")) {
        where += QStringLiteral(" and (cast(A.%1 as integer) between %2 and 95959 or exists (select 1 from "
                                "ashare_cjhb B where B.cjbh = A.cjbh and cast(B.%1 as integer) between "
                                "100000 and %3))")
                     .arg(column, from, to);
    }
    return sqliteCount(databasePath(), QStringLiteral("select count(*) from ashare_cjhb A where ") + where);
}

QStringList captions(int gridNumber)
{
    QStringList list;
    for (int column = 0; column < source(gridNumber)->columnCount(); ++column)
        list << caption(gridNumber, column);
    return list;
}

} // namespace

class QueryFormTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        testsupport::generateDatabase(databasePath(), 3000, 7);
        // One trade whose first row lies after the end bound 142559 and
        // whose second row lies inside the part from 10:00:00.
        sqliteExec(databasePath(), TradeInsert + QStringLiteral(
            "('A900000001','X','20261208','T900001','30001',300,0,'600519','150500','150500',10,3000,'SPLITA0001','B','00001'),"
            "('A900000002','Y','20261208','T900001','30001',300,0,'600519','110000','110000',10,3000,'SPLITB0001','S','00001'),"
            "('A900000003','Z','20261208','T900002','30001',100,0,'016009','94515','94515',10,1000,'EQUAL00001','B','00001'),"
            "('A900000004','Z','20261208','T900003','30001',100,0,'106001','94515','94515',10,1000,'EQUAL00002','S','00001')"));
        sqliteExec(databasePath(), OrderInsert + QStringLiteral(
            "(900001,'20261208','09:30:00','R1','A900000001','600000','B','10.50','1000','P','ORD','12345','c'),"
            "(900002,'20261208','09:30:01','R2','A900000001','600000','S','10.05','2100','P','ORD','12345','c'),"
            "(900003,'20261208','09:30:02','R3','A900000001','600000','B',NULL,'100','P','ORD','12345','c');"
            "insert into ashare_ordwth2 (rec_num,date,time,reff,acc,stock,bs,price,qty,qty2,status,remark,status1,owflag,teordernum,firmid,checkord) values "
            "(900001,'20261208','09:30:00','R1','A900000001','600000','B','10.50','1000','1000','O','ok','Y','WTH','H1','12345','c'),"
            "(900002,'20261208','09:30:01','R2','A900000001','600000','S','10.05','2100',NULL,'O','ok','Y','ORD','H2','12345','c')"));
    }

    void init() { m_session = std::make_unique<Session>(); }
    void cleanup() { m_session.reset(); }

    // ---- The window's frame ----

    void frame()
    {
        QCOMPARE(queryform->windowTitle(), QStringLiteral("数据查询"));
        QCOMPARE(queryform->size(), QSize(776, 562));
        QCOMPARE(queryform->font().family(), QStringLiteral("宋体"));
        QCOMPARE(queryform->font().pixelSize(), 12);

        auto *pages = control<QTabWidget>(QStringLiteral("PageControl1"));
        QCOMPARE(pages->count(), 3);
        QCOMPARE(pages->currentIndex(), 0);
        QCOMPARE(pages->geometry(), queryform->rect());
        const QStringList pageNames = {"TabSheet1", "TabSheet2", "TabSheet3"};
        const QStringList pageCaptions = {"查询[成交回报数据表(Ashare_Cjhb)]",
                                          "查询[发送数据表(Ashare_Ordwth)]",
                                          "查询[接收返回确认表(Ashare_Ordwth2)]"};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(pages->widget(i)->objectName(), pageNames.at(i));
            QCOMPARE(pages->tabText(i), pageCaptions.at(i));
        }
    }

    void groupBoxes_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QStringList>("boxes"); // conditions, operations, result
        QTest::addColumn<QString>("gridName");
        QTest::newRow("page 1") << 0 << QStringList{"GroupBox2", "GroupBox3", "GroupBox1"} << "DBGrid1";
        QTest::newRow("page 2") << 1 << QStringList{"GroupBox6", "GroupBox5", "GroupBox4"} << "DBGrid2";
        QTest::newRow("page 3") << 2 << QStringList{"GroupBox7", "GroupBox8", "GroupBox9"} << "DBGrid3";
    }
    void groupBoxes()
    {
        QFETCH(int, page);
        QFETCH(QStringList, boxes);
        QFETCH(QString, gridName);
        auto *pages = control<QTabWidget>(QStringLiteral("PageControl1"));
        pages->setCurrentIndex(page);
        QCoreApplication::processEvents();
        QWidget *sheet = pages->widget(page);
        auto *conditions = control<QGroupBox>(boxes.at(0));
        auto *operations = control<QGroupBox>(boxes.at(1));
        auto *result = control<QGroupBox>(boxes.at(2));
        QCOMPARE(conditions->title(), QStringLiteral("查询条件"));
        QCOMPARE(operations->title(), QStringLiteral("操作"));
        QCOMPARE(result->title(), QStringLiteral("查询结果"));
        for (QGroupBox *groupBox : {conditions, operations, result}) {
            QCOMPARE(groupBox->parentWidget(), sheet);
            QCOMPARE(groupBox->width(), sheet->width());
        }
        QCOMPARE(conditions->height(), 89);
        QCOMPARE(operations->height(), 38);
        QCOMPARE(conditions->y(), 0);
        QCOMPARE(operations->y(), 89);
        QCOMPARE(result->y(), 89 + 38);
        QCOMPARE(result->y() + result->height(), sheet->height());
        QVERIFY(result->isAncestorOf(control<QTableView>(gridName)));
    }

    void gridColumns()
    {
        QCOMPARE(captions(1), TradeCaptions);
        QCOMPARE(captions(2), (QStringList{"记录编号", "股东帐号", "证券代码", "买卖方向", "委托数量",
                                           "委托价格", "入表时间", "入表日期", "委托状态", "委撤标志",
                                           "委撤状态", "REFF", "席位编号", "加密校验码"}));
        QCOMPARE(captions(3), (QStringList{"记录编号", "股东帐号", "证券代码", "买卖方向", "委托数量",
                                           "撤单数量", "委托价格", "入表时间", "入表日期", "处理结果",
                                           "返回信息", "委托状态", "委撤标志", "委撤状态", "合同编号",
                                           "REFF", "席位编号", "加密校验码"}));
        // Before any list command: captions only, no rows, no field names.
        for (int number = 1; number <= 3; ++number) {
            QCOMPARE(grid(number)->model(), source(number));
            QCOMPARE(source(number)->rowCount(), 0);
            for (int column = 0; column < source(number)->columnCount(); ++column)
                QVERIFY(source(number)->fieldName(column).isEmpty());
        }
    }

    void gridBehaviour()
    {
        for (int number = 1; number <= 3; ++number) {
            QTableView *view = grid(number);
            showPageOf(view);
            QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
            QCOMPARE(view->selectionMode(), QAbstractItemView::SingleSelection);
            QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectItems);
            QVERIFY(view->tabKeyNavigation());
            QVERIFY(view->showGrid());
            QVERIFY(!view->horizontalHeader()->sectionsMovable());
            QCOMPARE(view->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
            QVERIFY(view->horizontalHeader()->sectionsClickable());
            QVERIFY(!view->verticalHeader()->isHidden());
            QVERIFY2(view->verticalHeader()->width() <= 16, qPrintable(QString::number(view->verticalHeader()->width())));
        }
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const QList<QPair<const char *, const char *>> controls = {
            {"Button1", "查询全部数据"}, {"Button2", "按条件查询"}, {"Button3", "重添条件"},
            {"Button4", "查询全部数据"}, {"Button5", "按条件查询"}, {"Button6", "重添条件"},
            {"Button7", "重添条件"}, {"Button8", "查询全部数据"}, {"Button9", "按条件查询"},
            {"Button10", "错误代码表"}, {"Button11", "错误代码表"}, {"Button12", "错误代码表"},
            {"Button13", "查询统计"}, {"Button14", "查询统计"},
            {"Label11", "符合条件记录数:"}, {"Label14", "符合条件记录数:"}, {"Label38", "符合条件记录数:"},
            {"Label12", ""}, {"Label15", ""}, {"Label39", ""},
        };
        for (const auto &c : controls)
            QTest::newRow(c.first) << QString::fromLatin1(c.first) << QString::fromUtf8(c.second);
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QWidget *widget = control(name);
        if (auto *button = qobject_cast<QPushButton *>(widget)) {
            QCOMPARE(button->text(), text);
            QVERIFY(!button->autoDefault());
        } else {
            QCOMPARE(qobject_cast<QLabel *>(widget)->text(), text);
        }
    }

    // The labels and hints of the condition boxes, in their rows.
    void conditionLabels_data()
    {
        QTest::addColumn<QString>("groupBox");
        QTest::addColumn<QStringList>("firstRow");
        QTest::addColumn<QStringList>("secondRow");
        QTest::newRow("page 1") << "GroupBox2"
                                << QStringList{"股东代码:", "Edit1", "证券代码:", "Edit2", "申报时间:", "Edit3",
                                               "至", "Edit4", "(格式:HHMMSS[时分秒])", "Button3"}
                                << QStringList{"成交数量:", "Edit7", "本次余额:", "Edit8", "成交时间:", "Edit5",
                                               "至", "Edit6", "买卖方向:", "Edit11", "(B:买入)"};
        QTest::newRow("page 2") << "GroupBox6"
                                << QStringList{"股东代码:", "Edit9", "证券代码:", "Edit10", "Button6"}
                                << QStringList{"委托数量:", "Edit14", "委托价格:", "Edit15", "买卖方向:",
                                               "Edit13", "(B:买入，S:卖出)"};
        QTest::newRow("page 3") << "GroupBox7"
                                << QStringList{"股东代码:", "Edit16", "证券代码:", "Edit17", "撤单数量:",
                                               "Edit18", "Button7"}
                                << QStringList{"委托数量:", "Edit19", "委托价格:", "Edit20", "买卖方向:",
                                               "Edit21", "(B:买入，S:卖出)"};
    }
    void conditionLabels()
    {
        QFETCH(QString, groupBox);
        QFETCH(QStringList, firstRow);
        QFETCH(QStringList, secondRow);
        QWidget *parent = control(groupBox);
        // A control by objectName, a label by its text (in the given row,
        // for a text that occurs in both).
        const auto find = [parent](const QString &key, int row) -> QWidget * {
            if (QWidget *named = parent->findChild<QWidget *>(key))
                return named;
            QWidget *found = nullptr;
            for (QLabel *label : parent->findChildren<QLabel *>()) {
                if (label->text() != key)
                    continue;
                if (!found || (row == 0) == (label->y() < found->y()))
                    found = label;
            }
            return found;
        };
        const QList<QStringList> rows = {firstRow, secondRow};
        int firstRowBottom = 0;
        for (int row = 0; row < 2; ++row) {
            int left = -1;
            for (const QString &key : rows.at(row)) {
                QWidget *widget = find(key, row);
                QVERIFY2(widget, qPrintable(key));
                QVERIFY2(widget->x() > left, qPrintable(key));
                left = widget->x();
                if (row == 0)
                    firstRowBottom = qMax(firstRowBottom, widget->geometry().center().y());
                else
                    QVERIFY2(widget->geometry().center().y() > firstRowBottom, qPrintable(key));
            }
        }
    }

    void tabOrder_data()
    {
        QTest::addColumn<QStringList>("order");
        QTest::newRow("page 1 conditions") << QStringList{"Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "Edit6",
                                                          "Edit7", "Edit8", "Button3", "Edit11"};
        QTest::newRow("page 1 operations") << QStringList{"Button1", "Button2", "Button10", "Button13"};
        QTest::newRow("page 2 conditions") << QStringList{"Edit9", "Edit10", "Edit14", "Edit15", "Button6", "Edit13"};
        QTest::newRow("page 2 operations") << QStringList{"Button4", "Button5", "Button11", "Button14"};
        QTest::newRow("page 2 boxes") << QStringList{"DBGrid2", "Button4", "Edit9"};
        QTest::newRow("page 3 conditions") << QStringList{"Edit16", "Edit17", "Edit19", "Edit20", "Button7",
                                                          "Edit21", "Edit18"};
        QTest::newRow("page 3 operations") << QStringList{"Button8", "Button9", "Button12"};
        QTest::newRow("page 3 boxes") << QStringList{"Edit18", "Button8", "DBGrid3"};
    }
    void tabOrder()
    {
        QFETCH(QStringList, order);
        // Follow the focus chain from the first control and note where the
        // others come.
        QWidget *first = control(order.first());
        QStringList met;
        QWidget *w = first;
        do {
            if (order.contains(w->objectName()) && !met.contains(w->objectName())
                && (w->focusPolicy() & Qt::TabFocus))
                met << w->objectName();
            w = w->nextInFocusChain();
        } while (w != first && met.size() < order.size());
        QCOMPARE(met, order);
    }

    // ---- List all ----

    void listAll_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("gridNumber");
        QTest::addColumn<QString>("countLabel");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("page 1") << "Button1" << 1 << "Label12" << "ashare_cjhb" << TradeSelect
                                << QStringList{"gddm", "zqdm", "cjsl", "cjjg", "cjje", "bcye", "cjbh", "bcrq",
                                               "sbsj", "cjsj", "gdxm", "gsdm", "sqbh", "bs", "mjbh"};
        QTest::newRow("page 2") << "Button4" << 2 << "Label15" << "ashare_ordwth" << OrdwthSelect
                                << QStringList{"rec_num", "acc", "stock", "bs", "qty", "price", "time", "date",
                                               "status", "owflag", "ordrec", "reff", "firmid", "checkord"};
        QTest::newRow("page 3") << "Button8" << 3 << "Label39" << "ashare_ordwth2" << Ordwth2Select
                                << QStringList{"rec_num", "acc", "stock", "bs", "qty", "qty2", "price", "time",
                                               "date", "status", "remark", "status1", "owflag", "ordrec",
                                               "teordernum", "reff", "firmid", "checkord"};
    }
    void listAll()
    {
        QFETCH(QString, button);
        QFETCH(int, gridNumber);
        QFETCH(QString, countLabel);
        QFETCH(QString, table);
        QFETCH(QString, statement);
        QFETCH(QStringList, fields);
        testsupport::ModalWatcher watcher;
        click(button);
        QCOMPARE(watcher.records.size(), 0);
        const qint64 expected = sqliteCount(databasePath(), QStringLiteral("select count(*) from ") + table);
        QCOMPARE(labelText(countLabel), QString::number(expected));
        Query *query = source(gridNumber)->dataSet();
        QCOMPARE(query->lastStatement(), statement);
        QCOMPARE(query->recordCount(), int(expected));
        QCOMPARE(source(gridNumber)->rowCount(), int(expected));
        for (int column = 0; column < fields.size(); ++column)
            QCOMPARE(source(gridNumber)->fieldName(column), fields.at(column));
        // The grid shows the bound field at each position.
        const QStringList shown = columnTexts(gridNumber, fields.size() - 1);
        QCOMPARE(shown, fieldValues(query, fields.last()));
    }

    // In DBGrid1 sbsj stands before cjsj, whatever the select order.
    void sbsjBeforeCjsj()
    {
        click(QStringLiteral("Button1"));
        QCOMPARE(caption(1, 8), QStringLiteral("申报时间"));
        QCOMPARE(columnTexts(1, 8), fieldValues(datamod->qry1, QStringLiteral("sbsj")));
        QCOMPARE(columnTexts(1, 9), fieldValues(datamod->qry1, QStringLiteral("cjsj")));
        QVERIFY(columnTexts(1, 8) != columnTexts(1, 9));
    }

    // ---- List by condition on the trade report page ----

    void tradeConditions_data()
    {
        QTest::addColumn<QString>("sbsjFrom");
        QTest::addColumn<QString>("sbsjTo");
        QTest::addColumn<QString>("cjsjFrom");
        QTest::addColumn<QString>("cjsjTo");
        QTest::addColumn<QString>("kind");   // none, notime, range, split
        QTest::addColumn<QString>("column"); // sbsj or cjsj
        QTest::addColumn<QStringList>("lines");

        const QStringList noLines;
        QTest::newRow("no time") << "" << "" << "" << "" << "notime" << "" << QStringList{TradeSelect, NoTimeWhere};
        QTest::newRow("sbsj 5/5") << "94515" << "95959" << "" << "" << "range" << "sbsj"
                                  << QStringList{TradeSelect, SbsjRangeWhere};
        QTest::newRow("sbsj 6/6") << "100000" << "142559" << "" << "" << "range" << "sbsj"
                                  << QStringList{TradeSelect, SbsjRangeWhere};
        QTest::newRow("sbsj equal bounds") << "94515" << "94515" << "" << "" << "range" << "sbsj"
                                           << QStringList{TradeSelect, SbsjRangeWhere};
        QTest::newRow("sbsj split") << "94515" << "142559" << "" << "" << "split" << "sbsj"
                                    << QStringList{SplitSelect, SbsjSplitWhere};
        QTest::newRow("sbsj split, lone cjsj ignored") << "93000" << "103000" << "" << "140000" << "split"
                                                       << "sbsj" << QStringList{SplitSelect, SbsjSplitWhere};
        QTest::newRow("cjsj 5/5") << "" << "" << "93000" << "95959" << "range" << "cjsj"
                                  << QStringList{TradeSelect, CjsjRangeWhere};
        QTest::newRow("cjsj 6/6") << "" << "" << "130000" << "150000" << "range" << "cjsj"
                                  << QStringList{TradeSelect, CjsjRangeWhere};
        QTest::newRow("cjsj split, lone sbsj ignored") << "94515" << "" << "95000" << "100500" << "split"
                                                       << "cjsj" << QStringList{SplitSelect, CjsjSplitWhere};
        QTest::newRow("both ranges") << "94515" << "95959" << "100000" << "142559" << "none" << "" << noLines;
        QTest::newRow("sbsj 8-start 5/6") << "85959" << "100000" << "" << "" << "none" << "" << noLines;
        QTest::newRow("sbsj 6/5") << "100000" << "95959" << "" << "" << "none" << "" << noLines;
        QTest::newRow("cjsj 6/5") << "" << "" << "142559" << "94515" << "none" << "" << noLines;
        QTest::newRow("length 4") << "1000" << "1200" << "" << "" << "none" << "" << noLines;
        QTest::newRow("lone from") << "94515" << "" << "" << "" << "none" << "" << noLines;
        QTest::newRow("lone to") << "" << "" << "" << "142559" << "none" << "" << noLines;
    }
    void tradeConditions()
    {
        QFETCH(QString, sbsjFrom);
        QFETCH(QString, sbsjTo);
        QFETCH(QString, cjsjFrom);
        QFETCH(QString, cjsjTo);
        QFETCH(QString, kind);
        QFETCH(QString, column);
        QFETCH(QStringList, lines);

        testsupport::ModalWatcher watcher;
        // A previous result that a "do nothing" must leave alone.
        click(QStringLiteral("Button1"));
        const ResultSet *before = datamod->qry1->result();
        const QString countBefore = labelText(QStringLiteral("Label12"));
        const QString statementBefore = datamod->qry1->lastStatement();
        QVERIFY(before);

        type(QStringLiteral("Edit3"), sbsjFrom);
        type(QStringLiteral("Edit4"), sbsjTo);
        type(QStringLiteral("Edit5"), cjsjFrom);
        type(QStringLiteral("Edit6"), cjsjTo);
        click(QStringLiteral("Button2"));
        QCOMPARE(watcher.records.size(), 0);

        if (kind == QLatin1String("none")) {
            QVERIFY(datamod->qry1->active());
            QCOMPARE(datamod->qry1->result(), before);
            QCOMPARE(datamod->qry1->lastStatement(), statementBefore);
            QCOMPARE(labelText(QStringLiteral("Label12")), countBefore);
            QCOMPARE(source(1)->rowCount(), countBefore.toInt());
            return;
        }
        QCOMPARE(datamod->qry1->lastStatement(), driverText(lines));
        QStringList bound(5, QStringLiteral("%%"));
        if (column == QLatin1String("sbsj"))
            bound << sbsjFrom << sbsjTo;
        else if (column == QLatin1String("cjsj"))
            bound << cjsjFrom << cjsjTo;
        QCOMPARE(datamod->qry1->lastBoundValues(), bound);
        const QString from = column == QLatin1String("sbsj") ? sbsjFrom : cjsjFrom;
        const QString to = column == QLatin1String("sbsj") ? sbsjTo : cjsjTo;
        const qint64 expected = expectedTradeCount(kind, column, from, to);
        QCOMPARE(labelText(QStringLiteral("Label12")), QString::number(expected));
        QCOMPARE(source(1)->rowCount(), int(expected));
    }

    // Every box empty: "%%" does not match a null, so fewer rows than all.
    void emptyConditionsExcludeNulls()
    {
        click(QStringLiteral("Button2"));
        const qint64 all = sqliteCount(databasePath(), QStringLiteral("select count(*) from ashare_cjhb"));
        const qint64 expected = expectedTradeCount(QStringLiteral("notime"), {}, {}, {});
        QVERIFY(expected < all);
        QCOMPARE(labelText(QStringLiteral("Label12")), QString::number(expected));
    }

    // 600 matches every code containing 600, not only those beginning so.
    void substringMatch()
    {
        type(QStringLiteral("Edit2"), QStringLiteral("600"));
        click(QStringLiteral("Button2"));
        const qint64 expected = expectedTradeCount(QStringLiteral("notime"), {}, {}, {},
                                                   QStringLiteral("instr(zqdm, '600') > 0"));
        const qint64 notAtStart = sqliteCount(databasePath(), QStringLiteral(
            "select count(*) from ashare_cjhb where instr(zqdm, '600') > 1"));
        QVERIFY(notAtStart >= 2);
        QCOMPARE(labelText(QStringLiteral("Label12")), QString::number(expected));
        QCOMPARE(datamod->qry1->lastBoundValues(),
                 (QStringList{"%%", "%600%", "%%", "%%", "%%"}));
        for (const QString &code : fieldValues(datamod->qry1, QStringLiteral("zqdm")))
            QVERIFY(code.contains(QStringLiteral("600")));
    }

    void allConditionBoxes()
    {
        type(QStringLiteral("Edit1"), QStringLiteral("A9"));
        type(QStringLiteral("Edit2"), QStringLiteral("6"));
        type(QStringLiteral("Edit7"), QStringLiteral("00"));
        type(QStringLiteral("Edit8"), QStringLiteral("0"));
        type(QStringLiteral("Edit11"), QStringLiteral("B"));
        type(QStringLiteral("Edit3"), QStringLiteral("90000"));
        type(QStringLiteral("Edit4"), QStringLiteral("150000"));
        click(QStringLiteral("Button2"));
        QCOMPARE(datamod->qry1->lastBoundValues(),
                 (QStringList{"%A9%", "%6%", "%00%", "%0%", "%B%", "90000", "150000"}));
        const qint64 expected = expectedTradeCount(
            QStringLiteral("split"), QStringLiteral("sbsj"), QStringLiteral("90000"), QStringLiteral("150000"),
            QStringLiteral("instr(A.gddm,'A9')>0 and instr(A.zqdm,'6')>0 and instr(A.cjsl,'00')>0 "
                           "and instr(A.bcye,'0')>0 and A.bs='B'"));
        QVERIFY(expected > 0);
        QCOMPARE(labelText(QStringLiteral("Label12")), QString::number(expected));
    }

    // A row whose own time lies after the end bound is listed because another
    // row of the same trade lies between 100000 and the end bound.
    void splitListsRowThroughItsTrade()
    {
        type(QStringLiteral("Edit3"), QStringLiteral("94515"));
        type(QStringLiteral("Edit4"), QStringLiteral("142559"));
        click(QStringLiteral("Button2"));
        const QStringList listed = fieldValues(datamod->qry1, QStringLiteral("sqbh"));
        QVERIFY(listed.contains(QStringLiteral("SPLITA0001")));
        QVERIFY(listed.contains(QStringLiteral("SPLITB0001")));
        // Distinct rows: a row is its order's sqbh and its own trade number.
        const QStringList numbers = fieldValues(datamod->qry1, QStringLiteral("cjbh"));
        QSet<QString> rows;
        for (qsizetype i = 0; i < listed.size(); ++i)
            rows.insert(listed[i] + QLatin1Char('|') + numbers.value(i));
        QCOMPARE(listed.size(), int(rows.size()));
        // The range query on 6/6 bounds after 10:00:00 does not list it.
        type(QStringLiteral("Edit3"), QStringLiteral("100000"));
        click(QStringLiteral("Button2"));
        QVERIFY(!fieldValues(datamod->qry1, QStringLiteral("sqbh")).contains(QStringLiteral("SPLITA0001")));
    }

    void equalBoundsListExactlyThatTime()
    {
        type(QStringLiteral("Edit3"), QStringLiteral("94515"));
        type(QStringLiteral("Edit4"), QStringLiteral("94515"));
        click(QStringLiteral("Button2"));
        const qint64 expected = sqliteCount(databasePath(), QStringLiteral(
            "select count(*) from ashare_cjhb where sbsj = '94515' and ") + TradeFiveNotNull);
        QVERIFY(expected >= 2);
        QCOMPARE(labelText(QStringLiteral("Label12")), QString::number(expected));
        for (const QString &time : fieldValues(datamod->qry1, QStringLiteral("sbsj")))
            QCOMPARE(time, QStringLiteral("94515"));
    }

    void noMatchGivesZero()
    {
        type(QStringLiteral("Edit2"), QStringLiteral("999999"));
        click(QStringLiteral("Button2"));
        QCOMPARE(labelText(QStringLiteral("Label12")), QStringLiteral("0"));
        QVERIFY(datamod->qry1->active());
        QCOMPARE(source(1)->rowCount(), 0);
    }

    // "重添条件" empties the boxes and leaves result and count alone.
    void emptyConditions_data()
    {
        QTest::addColumn<QString>("listButton");
        QTest::addColumn<QString>("clearButton");
        QTest::addColumn<QString>("countLabel");
        QTest::addColumn<int>("gridNumber");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("page 1") << "Button1" << "Button3" << "Label12" << 1
                                << QStringList{"Edit1", "Edit2", "Edit3", "Edit4", "Edit5", "Edit6", "Edit7",
                                               "Edit8", "Edit11"};
        QTest::newRow("page 2") << "Button4" << "Button6" << "Label15" << 2
                                << QStringList{"Edit9", "Edit10", "Edit13", "Edit14", "Edit15"};
        QTest::newRow("page 3") << "Button8" << "Button7" << "Label39" << 3
                                << QStringList{"Edit16", "Edit17", "Edit18", "Edit19", "Edit20", "Edit21"};
    }
    void emptyConditions()
    {
        QFETCH(QString, listButton);
        QFETCH(QString, clearButton);
        QFETCH(QString, countLabel);
        QFETCH(int, gridNumber);
        QFETCH(QStringList, boxes);
        click(listButton);
        const QString count = labelText(countLabel);
        for (const QString &name : boxes)
            type(name, name == QLatin1String("Edit11") || name == QLatin1String("Edit13")
                               || name == QLatin1String("Edit21")
                           ? QStringLiteral("B")
                           : QStringLiteral("1"));
        for (const QString &name : boxes)
            QVERIFY(!box(name)->text().isEmpty());
        click(clearButton);
        for (const QString &name : boxes)
            QVERIFY2(box(name)->text().isEmpty(), qPrintable(name));
        QCOMPARE(labelText(countLabel), count);
        QCOMPARE(QString::number(grid(gridNumber)->model()->rowCount()), count);
    }

    // ---- Pages 2 and 3 ----

    void orderConditions_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QStringList>("typed"); // box, text, box, text ...
        QTest::addColumn<QString>("where");     // independent condition
        QTest::addColumn<QStringList>("bound");
        const QString notNull2 = QStringLiteral(
            "acc is not null and stock is not null and qty is not null and price is not null and bs is not null");
        const QString notNull3 = notNull2 + QStringLiteral(" and qty2 is not null");
        QTest::newRow("page 2 empty") << 2 << QStringList{} << notNull2
                                      << QStringList{"%%", "%%", "%%", "%%", "%%"};
        QTest::newRow("page 2 quantity 100") << 2 << QStringList{"Edit14", "100"}
                                             << notNull2 + " and instr(qty,'100')>0"
                                             << QStringList{"%%", "%%", "%100%", "%%", "%%"};
        QTest::newRow("page 2 all boxes") << 2
                                          << QStringList{"Edit9", "A9", "Edit10", "600", "Edit14", "00",
                                                         "Edit15", "0.", "Edit13", "S"}
                                          << notNull2 + " and instr(acc,'A9')>0 and instr(stock,'600')>0 and "
                                                        "instr(qty,'00')>0 and instr(price,'0.')>0 and bs='S'"
                                          << QStringList{"%A9%", "%600%", "%00%", "%0.%", "%S%"};
        QTest::newRow("page 3 empty") << 3 << QStringList{} << notNull3
                                      << QStringList{"%%", "%%", "%%", "%%", "%%", "%%"};
        QTest::newRow("page 3 cancelled 1000") << 3 << QStringList{"Edit18", "1000"}
                                               << notNull3 + " and instr(qty2,'1000')>0"
                                               << QStringList{"%%", "%%", "%%", "%%", "%%", "%1000%"};
        QTest::newRow("page 3 all boxes") << 3
                                          << QStringList{"Edit16", "A", "Edit17", "60", "Edit18", "0",
                                                         "Edit19", "1", "Edit20", "1", "Edit21", "B"}
                                          << notNull3 + " and instr(acc,'A')>0 and instr(stock,'60')>0 and "
                                                        "instr(qty2,'0')>0 and instr(qty,'1')>0 and "
                                                        "instr(price,'1')>0 and bs='B'"
                                          << QStringList{"%A%", "%60%", "%1%", "%1%", "%B%", "%0%"};
    }
    void orderConditions()
    {
        QFETCH(int, page);
        QFETCH(QStringList, typed);
        QFETCH(QString, where);
        QFETCH(QStringList, bound);
        for (int i = 0; i + 1 < typed.size(); i += 2)
            type(typed.at(i), typed.at(i + 1));
        click(page == 2 ? QStringLiteral("Button5") : QStringLiteral("Button9"));
        Query *query = page == 2 ? datamod->qry2 : datamod->qry3;
        QCOMPARE(query->lastStatement(), page == 2 ? driverText({OrdwthSelect, OrdwthWhere})
                                                   : driverText({Ordwth2Select, Ordwth2Where}));
        QCOMPARE(query->lastBoundValues(), bound);
        const QString table = page == 2 ? QStringLiteral("ashare_ordwth") : QStringLiteral("ashare_ordwth2");
        const qint64 expected = sqliteCount(databasePath(),
                                            QStringLiteral("select count(*) from %1 where %2").arg(table, where));
        const qint64 all = sqliteCount(databasePath(), QStringLiteral("select count(*) from ") + table);
        QVERIFY(expected > 0);
        QVERIFY(expected < all);
        QCOMPARE(labelText(page == 2 ? QStringLiteral("Label15") : QStringLiteral("Label39")),
                 QString::number(expected));
    }

    // 100 also matches 1000 and 2100.
    void quantitySubstring()
    {
        type(QStringLiteral("Edit14"), QStringLiteral("100"));
        click(QStringLiteral("Button5"));
        const QStringList quantities = fieldValues(datamod->qry2, QStringLiteral("qty"));
        QVERIFY(quantities.contains(QStringLiteral("1000")));
        QVERIFY(quantities.contains(QStringLiteral("2100")));
    }

    // ---- Failures, shared buttons, state ----

    // A failing list command: error box, query closed, grid empty, count
    // kept from the last successful command.
    void failingListKeepsCount()
    {
        click(QStringLiteral("Button1"));
        const QString count = labelText(QStringLiteral("Label12"));
        sqliteExec(databasePath(), QStringLiteral("alter table ashare_cjhb rename to cjhb_away"));
        testsupport::ModalWatcher watcher;
        click(QStringLiteral("Button1"));
        sqliteExec(databasePath(), QStringLiteral("alter table cjhb_away rename to ashare_cjhb"));
        QCOMPARE(watcher.records.size(), 1);
        QCOMPARE(watcher.records.first().className, QStringLiteral("QMessageBox"));
        QCOMPARE(watcher.records.first().icon, int(QMessageBox::Critical));
        QVERIFY(!watcher.records.first().text.isEmpty());
        QVERIFY(!datamod->qry1->active());
        QCOMPARE(source(1)->rowCount(), 0);
        QCOMPARE(labelText(QStringLiteral("Label12")), count);
        // The next command works as usual.
        click(QStringLiteral("Button1"));
        QCOMPARE(labelText(QStringLiteral("Label12")), count);
        QCOMPARE(watcher.records.size(), 1);
    }

    void returnCodeButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("Button10") << "Button10";
        QTest::newRow("Button11") << "Button11";
        QTest::newRow("Button12") << "Button12";
    }
    void returnCodeButtons()
    {
        QFETCH(QString, button);
        testsupport::ModalWatcher watcher;
        click(button);
        QTRY_COMPARE(watcher.records.size(), 1);
        QCOMPARE(watcher.records.first().className, QStringLiteral("Trtnform"));
    }

    // The grid's current row and the query's current row follow each other.
    void currentRowBothWays()
    {
        click(QStringLiteral("Button1"));
        QTableView *view = grid(1);
        QTRY_COMPARE(view->currentIndex().row(), datamod->qry1->recNo());
        view->setCurrentIndex(source(1)->index(5, 3));
        QCOMPARE(datamod->qry1->recNo(), 5);
        datamod->qry1->setRecNo(42);
        QTRY_COMPARE(view->currentIndex().row(), 42);
        QCOMPARE(view->currentIndex().column(), 3);
        QCOMPARE(view->selectionModel()->selectedIndexes().size(), 1);
    }

    // The indicator column marks the current row, and only that row.
    void indicatorMarksCurrentRow()
    {
        click(QStringLiteral("Button1"));
        QTableView *view = grid(1);
        QHeaderView *indicator = view->verticalHeader();
        const auto darkPixels = [indicator](int row) {
            const QImage image = indicator->viewport()->grab().toImage();
            const int top = indicator->sectionViewportPosition(row);
            int dark = 0;
            for (int y = top; y < top + indicator->sectionSize(row) && y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    if (qGray(image.pixel(x, y)) < 80)
                        ++dark;
                }
            }
            return dark;
        };
        QTRY_COMPARE(view->currentIndex().row(), 0);
        QVERIFY(darkPixels(0) > 4);
        QCOMPARE(darkPixels(1), 0);
        datamod->qry1->setRecNo(1);
        QTRY_COMPARE(view->currentIndex().row(), 1);
        QCOMPARE(darkPixels(0), 0);
        QVERIFY(darkPixels(1) > 4);
    }

    // The wait cursor is up while the statement runs and the rows arrive,
    // and gone afterwards.
    void waitCursorWhileListing()
    {
        QList<int> shapes;
        const auto record = [&shapes] {
            const QCursor *cursor = QGuiApplication::overrideCursor();
            shapes << (cursor ? int(cursor->shape()) : -1);
        };
        QObject context;
        connect(source(1), &QAbstractItemModel::modelReset, &context, record);
        connect(source(2), &QAbstractItemModel::modelReset, &context, record);
        click(QStringLiteral("Button1"));
        type(QStringLiteral("Edit14"), QStringLiteral("1"));
        click(QStringLiteral("Button5"));
        QCOMPARE(shapes, (QList<int>{int(Qt::WaitCursor), int(Qt::WaitCursor)}));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    // Closing and reopening the window keeps page, boxes, result and count.
    void reopenKeepsState()
    {
        click(QStringLiteral("Button4"));
        type(QStringLiteral("Edit9"), QStringLiteral("A1"));
        const QString count = labelText(QStringLiteral("Label15"));
        queryform->hide();
        queryform->show();
        QVERIFY(QTest::qWaitForWindowExposed(queryform));
        QCOMPARE(control<QTabWidget>(QStringLiteral("PageControl1"))->currentIndex(), 1);
        QCOMPARE(box(QStringLiteral("Edit9"))->text(), QStringLiteral("A1"));
        QCOMPARE(labelText(QStringLiteral("Label15")), count);
        QCOMPARE(QString::number(source(2)->rowCount()), count);
    }

private:
    std::unique_ptr<Session> m_session;
};

SQLTOOL_TEST_MAIN(QueryFormTest)
#include "tst_queryform.moc"
