#include "connection/datamodule.h"

#include "db/connection.h"
#include "db/datasource.h"
#include "db/query.h"
#include "db/worker.h"
#include "ui/command.h"
#include "ui/waitcursor.h"

Tdatamod *datamod = nullptr;

namespace {
const QString Qry1StoredSql = QStringLiteral("select * from ashare_cjhb");
const QString QueryingText = QStringLiteral("正在查询…");
}

Tdatamod::Tdatamod(QObject *parent)
    : QObject(parent)
    , con(new Connection(this))
    , qry1(new Query(con, this))
    , DataSource1(new DataSource(qry1, this))
    , qry2(new Query(con, this))
    , DataSource2(new DataSource(qry2, this))
    , qry3(new Query(con, this))
    , DataSource3(new DataSource(qry3, this))
    , qry4(new Query(con, this))
    , m_worker(std::make_unique<DatabaseWorker>(QStringLiteral("con worker")))
{
    setObjectName(QStringLiteral("datamod"));
    con->setObjectName(QStringLiteral("con"));
    qry1->setObjectName(QStringLiteral("qry1"));
    qry2->setObjectName(QStringLiteral("qry2"));
    qry3->setObjectName(QStringLiteral("qry3"));
    qry4->setObjectName(QStringLiteral("qry4"));
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    DataSource2->setObjectName(QStringLiteral("DataSource2"));
    DataSource3->setObjectName(QStringLiteral("DataSource3"));
    con->setWorker(m_worker.get());
    qry1->addSql(Qry1StoredSql);
    // A command given up on the connection leaves it to the stuck call.
    connect(commandEvents(), &CommandEvents::connectionGivenUp, con, &Connection::abandon);
}

Tdatamod::~Tdatamod()
{
    // Results hold no statement handles, so the connection can go first.
    con->close();
    con->setWorker(nullptr);
}

static void prepareStatement(Query &query, const QStringList &lines, const Parameters &parameters)
{
    query.close();
    query.clearSql();
    for (const QString &line : lines)
        query.addSql(line);
    for (const auto &parameter : parameters)
        query.setParameter(parameter.name, parameter.value, parameter.type);
}

// Runs a command on the worker of the query's connection; a connection
// without one (made outside the data module) gets a worker for this command.
static void runOnWorker(Query &query, const QString &text, const CommandRun::Work &work)
{
    if (DatabaseWorker *worker = query.connection() ? query.connection()->worker() : nullptr) {
        runCommand(*worker, text, work);
        return;
    }
    DatabaseWorker commandWorker(QStringLiteral("command worker"));
    runCommand(commandWorker, text, work);
}

void runQuery(Query &query, const QStringList &lines, const Parameters &parameters,
              const std::function<void()> &beforeOpen)
{
    prepareStatement(query, lines, parameters);
    if (beforeOpen)
        beforeOpen();
    query.setPrepared(true);
    const WaitCursor waitCursor; // until the grid shows the result
    const std::shared_ptr<const QueryCall> call = query.call();
    const auto result = std::make_shared<std::unique_ptr<ResultSet>>();
    runOnWorker(query, QueryingText, [call, result](CommandControl &control) { *result = call->fetch(&control); });
    query.adopt(std::move(*result));
}

void executeStatement(Query &query, const QStringList &lines, const Parameters &parameters,
                      const QString &progressText)
{
    prepareStatement(query, lines, parameters);
    query.setPrepared(true);
    const std::shared_ptr<const QueryCall> call = query.call();
    runOnWorker(query, progressText, [call](CommandControl &control) { call->execute(&control); });
}
