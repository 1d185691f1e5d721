#include "monitor/monitorform.h"
#include "ui_monitorform.h"

#include "base/settings.h"
#include "connection/datamodule.h"
#include "db/connection.h"
#include "flow/flowwatch.h"
#include "flow/flowtext.h"
#include "flow/healthtext.h"
#include "flow/returncodes.h"
#include "monitor/dayendcommand.h"
#include "monitor/monitorsettings.h"
#include "monitor/traceform.h"
#include "ui/gridcopy.h"
#include "ui/gridsizes.h"
#include "ui/windowplace.h"

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHeaderView>
#include <QLineSeries>
#include <QPalette>
#include <QValueAxis>

Tmonitorform *monitorform = nullptr;

namespace {

const QString NoLoginStatus = QStringLiteral("未登录");
const QString SettingFailedStatus = QStringLiteral("无法保存设置：%1");
// The widest text a column of the grids usually holds.
const QStringList FindingSamples{QStringLiteral("撤单对象编号过大"), QStringLiteral("99999999"),
                                 QStringLiteral("J000000000"), QStringLiteral("A000000000"),
                                 QStringLiteral("600000"), QStringLiteral("00:00:00"), QStringLiteral("1021")};
const QStringList RejectionSamples{QStringLiteral("1021"), QStringLiteral("证券代码不存在或已停牌")};
const QString StaleSeparator = QStringLiteral("；");

} // namespace

// ---- findings grid ----

FindingsModel::FindingsModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void FindingsModel::setFindings(std::vector<flow::Finding> findings)
{
    beginResetModel();
    m_findings = std::move(findings);
    endResetModel();
}

int FindingsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_findings.size());
}

int FindingsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 8;
}

QVariant FindingsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const flow::Finding &f = m_findings[std::size_t(index.row())];
    // The explanation may be wider than its column.
    if (role == Qt::ToolTipRole && index.column() == 7)
        return flow::findingNote(f);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case 0:
        return flow::categoryText(f.category);
    case 1:
        return f.recNum > 0 ? QString::number(f.recNum) : QString();
    case 2:
        return f.reff.text();
    case 3:
        return f.acc.text();
    case 4:
        return f.stock.text();
    case 5:
        return flow::clockText(f.time);
    case 6:
        return f.code != 0 ? QString::number(f.code) : QString();
    case 7:
        return flow::findingNote(f);
    default:
        return {};
    }
}

QVariant FindingsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QStringList Titles{QStringLiteral("类别"),     QStringLiteral("记录编号"),
                                    QStringLiteral("申请编号"), QStringLiteral("股东帐号"),
                                    QStringLiteral("证券代码"), QStringLiteral("时间"),
                                    QStringLiteral("返回码"),   QStringLiteral("说明")};
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= Titles.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return Titles[section];
}

// Rejections counted by return code: 返回码, 说明, 笔数.
class RejectionsModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setCounts(std::vector<std::pair<int, qint64>> counts)
    {
        beginResetModel();
        m_counts = std::move(counts);
        endResetModel();
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_counts.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid())
            return {};
        const auto &[code, count] = m_counts[std::size_t(index.row())];
        switch (index.column()) {
        case 0:
            return code != 0 ? QString::number(code) : QStringLiteral("无");
        case 1:
            return code != 0 ? flow::returnCodeNote(code) : QString();
        default:
            return QString::number(count);
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const QStringList Titles{QStringLiteral("返回码"), QStringLiteral("说明"),
                                        QStringLiteral("废单笔数")};
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section > 2)
            return QAbstractTableModel::headerData(section, orientation, role);
        return Titles[section];
    }

private:
    std::vector<std::pair<int, qint64>> m_counts;
};

// ---- the window ----

Tmonitorform::Tmonitorform(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(std::make_unique<Ui::Tmonitorform>())
    , m_findings(new FindingsModel(this))
    , m_rejections(new RejectionsModel(this))
{
    ui->setupUi(this);
    ui->FindingsGrid->setModel(m_findings);
    fitGridToSamples(ui->FindingsGrid, FindingSamples);
    ui->RejectionsGrid->setModel(m_rejections);
    fitGridToSamples(ui->RejectionsGrid, RejectionSamples);
    auto *trace = new QAction(QStringLiteral("追踪委托"), ui->FindingsGrid);
    trace->setObjectName(QStringLiteral("TraceAction"));
    ui->FindingsGrid->addAction(trace);
    connect(trace, &QAction::triggered, this,
            [this] { FindingsGridDoubleClick(ui->FindingsGrid->currentIndex()); });
    installCopyEntries(ui->FindingsGrid);
    installCopyEntries(ui->RejectionsGrid);
    // The window's own menu: where no grid has one of its own.
    auto *dayEnd = new QAction(ui->DayEndButton->text(), this);
    dayEnd->setObjectName(QStringLiteral("DayEndAction"));
    addAction(dayEnd);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(dayEnd, &QAction::triggered, this, &Tmonitorform::DayEndButtonClick);

    m_chart = new QChartView(ui->ChartPlace);
    m_chart->setObjectName(QStringLiteral("FlowChart"));
    m_chart->setMinimumWidth(420);
    ui->ChartLayout->addWidget(m_chart);
    auto *chart = new QChart;
    chart->setTitle(QStringLiteral("每分钟笔数"));
    for (const QString &name : {QStringLiteral("委托"), QStringLiteral("确认"), QStringLiteral("废单"),
                                QStringLiteral("成交")}) {
        auto *series = new QLineSeries(chart);
        series->setName(name);
        chart->addSeries(series);
    }
    auto *x = new QDateTimeAxis(chart);
    x->setFormat(QStringLiteral("HH:mm"));
    auto *y = new QValueAxis(chart);
    y->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries *series : chart->series()) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
    m_chart->setChart(chart);

    connect(ui->RefreshButton, &QPushButton::clicked, this, &Tmonitorform::RefreshButtonClick);
    connect(ui->DayEndButton, &QPushButton::clicked, this, &Tmonitorform::DayEndButtonClick);
    connect(ui->RefreshSpin, qOverload<int>(&QSpinBox::valueChanged), this, &Tmonitorform::RefreshSpinChange);
    connect(ui->TimeoutSpin, qOverload<int>(&QSpinBox::valueChanged), this, &Tmonitorform::TimeoutSpinChange);
    connect(ui->FindingsGrid, &QTableView::doubleClicked, this, &Tmonitorform::FindingsGridDoubleClick);
}

Tmonitorform::~Tmonitorform()
{
    if (isVisible())
        savePlace(this, monitorsettings::Section, monitorsettings::KeyPlace);
}

QString Tmonitorform::statusText() const
{
    return ui->StatusLabel->text();
}

bool Tmonitorform::refreshing() const
{
    return m_watch && m_watch->refreshing();
}

void Tmonitorform::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        restorePlace(this, monitorsettings::Section, monitorsettings::KeyPlace);
    }
    QWidget::showEvent(event);
    FormShow();
}

void Tmonitorform::FormShow()
{
    {
        const QSignalBlocker a(ui->RefreshSpin), b(ui->TimeoutSpin);
        ui->RefreshSpin->setValue(monitorsettings::read(monitorsettings::KeyRefresh, 5));
        ui->TimeoutSpin->setValue(monitorsettings::read(monitorsettings::KeyTimeout, 10));
    }
    if (!m_watch) {
        const Connection *con = datamod ? datamod->con : nullptr;
        if (!con || !con->connected()) {
            ui->StatusLabel->setText(NoLoginStatus);
            return;
        }
        // A connection of its own with the values of the current login.
        watchDatabase(con->odbcConnectionString(), con->defaultDatabase());
    }
    m_watch->setInterval(ui->RefreshSpin->value());
    m_watch->setTimeoutSeconds(ui->TimeoutSpin->value());
    m_watch->setQuerySeconds(monitorsettings::querySeconds());
    m_watch->start();
}

void Tmonitorform::watch(const QString &odbcConnectionString, const QString &database)
{
    stop();
    watchDatabase(odbcConnectionString, database);
}

void Tmonitorform::watchDatabase(const QString &odbcConnectionString, const QString &database)
{
    m_watch = std::make_unique<flow::FlowWatch>(odbcConnectionString, database);
    m_database = database;
    connect(m_watch.get(), &flow::FlowWatch::refreshed, this, &Tmonitorform::refreshEnded);
    connect(m_watch.get(), &flow::FlowWatch::healthChanged, this, &Tmonitorform::showHealth);
}

void Tmonitorform::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (m_watch)
        m_watch->pause();
    const QString failed = savePlace(this, monitorsettings::Section, monitorsettings::KeyPlace);
    if (!failed.isEmpty())
        ui->StatusLabel->setText(failed);
}

void Tmonitorform::stop()
{
    // A refresh still running is cancelled and its result never shown.
    m_watch.reset();
    applySnapshot(flow::Snapshot{});
    ui->FiguresLabel->clear();
    ui->StatusLabel->clear();
    m_refreshed.clear();
    markStale(false);
    hide();
}

void Tmonitorform::RefreshButtonClick()
{
    if (m_watch && isVisible())
        m_watch->refreshNow();
}

void Tmonitorform::DayEndButtonClick()
{
    if (m_watch)
        reconcileDay(this, *m_watch, m_database);
}

void Tmonitorform::refreshEnded(bool ok)
{
    if (!ok) {
        // No box: the next refresh tries again, connecting anew.
        showHealth();
    } else {
        applySnapshot(m_watch->snapshot());
        m_refreshed = flow::refreshedText(QTime::currentTime(), m_watch->rowsRead(), m_watch->rowsHeld());
        showStatus(m_refreshed, false);
    }
    emit refreshed(ok);
}

void Tmonitorform::showHealth()
{
    if (!m_watch)
        return;
    const flow::Health &health = m_watch->health();
    if (health.state == flow::Health::Ok) {
        // A refresh that waited was cancelled: the last one stands.
        if (!m_refreshed.isEmpty())
            showStatus(m_refreshed, false);
        return;
    }
    const QString text = flow::healthText(health, QDateTime::currentDateTime(), m_watch->querySeconds());
    if (!text.isEmpty())
        showStatus(text, true);
}

void Tmonitorform::showStatus(const QString &text, bool stale)
{
    QString line = text;
    const QString dataTime = stale ? flow::staleText(m_watch->snapshotTime()) : QString();
    if (!dataTime.isEmpty())
        line += StaleSeparator + dataTime;
    ui->StatusLabel->setText((QStringList{line} + m_watch->notes()).join(QLatin1Char('\n')));
    markStale(stale);
}

void Tmonitorform::markStale(bool stale)
{
    // Figures and findings not read by the last refresh show in the
    // colour of disabled text until one is.
    for (QWidget *shown : std::initializer_list<QWidget *>{ui->FiguresLabel, ui->FindingsGrid, ui->RejectionsGrid}) {
        if (!stale) {
            shown->setPalette(QPalette());
            continue;
        }
        QPalette palette = shown->palette();
        const QColor grey = palette.color(QPalette::Disabled, QPalette::Text);
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            palette.setColor(group, QPalette::Text, grey);
            palette.setColor(group, QPalette::WindowText, grey);
        }
        shown->setPalette(palette);
    }
}

void Tmonitorform::applySnapshot(flow::Snapshot snapshot)
{
    const int alarms = flow::newAlarms(m_snapshot.findings, snapshot.findings);
    m_snapshot = std::move(snapshot);
    if (alarms > 0) {
        // Flashes the task bar entry of a window behind others.
        if (!isActiveWindow())
            QApplication::alert(this);
        emit alarmed(alarms);
    }
    ui->FiguresLabel->setText(flow::figuresText(m_snapshot.figures));
    m_findings->setFindings(m_snapshot.findings);
    m_rejections->setCounts(m_snapshot.rejectionsByCode);
    showChart(m_snapshot);
}

void Tmonitorform::showChart(const flow::Snapshot &s)
{
    QChart *chart = m_chart->chart();
    const QList<QAbstractSeries *> series = chart->series();
    int first = 1440, last = -1;
    quint32 top = 1;
    for (const auto &counts : s.chart)
        for (int m = 0; m < 1440; ++m)
            if (counts[std::size_t(m)] != 0) {
                first = std::min(first, m);
                last = std::max(last, m);
                top = std::max(top, counts[std::size_t(m)]);
            }
    const QDate day = QDate(s.chartDate / 10000, s.chartDate / 100 % 100, s.chartDate % 100);
    const qint64 start = QDateTime(day.isValid() ? day : QDate::currentDate(), QTime(0, 0)).toMSecsSinceEpoch();
    for (int i = 0; i < flow::SeriesCount && i < series.size(); ++i) {
        QList<QPointF> points;
        for (int m = first; m <= last; ++m)
            points.append(QPointF(double(start + qint64(m) * 60000), s.chart[std::size_t(i)][std::size_t(m)]));
        static_cast<QLineSeries *>(series[i])->replace(points);
    }
    const QList<QAbstractAxis *> axes = chart->axes();
    for (QAbstractAxis *axis : axes) {
        if (auto *x = qobject_cast<QDateTimeAxis *>(axis)) {
            const int from = last < 0 ? 9 * 60 : first, to = last < 0 ? 15 * 60 : std::max(last, first + 1);
            x->setRange(QDateTime::fromMSecsSinceEpoch(start + qint64(from) * 60000),
                        QDateTime::fromMSecsSinceEpoch(start + qint64(to) * 60000));
        } else if (auto *y = qobject_cast<QValueAxis *>(axis)) {
            y->setRange(0, top);
        }
    }
}

void Tmonitorform::RefreshSpinChange(int seconds)
{
    try {
        settings::writeSetting(monitorsettings::Section, monitorsettings::KeyRefresh, QString::number(seconds));
    } catch (const SettingsError &e) {
        ui->StatusLabel->setText(SettingFailedStatus.arg(QString::fromUtf8(e.what())));
    }
    if (m_watch)
        m_watch->setInterval(seconds);
}

void Tmonitorform::TimeoutSpinChange(int seconds)
{
    try {
        settings::writeSetting(monitorsettings::Section, monitorsettings::KeyTimeout, QString::number(seconds));
    } catch (const SettingsError &e) {
        ui->StatusLabel->setText(SettingFailedStatus.arg(QString::fromUtf8(e.what())));
    }
    if (m_watch)
        m_watch->setTimeoutSeconds(seconds);
}

void Tmonitorform::FindingsGridDoubleClick(const QModelIndex &index)
{
    if (!index.isValid() || !traceform)
        return;
    const flow::Finding &f = m_findings->finding(index.row());
    if (f.category == flow::Category::RecNumGap)
        return; // names a row that is not there
    flow::TraceKey key;
    key.reff = f.reff.text();
    if (f.category != flow::Category::Rejected && f.category != flow::Category::OrphanConfirmation)
        key.recNum = f.recNum; // an order's own rec_num
    traceform->showOrder(key);
}
