#include "monitor/monitorform.h"
#include "ui_monitorform.h"

#include "base/settings.h"
#include "connection/datamodule.h"
#include "db/connection.h"
#include "db/connstring.h"
#include "flow/alarmbook.h"
#include "flow/flowwatch.h"
#include "flow/flowtext.h"
#include "flow/healthtext.h"
#include "flow/returncodes.h"
#include "monitor/alarmnotifier.h"
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

#include <algorithm>

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
const QStringList AlarmSamples{QStringLiteral("00:00:00"), QStringLiteral("记录编号不连续"),
                               QStringLiteral("937 笔委托已报未确认，最早 10:08:51"), QStringLiteral("00:00:00"),
                               QStringLiteral("qtrl000"), QStringLiteral("00:00:00")};
const QString AllCategories = QStringLiteral("全部 (%1)");
const QString CategoryItem = QStringLiteral("%1 (%2)");
const QString WaitingBanner = QStringLiteral("%1 条告警未确认：%2");
const QString ClearedMark = QStringLiteral("（已解除）");
const QString LastingBanner = QStringLiteral("%1 条告警已确认，尚未解除：%2");
const QString NoSoundStatus = QStringLiteral("没有音频设备：告警不发声");
const QString TitleOfOne = QStringLiteral("报盘监控 - %1");
const QString NamedBanner = QStringLiteral("%1：%2");
// Ticks of the chart's time axis at most.
constexpr int ChartTicks = 7;

// The value of a key of an ODBC connection string ("DSN=sse;UID=qtrl"),
// braces taken off; empty when it has none.
QString odbcKeyValue(const QString &connection, const QString &key)
{
    qsizetype at = 0;
    while (at < connection.size()) {
        const qsizetype equals = connection.indexOf(u'=', at);
        if (equals < 0)
            break;
        const QString name = connection.mid(at, equals - at).trimmed();
        qsizetype end;
        QString value;
        if (equals + 1 < connection.size() && connection[equals + 1] == u'{') {
            end = connection.indexOf(u'}', equals + 2);
            end = end < 0 ? connection.size() : end;
            value = connection.mid(equals + 2, end - equals - 2);
            end = connection.indexOf(u';', end);
        } else {
            end = connection.indexOf(u';', equals);
            value = connection.mid(equals + 1, (end < 0 ? connection.size() : end) - equals - 1).trimmed();
        }
        if (name.compare(key, Qt::CaseInsensitive) == 0)
            return value;
        if (end < 0)
            break;
        at = end + 1;
    }
    return {};
}

QColor bannerColour(bool waiting)
{
    return waiting ? QColor(211, 47, 47) : QColor(255, 179, 0);
}

} // namespace

QString watchedDatabaseName(const QString &odbcConnectionString, const QString &database)
{
    QString source = odbcKeyValue(odbcConnectionString, QStringLiteral("DSN"));
    if (source.isEmpty())
        source = odbcKeyValue(odbcConnectionString, QStringLiteral("DRIVER"));
    return database.isEmpty() ? source : source + u'/' + database;
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
    m_counts.fill(0);
    for (const flow::Finding &f : m_findings)
        ++m_counts[std::size_t(f.category)];
    selectShown();
    endResetModel();
}

void FindingsModel::setCategory(std::optional<flow::Category> category)
{
    beginResetModel();
    m_category = category;
    selectShown();
    endResetModel();
}

void FindingsModel::selectShown()
{
    if (!m_category) {
        m_shown = flow::rankOrder(m_findings);
        return;
    }
    m_shown.clear();
    for (std::size_t i = 0; i < m_findings.size(); ++i)
        if (m_findings[i].category == *m_category)
            m_shown.push_back(quint32(i));
}

int FindingsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

int FindingsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 8;
}

QVariant FindingsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const flow::Finding &f = finding(index.row());
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

// The day's alarms, newest first: 发生时间, 类别, 说明, 确认时间, 确认人, 解除时间.
class AlarmLogModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setRecords(const std::vector<flow::AlarmRecord> &records)
    {
        beginResetModel();
        m_records.assign(records.rbegin(), records.rend());
        endResetModel();
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_records.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 6; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        const flow::AlarmRecord &r = m_records[std::size_t(index.row())];
        if (role == Qt::ToolTipRole && index.column() == 2)
            return r.text;
        if (role != Qt::DisplayRole)
            return {};
        const auto clock = [](const QDateTime &time) { return time.toString(QStringLiteral("HH:mm:ss")); };
        switch (index.column()) {
        case 0:
            return clock(r.raised);
        case 1:
            return flow::alarmKindText(r.kind);
        case 2:
            return r.text;
        case 3:
            return clock(r.acknowledged);
        case 4:
            return r.acknowledgedBy;
        default:
            return clock(r.cleared);
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const QStringList Titles{QStringLiteral("发生时间"), QStringLiteral("类别"),
                                        QStringLiteral("说明"),     QStringLiteral("确认时间"),
                                        QStringLiteral("确认人"),   QStringLiteral("解除时间")};
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= Titles.size())
            return QAbstractTableModel::headerData(section, orientation, role);
        return Titles[section];
    }

private:
    std::vector<flow::AlarmRecord> m_records;
};

// ---- the window ----

Tmonitorform::Tmonitorform(QWidget *parent, AlarmNotifier *sharedNotifier)
    : QWidget(parent, Qt::Window)
    , ui(std::make_unique<Ui::Tmonitorform>())
    , m_findings(new FindingsModel(this))
    , m_rejections(new RejectionsModel(this))
    , m_alarmLog(new AlarmLogModel(this))
    , m_notifier(sharedNotifier ? sharedNotifier : new AlarmNotifier(systemAlarmDevices(), this))
{
    ui->setupUi(this);
    ui->AlarmBanner->hide();
    ui->FindingsGrid->setModel(m_findings);
    fitGridToSamples(ui->FindingsGrid, FindingSamples);
    ui->RejectionsGrid->setModel(m_rejections);
    fitGridToSamples(ui->RejectionsGrid, RejectionSamples);
    ui->AlarmGrid->setModel(m_alarmLog);
    fitGridToSamples(ui->AlarmGrid, AlarmSamples);
    installCopyEntries(ui->AlarmGrid);
    // The figures are laid out anew, figure by figure, when the width changes.
    ui->FiguresLabel->installEventFilter(this);
    showCategories();
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
    connect(ui->MuteCheck, &QCheckBox::clicked, this, &Tmonitorform::MuteCheckClick);
    connect(ui->AckButton, &QPushButton::clicked, this, &Tmonitorform::AckButtonClick);
    connect(ui->CategoryCombo, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &Tmonitorform::CategoryComboChange);
    if (!sharedNotifier) // else the tray's click is its owner's
        connect(m_notifier, &AlarmNotifier::activated, this, &Tmonitorform::bringToFront);
    // Queued: said after the status of the refresh that raised the alarm.
    connect(
        m_notifier, &AlarmNotifier::soundUnavailable, this, [this] { ui->StatusLabel->setText(NoSoundStatus); },
        Qt::QueuedConnection);
}

Tmonitorform::~Tmonitorform()
{
    if (isVisible() && m_title.isEmpty())
        savePlace(this, monitorsettings::Section, monitorsettings::KeyPlace);
    detach();
    if (m_notifier->parent() != this)
        m_notifier->setShown(false, this);
}

void Tmonitorform::setDatabaseTitle(const QString &name)
{
    m_title = name;
    setWindowTitle(TitleOfOne.arg(name));
    showAlarms();
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
    // The place kept is the login's monitor's; one of several opens where
    // the desktop puts it.
    if (!m_placed && m_title.isEmpty()) {
        m_placed = true;
        restorePlace(this, monitorsettings::Section, monitorsettings::KeyPlace);
    }
    QWidget::showEvent(event);
    FormShow();
}

void Tmonitorform::FormShow()
{
    {
        const QSignalBlocker a(ui->RefreshSpin), b(ui->TimeoutSpin), c(ui->MuteCheck);
        ui->RefreshSpin->setValue(monitorsettings::read(monitorsettings::KeyRefresh, 5));
        ui->TimeoutSpin->setValue(monitorsettings::read(monitorsettings::KeyTimeout, 10));
        ui->MuteCheck->setChecked(
            settings::readSetting(monitorsettings::Section, monitorsettings::KeySound, QString()).trimmed()
            == QLatin1String("0"));
    }
    m_notifier->setMuted(ui->MuteCheck->isChecked());
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
    m_watch->setRejectBurst(monitorsettings::rejectBurst());
    m_notifier->setShown(true, this);
    m_watch->start(this);
}

void Tmonitorform::watch(const QString &odbcConnectionString, const QString &database)
{
    stop();
    watchDatabase(odbcConnectionString, database);
}

void Tmonitorform::watchDatabase(const QString &odbcConnectionString, const QString &database)
{
    auto watch = std::make_shared<flow::FlowWatch>(odbcConnectionString, database);
    auto book = std::make_shared<flow::AlarmBook>(watchedDatabaseName(odbcConnectionString, database));
    book->observe(watch.get());
    m_watchUser = odbcKeyValue(odbcConnectionString, QStringLiteral("UID"));
    this->watch(std::move(watch), std::move(book), database);
}

void Tmonitorform::watch(std::shared_ptr<flow::FlowWatch> watch, std::shared_ptr<flow::AlarmBook> book,
                         const QString &database)
{
    detach();
    m_watch = std::move(watch);
    m_book = std::move(book);
    m_database = database;
    connect(m_watch.get(), &flow::FlowWatch::refreshed, this, &Tmonitorform::refreshEnded);
    connect(m_watch.get(), &flow::FlowWatch::healthChanged, this, &Tmonitorform::showHealth);
    connect(m_book.get(), &flow::AlarmBook::changed, this, &Tmonitorform::showAlarms);
    connect(m_book.get(), &flow::AlarmBook::raised, this, &Tmonitorform::alarmsRaised);
    connect(m_book.get(), &flow::AlarmBook::logFailed, ui->StatusLabel, &QLabel::setText);
    m_notifier->addBook(m_book.get());
    // A watch already read opens with its figures at once.
    if (!m_watch->snapshotTime().isNull()) {
        applySnapshot(m_watch->snapshot());
        m_refreshed =
            flow::refreshedText(m_watch->snapshotTime().time(), m_watch->rowsRead(), m_watch->rowsHeld());
        showStatus(m_refreshed, false);
        showHealth();
    }
    if (!m_book->logError().isEmpty())
        ui->StatusLabel->setText(m_book->logError());
    showAlarms();
}

// Lets go of the watch and the book shown; they live on where someone
// else holds them, else they end here (a running refresh cancelled).
void Tmonitorform::detach()
{
    if (m_book) {
        m_notifier->removeBook(m_book.get());
        disconnect(m_book.get(), nullptr, this, nullptr);
        disconnect(m_book.get(), nullptr, ui->StatusLabel, nullptr);
    }
    if (m_watch) {
        m_watch->pause(this);
        disconnect(m_watch.get(), nullptr, this, nullptr);
    }
    m_book.reset();
    m_watch.reset();
}

void Tmonitorform::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_notifier->setShown(false, this);
    if (m_watch)
        m_watch->pause(this);
    const QString failed =
        m_title.isEmpty() ? savePlace(this, monitorsettings::Section, monitorsettings::KeyPlace) : QString();
    if (!failed.isEmpty())
        ui->StatusLabel->setText(failed);
}

void Tmonitorform::stop()
{
    // A refresh still running is cancelled and its result never shown.
    detach();
    m_watchUser.clear();
    showAlarms();
    applySnapshot(flow::Snapshot{});
    m_figureGroups.clear();
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
    if (!m_watch)
        return;
    reconcileDay(this, *m_watch, m_database, dayEndAlarms(*m_book));
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
    m_snapshot = std::move(snapshot);
    m_figureGroups = flow::figureGroups(m_snapshot.figures);
    showFigures();
    m_findings->setFindings(m_snapshot.findings);
    showCategories();
    m_rejections->setCounts(m_snapshot.rejectionsByCode);
    showChart(m_snapshot);
}

bool Tmonitorform::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->FiguresLabel && event->type() == QEvent::Resize)
        showFigures();
    return QWidget::eventFilter(watched, event);
}

// The figures in as many lines as the label's width needs, broken only
// between two figures; the label is never narrower than the widest.
void Tmonitorform::showFigures()
{
    QLabel *label = ui->FiguresLabel;
    const QFontMetrics metrics(label->font());
    const auto measure = [&metrics](const QString &line) { return metrics.horizontalAdvance(line); };
    int widest = 0;
    for (const QStringList &group : m_figureGroups)
        for (const QString &figure : group)
            widest = std::max(widest, measure(figure));
    label->setMinimumWidth(widest + 2 * label->margin());
    const QString text
        = flow::wrapFigures(m_figureGroups, label->contentsRect().width() - 2 * label->margin(), measure);
    if (label->text() != text)
        label->setText(text);
}

// 全部 and each category found, with their counts, the gateway's stoppers
// first; the category chosen stays while it has none.
void Tmonitorform::showCategories()
{
    QComboBox *combo = ui->CategoryCombo;
    const int chosen = combo->currentIndex() < 0 ? -1 : combo->currentData().toInt();
    QStringList texts{AllCategories.arg(m_findings->total())};
    QList<int> categories{-1};
    for (int rank = 0; rank < flow::CategoryRanks; ++rank) {
        for (int c = 0; c < flow::CategoryCount; ++c) {
            const qint64 count = m_findings->counts()[std::size_t(c)];
            if (flow::categoryRank(flow::Category(c)) != rank || (count == 0 && chosen != c))
                continue;
            texts << CategoryItem.arg(flow::categoryText(flow::Category(c))).arg(count);
            categories << c;
        }
    }
    bool same = combo->count() == texts.size();
    for (int i = 0; same && i < texts.size(); ++i)
        same = combo->itemText(i) == texts[i];
    if (same)
        return;
    const QSignalBlocker block(combo);
    combo->clear();
    for (int i = 0; i < texts.size(); ++i)
        combo->addItem(texts[i], categories[i]);
    combo->setCurrentIndex(int(categories.indexOf(chosen)));
}

void Tmonitorform::CategoryComboChange(int index)
{
    const int category = ui->CategoryCombo->itemData(index).toInt();
    m_findings->setCategory(category < 0 ? std::nullopt : std::optional(flow::Category(category)));
}

// Red while alarms wait to be acknowledged, amber while acknowledged ones
// are still active, hidden otherwise; the day's log in its tab.
void Tmonitorform::showAlarms()
{
    const int waiting = m_book ? m_book->unacknowledgedCount() : 0;
    const int lasting = m_book ? m_book->activeCount() : 0;
    if (waiting > 0 || lasting > 0) {
        const flow::AlarmRecord *newest = waiting > 0 ? m_book->newestUnacknowledged() : m_book->newestActive();
        const QString text = flow::alarmSummary(*newest) + (newest->active() ? QString() : ClearedMark);
        const QString banner =
            waiting > 0 ? WaitingBanner.arg(waiting).arg(text) : LastingBanner.arg(lasting).arg(text);
        ui->AlarmLabel->setText(m_title.isEmpty() ? banner : NamedBanner.arg(m_title, banner));
        QPalette palette = ui->AlarmBanner->palette();
        palette.setColor(QPalette::Window, bannerColour(waiting > 0));
        palette.setColor(QPalette::WindowText, waiting > 0 ? QColor(Qt::white) : QColor(Qt::black));
        ui->AlarmBanner->setPalette(palette);
        ui->AckButton->setVisible(waiting > 0);
        ui->AlarmBanner->show();
    } else {
        ui->AlarmBanner->hide();
    }
    m_alarmLog->setRecords(m_book ? m_book->records() : std::vector<flow::AlarmRecord>{});
}

void Tmonitorform::alarmsRaised(int count)
{
    // Flashes the task bar entry of a window behind others.
    if (isVisible() && !isActiveWindow())
        QApplication::alert(this);
    emit alarmed(count);
}

void Tmonitorform::AckButtonClick()
{
    if (m_book)
        m_book->acknowledge(loginUser());
}

// The user of the login; the monitor's own when it watches another database.
QString Tmonitorform::loginUser() const
{
    const Connection *con = datamod ? datamod->con : nullptr;
    if (con && con->connected()) {
        try {
            for (const auto &[key, value] : parseProviderString(con->connectionString()))
                if (key.compare(QLatin1String("User ID"), Qt::CaseInsensitive) == 0)
                    return value;
        } catch (const std::exception &) {
            // A string that does not parse names no user: the monitor's is used.
        }
    }
    return m_watchUser;
}

void Tmonitorform::MuteCheckClick(bool muted)
{
    try {
        settings::writeSetting(monitorsettings::Section, monitorsettings::KeySound,
                               muted ? QStringLiteral("0") : QStringLiteral("1"));
    } catch (const SettingsError &e) {
        ui->StatusLabel->setText(SettingFailedStatus.arg(QString::fromUtf8(e.what())));
    }
    m_notifier->setMuted(muted);
}

void Tmonitorform::bringToFront()
{
    ::bringToFront(this);
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
            // Ticks on whole minutes, quarters, hours... as the span needs:
            // no two ticks read the same.
            const flow::MinuteTicks ticks
                = last < 0 ? flow::minuteTicks(9 * 60, 15 * 60, ChartTicks) : flow::minuteTicks(first, last, ChartTicks);
            x->setTickCount(ticks.count);
            x->setRange(QDateTime::fromMSecsSinceEpoch(start + qint64(ticks.from) * 60000),
                        QDateTime::fromMSecsSinceEpoch(start + qint64(ticks.to) * 60000));
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
    if (f.category != flow::Category::OrphanConfirmation)
        key.recNum = f.recNum; // an order's own rec_num (0 for a rejection no order matched)
    traceform->showOrder(key, m_watch ? m_watch->connectionString() : QString(), m_database);
}
