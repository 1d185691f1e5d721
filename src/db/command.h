#pragma once

#include "db/odbc.h"

#include <QtGlobal>
#include <atomic>

// Shared between the UI thread and the worker running one command.
class CommandControl
{
public:
    bool cancelRequested() const { return m_cancel.load(std::memory_order_relaxed); }
    void requestCancel() { m_cancel.store(true, std::memory_order_relaxed); }
    // Progress: rows fetched or written so far.
    void addRows(qint64 n) { m_rows.fetch_add(n, std::memory_order_relaxed); }
    qint64 rows() const { return m_rows.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> m_cancel{false};
    std::atomic<qint64> m_rows{0};
};

// Thrown when a command was cancelled; message "操作已取消".
class OperationCancelled : public DatabaseError
{
public:
    OperationCancelled();
};
