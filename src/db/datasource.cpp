#include "db/datasource.h"

#include "db/query.h"

DataSource::DataSource(Query *query, QObject *parent)
    : QAbstractTableModel(parent)
    , m_query(query)
{
    connect(m_query, &Query::resultAboutToChange, this, [this] { beginResetModel(); });
    connect(m_query, &Query::resultChanged, this, [this] {
        rebindColumns();
        endResetModel();
    });
    connect(m_query, &Query::currentRowChanged, this, &DataSource::currentRowChanged);
}

Query *DataSource::dataSet() const
{
    return m_query;
}

void DataSource::setColumnCaptions(const QStringList &captions)
{
    beginResetModel();
    m_captions = captions;
    m_fieldNames.resize(m_captions.size());
    rebindColumns();
    endResetModel();
}

QString DataSource::caption(int column) const
{
    return m_captions.value(column);
}

void DataSource::setCaption(int column, const QString &caption)
{
    if (column < 0 || column >= m_captions.size())
        return;
    m_captions[column] = caption;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

QString DataSource::fieldName(int column) const
{
    return m_fieldNames.value(column);
}

void DataSource::setFieldName(int column, const QString &field)
{
    if (column < 0 || column >= m_fieldNames.size())
        return;
    m_fieldNames[column] = field;
    rebindColumns();
    const int rows = rowCount();
    if (rows > 0)
        emit dataChanged(index(0, column), index(rows - 1, column));
}

int DataSource::currentRow() const
{
    return m_query->recNo();
}

void DataSource::rebindColumns()
{
    const ResultSet *result = m_query->result();
    m_resultColumns.assign(std::size_t(m_fieldNames.size()), -1);
    if (!result)
        return;
    for (int i = 0; i < m_fieldNames.size(); ++i) {
        if (!m_fieldNames[i].isEmpty())
            m_resultColumns[std::size_t(i)] = result->columnIndex(m_fieldNames[i]);
    }
}

int DataSource::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    const ResultSet *result = m_query->result();
    return result ? result->rowCount() : 0;
}

int DataSource::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_captions.size());
}

QVariant DataSource::data(const QModelIndex &index, int role) const
{
    const ResultSet *result = m_query->result();
    if (!result || !index.isValid() || index.row() >= result->rowCount()
        || std::size_t(index.column()) >= m_resultColumns.size())
        return {};
    const int column = m_resultColumns[std::size_t(index.column())];
    if (column < 0)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return result->text(index.row(), column);
    case Qt::TextAlignmentRole:
        // Numbers stand right-aligned, as in any data grid.
        if (result->kind(column) != FieldKind::Text)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    default:
        return {};
    }
}

QVariant DataSource::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_captions.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags DataSource::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
