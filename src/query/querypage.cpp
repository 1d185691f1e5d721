#include "query/querypage.h"

#include "connection/datamodule.h"
#include "db/datasource.h"
#include "db/query.h"
#include "query/columnwidths.h"
#include "query/findbar.h"
#include "query/gridmenu.h"
#include "query/resultgrid.h"
#include "monitor/traceform.h"
#include "ui/errorbox.h"

#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QTableView>

#include <new>

QueryPage::QueryPage(QueryPageParts parts, QObject *parent)
    : QObject(parent)
    , m_parts(std::move(parts))
{
    QStringList captions;
    for (const GridColumn &column : std::as_const(m_parts.columns)) {
        captions << column.caption;
        m_fields << column.field;
    }
    if (!m_parts.source)
        return;
    m_parts.source->setColumnCaptions(captions);
    attachResultGrid(m_parts.grid, m_parts.source);
    m_widths = new ColumnWidths(m_parts.grid, m_parts.source, m_fields);
    m_menu = new GridMenu(m_parts.grid, m_parts.source, m_sort, m_parts.table);
    QWidget *box = m_parts.grid->parentWidget();
    m_find = new FindBar(m_parts.grid, m_parts.source, box);
    if (box->layout())
        box->layout()->addWidget(m_find);
    m_menu->addEntry(QStringLiteral("追踪委托"), [this] { traceCurrentRow(); })
        ->setObjectName(QStringLiteral("TraceAction"));
    if (!m_parts.returnCodeField.isEmpty())
        installReturnCodeTips(m_parts.grid, m_parts.source, m_parts.returnCodeField);
}

QueryPage::~QueryPage() = default;

void QueryPage::traceCurrentRow()
{
    const ResultSet *result = m_parts.query->result();
    const int row = m_parts.grid->currentIndex().row();
    if (!result || row < 0 || row >= result->rowCount() || !traceform)
        return;
    traceform->showOrder(flow::traceKeyOf(m_parts.table, [result, row](const QString &field) {
        const int column = result->columnIndex(field);
        return column < 0 ? QString() : result->text(row, column);
    }));
}

void QueryPage::bindColumns()
{
    for (int column = 0; column < m_fields.size(); ++column)
        m_parts.source->setFieldName(column, m_fields.at(column));
}

void QueryPage::list(const StatementText &statement)
{
    try {
        runQuery(*m_parts.query, statement.lines, statement.parameters, [this] { bindColumns(); });
        m_parts.count->setText(QString::number(m_parts.query->recordCount()));
        m_widths->fit();
    } catch (const std::bad_alloc &) {
        // A result the program has no memory left to show is not kept.
        releaseMemoryReserve();
        m_parts.query->close();
        throw;
    }
}

void QueryPage::listAll()
{
    runGuarded([this] { list(m_parts.allStatement()); });
}

void QueryPage::listByCondition()
{
    runGuarded([this] {
        const StatementText statement = m_parts.conditionStatement();
        if (statement.lines.isEmpty())
            return; // no usable time range: leave everything as it is
        list(statement);
    });
}

void QueryPage::clearConditions()
{
    for (QLineEdit *box : std::as_const(m_parts.conditionBoxes))
        box->setText(QString());
}

void QueryPage::showStatistics()
{
    if (m_parts.statistics)
        runGuarded([this] { m_parts.statistics(*m_parts.query, m_parts.count->text()); });
}

void QueryPage::titleClick(int column)
{
    runGuarded([&] {
        if (m_parts.count->text().isEmpty())
            return; // nothing listed on this page yet
        m_sort.titleClick(*m_parts.source, column);
    });
}

void QueryPage::forgetResult()
{
    if (!m_parts.source)
        return;
    m_find->closeBar();
    m_parts.query->close();
    m_parts.count->setText(QString());
    resetSort();
}

void QueryPage::resetSort()
{
    if (m_parts.source) {
        const QStringList captions = m_sort.plainCaptions(*m_parts.source);
        for (int column = 0; column < captions.size(); ++column)
            m_parts.source->setCaption(column, captions.at(column));
    }
    m_sort.reset();
}
