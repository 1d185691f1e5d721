#pragma once

// The save dialog and the closing notice of the exports: the query
// window's grid export and the monitor's day-end workbook.

#include "export/export.h"

#include <QDateTime>
#include <QString>

class QWidget;

// Filters of the export's save dialog.
extern const QString XlsxFilter; // "Excel 工作簿 (*.xlsx)"
extern const QString CsvFilter;  // "CSV 文件 (*.csv)"

// The file an export writes and its format.
struct ExportTarget
{
    QString path; // empty: the operator cancelled
    ExportFormat format = ExportFormat::Xlsx;
};

// The name offered for an export of the table at this time:
// "<table>_yyyyMMdd_HHmmss.xlsx".
QString defaultExportName(const QString &table, const QDateTime &time);

// The format a chosen file gets: its suffix when that is one of the two,
// otherwise the selected filter.
ExportFormat exportFormatFor(const QString &path, const QString &selectedFilter);

// Qt's save dialog, in the folder used last during this run (kept in
// memory only), offering the default name. Qt's dialog asks before it lets
// an existing file be chosen.
ExportTarget chooseExportTarget(QWidget *parent, const QString &table);

// Qt's save dialog for a workbook only (object name `objectName`), in the
// folder of the last export of this run, offering `name`. Empty when the
// operator cancelled.
QString chooseWorkbookTarget(QWidget *parent, const QString &title, const QString &objectName, const QString &name);

// What the notice after an export says: "已导出 N 行到文件：" and the file.
QString exportNoticeText(int rows, const QString &path);
// The notice after an export: information icon, "OK" and "打开所在文件夹",
// which opens the file's folder in the desktop's file manager.
void showExportNotice(int rows, const QString &path);
// The same box with a caption and text of its own, the file's path on the
// line after the text.
void showFileNotice(const QString &caption, const QString &text, const QString &path);
