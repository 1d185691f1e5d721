#pragma once

// Copying out of the grids of the tool's own windows (findings, traces):
// the texts as shown, tab-separated with the column titles first, so that
// they paste as a table into a spreadsheet or a mail.

#include <QString>

class QTableView;

// Titles, then rows `first` to `last` (inclusive); tabs and line breaks
// within a cell become spaces.
QString gridRowsText(const QTableView *grid, int first, int last);

// Gives the grid a context menu "复制" (the current cell, also Ctrl+C),
// "复制整行" (titles and the current row) and "复制全部" (titles and every
// row); on an empty grid they leave the clipboard as it is.
void installCopyEntries(QTableView *grid);
