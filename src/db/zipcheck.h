#pragma once

#include <QString>

// Whether a workbook file came out whole: a zip archive whose end record
// closes the file, whose every member lies where its directory says, with
// the size and checksum recorded there, and which holds exactly `sheets`
// worksheets, each ending its XML. Reads the whole file once.
bool workbookComplete(const QString &path, int sheets);
