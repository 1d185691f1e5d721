#include "ui/gridcopy.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QStringList>
#include <QTableView>

#include <algorithm>
#include <functional>

namespace {

const QString CopyText = QStringLiteral("复制");
const QString CopyRowText = QStringLiteral("复制整行");
const QString CopyAllText = QStringLiteral("复制全部");

QString cellText(const QModelIndex &index)
{
    QString text = index.data().toString();
    for (QChar &c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return text;
}

QAction *addCopyEntry(QTableView *grid, const QString &text, const char *name,
                      const std::function<QString()> &content)
{
    auto *action = new QAction(text, grid);
    action->setObjectName(QLatin1String(name));
    QObject::connect(action, &QAction::triggered, grid, [content] {
        const QString copied = content();
        if (!copied.isEmpty())
            QGuiApplication::clipboard()->setText(copied);
    });
    grid->addAction(action);
    return action;
}

} // namespace

QString gridRowsText(const QTableView *grid, int first, int last)
{
    const QAbstractItemModel *model = grid->model();
    if (!model)
        return {};
    QStringList lines;
    QStringList cells;
    for (int column = 0; column < model->columnCount(); ++column)
        cells << model->headerData(column, Qt::Horizontal).toString();
    lines << cells.join(u'\t');
    for (int row = std::max(first, 0); row <= last && row < model->rowCount(); ++row) {
        cells.clear();
        for (int column = 0; column < model->columnCount(); ++column)
            cells << cellText(model->index(row, column));
        lines << cells.join(u'\t');
    }
    return lines.join(u'\n');
}

void installCopyEntries(QTableView *grid)
{
    QAction *copy = addCopyEntry(grid, CopyText, "CopyAction", [grid] {
        return grid->currentIndex().isValid() ? cellText(grid->currentIndex()) : QString();
    });
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    addCopyEntry(grid, CopyRowText, "CopyRowAction", [grid] {
        const QModelIndex current = grid->currentIndex();
        return current.isValid() ? gridRowsText(grid, current.row(), current.row()) : QString();
    });
    addCopyEntry(grid, CopyAllText, "CopyAllAction", [grid] {
        const int rows = grid->model() ? grid->model()->rowCount() : 0;
        return rows > 0 ? gridRowsText(grid, 0, rows - 1) : QString();
    });
    grid->setContextMenuPolicy(Qt::ActionsContextMenu);
}
