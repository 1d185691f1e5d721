#include "query/sortstate.h"

#include "connection/datamodule.h"
#include "db/datasource.h"
#include "db/query.h"
#include "ui/command.h"

const QString DescendingArrow = QStringLiteral("\u25BC");
const QString AscendingArrow = QStringLiteral("\u25B2");

namespace {

const QString SortingText = QStringLiteral("正在排序…");

// A large result takes a while to sort: off the UI thread, as a command.
void sortAsCommand(Query &query, const QString &expression)
{
    query.sort(expression, [](const std::function<void(CommandControl &)> &work) { runCommand(datamod->worker(), SortingText, work); });
}

} // namespace

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
        sortAsCommand(*source.dataSet(), field + QStringLiteral(" DESC"));
    } else {
        source.setCaption(column, AscendingArrow + m_lastCaption);
        sortAsCommand(*source.dataSet(), field + QStringLiteral(" ASC"));
    }
    m_ascendingNext = !m_ascendingNext;
}

QStringList SortState::plainCaptions(const DataSource &source) const
{
    QStringList captions;
    for (int column = 0; column < source.columnCount(); ++column)
        captions << (column == m_lastColumn ? m_lastCaption : source.caption(column));
    return captions;
}
