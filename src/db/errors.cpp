#include "db/errors.h"

namespace {

const QString TooLargeText = QStringLiteral("内存不足：已取回 %1 行，结果过大，请加条件查询");
const QString UnknownErrorText = QStringLiteral("未知错误");

} // namespace

DatabaseError::DatabaseError(const QString &message, const QString &sqlState, int nativeError)
    : std::runtime_error(message.toStdString())
    , m_message(message)
    , m_sqlState(sqlState)
    , m_nativeError(nativeError)
{
}

ProgramError::ProgramError(const QString &message)
    : std::runtime_error(message.toStdString())
    , m_message(message)
{
}

ResultTooLarge::ResultTooLarge(qint64 rowsFetched)
    : std::runtime_error(TooLargeText.arg(rowsFetched).toStdString())
    , m_rows(rowsFetched)
{
}

QString errorText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const DatabaseError &e) {
        return e.message();
    } catch (const ProgramError &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return UnknownErrorText;
    }
}
