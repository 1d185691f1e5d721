#include "query/resultgrid.h"

#include "db/datasource.h"
#include "db/query.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionHeader>
#include <QTableView>


namespace {

const int IndicatorWidth = 12;

// The vertical header as an indicator column: no row numbers, a small
// triangle in front of the current row.
class IndicatorHeader : public QHeaderView
{
public:
    explicit IndicatorHeader(QTableView *grid)
        : QHeaderView(Qt::Vertical, grid)
        , m_grid(grid)
    {
        setSectionResizeMode(QHeaderView::Fixed);
        setSectionsClickable(false);
        setHighlightSections(false);
    }

    QSize sizeHint() const override { return {IndicatorWidth, defaultSectionSize()}; }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override
    {
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.rect = rect;
        option.section = logicalIndex;
        option.text.clear();
        option.position = QStyleOptionHeader::Middle;
        style()->drawControl(QStyle::CE_Header, &option, painter, this);
        if (logicalIndex != m_grid->currentIndex().row())
            return;
        const QPointF centre = QRectF(rect).center();
        const qreal half = 3.5;
        QPainterPath triangle;
        triangle.moveTo(centre.x() - half + 1, centre.y() - half);
        triangle.lineTo(centre.x() + half, centre.y());
        triangle.lineTo(centre.x() - half + 1, centre.y() + half);
        triangle.closeSubpath();
        painter->save();
        // The style may leave an emptied clip behind.
        painter->setClipRect(rect);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->fillPath(triangle, palette().color(QPalette::ButtonText));
        painter->restore();
    }

private:
    QTableView *m_grid;
};

} // namespace

QString currentCellText(const QTableView *grid)
{
    const QModelIndex current = grid->currentIndex();
    return current.isValid() ? current.data().toString() : QString();
}

QString currentRowText(const QTableView *grid, const QStringList &captions)
{
    const QModelIndex current = grid->currentIndex();
    if (!current.isValid())
        return {};
    const QAbstractItemModel *model = grid->model();
    QStringList cells;
    for (int column = 0; column < model->columnCount(); ++column)
        cells << model->index(current.row(), column).data().toString();
    return captions.join(QLatin1Char('\t')) + QLatin1Char('\n') + cells.join(QLatin1Char('\t'));
}

void attachResultGrid(QTableView *grid, DataSource *source)
{
    grid->setModel(source);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setTabKeyNavigation(true);
    grid->setShowGrid(true);
    grid->setSortingEnabled(false);

    auto *indicator = new IndicatorHeader(grid);
    grid->setVerticalHeader(indicator);
    const int rowHeight = grid->fontMetrics().height() + 5;
    indicator->setMinimumSectionSize(rowHeight);
    indicator->setDefaultSectionSize(rowHeight);

    QHeaderView *titles = grid->horizontalHeader();
    titles->setSectionsMovable(false);
    titles->setSectionsClickable(true);
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setHighlightSections(false);
    titles->setStretchLastSection(false);

    // Query → grid: the current row (delivered once per event loop turn).
    QObject::connect(source, &DataSource::currentRowChanged, grid, [grid, source](int row) {
        const QModelIndex current = grid->currentIndex();
        if (row < 0 || row >= source->rowCount()) {
            if (current.isValid())
                grid->selectionModel()->clear();
            return;
        }
        if (current.row() == row)
            return;
        const int column = current.isValid() ? current.column() : 0;
        grid->setCurrentIndex(source->index(row, column));
    });
    // Grid → query: the operator moved to another row.
    QObject::connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, grid,
                     [grid, source, indicator](const QModelIndex &current, const QModelIndex &) {
                         Query *query = source->dataSet();
                         if (current.isValid() && query->active() && query->recNo() != current.row())
                             query->setRecNo(current.row());
                         indicator->viewport()->update();
                     });
}
