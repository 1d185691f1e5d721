#pragma once

#include <QString>
#include <QStringList>

class QTableView;
class DataSource;

// Sets up a result grid over its data source: read-only cells, a narrow
// indicator column marking the current row, fixed row heights (cheap for
// very large results), title separators that resize but do not move
// columns, and the grid's current row kept in step with the query's current
// row in both directions, so the grid follows a walk over the rows.
void attachResultGrid(QTableView *grid, DataSource *source);

// Widest a column gets from its field's display size, in pixels.
constexpr int MaxFittedColumnWidth = 320;

// The grid's current cell as shown; empty without a current cell.
QString currentCellText(const QTableView *grid);
// The captions, tab-separated, a line break, and the current row's cells,
// tab-separated: two rows when pasted into a spreadsheet. Empty without a
// current cell.
QString currentRowText(const QTableView *grid, const QStringList &captions);
