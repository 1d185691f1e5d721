#pragma once

// Thin RAII layer over the ODBC C API (unixODBC or odbc32).

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include "db/errors.h"

#include <QString>
#include <vector>

namespace odbc {

// Diagnostic records of a handle, one "[SQLSTATE] message" per line; the
// first record's SQLSTATE and native error code where asked for.
QString diagnostics(SQLSMALLINT handleType, SQLHANDLE handle, QString *firstState = nullptr,
                    int *firstNative = nullptr);
// Throws DatabaseError with the handle's diagnostics unless rc succeeded.
void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char *call);
// Sets a statement attribute, throwing as check() does; `call` names it.
void setStatementAttr(SQLHSTMT statement, SQLINTEGER attribute, SQLPOINTER value, const char *call);

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
