#include "query/columnwidths.h"

#include "db/datasource.h"
#include "db/query.h"
#include "db/resultset.h"
#include "base/settings.h"
#include "query/resultgrid.h"

#include <QHeaderView>
#include <QTableView>

#include <algorithm>

namespace {

// Room beside a title's or a cell's text, in pixels.
const int CellPadding = 10;
// Widest a stored width is taken.
const int MaxStoredWidth = 4000;
// Quiet time after the last resize of a drag before it is written.
const int SaveDelayMs = 1000;

} // namespace

QString columnWidthKey(const QString &grid, const QString &field)
{
    return grid + QLatin1Char('.') + field;
}

int storedColumnWidth(const QString &value)
{
    bool ok = false;
    const int width = value.toInt(&ok);
    return ok && width > 0 && width <= MaxStoredWidth ? width : 0;
}

ColumnWidths::ColumnWidths(QTableView *grid, DataSource *source, const QStringList &fields)
    : QObject(grid)
    , m_grid(grid)
    , m_source(source)
{
    for (const QString &field : fields)
        m_keys << columnWidthKey(grid->objectName(), field);
    for (int column = 0; column < m_keys.size(); ++column) {
        const int width = storedColumnWidth(settings::readSetting(ColumnWidthsSection, m_keys.at(column), {}));
        grow(column);
        if (width > 0) {
            m_widths[std::size_t(column)] = width;
            m_dragged[std::size_t(column)] = true;
        }
    }
    apply();

    m_saveSoon.setSingleShot(true);
    m_saveSoon.setInterval(SaveDelayMs);
    connect(&m_saveSoon, &QTimer::timeout, this, &ColumnWidths::save);
    connect(grid->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (!m_applying && !m_resetting && column >= 0)
            dragged(column, width);
    });
    connect(source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_resetting = true; });
    connect(source, &QAbstractItemModel::modelReset, this, [this] {
        m_resetting = false;
        apply();
    });
}

ColumnWidths::~ColumnWidths()
{
    save();
}

void ColumnWidths::dragged(int column, int width)
{
    grow(column);
    m_dragged[std::size_t(column)] = true;
    m_widths[std::size_t(column)] = width;
    m_unsaved[std::size_t(column)] = true;
    m_saveSoon.start();
}

void ColumnWidths::save()
{
    m_saveSoon.stop();
    for (std::size_t column = 0; column < m_unsaved.size(); ++column) {
        if (!m_unsaved[column] || int(column) >= m_keys.size())
            continue;
        m_unsaved[column] = false;
        try {
            settings::writeSetting(ColumnWidthsSection, m_keys.at(int(column)), QString::number(m_widths[column]));
        } catch (const std::exception &) {
            // A read-only settings file keeps the widths for this run only.
        }
    }
}

void ColumnWidths::fit()
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

void ColumnWidths::grow(int column)
{
    if (std::size_t(column) >= m_widths.size()) {
        m_widths.resize(std::size_t(column) + 1, 0);
        m_dragged.resize(std::size_t(column) + 1, false);
        m_unsaved.resize(std::size_t(column) + 1, false);
    }
}

void ColumnWidths::apply()
{
    m_applying = true;
    QHeaderView *titles = m_grid->horizontalHeader();
    for (std::size_t column = 0; column < m_widths.size(); ++column) {
        if (m_widths[column] > 0 && int(column) < titles->count())
            titles->resizeSection(int(column), m_widths[column]);
    }
    m_applying = false;
}
