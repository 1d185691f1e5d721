#include "db/odbc.h"

#include <QCoreApplication>

#include <atomic>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "SQLWCHAR must be UTF-16");

namespace odbc {

namespace {
std::atomic<bool> leaving{false};
} // namespace

void leaveHandlesAtExit()
{
    leaving = true;
}

bool leavingHandles()
{
    return leaving;
}

QString diagnostics(SQLSMALLINT handleType, SQLHANDLE handle, QString *firstState, int *firstNative)
{
    QStringList records;
    if (handle == SQL_NULL_HANDLE)
        return {};
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER nativeError = 0;
        SQLSMALLINT length = 0;
        std::vector<SQLWCHAR> text(1024);
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, record, state, &nativeError, text.data(),
                                      SQLSMALLINT(text.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= SQLSMALLINT(text.size())) {
            text.resize(std::size_t(length) + 1);
            rc = SQLGetDiagRecW(handleType, handle, record, state, &nativeError, text.data(),
                                SQLSMALLINT(text.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc))
            break;
        const QString sqlState = fromWide(state, 5);
        if (firstState && record == 1)
            *firstState = sqlState;
        if (firstNative && record == 1)
            *firstNative = int(nativeError);
        length = std::min<SQLSMALLINT>(length, SQLSMALLINT(text.size() - 1));
        records << QStringLiteral("[%1] %2").arg(sqlState, fromWide(text.data(), length));
    }
    return records.join(QLatin1Char('\n'));
}

void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char *call)
{
    if (SQL_SUCCEEDED(rc))
        return;
    QString state;
    int native = 0;
    QString message;
    if (rc == SQL_INVALID_HANDLE)
        message = QStringLiteral("%1：无效的句柄").arg(QLatin1String(call));
    else
        message = diagnostics(handleType, handle, &state, &native);
    if (message.isEmpty())
        message = QStringLiteral("%1 调用失败").arg(QLatin1String(call));
    throw DatabaseError(message, state, native);
}

void setStatementAttr(SQLHSTMT statement, SQLINTEGER attribute, SQLPOINTER value, const char *call)
{
    check(SQLSetStmtAttr(statement, attribute, value, 0), SQL_HANDLE_STMT, statement, call);
}

std::vector<SQLWCHAR> toWide(const QString &text)
{
    std::vector<SQLWCHAR> wide(std::size_t(text.size()) + 1, 0);
    std::copy(text.utf16(), text.utf16() + text.size(), wide.begin());
    return wide;
}

QString fromWide(const SQLWCHAR *text, qsizetype length)
{
    return QString(reinterpret_cast<const QChar *>(text), length);
}

Handle::Handle(SQLSMALLINT type, SQLHANDLE input)
    : m_type(type)
{
    const SQLRETURN rc = SQLAllocHandle(type, input, &m_handle);
    if (!SQL_SUCCEEDED(rc)) {
        m_handle = SQL_NULL_HANDLE;
        const SQLSMALLINT inputType = type == SQL_HANDLE_DBC ? SQL_HANDLE_ENV : SQL_HANDLE_DBC;
        check(rc, inputType, input, "SQLAllocHandle");
    }
}

Handle::~Handle()
{
    reset();
}

Handle::Handle(Handle &&other) noexcept
    : m_type(other.m_type)
    , m_handle(other.m_handle)
{
    other.m_handle = SQL_NULL_HANDLE;
}

Handle &Handle::operator=(Handle &&other) noexcept
{
    if (this != &other) {
        reset();
        m_type = other.m_type;
        m_handle = other.m_handle;
        other.m_handle = SQL_NULL_HANDLE;
    }
    return *this;
}

void Handle::reset()
{
    if (m_handle != SQL_NULL_HANDLE && !leavingHandles())
        SQLFreeHandle(m_type, m_handle);
    m_handle = SQL_NULL_HANDLE;
}

SQLHENV environment()
{
    // Never freed: connections may outlive any static owner at exit.
    static const SQLHENV env = [] {
        SQLHENV handle = SQL_NULL_HENV;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle)))
            throw DatabaseError(QStringLiteral("无法分配 ODBC 环境"));
        const SQLRETURN rc = SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION,
                                           reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        check(rc, SQL_HANDLE_ENV, handle, "SQLSetEnvAttr");
        return handle;
    }();
    return env;
}

} // namespace odbc
