#pragma once

#include "flow/orderflow.h"

#include <QAbstractTableModel>
#include <QWidget>

#include <memory>

class QChartView;
namespace flow {
class FlowWatch;
}
namespace Ui {
class Tmonitorform;
}

// Findings as grid rows: 类别, 记录编号, 申请编号, 股东帐号, 证券代码, 时间, 返回码, 说明.
class FindingsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit FindingsModel(QObject *parent = nullptr);
    void setFindings(std::vector<flow::Finding> findings);
    const flow::Finding &finding(int row) const { return m_findings[std::size_t(row)]; }
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<flow::Finding> m_findings;
};

// 报盘监控: a live view of the order flow beside the other windows (not
// modal). It watches the database (flow::FlowWatch: a connection and a
// worker of its own) with the values of the current login from its first
// showing on; hiding it stops the refresh, stop() (logout) also closes its
// connection and empties it.
class Tmonitorform : public QWidget
{
    Q_OBJECT
public:
    explicit Tmonitorform(QWidget *parent = nullptr);
    ~Tmonitorform() override;

    // Logout or a connection given up: stops, closes its connection, empties
    // the window and hides it.
    void stop();
    // Watches the database an ODBC connection string names rather than the
    // current login's, from the next showing on (tools and the benchmark).
    void watch(const QString &odbcConnectionString, const QString &database);
    bool refreshing() const;
    // The database watched; null before the first showing and after a logout.
    flow::FlowWatch *flowWatch() const { return m_watch.get(); }
    const flow::Snapshot &snapshot() const { return m_snapshot; }
    QString statusText() const;
    FindingsModel *findings() const { return m_findings; }

signals:
    // A refresh ended; `ok` false when it failed.
    void refreshed(bool ok);
    // New findings that stop or stall the gateway came in with a refresh.
    void alarmed(int findings);

public slots:
    void RefreshButtonClick();
    // Asks for a file and writes the day's reconciliation of the database shown.
    void DayEndButtonClick();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void FormShow();
    void RefreshSpinChange(int seconds);
    void TimeoutSpinChange(int seconds);
    void FindingsGridDoubleClick(const QModelIndex &index);
    void watchDatabase(const QString &odbcConnectionString, const QString &database);
    void refreshEnded(bool ok);
    // The status line: a refresh waiting or failed, with the time its data
    // are of, figures and findings greyed meanwhile; notes of the database
    // on lines below.
    void showHealth();
    void showStatus(const QString &text, bool stale);
    void markStale(bool stale);
    void applySnapshot(flow::Snapshot snapshot);
    void showChart(const flow::Snapshot &snapshot);

    std::unique_ptr<Ui::Tmonitorform> ui;
    std::unique_ptr<flow::FlowWatch> m_watch; // the database watched; none after a logout
    FindingsModel *m_findings;
    class RejectionsModel *m_rejections;
    QChartView *m_chart = nullptr;
    flow::Snapshot m_snapshot;
    QString m_database; // of the watch
    QString m_refreshed;   // the status of the last refresh that succeeded
    bool m_placed = false; // the stored place was applied
};

extern Tmonitorform *monitorform;
