#pragma once

#include <QList>
#include <QPair>
#include <QString>

// Connection strings. The login builds a provider string
// ("Provider=MSDASQL.1; password=…;Persist Security Info=False;User ID=…;Data Source=…");
// the connection translates it into an ODBC string (DSN=, UID=, PWD=).

// Quotes a provider-string value when it needs it: a value holding ";",
// a quote, or leading/trailing blanks is enclosed in double quotes with any
// inner double quote doubled. Other values are returned unchanged.
QString quoteProviderValue(const QString &value);

// For values the provider trims (DSN and user): the value unchanged unless
// it holds ";" or a quote; then its text without outer blanks, quoted.
// Either way the provider reads the value without its outer blanks.
QString quoteTrimmedProviderValue(const QString &value);

// The login's connection string: the password quoted by quoteProviderValue()
// (kept whole), the user and the DSN by quoteTrimmedProviderValue().
QString loginConnectionString(const QString &password, const QString &user, const QString &dsn);

// Splits a provider string into (key, value) pairs by its own quoting rules.
// Keys are trimmed; unquoted values are trimmed. Throws ProgramError when
// a quoted value is not closed.
QList<QPair<QString, QString>> parseProviderString(const QString &text);

// Braces a value for an ODBC connection string where the ODBC grammar needs
// it (";", braces, "=", leading/trailing blanks), doubling any "}".
QString odbcValue(const QString &value);

// Translates a provider string into the ODBC connection string handed to
// SQLDriverConnect: Data Source → DSN, User ID → UID, password → PWD.
QString toOdbcConnectionString(const QString &providerString);
