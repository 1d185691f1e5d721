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
// A text field that a spreadsheet would take for a formula is written with
// an apostrophe in front in CSV (see startsLikeFormula).
// The file is written beside `path`, under a pending name no longer than
// the target's, and renamed over it at the end; the workbook is read back
// first. Pending files an earlier, killed export of the same target left
// are removed when the next one starts. Reports
// written rows to `control` and stops when it asks to cancel. Throws
// ExportError or OperationCancelled; no file is left behind then, and an
// existing file at `path` is kept unchanged.
// A text that starts with "=", "+", "-", "@", a tab or a carriage return
// and does not read as a number (an optional sign, digits with at most one
// point, an optional exponent, blanks around).
bool startsLikeFormula(QStringView text);

// The pending name of an export to a file of this name: "~", the first
// hex digits of the name's CRC-32 (eight, fewer for a name shorter than 14
// characters so as not to be longer than it), ".", the serial as four hex
// digits; six characters at the least.
QString pendingFileName(const QString &targetName, quint16 serial);

void exportResult(const ResultSet &result, const QList<ExportColumn> &columns, const QString &path,
                  ExportFormat format, CommandControl &control, const ExportOptions &options = {});
