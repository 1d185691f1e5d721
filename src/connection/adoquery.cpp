#include "connection/adoquery.h"

// Placeholder until the query object lands.
struct Query::Private {};
Query::Query(Connection *, QObject *parent) : QObject(parent), d(std::make_unique<Private>()) {}
Query::~Query() = default;
void Query::addSql(const QString &) {}
void Query::clearSql() {}
void Query::close() {}
void Query::setParameter(const QString &, const QString &) {}
void Query::setPrepared(bool) {}
void Query::open() {}
void Query::execSql() {}
