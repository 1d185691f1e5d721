#pragma once

#include "db/odbc.h"

#include <QList>
#include <QString>

class CommandControl;
class ResultSet;

// A failed export: the message names the file and the reason.
class ExportError : public DatabaseError
{
public:
    using DatabaseError::DatabaseError;
};

// One column of an exported table: the caption heading it and the name of
// the held field it shows (a field the result lacks gives empty cells).
struct ExportColumn
{
    QString caption;
    QString field;
};

// Data rows of one worksheet: Excel's row limit less the header row.
constexpr int MaxSheetRows = 1048575;

struct ExportOptions
{
    // Data rows per worksheet; further rows go on in the next sheet, under
    // the header again.
    int sheetRows = MaxSheetRows;
    // Folder of the workbook writer's temporary files (several hundred
    // bytes per cell); empty: the target's folder.
    QString tempFolder;
};

enum class ExportFormat { Xlsx, Csv };

// Writes every row of the result, in its current order, under a header row
// of the columns' captions: a workbook (numbers where the held field is
// numeric, text stays text; bold, frozen, filtered header; fitted widths)
// or UTF-8 CSV with a byte-order mark, CRLF line ends and RFC 4180 quoting.
// The file is written beside `path` and renamed over it at the end. Reports
// written rows to `control` and stops when it asks to cancel. Throws
// ExportError or OperationCancelled; no file is left behind then, and an
// existing file at `path` is kept unchanged.
void exportResult(const ResultSet &result, const QList<ExportColumn> &columns, const QString &path,
                  ExportFormat format, CommandControl &control, const ExportOptions &options = {});
