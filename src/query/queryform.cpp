#include "query/queryform.h"
#include "ui_queryform.h"

#include "ui/errorbox.h"
#include "ui/fonts.h"

#include "connection/datamodule.h"
#include "db/datasource.h"
#include "db/query.h"
#include "query/countform.h"
#include "query/resultgrid.h"
#include "query/statements.h"
#include "query/statistics.h"
#include "reference/rtnform.h"
#include "ui/keys.h"

#include <QHeaderView>

Tqueryform *queryform = nullptr;

namespace {

// Designed columns of the three grids: caption and bound field by position.
// DBGrid1 shows sbsj before cjsj although the select list names cjsj first.
const QStringList CjhbCaptions = {
    QStringLiteral("股东代码"), QStringLiteral("证券代码"), QStringLiteral("成交数量"),
    QStringLiteral("成交价格"), QStringLiteral("成交金额"), QStringLiteral("本次余额"),
    QStringLiteral("成交编号"), QStringLiteral("成交日期"), QStringLiteral("申报时间"),
    QStringLiteral("成交时间"), QStringLiteral("股东姓名"), QStringLiteral("会员编号"),
    QStringLiteral("SQBH"),     QStringLiteral("买卖方向"), QStringLiteral("操作员"),
};
const QStringList CjhbFields = {
    QStringLiteral("gddm"), QStringLiteral("zqdm"), QStringLiteral("cjsl"), QStringLiteral("cjjg"),
    QStringLiteral("cjje"), QStringLiteral("bcye"), QStringLiteral("cjbh"), QStringLiteral("bcrq"),
    QStringLiteral("sbsj"), QStringLiteral("cjsj"), QStringLiteral("gdxm"), QStringLiteral("gsdm"),
    QStringLiteral("sqbh"), QStringLiteral("bs"),   QStringLiteral("mjbh"),
};
const QStringList OrdwthCaptions = {
    QStringLiteral("记录编号"), QStringLiteral("股东帐号"), QStringLiteral("证券代码"),
    QStringLiteral("买卖方向"), QStringLiteral("委托数量"), QStringLiteral("委托价格"),
    QStringLiteral("入表时间"), QStringLiteral("入表日期"), QStringLiteral("委托状态"),
    QStringLiteral("委撤标志"), QStringLiteral("委撤状态"), QStringLiteral("REFF"),
    QStringLiteral("席位编号"), QStringLiteral("加密校验码"),
};
const QStringList OrdwthFields = {
    QStringLiteral("rec_num"), QStringLiteral("acc"),    QStringLiteral("stock"),
    QStringLiteral("bs"),      QStringLiteral("qty"),    QStringLiteral("price"),
    QStringLiteral("time"),    QStringLiteral("date"),   QStringLiteral("status"),
    QStringLiteral("owflag"),  QStringLiteral("ordrec"), QStringLiteral("reff"),
    QStringLiteral("firmid"),  QStringLiteral("checkord"),
};
const QStringList Ordwth2Captions = {
    QStringLiteral("记录编号"), QStringLiteral("股东帐号"), QStringLiteral("证券代码"),
    QStringLiteral("买卖方向"), QStringLiteral("委托数量"), QStringLiteral("撤单数量"),
    QStringLiteral("委托价格"), QStringLiteral("入表时间"), QStringLiteral("入表日期"),
    QStringLiteral("处理结果"), QStringLiteral("返回信息"), QStringLiteral("委托状态"),
    QStringLiteral("委撤标志"), QStringLiteral("委撤状态"), QStringLiteral("合同编号"),
    QStringLiteral("REFF"),     QStringLiteral("席位编号"), QStringLiteral("加密校验码"),
};
const QStringList Ordwth2Fields = {
    QStringLiteral("rec_num"), QStringLiteral("acc"),        QStringLiteral("stock"),
    QStringLiteral("bs"),      QStringLiteral("qty"),        QStringLiteral("qty2"),
    QStringLiteral("price"),   QStringLiteral("time"),       QStringLiteral("date"),
    QStringLiteral("status"),  QStringLiteral("remark"),     QStringLiteral("status1"),
    QStringLiteral("owflag"),  QStringLiteral("ordrec"),     QStringLiteral("teordernum"),
    QStringLiteral("reff"),    QStringLiteral("firmid"),     QStringLiteral("checkord"),
};

const QString TradeStatisticsTitle = QStringLiteral("成交数据统计");
const QString OrderStatisticsTitle = QStringLiteral("委托数据统计");
const QString CountCaption = QStringLiteral("记录数");
const QString TradeQuantityCaption = QStringLiteral("成交数量");
const QString TradeAmountCaption = QStringLiteral("成交金额");
const QString OrderQuantityCaption = QStringLiteral("委托数量");

void bindColumns(DataSource *source, const QStringList &fields)
{
    for (int column = 0; column < fields.size(); ++column)
        source->setFieldName(column, fields.at(column));
}

void listRows(Query &query, const StatementText &statement, const std::function<void()> &bind,
              QLabel *countLabel)
{
    runQuery(query, statement.lines, statement.parameters, bind);
    countLabel->setText(QString::number(query.recordCount()));
}

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

} // namespace

Tqueryform::Tqueryform(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Tqueryform>())
{
    ui->setupUi(this);
    setPixelFont(this, 12);

    if (datamod) {
        datamod->DataSource1->setColumnCaptions(CjhbCaptions);
        datamod->DataSource2->setColumnCaptions(OrdwthCaptions);
        datamod->DataSource3->setColumnCaptions(Ordwth2Captions);
        attachResultGrid(ui->DBGrid1, datamod->DataSource1);
        attachResultGrid(ui->DBGrid2, datamod->DataSource2);
        attachResultGrid(ui->DBGrid3, datamod->DataSource3);
    }
    installKeyFilters();
    connectHandlers();
    FormCreate();
}

Tqueryform::~Tqueryform() = default;

void Tqueryform::FormCreate()
{
    m_sort1.reset();
    m_sort2.reset();
    m_sort3.reset();
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
}

const SortState &Tqueryform::sortState(int grid) const
{
    switch (grid) {
    case 2:
        return m_sort2;
    case 3:
        return m_sort3;
    default:
        return m_sort1;
    }
}

void Tqueryform::BindDBGrid1Columns()
{
    bindColumns(datamod->DataSource1, CjhbFields);
}

void Tqueryform::BindDBGrid2Columns()
{
    bindColumns(datamod->DataSource2, OrdwthFields);
}

void Tqueryform::BindDBGrid3Columns()
{
    bindColumns(datamod->DataSource3, Ordwth2Fields);
}

void Tqueryform::Button1Click()
{
    runGuarded([&] {
        listRows(*datamod->qry1, tradeAllStatement(), [this] { BindDBGrid1Columns(); }, ui->Label12);
    });
}

void Tqueryform::Button2Click()
{
    runGuarded([&] {
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
        const StatementText statement = tradeConditionStatement(conditions);
        if (statement.lines.isEmpty())
            return; // no usable time range: leave everything as it is
        listRows(*datamod->qry1, statement, [this] { BindDBGrid1Columns(); }, ui->Label12);
    });
}

void Tqueryform::Button3Click()
{
    for (QLineEdit *box : {ui->Edit1, ui->Edit2, ui->Edit3, ui->Edit4, ui->Edit5, ui->Edit6,
                           ui->Edit7, ui->Edit8, ui->Edit11})
        box->setText(QString());
}

void Tqueryform::Button4Click()
{
    runGuarded([&] {
        listRows(*datamod->qry2, ordwthAllStatement(), [this] { BindDBGrid2Columns(); }, ui->Label15);
    });
}

void Tqueryform::Button5Click()
{
    runGuarded([&] {
        OrderConditions conditions;
        conditions.acc = ui->Edit9->text();
        conditions.stock = ui->Edit10->text();
        conditions.qty = ui->Edit14->text();
        conditions.price = ui->Edit15->text();
        conditions.bs = ui->Edit13->text();
        listRows(*datamod->qry2, ordwthConditionStatement(conditions), [this] { BindDBGrid2Columns(); },
                 ui->Label15);
    });
}

void Tqueryform::Button6Click()
{
    for (QLineEdit *box : {ui->Edit9, ui->Edit10, ui->Edit13, ui->Edit14, ui->Edit15})
        box->setText(QString());
}

void Tqueryform::Button7Click()
{
    for (QLineEdit *box : {ui->Edit16, ui->Edit17, ui->Edit18, ui->Edit19, ui->Edit20, ui->Edit21})
        box->setText(QString());
}

void Tqueryform::Button8Click()
{
    runGuarded([&] {
        listRows(*datamod->qry3, ordwth2AllStatement(), [this] { BindDBGrid3Columns(); }, ui->Label39);
    });
}

void Tqueryform::Button9Click()
{
    runGuarded([&] {
        OrderConditions conditions;
        conditions.acc = ui->Edit16->text();
        conditions.stock = ui->Edit17->text();
        conditions.qty = ui->Edit19->text();
        conditions.price = ui->Edit20->text();
        conditions.bs = ui->Edit21->text();
        conditions.qty2 = ui->Edit18->text();
        listRows(*datamod->qry3, ordwth2ConditionStatement(conditions), [this] { BindDBGrid3Columns(); },
                 ui->Label39);
    });
}

void Tqueryform::Button10Click()
{
    rtnform->exec();
}

void Tqueryform::Button13Click()
{
    runGuarded([&] {
        const QString count = ui->Label12->text();
        const qint64 rows = statisticsRows(count);
        if (rows <= 0)
            return;
        const TradeTotals totals = sumTrades(*datamod->qry1, rows);
        showStatistics(TradeStatisticsTitle, {{CountCaption, countCell(count)},
                                              {TradeQuantityCaption, quantityCell(totals.quantity)},
                                              {TradeAmountCaption, amountCell(totals.amount)}});
    });
}

void Tqueryform::Button14Click()
{
    runGuarded([&] {
        const QString count = ui->Label15->text();
        const qint64 rows = statisticsRows(count);
        if (rows <= 0)
            return;
        const qint64 quantity = sumOrders(*datamod->qry2, rows);
        // The empty third line removes the amount of an earlier trade statistics.
        showStatistics(OrderStatisticsTitle, {{CountCaption, countCell(count)},
                                              {OrderQuantityCaption, quantityCell(quantity)},
                                              {}});
    });
}

void Tqueryform::titleClick(const QLabel *countLabel, SortState &state, DataSource *source,
                            int column)
{
    runGuarded([&] {
        if (countLabel->text().isEmpty())
            return; // nothing listed on this page yet
        state.titleClick(*source, column);
    });
}

void Tqueryform::DBGrid1TitleClick(int column)
{
    titleClick(ui->Label12, m_sort1, datamod->DataSource1, column);
}

void Tqueryform::DBGrid2TitleClick(int column)
{
    titleClick(ui->Label15, m_sort2, datamod->DataSource2, column);
}

void Tqueryform::DBGrid3TitleClick(int column)
{
    titleClick(ui->Label39, m_sort3, datamod->DataSource3, column);
}
