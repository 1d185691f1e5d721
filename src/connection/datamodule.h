#pragma once

#include "db/query.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

class Connection;
class DataSource;
class DatabaseWorker;

// The data module: the one connection, its database worker and the four
// query objects, created once at start. Destroying it closes the connection
// and ends the worker (see the exit rule in db/worker.h).
class Tdatamod : public QObject
{
    Q_OBJECT
public:
    explicit Tdatamod(QObject *parent = nullptr);
    ~Tdatamod() override;

    Connection *const con;
    Query *const qry1;
    DataSource *const DataSource1;
    Query *const qry2;
    DataSource *const DataSource2;
    Query *const qry3;
    DataSource *const DataSource3;
    Query *const qry4;

    // Runs the connection's database work, the commands among it.
    DatabaseWorker &worker() const { return *m_worker; }

private:
    std::unique_ptr<DatabaseWorker> m_worker;
};

extern Tdatamod *datamod;

// A named parameter of a statement and how its text is declared.
struct Parameter
{
    QString name;
    QString value;
    ParameterType type = ParameterType::WideText;
};
using Parameters = QList<Parameter>;

// Run a query: close, clear the text, add the lines, set each parameter by
// name, run beforeOpen (the grid binding), mark prepared, open. The open runs
// as a command ("正在查询…"): the result is fetched on the data module's worker
// and becomes the query's result when complete.
void runQuery(Query &query, const QStringList &lines, const Parameters &parameters = {},
              const std::function<void()> &beforeOpen = {});
// Execute a statement: the same steps, then execute instead of opening, as a
// command showing `progressText`.
void executeStatement(Query &query, const QStringList &lines, const Parameters &parameters = {},
                      const QString &progressText = QStringLiteral("正在执行…"));
