#pragma once

#include "db/errors.h"

#include <QString>
#include <exception>

// Whether a driver's diagnostic says that memory ran out: SQLSTATE HY001
// (S1001 of an ODBC 2 driver) from any driver, or the general HY000 (S1000)
// with a native code that means it for that driver, known by the tag its
// texts start with: the SQLite driver ("[SQLite]") gives SQLite's
// SQLITE_NOMEM (7) or SQLITE_IOERR_NOMEM (3082), and -1 with "out of memory"
// when an allocation of its own failed. `text` is the record's text, or
// DatabaseError's message (its first record leads).
bool isOutOfMemory(const QString &sqlState, int nativeError, const QString &text);
bool isOutOfMemory(const DatabaseError &error);

// Memory running out in any form the program meets it: std::bad_alloc,
// a list stopped by its room check (ResultTooLarge), or a driver saying so.
bool isMemoryShortage(const std::exception &error);
bool isMemoryShortage(std::exception_ptr error);
