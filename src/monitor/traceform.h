#pragma once

#include "flow/ordertrace.h"

#include <QWidget>

#include <exception>
#include <memory>
#include <optional>

class CommandRun;
class DatabaseWorker;
class QStandardItemModel;
namespace Ui {
class Ttraceform;
}

// 委托追踪: one order with its cancels, confirmations and trades in time
// order, and its state in one sentence. Not modal; it reads the database
// itself on a connection and worker of its own, opened with the values of
// the current login or of the database a monitor names.
class Ttraceform : public QWidget
{
    Q_OBJECT
public:
    explicit Ttraceform(QWidget *parent = nullptr);
    ~Ttraceform() override;

    // Shows the window and reads the order named by `key`, in the database
    // an ODBC connection string and database name give (none: the login's).
    void showOrder(const flow::TraceKey &key, const QString &odbcConnectionString = {},
                   const QString &database = {});
    // Reads the order shown again (its fills and replies may have come in
    // since); the rows shown stay until the new ones are read.
    void RefreshButtonClick();
    // Logout: closes its connection, empties and hides the window.
    void stop();
    QString stateText() const;
    QStandardItemModel *rows() const { return m_rows; }

signals:
    // A trace ended; `ok` false when it failed.
    void traced(bool ok);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void read();
    void dropSession();
    // Closing or a logout: a read still running is cancelled (its statement
    // too) and its result never shown.
    void cancelRead();
    void traceEnded(std::exception_ptr error, std::shared_ptr<flow::OrderTrace> trace, quint64 generation,
                    int querySeconds);

    std::unique_ptr<Ui::Ttraceform> ui;
    std::unique_ptr<DatabaseWorker> m_worker;
    std::shared_ptr<flow::TraceSession> m_session; // used on the worker only
    std::shared_ptr<CommandRun> m_run;              // the read running, if any
    QStandardItemModel *m_rows;
    bool m_placed = false; // the stored place was applied
    std::optional<flow::TraceKey> m_key; // the order shown
    QString m_connection, m_database;    // where it is read; none: the login's
    quint64 m_generation = 0;
};

extern Ttraceform *traceform;
