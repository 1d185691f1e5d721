#include "monitor/overviewform.h"
#include "ui_overviewform.h"

#include "base/settings.h"
#include "connection/datamodule.h"
#include "db/connection.h"
#include "db/connstring.h"
#include "flow/alarmbook.h"
#include "flow/flowtext.h"
#include "flow/flowwatch.h"
#include "monitor/alarmnotifier.h"
#include "monitor/dayendcommand.h"
#include "monitor/monitorform.h"
#include "monitor/monitorsettings.h"
#include "ui/gridcopy.h"
#include "ui/gridsizes.h"
#include "ui/windowplace.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QColor>
#include <QHeaderView>
#include <QInputDialog>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

Toverviewform *overviewform = nullptr;

namespace {

const QString Section = QStringLiteral("Overview");
const QString KeyHidden = QStringLiteral("Hidden");
const QString KeyPlace = QStringLiteral("Place");
const QString NoLoginStatus = QStringLiteral("未登录");
const QString RowsStatus = QStringLiteral("%1 个数据库，显示 %2 个");
const QString SettingFailedStatus = QStringLiteral("无法保存设置：%1");
const QString PasswordTitle = QStringLiteral("报盘总览");
const QString PasswordPrompt = QStringLiteral("请输入 %1（%2，用户 %3）的密码：");
const QString WaitingTip = QStringLiteral("等待数据库响应 %1 秒（自 %2 起）");
const QString NeedsPasswordTip = QStringLiteral("用户与当前登录不同：双击输入密码");
const QString DayEndText = QStringLiteral("日终核对...");
const QStringList Titles{QStringLiteral("名称"),     QStringLiteral("DSN"),        QStringLiteral("数据库"),
                         QStringLiteral("状态"),     QStringLiteral("委托"),       QStringLiteral("未报"),
                         QStringLiteral("已报未确认"), QStringLiteral("废单"),     QStringLiteral("成交笔数"),
                         QStringLiteral("最新委托时间"), QStringLiteral("刷新时间"), QStringLiteral("告警")};
enum Column { Name, Dsn, Database, State, Orders, Unsent, Unconfirmed, Rejected, Trades, LastOrder, Refreshed, Alarms };
const QStringList Samples{QStringLiteral("本地上海报盘数据库"), QStringLiteral("sse_gateway"), QStringLiteral("OIW_0001"),
                          QStringLiteral("无法连接"),   QStringLiteral("9999999"),  QStringLiteral("99999"),
                          QStringLiteral("99999"),      QStringLiteral("99999"),    QStringLiteral("9999999"),
                          QStringLiteral("00:00:00"),   QStringLiteral("00:00:00")};

QColor stateColor(overview::RowState state)
{
    switch (state) {
    case overview::RowState::Ok:
        return QColor(0x2e, 0x7d, 0x32);
    case overview::RowState::Alarm:
        return QColor(0xc6, 0x28, 0x28);
    case overview::RowState::Waiting:
        return QColor(0xf9, 0xa8, 0x25);
    case overview::RowState::Unreachable:
        return QColor(0x9e, 0x9e, 0x9e);
    case overview::RowState::NeedsPassword:
        return QColor(0x60, 0x7d, 0x8b);
    case overview::RowState::Connecting:
        return QColor(0xcf, 0xd8, 0xdc);
    }
    return {};
}

QPixmap stateMark(overview::RowState state)
{
    QPixmap mark(12, 12);
    mark.fill(Qt::transparent);
    QPainter painter(&mark);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(stateColor(state));
    painter.drawEllipse(1, 1, 10, 10);
    return mark;
}

// The current login's database, DSN, user and password as its connection
// string names them.
struct CurrentLogin
{
    overview::DatabaseEntry entry;
    QString password;
};

CurrentLogin currentLogin(const Connection &con)
{
    CurrentLogin login;
    for (const auto &[key, value] : parseProviderString(con.connectionString())) {
        if (key.compare(QLatin1String("password"), Qt::CaseInsensitive) == 0)
            login.password = value;
        else if (key.compare(QLatin1String("User ID"), Qt::CaseInsensitive) == 0)
            login.entry.user = value;
        else if (key.compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0)
            login.entry.dsn = value;
    }
    login.entry.database = con.defaultDatabase();
    return login;
}

// The name of the current login's database: its DSN list entry's
// description, else the description of the settings.
QString currentName(const overview::DatabaseEntry &current, const QStringList &lines)
{
    const QString key = overview::entryKey(current);
    for (const QString &line : lines) {
        const settings::DsnEntry split = settings::splitEntry(line);
        if (overview::entryKey({split.description, split.dsn, split.user, split.database}) == key)
            return split.description;
    }
    return settings::readConDbSet().description;
}

QStringList readDsnLines()
{
    try {
        return settings::readDsnList();
    } catch (const SettingsError &) {
        return {}; // no dbset.ini: the current login alone
    }
}

} // namespace

struct Toverviewform::Row
{
    overview::DatabaseEntry entry;
    QString key;
    QString password; // in memory only
    bool hasPassword = false;
    bool hidden = false;
    bool login = false; // the current login's: its watch and book are the login's monitor's too
    std::shared_ptr<flow::FlowWatch> watch;
    std::shared_ptr<flow::AlarmBook> book;
    // The monitor of this database, opened from the row; it shows the
    // row's watch and book and goes before them.
    std::unique_ptr<Tmonitorform> monitor;

    int alarms() const { return book ? book->unacknowledgedCount() : 0; }
    overview::RowState state() const
    {
        return overview::rowState(hasPassword, watch ? watch->health() : flow::Health{}, alarms());
    }
};

// The rows shown, one per database not hidden.
class Toverviewform::Model : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(std::vector<Row *> rows)
    {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }
    Row *row(int index) const
    {
        return index >= 0 && index < int(m_rows.size()) ? m_rows[std::size_t(index)] : nullptr;
    }
    void rowChanged(const Row *changed)
    {
        for (int r = 0; r < int(m_rows.size()); ++r)
            if (m_rows[std::size_t(r)] == changed)
                emit dataChanged(index(r, 0), index(r, columnCount() - 1));
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(Titles.size());
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= Titles.size())
            return QAbstractTableModel::headerData(section, orientation, role);
        return Titles[section];
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        const Row *r = row(index.row());
        if (!r || !index.isValid())
            return {};
        const overview::RowState state = r->state();
        switch (role) {
        case Qt::DisplayRole:
            return text(*r, state, index.column());
        case Qt::DecorationRole:
            return index.column() == State ? QVariant(stateMark(state)) : QVariant();
        case Qt::ToolTipRole:
            if (index.column() == Alarms && r->book && r->book->newestActive())
                return flow::alarmSummary(*r->book->newestActive());
            return index.column() == State ? tip(*r, state) : QVariant();
        case Qt::ForegroundRole:
            // Figures of a database not answering now are those last read.
            return index.column() > State && state != overview::RowState::Ok && state != overview::RowState::Alarm
                ? QVariant(QColor(Qt::gray))
                : QVariant();
        case Qt::TextAlignmentRole:
            return index.column() > State ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
        default:
            return {};
        }
    }

private:
    static QString text(const Row &r, overview::RowState state, int column)
    {
        switch (column) {
        case Name:
            return r.entry.name;
        case Dsn:
            return r.entry.dsn;
        case Database:
            return r.entry.database;
        case State:
            return overview::stateText(state);
        default:
            break;
        }
        if (!r.watch || r.watch->snapshotTime().isNull())
            return {};
        const flow::Figures &f = r.watch->snapshot().figures;
        switch (column) {
        case Orders:
            return QString::number(f.orders);
        case Unsent:
            return QString::number(f.unsent);
        case Unconfirmed:
            return QString::number(f.unconfirmed);
        case Rejected:
            return QString::number(f.rejected);
        case Trades:
            return QString::number(f.tradeRows);
        case LastOrder:
            return flow::clockText(f.lastOrderTime);
        case Refreshed:
            return r.watch->snapshotTime().toString(QStringLiteral("HH:mm:ss"));
        case Alarms:
            return QString::number(r.alarms());
        default:
            return {};
        }
    }
    static QVariant tip(const Row &r, overview::RowState state)
    {
        switch (state) {
        case overview::RowState::Unreachable:
            return r.watch->health().message;
        case overview::RowState::Waiting: {
            const QDateTime since = r.watch->health().since;
            return WaitingTip.arg(since.secsTo(QDateTime::currentDateTime()))
                .arg(since.toString(QStringLiteral("HH:mm:ss")));
        }
        case overview::RowState::NeedsPassword:
            return NeedsPasswordTip;
        default:
            return {};
        }
    }

    std::vector<Row *> m_rows;
};

Toverviewform::Toverviewform(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(std::make_unique<Ui::Toverviewform>())
    , m_model(new Model(this))
    , m_rowsMenu(new QMenu(this))
    , m_notifier(new AlarmNotifier(systemAlarmDevices(), this))
{
    ui->setupUi(this);
    ui->OverviewGrid->setModel(m_model);
    fitGridToSamples(ui->OverviewGrid, Samples);
    auto *dayEnd = new QAction(DayEndText, ui->OverviewGrid);
    dayEnd->setObjectName(QStringLiteral("DayEndAction"));
    ui->OverviewGrid->addAction(dayEnd);
    installCopyEntries(ui->OverviewGrid);
    m_rowsMenu->setObjectName(QStringLiteral("RowsMenu"));
    ui->RowsButton->setMenu(m_rowsMenu);
    connect(m_rowsMenu, &QMenu::aboutToShow, this, &Toverviewform::RowsMenuShow);
    connect(ui->RefreshButton, &QPushButton::clicked, this, &Toverviewform::RefreshButtonClick);
    connect(ui->OverviewGrid, &QTableView::doubleClicked, this, &Toverviewform::OverviewGridDoubleClick);
    connect(dayEnd, &QAction::triggered, this, &Toverviewform::DayEndActionClick);
    connect(m_notifier, &AlarmNotifier::activated, this, &Toverviewform::bringToFront);
}

Toverviewform::~Toverviewform()
{
    if (isVisible())
        savePlace(this, Section, KeyPlace);
    // The monitors opened from rows go first, while the notifier they share lives.
    m_model->setRows({});
    m_rows.clear();
}

QAbstractItemModel *Toverviewform::rows() const
{
    return m_model;
}

flow::FlowWatch *Toverviewform::watchOf(int row) const
{
    const Row *r = shownRow(row);
    return r ? r->watch.get() : nullptr;
}

flow::AlarmBook *Toverviewform::bookOf(int row) const
{
    const Row *r = shownRow(row);
    return r ? r->book.get() : nullptr;
}

Tmonitorform *Toverviewform::monitorOf(int row) const
{
    const Row *r = shownRow(row);
    if (!r)
        return nullptr;
    return r->login ? monitorform : r->monitor.get();
}

const overview::DatabaseEntry &Toverviewform::entryOf(int row) const
{
    return shownRow(row)->entry;
}

Toverviewform::Row *Toverviewform::shownRow(int row) const
{
    return m_model->row(row);
}

QString Toverviewform::statusText() const
{
    return ui->StatusLabel->text();
}

void Toverviewform::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        restorePlace(this, Section, KeyPlace);
    }
    QWidget::showEvent(event);
    FormShow();
}

void Toverviewform::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_notifier->setShown(false, this);
    for (const auto &row : m_rows)
        if (row->watch)
            row->watch->pause(this);
    const QString failed = savePlace(this, Section, KeyPlace);
    if (!failed.isEmpty())
        ui->StatusLabel->setText(failed);
}

void Toverviewform::FormShow()
{
    if (m_rows.empty()) {
        const Connection *con = datamod ? datamod->con : nullptr;
        if (!con || !con->connected()) {
            ui->StatusLabel->setText(NoLoginStatus);
            return;
        }
        loadRows();
    }
    m_notifier->setMuted(settings::readSetting(monitorsettings::Section, monitorsettings::KeySound, QString()).trimmed()
                         == QLatin1String("0"));
    m_notifier->setShown(true, this);
    for (const auto &row : m_rows)
        if (row->watch && !row->hidden)
            startWatching(*row);
}

void Toverviewform::loadRows()
{
    const CurrentLogin login = currentLogin(*datamod->con);
    const QStringList lines = readDsnLines();
    overview::DatabaseEntry current = login.entry;
    current.name = currentName(current, lines);
    const QStringList hidden = overview::hiddenKeys(settings::readSetting(Section, KeyHidden, QString()));
    for (const overview::DatabaseEntry &entry : overview::overviewEntries(current, lines)) {
        auto row = std::make_unique<Row>();
        row->entry = entry;
        row->key = overview::entryKey(entry);
        row->hidden = hidden.contains(row->key);
        row->login = m_rows.empty();
        // The login's own user reaches every database it may with its password.
        if (overview::sameUser(entry, current.user)) {
            row->password = login.password;
            row->hasPassword = true;
        }
        m_rows.push_back(std::move(row));
    }
    std::vector<Row *> shown;
    for (const auto &row : m_rows)
        if (!row->hidden)
            shown.push_back(row.get());
    m_model->setRows(shown);
    ui->StatusLabel->setText(RowsStatus.arg(m_rows.size()).arg(shown.size()));
    for (Row *row : shown)
        if (row->hasPassword)
            startWatching(*row);
}

// The login's database is watched once: by the login's monitor and this
// row alike, with one book of its alarms.
void Toverviewform::watchLogin(Row &row)
{
    const Connection *con = datamod ? datamod->con : nullptr;
    if (!con || !con->connected())
        return;
    const QString connection = con->odbcConnectionString();
    const QString database = con->defaultDatabase();
    if (monitorform && monitorform->sharedWatch() && monitorform->sharedWatch()->connectionString() == connection
        && monitorform->sharedWatch()->database() == database) {
        row.watch = monitorform->sharedWatch();
        row.book = monitorform->sharedBook();
        return;
    }
    row.watch = std::make_shared<flow::FlowWatch>(connection, database);
    row.book = std::make_shared<flow::AlarmBook>(watchedDatabaseName(connection, database));
    row.book->observe(row.watch.get());
    if (monitorform && !monitorform->sharedWatch())
        monitorform->watch(row.watch, row.book, database);
}

void Toverviewform::startWatching(Row &row)
{
    if (!row.watch) {
        if (row.login) {
            watchLogin(row);
        } else {
            const QString connection =
                toOdbcConnectionString(loginConnectionString(row.password, row.entry.user, row.entry.dsn));
            row.watch = std::make_shared<flow::FlowWatch>(connection, row.entry.database);
            row.book = std::make_shared<flow::AlarmBook>(watchedDatabaseName(connection, row.entry.database));
            row.book->observe(row.watch.get());
        }
        if (!row.watch)
            return;
        Row *changed = &row;
        const auto update = [this, changed] {
            m_model->rowChanged(changed);
            emit rowsChanged();
        };
        connect(row.watch.get(), &flow::FlowWatch::refreshed, this, update);
        connect(row.watch.get(), &flow::FlowWatch::healthChanged, this, update);
        connect(row.book.get(), &flow::AlarmBook::changed, this, update);
        m_notifier->addBook(row.book.get());
    }
    row.watch->setInterval(monitorsettings::read(monitorsettings::KeyRefresh, 5));
    row.watch->setTimeoutSeconds(monitorsettings::read(monitorsettings::KeyTimeout, 10));
    row.watch->setQuerySeconds(monitorsettings::querySeconds());
    row.watch->setRejectBurst(monitorsettings::rejectBurst());
    if (isVisible())
        row.watch->start(this);
}

// A row's database no longer read here: its monitor closes, and the watch
// and book end unless the login's monitor shows them.
void Toverviewform::dropWatch(Row &row)
{
    row.monitor.reset();
    if (row.book) {
        m_notifier->removeBook(row.book.get());
        disconnect(row.book.get(), nullptr, this, nullptr);
    }
    if (row.watch) {
        row.watch->pause(this);
        disconnect(row.watch.get(), nullptr, this, nullptr);
    }
    row.book.reset();
    row.watch.reset();
}

void Toverviewform::RefreshButtonClick()
{
    for (const auto &row : m_rows)
        if (row->watch && !row->hidden)
            row->watch->refreshNow();
}

void Toverviewform::OverviewGridDoubleClick(const QModelIndex &index)
{
    Row *row = shownRow(index.row());
    if (!row)
        return;
    const overview::RowState state = row->state();
    if (state == overview::RowState::NeedsPassword
        || (state == overview::RowState::Unreachable && !row->login
            && !overview::sameUser(row->entry, m_rows.front()->entry.user))) {
        askPassword(*row);
        return;
    }
    if (!row->watch)
        return;
    Tmonitorform *monitor = row->login ? monitorform : nullptr;
    if (!row->login) {
        if (!row->monitor) {
            row->monitor = std::make_unique<Tmonitorform>(nullptr, m_notifier);
            row->monitor->setDatabaseTitle(row->entry.name);
            row->monitor->watch(row->watch, row->book, row->entry.database);
        }
        monitor = row->monitor.get();
    }
    if (!monitor)
        return;
    monitor->show();
    monitor->raise();
    monitor->activateWindow();
}

void Toverviewform::DayEndActionClick()
{
    const Row *row = shownRow(ui->OverviewGrid->currentIndex().row());
    if (row && row->watch)
        reconcileDay(this, *row->watch, row->entry.database, dayEndAlarms(*row->book));
}

void Toverviewform::askPassword(Row &row)
{
    bool ok = false;
    const QString password =
        QInputDialog::getText(this, PasswordTitle, PasswordPrompt.arg(row.entry.name, row.entry.dsn, row.entry.user),
                              QLineEdit::Password, QString(), &ok);
    if (!ok)
        return;
    row.password = password;
    row.hasPassword = true;
    dropWatch(row); // a new connection with the new password
    startWatching(row);
    m_model->rowChanged(&row);
}

void Toverviewform::RowsMenuShow()
{
    m_rowsMenu->clear();
    for (const auto &row : m_rows) {
        QAction *action = m_rowsMenu->addAction(
            QStringLiteral("%1（%2 / %3）").arg(row->entry.name, row->entry.dsn, row->entry.database));
        action->setCheckable(true);
        action->setChecked(!row->hidden);
        const QString key = row->key;
        connect(action, &QAction::toggled, this, [this, key](bool shown) { RowsMenuTriggered(key, shown); });
    }
}

void Toverviewform::RowsMenuTriggered(const QString &key, bool shown)
{
    QStringList hidden;
    std::vector<Row *> rows;
    for (const auto &row : m_rows) {
        if (row->key == key) {
            row->hidden = !shown;
            if (row->hidden)
                dropWatch(*row); // a database not shown is not read
            else if (row->hasPassword)
                startWatching(*row);
        }
        if (row->hidden)
            hidden << row->key;
        else
            rows.push_back(row.get());
    }
    m_model->setRows(rows);
    ui->StatusLabel->setText(RowsStatus.arg(m_rows.size()).arg(rows.size()));
    try {
        settings::writeSetting(Section, KeyHidden, overview::hiddenSetting(hidden));
    } catch (const SettingsError &e) {
        ui->StatusLabel->setText(SettingFailedStatus.arg(QString::fromUtf8(e.what())));
    }
}

void Toverviewform::bringToFront()
{
    ::bringToFront(this);
}

void Toverviewform::stop()
{
    m_model->setRows({});
    for (const auto &row : m_rows)
        dropWatch(*row); // each watch cancels its refresh and closes its connection
    m_rows.clear();
    ui->StatusLabel->clear();
    hide();
}
