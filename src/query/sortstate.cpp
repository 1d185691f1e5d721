#include "query/sortstate.h"

#include "db/datasource.h"
#include "db/query.h"

const QString DescendingArrow = QStringLiteral("\u25BC");
const QString AscendingArrow = QStringLiteral("\u25B2");

void SortState::reset()
{
    *this = SortState();
}

void SortState::titleClick(DataSource &source, int column)
{
    if (m_lastColumn >= 0)
        source.setCaption(m_lastColumn, m_lastCaption);
    m_lastColumn = column;
    m_lastCaption = source.caption(column);
    const QString field = source.fieldName(column);
    if (!m_ascendingNext) {
        source.setCaption(column, DescendingArrow + m_lastCaption);
        source.dataSet()->sort(field + QStringLiteral(" DESC"));
    } else {
        source.setCaption(column, AscendingArrow + m_lastCaption);
        source.dataSet()->sort(field + QStringLiteral(" ASC"));
    }
    m_ascendingNext = !m_ascendingNext;
}
