#pragma once

// Thin RAII layer over the ODBC C API (unixODBC or odbc32).

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <QString>
#include <stdexcept>
#include <vector>

// An error raised by the data-access layer. what() is the UTF-8 form of the
// message; for driver failures it holds "[SQLSTATE] driver text" records.
class DatabaseError : public std::runtime_error
{
public:
    explicit DatabaseError(const QString &message, const QString &sqlState = {});
    QString message() const { return m_message; }
    QString sqlState() const { return m_sqlState; }

private:
    QString m_message;
    QString m_sqlState;
};

namespace odbc {

// Diagnostic records of a handle, one "[SQLSTATE] message" per line.
QString diagnostics(SQLSMALLINT handleType, SQLHANDLE handle, QString *firstState = nullptr);
// Throws DatabaseError with the handle's diagnostics unless rc succeeded.
void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char *call);

std::vector<SQLWCHAR> toWide(const QString &text); // zero-terminated
QString fromWide(const SQLWCHAR *text, qsizetype length);

// Owns one ODBC handle and frees it on destruction.
class Handle
{
public:
    Handle() = default;
    Handle(SQLSMALLINT type, SQLHANDLE input);
    ~Handle();
    Handle(Handle &&other) noexcept;
    Handle &operator=(Handle &&other) noexcept;
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    SQLHANDLE get() const { return m_handle; }
    SQLSMALLINT type() const { return m_type; }
    explicit operator bool() const { return m_handle != SQL_NULL_HANDLE; }
    void reset();

private:
    SQLSMALLINT m_type = 0;
    SQLHANDLE m_handle = SQL_NULL_HANDLE;
};

// The process-wide ODBC 3 environment, allocated on first use.
SQLHENV environment();

// From now on handles are neither disconnected nor freed: the program ends
// with a call still running in the driver, and freeing under it is unsafe.
void leaveHandlesAtExit();
bool leavingHandles();

} // namespace odbc
