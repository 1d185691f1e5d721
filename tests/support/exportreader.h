#pragma once

// Reads exported files back with an independent reader: Python's openpyxl
// (workbooks) and csv module (CSV files), run as a separate process.

#include <QJsonArray>
#include <QString>
#include <QStringList>

namespace testsupport {

// A workbook as openpyxl reads it: one object per sheet with "title",
// "freeze" (e.g. "A2"), "filter" (e.g. "A1:O4"), "bold" (every header cell
// bold), "widths" (per column) and "rows" (per row, per cell an object with
// "t", openpyxl's data type: "s" text, "n" number or empty, and "v", the
// value, with "f", its number format when not General, and "b" when
// bold). Empty (and a failed check) when the reader fails.
QJsonArray readWorkbook(const QString &path);
// The values of a column of a sheet's rows below the header, as text
// (empty for an empty cell).
QStringList sheetColumn(const QJsonArray &rows, int column);
// A CSV file as Python's csv module reads it (the byte-order mark taken
// off): one list of fields per record.
QList<QStringList> readCsv(const QString &path);

// The unpacked size of a zip archive's member as Python's zipfile reads
// it; -1 when missing or unreadable.
qint64 zipMemberSize(const QString &path, const QString &member);

// The files in a folder, by name.
QStringList filesIn(const QString &folder);

} // namespace testsupport
