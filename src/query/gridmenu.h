#pragma once

#include "export/export.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class DataSource;
class QAction;
class QTableView;
class SortState;

// The columns an export of the grid writes: the grid's positions, each with
// its caption without the sort arrow and its bound field.
QList<ExportColumn> exportColumns(const QTableView *grid, const DataSource &source, const SortState &sort);

// The context menu of a result grid: "复制" (the current cell, also
// Ctrl+C), "复制整行" (captions and current row) and "导出..." (the whole
// held result to a file), and whatever a window adds with addEntry. The
// entries are enabled only while the page's query holds an open result.
class GridMenu : public QObject
{
    Q_OBJECT
public:
    // `table` names the default export file.
    GridMenu(QTableView *grid, DataSource *source, const SortState &sort, const QString &table);

    QAction *copyAction() const { return m_copy; }
    QAction *copyRowAction() const { return m_copyRow; }
    QAction *exportAction() const { return m_export; }

    // Appends an entry that calls `run` when chosen.
    QAction *addEntry(const QString &text, const std::function<void()> &run);

    void copyCell() const;
    void copyRow() const;
    // Asks for a file and writes the result there through runCommand, then
    // says how many rows went where; an error or a cancel ends in the
    // application-wide error box.
    void exportRows() const;

private:
    void updateEnabled();

    QTableView *m_grid;
    DataSource *m_source;
    const SortState &m_sort;
    QString m_table;
    QAction *m_copy;
    QAction *m_copyRow;
    QAction *m_export;
    QList<QAction *> m_entries; // every entry, in menu order
};

// The tooltip of a "返回信息" cell: "code note" when the trimmed text is a
// code of the return-code window's table, otherwise empty.
QString returnCodeTip(const QString &remark);

// Shows returnCodeTip as the tooltip of the grid's cells bound to `field`.
void installReturnCodeTips(QTableView *grid, const DataSource *source, const QString &field);
