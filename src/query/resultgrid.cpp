#include "query/resultgrid.h"

#include "db/datasource.h"
#include "db/query.h"
#include "db/resultset.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionHeader>
#include <QTableView>

#include <algorithm>
#include <vector>

namespace {

const int IndicatorWidth = 12;
// Room beside a cell's or a title's text, in pixels.
const int CellPadding = 10;

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

// The widths a grid's columns keep: fitted to their fields or dragged by the
// operator. The title bar forgets its sizes whenever the model is reset (a
// new result, a re-sort), so they are put back after every reset.
class ColumnWidths : public QObject
{
public:
    ColumnWidths(QTableView *grid, DataSource *source)
        : QObject(grid)
        , m_grid(grid)
        , m_source(source)
    {
        QHeaderView *titles = grid->horizontalHeader();
        connect(titles, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
            if (m_applying || m_resetting || column < 0)
                return;
            grow(column);
            m_dragged[std::size_t(column)] = true;
            m_widths[std::size_t(column)] = width;
        });
        connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_resetting = true; });
        connect(source, &QAbstractItemModel::modelReset, this, [this] {
            m_resetting = false;
            apply();
        });
    }

    void fit()
    {
        const ResultSet *result = m_source->dataSet()->result();
        if (!result)
            return;
        const QFontMetrics cells = m_grid->fontMetrics();
        const QFontMetrics titles = m_grid->horizontalHeader()->fontMetrics();
        const int digit = cells.horizontalAdvance(QLatin1Char('0'));
        for (int column = 0; column < m_source->columnCount(); ++column) {
            grow(column);
            if (m_dragged[std::size_t(column)])
                continue;
            const int field = result->columnIndex(m_source->fieldName(column));
            if (field < 0)
                continue;
            const int fieldWidth = int(std::min<qint64>(qint64(result->displaySize(field)) * digit + CellPadding,
                                                        MaxFittedColumnWidth));
            const int captionWidth = titles.horizontalAdvance(m_source->caption(column)) + CellPadding;
            m_widths[std::size_t(column)] = std::max(captionWidth, fieldWidth);
        }
        apply();
    }

private:
    void grow(int column)
    {
        if (std::size_t(column) >= m_widths.size()) {
            m_widths.resize(std::size_t(column) + 1, 0);
            m_dragged.resize(std::size_t(column) + 1, false);
        }
    }

    void apply()
    {
        m_applying = true;
        QHeaderView *titles = m_grid->horizontalHeader();
        for (std::size_t column = 0; column < m_widths.size(); ++column) {
            if (m_widths[column] > 0 && int(column) < titles->count())
                titles->resizeSection(int(column), m_widths[column]);
        }
        m_applying = false;
    }

    QTableView *m_grid;
    DataSource *m_source;
    std::vector<int> m_widths; // 0: the default width
    std::vector<bool> m_dragged;
    bool m_applying = false;
    bool m_resetting = false;
};

} // namespace

void fitColumnsToFields(QTableView *grid)
{
    for (QObject *child : grid->children()) {
        if (auto *widths = dynamic_cast<ColumnWidths *>(child))
            widths->fit();
    }
}

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
    new ColumnWidths(grid, source);

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
