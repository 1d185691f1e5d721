#pragma once

#include <QString>

#include <exception>
#include <stdexcept>

// The errors of the data layer, by kind. what() is the UTF-8 form of the
// message, which is what the operator sees in the error box.

// A failure the database or its driver reported. For driver failures the
// message holds the diagnostic records, one "[SQLSTATE] driver text" per
// line, and the first record's SQLSTATE and native error code are kept.
// Failures the data layer finds in what the driver delivered (a value it
// cannot read, a result without columns) have neither.
class DatabaseError : public std::runtime_error
{
public:
    explicit DatabaseError(const QString &message, const QString &sqlState = {}, int nativeError = 0);
    QString message() const { return m_message; }
    QString sqlState() const { return m_sqlState; }
    int nativeError() const { return m_nativeError; }

private:
    QString m_message;
    QString m_sqlState;
    int m_nativeError = 0;
};

// A request the data layer refuses without asking the database: a mistake
// of the program (a closed result used, a bad sort expression, an unknown
// field or parameter, a second command while one runs) or a connection
// string it cannot read.
class ProgramError : public std::runtime_error
{
public:
    explicit ProgramError(const QString &message);
    QString message() const { return m_message; }

private:
    QString m_message;
};

// A list stopped before its result would use up the memory the process can
// still get; the rows fetched so far are freed.
class ResultTooLarge : public std::runtime_error
{
public:
    explicit ResultTooLarge(qint64 rowsFetched);
    qint64 rowsFetched() const { return m_rows; }

private:
    qint64 m_rows;
};

// The message of a failure caught as an exception_ptr, as a status line
// shows it: the data layer's own text, what() of any other exception,
// "未知错误" for anything else.
QString errorText(std::exception_ptr error);
