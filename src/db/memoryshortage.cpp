#include "db/memoryshortage.h"

#include <QLatin1String>

#include <algorithm>
#include <initializer_list>
#include <new>

namespace {

// A driver that reports memory running out under the general SQLSTATE,
// by native codes of its own.
struct DriverCodes
{
    QLatin1String tag; // how its diagnostic texts start
    std::initializer_list<int> natives;
    QLatin1String text; // with native -1: the text of its own allocation failure
};

const DriverCodes GeneralStateDrivers[] = {
    {QLatin1String("[SQLite]"), {7, 3082}, QLatin1String("out of memory")},
};

bool isGeneralState(const QString &state)
{
    return state == QLatin1String("HY000") || state == QLatin1String("S1000");
}

// The text of the first record: a DatabaseError's message is
// "[SQLSTATE] text" per record.
QStringView firstRecordText(const QString &text)
{
    QStringView record(text);
    const qsizetype end = record.indexOf(u'\n');
    if (end >= 0)
        record.truncate(end);
    if (record.size() > 8 && record.startsWith(u'[') && record.at(6) == u']' && record.at(7) == u' ')
        record = record.mid(8);
    return record;
}

} // namespace

bool isOutOfMemory(const QString &sqlState, int nativeError, const QString &text)
{
    if (sqlState == QLatin1String("HY001") || sqlState == QLatin1String("S1001"))
        return true;
    if (!isGeneralState(sqlState))
        return false;
    const QStringView record = firstRecordText(text);
    for (const DriverCodes &driver : GeneralStateDrivers) {
        if (!record.startsWith(driver.tag))
            continue;
        if (std::find(driver.natives.begin(), driver.natives.end(), nativeError) != driver.natives.end())
            return true;
        return nativeError == -1 && record.mid(driver.tag.size()).startsWith(driver.text);
    }
    return false;
}

bool isOutOfMemory(const DatabaseError &error)
{
    return isOutOfMemory(error.sqlState(), error.nativeError(), error.message());
}

bool isMemoryShortage(const std::exception &error)
{
    if (dynamic_cast<const std::bad_alloc *>(&error) || dynamic_cast<const ResultTooLarge *>(&error))
        return true;
    const auto *database = dynamic_cast<const DatabaseError *>(&error);
    return database && isOutOfMemory(*database);
}

bool isMemoryShortage(std::exception_ptr error)
{
    if (!error)
        return false;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return isMemoryShortage(e);
    } catch (...) {
        return false;
    }
}
