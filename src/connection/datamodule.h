#pragma once

#include <QObject>
#include <QPair>
#include <QStringList>
#include <functional>

class Connection;
class Query;
class DataSource;

// The data module: the one connection and the four query objects, created
// once at start. Destroying it closes the connection.
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
};

extern Tdatamod *datamod;

using Parameters = QList<QPair<QString, QString>>;

// Run a query: close, clear the text, add the lines, set each parameter by
// name, run beforeOpen (the grid binding), mark prepared, open.
void runQuery(Query &query, const QStringList &lines, const Parameters &parameters = {},
              const std::function<void()> &beforeOpen = {});
// Execute a statement: the same steps, then execute instead of opening.
void executeStatement(Query &query, const QStringList &lines, const Parameters &parameters = {});
