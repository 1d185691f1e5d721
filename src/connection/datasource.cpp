#include "connection/datasource.h"

// Placeholder until the data source lands.
DataSource::DataSource(Query *query, QObject *parent) : QAbstractTableModel(parent), m_query(query) {}
int DataSource::rowCount(const QModelIndex &) const { return 0; }
int DataSource::columnCount(const QModelIndex &) const { return 0; }
QVariant DataSource::data(const QModelIndex &, int) const { return {}; }
QVariant DataSource::headerData(int, Qt::Orientation, int) const { return {}; }
Qt::ItemFlags DataSource::flags(const QModelIndex &) const { return {}; }
