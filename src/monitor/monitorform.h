#pragma once

#include "flow/orderflow.h"

#include <QAbstractTableModel>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>

class AlarmNotifier;
class AlarmDevices;
class QChartView;
namespace flow {
class AlarmBook;
class FlowWatch;
struct AlarmRecord;
}
namespace Ui {
class Tmonitorform;
}

// Findings as grid rows: 类别, 记录编号, 申请编号, 股东帐号, 证券代码, 时间, 返回码, 说明.
// Those that stop the gateway come first (flow::rankOrder), all of them
// or those of one category.
class FindingsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit FindingsModel(QObject *parent = nullptr);
    void setFindings(std::vector<flow::Finding> findings);
    // Only the findings of `category`; none: all of them.
    void setCategory(std::optional<flow::Category> category);
    // Findings of each category, shown or not.
    const std::array<qint64, flow::CategoryCount> &counts() const { return m_counts; }
    qint64 total() const { return qint64(m_findings.size()); }
    const flow::Finding &finding(int row) const { return m_findings[m_shown[std::size_t(row)]]; }
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void selectShown();

    std::vector<flow::Finding> m_findings; // newest first
    std::vector<quint32> m_shown;          // the rows: indexes into m_findings
    std::optional<flow::Category> m_category;
    std::array<qint64, flow::CategoryCount> m_counts{};
};

// 报盘监控: a live view of the order flow beside the other windows (not
// modal). It watches the database (flow::FlowWatch: a connection and a
// worker of its own) with the values of the current login from its first
// showing on; hiding it stops the refresh, stop() (logout) also closes its
// connection and empties it. The database's alarms (flow::AlarmBook) show
// in a banner to acknowledge and in the 告警记录 tab, and call the operator
// with sound and tray icon (AlarmNotifier) while the window runs.
class Tmonitorform : public QWidget
{
    Q_OBJECT
public:
    // `sharedNotifier`: the sound and tray of a window that owns several
    // monitors (the overview's), else the window has its own.
    explicit Tmonitorform(QWidget *parent = nullptr, AlarmNotifier *sharedNotifier = nullptr);
    ~Tmonitorform() override;

    // Logout or a connection given up: stops, closes its connection, empties
    // the window and hides it.
    void stop();
    // Watches the database an ODBC connection string names rather than the
    // current login's, from the next showing on (tools and the benchmark).
    void watch(const QString &odbcConnectionString, const QString &database);
    // Shows a database someone else already watches (`database` as selected
    // on its connection), with its alarm book (which observes that watch);
    // the window starts and pauses the watch as it shows and hides.
    void watch(std::shared_ptr<flow::FlowWatch> watch, std::shared_ptr<flow::AlarmBook> book,
               const QString &database);
    // The monitor of one database of several: caption "报盘监控 - 名称" and
    // the banner naming it.
    void setDatabaseTitle(const QString &name);
    bool refreshing() const;
    // The database watched; null before the first showing and after a logout.
    flow::FlowWatch *flowWatch() const { return m_watch.get(); }
    // The watch and the book shown, to be shown elsewhere too.
    std::shared_ptr<flow::FlowWatch> sharedWatch() const { return m_watch; }
    std::shared_ptr<flow::AlarmBook> sharedBook() const { return m_book; }
    const flow::Snapshot &snapshot() const { return m_snapshot; }
    QString statusText() const;
    FindingsModel *findings() const { return m_findings; }
    // The alarms of the database shown; null before the first showing and
    // after a logout.
    flow::AlarmBook *alarmBook() const { return m_book.get(); }
    AlarmNotifier *notifier() const { return m_notifier; }

signals:
    // A refresh ended; `ok` false when it failed.
    void refreshed(bool ok);
    // Alarms were raised (flow/alarms.h: one per cause).
    void alarmed(int alarms);

public slots:
    void RefreshButtonClick();
    // Asks for a file and writes the day's reconciliation of the database shown.
    void DayEndButtonClick();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
    void RefreshSpinChange(int seconds);
    void TimeoutSpinChange(int seconds);
    void MuteCheckClick(bool muted);
    void AckButtonClick();
    void CategoryComboChange(int index);
    void FindingsGridDoubleClick(const QModelIndex &index);
    void watchDatabase(const QString &odbcConnectionString, const QString &database);
    void detach();
    void refreshEnded(bool ok);
    // The status line: a refresh waiting or failed, with the time its data
    // are of, figures and findings greyed meanwhile; notes of the database
    // on lines below.
    void showHealth();
    void showStatus(const QString &text, bool stale);
    void markStale(bool stale);
    void applySnapshot(flow::Snapshot snapshot);
    void showFigures();
    void showCategories();
    void showChart(const flow::Snapshot &snapshot);
    void showAlarms();
    void alarmsRaised(int count);
    void bringToFront();
    QString loginUser() const;

    std::unique_ptr<Ui::Tmonitorform> ui;
    // The database watched and its alarms; none after a logout.
    std::shared_ptr<flow::FlowWatch> m_watch;
    std::shared_ptr<flow::AlarmBook> m_book;
    QString m_watchUser; // the user of the watched connection
    FindingsModel *m_findings;
    class RejectionsModel *m_rejections;
    class AlarmLogModel *m_alarmLog;
    AlarmNotifier *m_notifier;
    QChartView *m_chart = nullptr;
    QString m_title; // the database's name when one of several
    flow::Snapshot m_snapshot;
    QString m_database; // of the watch
    QString m_refreshed;   // the status of the last refresh that succeeded
    std::vector<QStringList> m_figureGroups;
    bool m_placed = false; // the stored place was applied
};

// How the alarm log and the banner name a watched database: its DSN (or
// driver) and the database selected, "sse/OIW".
QString watchedDatabaseName(const QString &odbcConnectionString, const QString &database);

extern Tmonitorform *monitorform;
