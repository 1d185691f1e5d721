// The login's connection string, translated for ODBC and read back by an
// independent reader, holds exactly the DSN and user without outer blanks
// and exactly the password; a NUL is refused.
#include "fuzz/fuzzinput.h"
#include "support/properties.h"

#include "db/connstring.h"
#include "db/odbc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::Input input(data, size);
    const QString dsn = input.text(), user = input.text(), password = input.text();
    const QString provider = loginConnectionString(password, user, dsn);
    QString odbc;
    try {
        odbc = toOdbcConnectionString(provider);
    } catch (const ProgramError &) {
        fuzz::require((dsn + user + password).contains(QChar(0)));
        return 0;
    }
    fuzz::require(!(dsn + user + password).contains(QChar(0)));
    const QList<QPair<QString, QString>> expected{
        {QStringLiteral("DSN"), dsn.trimmed()}, {QStringLiteral("UID"), user.trimmed()}, {QStringLiteral("PWD"), password}};
    fuzz::require(model::readOdbcString(odbc) == expected);
    return 0;
}
