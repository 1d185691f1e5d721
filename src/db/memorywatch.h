#pragma once

#include "db/odbc.h"

#include <cstddef>
#include <memory>

// Memory a list leaves to the rest of the program (the grid's painting,
// the driver, threads it starts, the box that tells memory ran out).
constexpr std::size_t ListReserveBytes = 64 * 1024 * 1024;

// Watches the memory the process can still get while a driver executes a
// statement: a driver may hold the whole result before the first fetch,
// where the fetch's own room check cannot stop it. Once less than
// ListReserveBytes is left, the watch cancels the statement (SQLCancel, as
// a cancel does while a statement executes) and stops. Where the system does
// not tell the memory left, or no thread can be started for it, it does
// nothing. The statement must outlive the watch.
class MemoryWatch
{
public:
    explicit MemoryWatch(SQLHSTMT statement);
    ~MemoryWatch(); // stop()
    MemoryWatch(const MemoryWatch &) = delete;
    MemoryWatch &operator=(const MemoryWatch &) = delete;

    // Ends the watch; true when it cancelled the statement.
    bool stop();

private:
    struct State;
    std::unique_ptr<State> m_state;
};
