#include "ui/gridsizes.h"

#include <QHeaderView>
#include <QTableView>

#include <algorithm>

namespace {

// Room for the cell's margins and the grid line, as the view paints them.
constexpr int CellPadding = 12;
constexpr int RowPadding = 5;

} // namespace

void fitGridToSamples(QTableView *grid, const QStringList &samples)
{
    const QFontMetrics cells = grid->fontMetrics();
    const QFontMetrics titles = grid->horizontalHeader()->fontMetrics();
    grid->verticalHeader()->setMinimumSectionSize(cells.height() + RowPadding);
    grid->verticalHeader()->setDefaultSectionSize(cells.height() + RowPadding);
    grid->horizontalHeader()->setStretchLastSection(true);
    const QAbstractItemModel *model = grid->model();
    const int columns = model ? model->columnCount() : 0;
    for (int column = 0; column + 1 < columns && column < samples.size(); ++column) {
        const QString title = model->headerData(column, Qt::Horizontal).toString();
        grid->setColumnWidth(column, std::max(titles.horizontalAdvance(title), cells.horizontalAdvance(samples[column]))
                                         + CellPadding);
    }
}
