#include "query/gridmenu.h"

#include "db/query.h"
#include "db/datasource.h"
#include "ui/exportdialog.h"
#include "query/resultgrid.h"
#include "query/sortstate.h"
#include "connection/datamodule.h"
#include "flow/returncodes.h"
#include "ui/command.h"
#include "ui/errorbox.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QTableView>
#include <QToolTip>

namespace {

const QString CopyText = QStringLiteral("复制");
const QString CopyRowText = QStringLiteral("复制整行");
const QString ExportText = QStringLiteral("导出...");
const QString ExportingText = QStringLiteral("正在导出…");

// Shows the tooltip of cells bound to one field.
class ReturnCodeTips : public QObject
{
public:
    ReturnCodeTips(QTableView *grid, const DataSource *source, const QString &field)
        : QObject(grid)
        , m_grid(grid)
        , m_source(source)
        , m_field(field)
    {
        grid->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::ToolTip || watched != m_grid->viewport())
            return false;
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = m_grid->indexAt(help->pos());
        QString tip;
        if (index.isValid() && m_source->fieldName(index.column()).compare(m_field, Qt::CaseInsensitive) == 0)
            tip = returnCodeTip(index.data().toString());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, m_grid->viewport(), m_grid->visualRect(index));
        return true;
    }

private:
    QTableView *m_grid;
    const DataSource *m_source;
    QString m_field;
};

} // namespace

QList<ExportColumn> exportColumns(const QTableView *grid, const DataSource &source, const SortState &sort)
{
    const QStringList captions = sort.plainCaptions(source);
    const QHeaderView *titles = grid->horizontalHeader();
    QList<ExportColumn> columns;
    for (int position = 0; position < titles->count(); ++position) {
        const int column = titles->logicalIndex(position);
        if (titles->isSectionHidden(column))
            continue;
        columns.append({captions.value(column), source.fieldName(column)});
    }
    return columns;
}

GridMenu::GridMenu(QTableView *grid, DataSource *source, const SortState &sort, const QString &table)
    : QObject(grid)
    , m_grid(grid)
    , m_source(source)
    , m_sort(sort)
    , m_table(table)
    , m_copy(new QAction(CopyText, grid))
    , m_copyRow(new QAction(CopyRowText, grid))
    , m_export(new QAction(ExportText, grid))
{
    m_copy->setObjectName(QStringLiteral("CopyAction"));
    m_copyRow->setObjectName(QStringLiteral("CopyRowAction"));
    m_export->setObjectName(QStringLiteral("ExportAction"));
    m_copy->setShortcut(QKeySequence::Copy);
    m_copy->setShortcutContext(Qt::WidgetShortcut);
    m_entries = {m_copy, m_copyRow, m_export};
    grid->addActions(m_entries);
    grid->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(m_copy, &QAction::triggered, this, &GridMenu::copyCell);
    connect(m_copyRow, &QAction::triggered, this, &GridMenu::copyRow);
    connect(m_export, &QAction::triggered, this, &GridMenu::exportRows);
    connect(source->dataSet(), &Query::activeChanged, this, &GridMenu::updateEnabled);
    updateEnabled();
}

QAction *GridMenu::addEntry(const QString &text, const std::function<void()> &run)
{
    auto *action = new QAction(text, m_grid);
    connect(action, &QAction::triggered, this, run);
    m_entries << action;
    m_grid->addAction(action);
    updateEnabled();
    return action;
}

void GridMenu::updateEnabled()
{
    const bool open = m_source->dataSet()->active();
    for (QAction *action : std::as_const(m_entries))
        action->setEnabled(open);
}

void GridMenu::copyCell() const
{
    if (m_grid->currentIndex().isValid())
        QGuiApplication::clipboard()->setText(currentCellText(m_grid));
}

void GridMenu::copyRow() const
{
    if (m_grid->currentIndex().isValid())
        QGuiApplication::clipboard()->setText(currentRowText(m_grid, m_sort.plainCaptions(*m_source)));
}

void GridMenu::exportRows() const
{
    runGuarded([this] {
        Query *query = m_source->dataSet();
        if (!query->active())
            return;
        const ExportTarget target = chooseExportTarget(m_grid->window(), m_table);
        const ResultSet *result = query->result();
        if (target.path.isEmpty() || !result)
            return;
        const QList<ExportColumn> columns = exportColumns(m_grid, *m_source, m_sort);
        const int rows = result->rowCount();
        // The held result stays as it is while the command runs: the window
        // takes no input until it has ended.
        runCommand(datamod->worker(), ExportingText, [result, columns, target](CommandControl &control) {
            exportResult(*result, columns, target.path, target.format, control);
        });
        showExportNotice(rows, target.path);
    });
}

QString returnCodeTip(const QString &remark)
{
    const QString code = remark.trimmed();
    const QString note = flow::returnCodeNote(code);
    return note.isEmpty() ? QString() : code + QLatin1Char(' ') + note;
}

void installReturnCodeTips(QTableView *grid, const DataSource *source, const QString &field)
{
    new ReturnCodeTips(grid, source, field);
}
