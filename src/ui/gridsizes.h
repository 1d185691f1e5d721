#pragma once

// Sizes of the grids that show the tool's own findings and traces (not the
// query window's, whose sizes are remembered per column).

#include <QStringList>

class QTableView;

// Rows one line of text high; each column but the last as wide as the
// widest of its title and its sample text, the last taking the rest.
void fitGridToSamples(QTableView *grid, const QStringList &samples);
