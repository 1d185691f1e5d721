#pragma once

class QTableView;
class DataSource;

// Sets up a result grid over its data source: read-only cells, a narrow
// indicator column marking the current row, fixed row heights (cheap for
// very large results), title separators that resize but do not move
// columns, and the grid's current row kept in step with the query's current
// row in both directions, so the grid follows a walk over the rows.
void attachResultGrid(QTableView *grid, DataSource *source);
