#pragma once

// The return codes of the exchange and the gateway with their notes, as
// data: the return-code window shows them, the monitor, the trace and the
// query grids' tooltips read a code's note here.

#include <QString>

#include <cstddef>

namespace flow {

// One row of the table. A note too long for one row goes on in the rows
// after it, whose code is empty (2100).
struct ReturnCodeRow
{
    const char *code;
    const char *note;
};

// The rows in the order the window shows them.
std::size_t returnCodeRowCount();
const ReturnCodeRow &returnCodeRow(std::size_t index);

// The note of a code with the rows that continue it; empty when the table
// has no such code.
QString returnCodeNote(const QString &code);
QString returnCodeNote(int code);

} // namespace flow
