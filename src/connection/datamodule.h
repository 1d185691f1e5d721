#pragma once

#include "db/query.h"

#include <QObject>
#include <QStringList>
#include <functional>

class Connection;
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

// A named parameter of a statement and how its text is declared.
struct Parameter
{
    QString name;
    QString value;
    ParameterType type = ParameterType::WideText;
};
using Parameters = QList<Parameter>;

// Run a query: close, clear the text, add the lines, set each parameter by
// name, run beforeOpen (the grid binding), mark prepared, open.
void runQuery(Query &query, const QStringList &lines, const Parameters &parameters = {},
              const std::function<void()> &beforeOpen = {});
// Execute a statement: the same steps, then execute instead of opening.
void executeStatement(Query &query, const QStringList &lines, const Parameters &parameters = {});
