#pragma once

#include <QString>

#include <vector>

// What the export wrote into a worksheet: rows holding a cell, and cells
// (the header included). Negative: not known, not checked.
struct SheetContent
{
    qint64 rows = -1;
    qint64 cells = -1;
};

// Whether a workbook file came out whole: a zip archive whose end record
// closes the file, whose every member lies where its directory says, with
// the size and checksum recorded there, and which holds exactly one
// worksheet per entry of `sheets`, each ending its XML and holding the rows
// and cells written. Reads the whole file once, `chunk` bytes at a time.
bool workbookComplete(const QString &path, const std::vector<SheetContent> &sheets, qint64 chunk = 256 * 1024);
