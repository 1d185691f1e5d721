#pragma once

#include "db/orderflow.h"

#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class DatabaseWorker;
class QChartView;
namespace flow {
class FlowSession;
}
namespace Ui {
class Tmonitorform;
}

// Settings of the monitor, in a section of their own in dbset.ini.
namespace monitorsettings {
inline const QString Section = QStringLiteral("Monitor");
inline const QString KeyRefresh = QStringLiteral("RefreshSeconds");
inline const QString KeyTimeout = QStringLiteral("TimeoutSeconds");
// Where the two windows were last left ("x,y,width,height").
inline const QString KeyPlace = QStringLiteral("Place");
inline const QString KeyTracePlace = QStringLiteral("TracePlace");
// The stored value within 1 to 60, `fallback` when missing or not a number.
int read(const QString &key, int fallback);
}

// The note of a return code as the return-code window's table gives it.
using CodeNotes = std::function<QString(int code)>;
CodeNotes returnCodeNotes();

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
    // The 说明 of a finding: the return code's note where there is a code.
    static QString note(const flow::Finding &finding);

private:
    std::vector<flow::Finding> m_findings;
};

// The one line of labelled figures.
QString figuresText(const flow::Figures &figures);

// 报盘监控: a live view of the order flow beside the other windows (not
// modal). It has a connection and a worker of its own, opened with the
// values of the current login when it is first shown; hiding it stops the
// refresh, stop() (logout) also closes its connection and empties it.
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
    bool refreshing() const { return m_busy; }
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

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void FormShow();
    void RefreshSpinChange(int seconds);
    void TimeoutSpinChange(int seconds);
    void FindingsGridDoubleClick(const QModelIndex &index);
    void refreshEnded(std::exception_ptr error, std::shared_ptr<flow::Snapshot> result,
                      quint64 generation);
    void applySnapshot(flow::Snapshot snapshot);
    void showChart(const flow::Snapshot &snapshot);
    void scheduleNext();

    std::unique_ptr<Ui::Tmonitorform> ui;
    std::unique_ptr<DatabaseWorker> m_worker;
    std::shared_ptr<flow::FlowSession> m_session;
    FindingsModel *m_findings;
    class RejectionsModel *m_rejections;
    QChartView *m_chart = nullptr;
    QTimer m_timer;
    flow::Snapshot m_snapshot;
    bool m_busy = false;
    bool m_again = false;
    bool m_placed = false; // the stored place was applied
    quint64 m_generation = 0;
};

extern Tmonitorform *monitorform;
