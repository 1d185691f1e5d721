#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <vector>

class Query;

// The link between a query object and the grid that shows it. It carries the
// grid's designed columns: a caption each (fixed by the window's design) and
// a field name bound at run time by position. A column shows the result
// field whose name equals its field name; the model is empty while the
// query is closed.
class DataSource : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit DataSource(Query *query, QObject *parent = nullptr);

    Query *dataSet() const;

    void setColumnCaptions(const QStringList &captions);
    QString caption(int column) const;
    void setCaption(int column, const QString &caption);
    QString fieldName(int column) const;
    void setFieldName(int column, const QString &field);

    // The query's current row (-1 when closed or empty).
    int currentRow() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    void currentRowChanged(int row);

private:
    Query *m_query;
    QStringList m_captions;
    QStringList m_fieldNames;
    std::vector<int> m_resultColumns; // field name → result column, -1 unbound
    void rebindColumns();
};
