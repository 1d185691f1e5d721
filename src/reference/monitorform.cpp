#include "reference/monitorform.h"
#include "ui_monitorform.h"

#include "connection/datamodule.h"
#include "db/connection.h"
#include "db/flowreader.h"
#include "db/odbc.h"
#include "db/settings.h"
#include "db/worker.h"
#include "reference/rtnform.h"
#include "reference/traceform.h"
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
#include <QValueAxis>

Tmonitorform *monitorform = nullptr;

namespace {

const QString OkStatus = QStringLiteral("%1 已刷新，读入 %2 行");
const QString FailedStatus = QStringLiteral("%1 刷新失败：%2");
const QString NoLoginStatus = QStringLiteral("未登录");
const QString SettingFailedStatus = QStringLiteral("无法保存设置：%1");
const QString NoneText = QStringLiteral("—");
// The widest text a column of the grids usually holds.
const QStringList FindingSamples{QStringLiteral("撤单对象编号过大"), QStringLiteral("99999999"),
                                 QStringLiteral("J000000000"), QStringLiteral("A000000000"),
                                 QStringLiteral("600000"), QStringLiteral("00:00:00"), QStringLiteral("1021")};
const QStringList RejectionSamples{QStringLiteral("1021"), QStringLiteral("证券代码不存在或已停牌")};

QString seconds(qint64 value)
{
    return value < 0 ? NoneText : flow::durationText(value);
}

QString cents(qint64 value)
{
    const QString sign = value < 0 ? QStringLiteral("-") : QString();
    const quint64 magnitude = quint64(value < 0 ? -value : value);
    return sign + QString::number(magnitude / 100) + u'.'
        + QStringLiteral("%1").arg(magnitude % 100, 2, 10, QChar(u'0'));
}

QString errorText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const DatabaseError &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("未知错误");
    }
}

} // namespace

namespace monitorsettings {
int read(const QString &key, int fallback)
{
    bool ok = false;
    const int value = settings::readSetting(Section, key, QString()).toInt(&ok);
    return ok && value >= 1 && value <= 60 ? value : fallback;
}
} // namespace monitorsettings

CodeNotes returnCodeNotes()
{
    return [](int code) { return rtnform ? rtnform->note(QString::number(code)) : QString(); };
}

// Two lines, counts then times; a figure and its name are never split
// across lines.
QString figuresText(const flow::Figures &f)
{
    const auto figure = [](const QString &name, const QString &value) {
        return QString(name + u' ' + value).replace(u' ', QChar(0xA0));
    };
    const auto count = [&figure](const QString &name, qint64 value) { return figure(name, QString::number(value)); };
    const QStringList counts{count(QStringLiteral("委托"), f.orders),
                             count(QStringLiteral("撤单"), f.cancels),
                             count(QStringLiteral("未报"), f.unsent),
                             count(QStringLiteral("已报未确认"), f.unconfirmed),
                             count(QStringLiteral("已确认"), f.confirmed),
                             count(QStringLiteral("废单"), f.rejected),
                             count(QStringLiteral("已撤"), f.cancelled),
                             count(QStringLiteral("成交笔数"), f.tradeRows),
                             count(QStringLiteral("成交数量"), f.tradedQuantity),
                             figure(QStringLiteral("成交金额"), cents(f.tradedCents))};
    const QStringList times{figure(QStringLiteral("最久未报"), seconds(f.oldestUnsentAge)),
                            figure(QStringLiteral("最久未确认"), seconds(f.oldestUnconfirmedAge)),
                            figure(QStringLiteral("确认延迟(近5分钟) 中位"), seconds(f.delayMedian)) + u' '
                                + figure(QStringLiteral("最慢5%"), seconds(f.delaySlowest5))};
    return counts.join(QStringLiteral("  ")) + u'\n' + times.join(QStringLiteral("  "));
}

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

QString FindingsModel::note(const flow::Finding &f)
{
    if (f.code != 0) {
        const QString text = returnCodeNotes()(f.code);
        if (!text.isEmpty())
            return text;
    }
    return flow::explanation(f);
}

QVariant FindingsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const flow::Finding &f = m_findings[std::size_t(index.row())];
    // The explanation may be wider than its column.
    if (role == Qt::ToolTipRole && index.column() == 7)
        return note(f);
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
        return note(f);
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
            return code != 0 ? returnCodeNotes()(code) : QString();
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

    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &Tmonitorform::RefreshButtonClick);
    connect(ui->RefreshButton, &QPushButton::clicked, this, &Tmonitorform::RefreshButtonClick);
    connect(ui->RefreshSpin, qOverload<int>(&QSpinBox::valueChanged), this, &Tmonitorform::RefreshSpinChange);
    connect(ui->TimeoutSpin, qOverload<int>(&QSpinBox::valueChanged), this, &Tmonitorform::TimeoutSpinChange);
    connect(ui->FindingsGrid, &QTableView::doubleClicked, this, &Tmonitorform::FindingsGridDoubleClick);
}

Tmonitorform::~Tmonitorform()
{
    if (isVisible())
        savePlace(this, monitorsettings::Section, monitorsettings::KeyPlace);
    ++m_generation;
    // The session goes with the worker's last job, on its thread.
    if (m_session && m_worker)
        m_worker->post([session = std::move(m_session)](CommandControl &) mutable { session.reset(); });
}

QString Tmonitorform::statusText() const
{
    return ui->StatusLabel->text();
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
    if (!m_session) {
        const Connection *con = datamod ? datamod->con : nullptr;
        if (!con || !con->connected()) {
            ui->StatusLabel->setText(NoLoginStatus);
            return;
        }
        // A connection of its own with the values of the current login.
        m_session = std::make_shared<flow::FlowSession>(con->odbcConnectionString(), con->defaultDatabase());
        if (!m_worker)
            m_worker = std::make_unique<DatabaseWorker>(QStringLiteral("monitor"));
    }
    RefreshButtonClick();
}

void Tmonitorform::watch(const QString &odbcConnectionString, const QString &database)
{
    stop();
    m_session = std::make_shared<flow::FlowSession>(odbcConnectionString, database);
    if (!m_worker)
        m_worker = std::make_unique<DatabaseWorker>(QStringLiteral("monitor"));
}

void Tmonitorform::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_timer.stop();
    m_again = false;
    const QString failed = savePlace(this, monitorsettings::Section, monitorsettings::KeyPlace);
    if (!failed.isEmpty())
        ui->StatusLabel->setText(failed);
}

void Tmonitorform::stop()
{
    ++m_generation; // a refresh still running is ignored when it ends
    m_timer.stop();
    m_busy = false;
    m_again = false;
    if (m_session && m_worker)
        m_worker->post([session = std::move(m_session)](CommandControl &) mutable { session.reset(); });
    m_session.reset();
    applySnapshot(flow::Snapshot{});
    ui->FiguresLabel->clear();
    ui->StatusLabel->clear();
    hide();
}

void Tmonitorform::RefreshButtonClick()
{
    if (!m_session || !isVisible())
        return;
    if (m_busy) {
        m_again = true; // once the running refresh ends
        return;
    }
    m_busy = true;
    m_timer.stop();
    const int timeout = ui->TimeoutSpin->value();
    auto result = std::make_shared<flow::Snapshot>();
    const quint64 generation = m_generation;
    m_worker->post(
        [session = m_session, result, timeout](CommandControl &control) {
            *result = session->refresh(timeout, &control);
        },
        this, [this, result, generation](std::exception_ptr error) { refreshEnded(error, result, generation); });
}

void Tmonitorform::refreshEnded(std::exception_ptr error, std::shared_ptr<flow::Snapshot> result,
                                quint64 generation)
{
    if (generation != m_generation)
        return;
    m_busy = false;
    const QString now = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    if (error) {
        // No box: the next refresh tries again, connecting anew.
        ui->StatusLabel->setText(FailedStatus.arg(now, errorText(error)));
    } else {
        const qint64 rows = result->figures.orders + result->figures.cancels;
        applySnapshot(std::move(*result));
        ui->StatusLabel->setText(OkStatus.arg(now).arg(rows));
    }
    scheduleNext();
    emit refreshed(!error);
}

void Tmonitorform::scheduleNext()
{
    if (!isVisible() || !m_session)
        return;
    if (m_again) {
        m_again = false;
        m_timer.start(0);
    } else {
        m_timer.start(ui->RefreshSpin->value() * 1000);
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
    ui->FiguresLabel->setText(figuresText(m_snapshot.figures));
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
    if (m_timer.isActive())
        m_timer.start(seconds * 1000);
}

void Tmonitorform::TimeoutSpinChange(int seconds)
{
    try {
        settings::writeSetting(monitorsettings::Section, monitorsettings::KeyTimeout, QString::number(seconds));
    } catch (const SettingsError &e) {
        ui->StatusLabel->setText(SettingFailedStatus.arg(QString::fromUtf8(e.what())));
    }
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
