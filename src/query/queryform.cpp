#include "query/queryform.h"
#include "ui_queryform.h"

#include "ui/errorbox.h"
#include "ui/fonts.h"

#include "connection/datamodule.h"
#include "connection/loginform.h"
#include "db/query.h"
#include "query/countform.h"
#include "query/findbar.h"
#include "query/querypage.h"
#include "query/statements.h"
#include "query/statistics.h"
#include "reference/rtnform.h"
#include "ui/keys.h"

#include <QHeaderView>
#include <QShortcut>

Tqueryform *queryform = nullptr;

namespace {

// Designed columns of the three grids, by position. DBGrid1 shows sbsj
// before cjsj although the select list names cjsj first.
const QList<GridColumn> CjhbColumns = {
    {QStringLiteral("股东代码"), QStringLiteral("gddm")}, {QStringLiteral("证券代码"), QStringLiteral("zqdm")},
    {QStringLiteral("成交数量"), QStringLiteral("cjsl")}, {QStringLiteral("成交价格"), QStringLiteral("cjjg")},
    {QStringLiteral("成交金额"), QStringLiteral("cjje")}, {QStringLiteral("本次余额"), QStringLiteral("bcye")},
    {QStringLiteral("成交编号"), QStringLiteral("cjbh")}, {QStringLiteral("成交日期"), QStringLiteral("bcrq")},
    {QStringLiteral("申报时间"), QStringLiteral("sbsj")}, {QStringLiteral("成交时间"), QStringLiteral("cjsj")},
    {QStringLiteral("股东姓名"), QStringLiteral("gdxm")}, {QStringLiteral("会员编号"), QStringLiteral("gsdm")},
    {QStringLiteral("SQBH"), QStringLiteral("sqbh")},     {QStringLiteral("买卖方向"), QStringLiteral("bs")},
    {QStringLiteral("操作员"), QStringLiteral("mjbh")},
};
const QList<GridColumn> OrdwthColumns = {
    {QStringLiteral("记录编号"), QStringLiteral("rec_num")}, {QStringLiteral("股东帐号"), QStringLiteral("acc")},
    {QStringLiteral("证券代码"), QStringLiteral("stock")},   {QStringLiteral("买卖方向"), QStringLiteral("bs")},
    {QStringLiteral("委托数量"), QStringLiteral("qty")},     {QStringLiteral("委托价格"), QStringLiteral("price")},
    {QStringLiteral("入表时间"), QStringLiteral("time")},    {QStringLiteral("入表日期"), QStringLiteral("date")},
    {QStringLiteral("委托状态"), QStringLiteral("status")},  {QStringLiteral("委撤标志"), QStringLiteral("owflag")},
    {QStringLiteral("委撤状态"), QStringLiteral("ordrec")},  {QStringLiteral("REFF"), QStringLiteral("reff")},
    {QStringLiteral("席位编号"), QStringLiteral("firmid")},  {QStringLiteral("加密校验码"), QStringLiteral("checkord")},
};
const QList<GridColumn> Ordwth2Columns = {
    {QStringLiteral("记录编号"), QStringLiteral("rec_num")},    {QStringLiteral("股东帐号"), QStringLiteral("acc")},
    {QStringLiteral("证券代码"), QStringLiteral("stock")},      {QStringLiteral("买卖方向"), QStringLiteral("bs")},
    {QStringLiteral("委托数量"), QStringLiteral("qty")},        {QStringLiteral("撤单数量"), QStringLiteral("qty2")},
    {QStringLiteral("委托价格"), QStringLiteral("price")},      {QStringLiteral("入表时间"), QStringLiteral("time")},
    {QStringLiteral("入表日期"), QStringLiteral("date")},       {QStringLiteral("处理结果"), QStringLiteral("status")},
    {QStringLiteral("返回信息"), QStringLiteral("remark")},     {QStringLiteral("委托状态"), QStringLiteral("status1")},
    {QStringLiteral("委撤标志"), QStringLiteral("owflag")},     {QStringLiteral("委撤状态"), QStringLiteral("ordrec")},
    {QStringLiteral("合同编号"), QStringLiteral("teordernum")}, {QStringLiteral("REFF"), QStringLiteral("reff")},
    {QStringLiteral("席位编号"), QStringLiteral("firmid")},     {QStringLiteral("加密校验码"), QStringLiteral("checkord")},
};

// Tables of the three pages, naming their export files.
const QString CjhbTable = QStringLiteral("ashare_cjhb");
const QString OrdwthTable = QStringLiteral("ashare_ordwth");
const QString Ordwth2Table = QStringLiteral("ashare_ordwth2");
// The confirmations' returned message, whose return codes get a tooltip.
const QString RemarkField = QStringLiteral("remark");

const QString TradeStatisticsTitle = QStringLiteral("成交数据统计");
const QString OrderStatisticsTitle = QStringLiteral("委托数据统计");
const QString CountCaption = QStringLiteral("记录数");

// One line of the statistics window: caption in column 0, value in column 1.
struct StatisticsLine
{
    QString caption;
    QString value;
};

// Fills the statistics window's title and its three lines, and shows it.
void showStatistics(const QString &title, std::initializer_list<StatisticsLine> lines)
{
    countform->setTitle(title);
    int row = 0;
    for (const StatisticsLine &line : lines) {
        countform->setCell(0, row, line.caption);
        countform->setCell(1, row, line.value);
        ++row;
    }
    countform->exec();
}

void tradeStatistics(Query &query, const QString &count)
{
    const qint64 rows = statisticsRows(count);
    if (rows <= 0)
        return;
    const TradeTotals totals = sumTrades(query, rows);
    showStatistics(TradeStatisticsTitle, {{CountCaption, countCell(count)},
                                          {TradeQuantityCaption, quantityCell(totals.quantity)},
                                          {TradeAmountCaption, amountCell(totals.amount)}});
}

void orderStatistics(Query &query, const QString &count)
{
    const qint64 rows = statisticsRows(count);
    if (rows <= 0)
        return;
    const qint64 quantity = sumOrders(query, rows);
    // The empty third line removes the amount of an earlier trade statistics.
    showStatistics(OrderStatisticsTitle, {{CountCaption, countCell(count)},
                                          {OrderQuantityCaption, quantityCell(quantity)},
                                          {}});
}

} // namespace

Tqueryform::Tqueryform(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Tqueryform>())
{
    ui->setupUi(this);
    setPixelFont(this, 12);
    createPages();
    installKeyFilters();
    connectHandlers();
    FormCreate();
}

Tqueryform::~Tqueryform() = default;

void Tqueryform::createPages()
{
    QueryPageParts trades;
    trades.table = CjhbTable;
    trades.grid = ui->DBGrid1;
    trades.count = ui->Label12;
    trades.conditionBoxes = {ui->Edit1, ui->Edit2, ui->Edit3, ui->Edit4, ui->Edit5,
                             ui->Edit6, ui->Edit7, ui->Edit8, ui->Edit11};
    trades.columns = CjhbColumns;
    trades.allStatement = tradeAllStatement;
    trades.conditionStatement = [this] {
        TradeConditions conditions;
        conditions.gddm = ui->Edit1->text();
        conditions.zqdm = ui->Edit2->text();
        conditions.cjsl = ui->Edit7->text();
        conditions.bcye = ui->Edit8->text();
        conditions.bs = ui->Edit11->text();
        conditions.sbsjFrom = ui->Edit3->text();
        conditions.sbsjTo = ui->Edit4->text();
        conditions.cjsjFrom = ui->Edit5->text();
        conditions.cjsjTo = ui->Edit6->text();
        return tradeConditionStatement(conditions);
    };
    trades.statistics = tradeStatistics;

    QueryPageParts orders;
    orders.table = OrdwthTable;
    orders.grid = ui->DBGrid2;
    orders.count = ui->Label15;
    orders.conditionBoxes = {ui->Edit9, ui->Edit10, ui->Edit13, ui->Edit14, ui->Edit15};
    orders.columns = OrdwthColumns;
    orders.allStatement = ordwthAllStatement;
    orders.conditionStatement = [this] {
        OrderConditions conditions;
        conditions.acc = ui->Edit9->text();
        conditions.stock = ui->Edit10->text();
        conditions.qty = ui->Edit14->text();
        conditions.price = ui->Edit15->text();
        conditions.bs = ui->Edit13->text();
        return ordwthConditionStatement(conditions);
    };
    orders.statistics = orderStatistics;

    QueryPageParts confirmations;
    confirmations.table = Ordwth2Table;
    confirmations.grid = ui->DBGrid3;
    confirmations.count = ui->Label39;
    confirmations.conditionBoxes = {ui->Edit16, ui->Edit17, ui->Edit18, ui->Edit19, ui->Edit20, ui->Edit21};
    confirmations.columns = Ordwth2Columns;
    confirmations.allStatement = ordwth2AllStatement;
    confirmations.conditionStatement = [this] {
        OrderConditions conditions;
        conditions.acc = ui->Edit16->text();
        conditions.stock = ui->Edit17->text();
        conditions.qty = ui->Edit19->text();
        conditions.price = ui->Edit20->text();
        conditions.bs = ui->Edit21->text();
        conditions.qty2 = ui->Edit18->text();
        return ordwth2ConditionStatement(conditions);
    };
    confirmations.returnCodeField = RemarkField;

    if (datamod) {
        trades.query = datamod->qry1;
        trades.source = datamod->DataSource1;
        orders.query = datamod->qry2;
        orders.source = datamod->DataSource2;
        confirmations.query = datamod->qry3;
        confirmations.source = datamod->DataSource3;
    }
    // A new login shows nothing of an earlier connection.
    if (loginform) {
        connect(loginform, &Tloginform::loggedIn, this, [this] {
            for (QueryPage *page : {m_trades, m_orders, m_confirmations})
                page->forgetResult();
        });
    }
    m_trades = new QueryPage(std::move(trades), this);
    m_orders = new QueryPage(std::move(orders), this);
    m_confirmations = new QueryPage(std::move(confirmations), this);
}

void Tqueryform::FormCreate()
{
    for (QueryPage *page : {m_trades, m_orders, m_confirmations})
        page->resetSort();
}

void Tqueryform::installKeyFilters()
{
    using namespace keyfilters;
    auto *account = new TypedKeyFilter(Edit1KeyPress, this);
    auto *digits = new TypedKeyFilter(Edit7KeyPress, this);
    auto *price = new TypedKeyFilter(Edit15KeyPress, this);
    auto *side = new TypedKeyFilter(Edit13KeyPress, this);
    for (QLineEdit *box : {ui->Edit1, ui->Edit9, ui->Edit16})
        account->install(box);
    for (QLineEdit *box : {ui->Edit2, ui->Edit3, ui->Edit4, ui->Edit5, ui->Edit6, ui->Edit7,
                           ui->Edit8, ui->Edit10, ui->Edit14, ui->Edit17, ui->Edit18, ui->Edit19})
        digits->install(box);
    for (QLineEdit *box : {ui->Edit15, ui->Edit20})
        price->install(box);
    for (QLineEdit *box : {ui->Edit11, ui->Edit13, ui->Edit21})
        side->install(box);
}

void Tqueryform::connectHandlers()
{
    connect(ui->Button1, &QPushButton::clicked, this, &Tqueryform::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &Tqueryform::Button2Click);
    connect(ui->Button3, &QPushButton::clicked, this, &Tqueryform::Button3Click);
    connect(ui->Button4, &QPushButton::clicked, this, &Tqueryform::Button4Click);
    connect(ui->Button5, &QPushButton::clicked, this, &Tqueryform::Button5Click);
    connect(ui->Button6, &QPushButton::clicked, this, &Tqueryform::Button6Click);
    connect(ui->Button7, &QPushButton::clicked, this, &Tqueryform::Button7Click);
    connect(ui->Button8, &QPushButton::clicked, this, &Tqueryform::Button8Click);
    connect(ui->Button9, &QPushButton::clicked, this, &Tqueryform::Button9Click);
    connect(ui->Button10, &QPushButton::clicked, this, &Tqueryform::Button10Click);
    connect(ui->Button11, &QPushButton::clicked, this, &Tqueryform::Button10Click);
    connect(ui->Button12, &QPushButton::clicked, this, &Tqueryform::Button10Click);
    connect(ui->Button13, &QPushButton::clicked, this, &Tqueryform::Button13Click);
    connect(ui->Button14, &QPushButton::clicked, this, &Tqueryform::Button14Click);
    // A click on a title, not the end of a drag that resized a column. Run
    // after the header has finished with the mouse release, so that an
    // error of the re-sort cannot leave the header half way through it.
    connect(ui->DBGrid1->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &Tqueryform::DBGrid1TitleClick, Qt::QueuedConnection);
    connect(ui->DBGrid2->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &Tqueryform::DBGrid2TitleClick, Qt::QueuedConnection);
    connect(ui->DBGrid3->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &Tqueryform::DBGrid3TitleClick, Qt::QueuedConnection);
    // Ctrl+F: the find bar of the page in front.
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
        if (FindBar *bar = page(ui->PageControl1->currentIndex() + 1).findBar())
            bar->open();
    });
}

QueryPage &Tqueryform::page(int number) const
{
    switch (number) {
    case 2:
        return *m_orders;
    case 3:
        return *m_confirmations;
    default:
        return *m_trades;
    }
}

void Tqueryform::BindDBGrid1Columns() { m_trades->bindColumns(); }
void Tqueryform::BindDBGrid2Columns() { m_orders->bindColumns(); }
void Tqueryform::BindDBGrid3Columns() { m_confirmations->bindColumns(); }

void Tqueryform::Button1Click() { m_trades->listAll(); }
void Tqueryform::Button2Click() { m_trades->listByCondition(); }
void Tqueryform::Button3Click() { m_trades->clearConditions(); }
void Tqueryform::Button4Click() { m_orders->listAll(); }
void Tqueryform::Button5Click() { m_orders->listByCondition(); }
void Tqueryform::Button6Click() { m_orders->clearConditions(); }
void Tqueryform::Button7Click() { m_confirmations->clearConditions(); }
void Tqueryform::Button8Click() { m_confirmations->listAll(); }
void Tqueryform::Button9Click() { m_confirmations->listByCondition(); }

void Tqueryform::Button10Click()
{
    rtnform->exec();
}

void Tqueryform::Button13Click() { m_trades->showStatistics(); }
void Tqueryform::Button14Click() { m_orders->showStatistics(); }

void Tqueryform::DBGrid1TitleClick(int column) { m_trades->titleClick(column); }
void Tqueryform::DBGrid2TitleClick(int column) { m_orders->titleClick(column); }
void Tqueryform::DBGrid3TitleClick(int column) { m_confirmations->titleClick(column); }
