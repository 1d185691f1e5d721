#pragma once

#include "query/sortstate.h"
#include "query/statements.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class ColumnWidths;
class DataSource;
class FindBar;
class GridMenu;
class Query;
class QLabel;
class QLineEdit;
class QTableView;

// A designed column of a result grid: its caption and the field it shows.
struct GridColumn
{
    QString caption;
    QString field;
};

// What one page of the query window is made of.
struct QueryPageParts
{
    QString table; // the interface table; names the export files
    Query *query = nullptr;
    DataSource *source = nullptr;
    QTableView *grid = nullptr;
    QLabel *count = nullptr;
    QList<QLineEdit *> conditionBoxes; // in the order "重添条件" empties them
    QList<GridColumn> columns;         // by grid position
    std::function<StatementText()> allStatement;
    // Reads the condition boxes; a statement without lines runs nothing.
    std::function<StatementText()> conditionStatement;
    // Totals the listed rows from the count label's text; none on a page
    // without statistics.
    std::function<void(Query &, const QString &count)> statistics;
    // Where a returned message's codes get their note as a tooltip; empty
    // for none.
    QString returnCodeField;
};

// One page of the query window: its list commands, the condition boxes'
// reset, the statistics, the sorting by a title click, the grid's context
// menu, column widths and find bar. The commands catch nothing of their own: their
// errors reach the application-wide error box.
class QueryPage : public QObject
{
    Q_OBJECT
public:
    // Sets the grid up over the data source; the page lives as long as its
    // parent.
    QueryPage(QueryPageParts parts, QObject *parent);
    ~QueryPage() override;

    // Binds the grid's columns to result fields by position.
    void bindColumns();
    void listAll();
    void listByCondition();
    void clearConditions();
    void showStatistics();
    // A click on the title of the column at this position; nothing before
    // the page's first list.
    void titleClick(int column);
    // After a new login: nothing of an earlier connection stays on the page;
    // grid, count and sort arrow are as when the window was created.
    void forgetResult();
    // The sort state's start values: no arrow, the next click descending.
    void resetSort();

    const SortState &sortState() const { return m_sort; }
    // Null without a data source.
    GridMenu *menu() const { return m_menu; }
    // Under the grid, hidden until opened (Ctrl+F); null without a data source.
    FindBar *findBar() const { return m_find; }
    QTableView *grid() const { return m_parts.grid; }
    Query *query() const { return m_parts.query; }

    // "追踪委托": the order of the grid's current row in the trace window.
    void traceCurrentRow();

private:
    void list(const StatementText &statement);

    QueryPageParts m_parts;
    QStringList m_fields;
    SortState m_sort;
    GridMenu *m_menu = nullptr;
    ColumnWidths *m_widths = nullptr;
    FindBar *m_find = nullptr;
};
