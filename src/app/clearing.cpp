#include "app/clearing.h"

#include "connection/datamodule.h"
#include "ui/command.h"
#include "ui/errorbox.h"
#include "ui/messages.h"

namespace {

struct ClearCommand
{
    QString statement;   // SQL run through the query object
    Query *const Tdatamod::*query;
    QString question;    // confirmation question
    QString success;     // success box text
    QString displayName; // table name as shown in the failure text
    QString unsentCount; // counts what clearing would lose before it is asked about; empty: nothing
};

// In the order of ClearTable.
const ClearCommand Commands[] = {
    {QStringLiteral("delete ashare_cjhb"), &Tdatamod::qry1,
     QStringLiteral("您确定清除成交回报数据表(Ashare_Cjhb)吗?"),
     QStringLiteral("清除成交回报数据表(Ashare_Cjhb)成功！"),
     QStringLiteral("成交回报数据表(Ashare_Cjhb)"), QString()},
    {QStringLiteral("delete ashare_ordwth2"), &Tdatamod::qry3,
     QStringLiteral("您确定清除接收返回确认表(Ashare_Ordwth2)吗?"),
     QStringLiteral("清除接收返回确认表(Ashare_Ordwth2)成功！"),
     QStringLiteral("接收返回确认表(Ashare_Ordwth2)"), QString()},
    {QStringLiteral("delete ashare_ordwth"), &Tdatamod::qry2,
     QStringLiteral("您确定清除发送数据表(Ashare_Ordwth)吗?"),
     QStringLiteral("清除发送数据表(Ashare_Ordwth)成功！"),
     QStringLiteral("发送数据表(Ashare_Ordwth)"),
     // Orders the gateway has not taken yet.
     QStringLiteral("select count(*) from ashare_ordwth where status in ('R', 'r')")},
};

const QString UnsentQuestion =
    QStringLiteral("发送数据表中还有 %1 笔委托尚未被网关取走（状态 R），清除后这些委托将不会报出。仍要清除吗?");

const QString SuccessCaption = QStringLiteral("清除成功");
const QString FailureCaption = QStringLiteral("失败了");
const QString ClearingText = QStringLiteral("正在清空…");

// Five lines separated by CR.
QString clearFailureText(const ClearCommand &command)
{
    return QStringLiteral("清除表失败！\r\r请检查该数据库用户是否对\r")
        + command.displayName + QStringLiteral("有\r删除权限！");
}

} // namespace

// Runs the command's count on qry4, as a command of the connection's worker.
qint64 countUnsent(const ClearCommand &command)
{
    Query &query = *datamod->qry4;
    query.close();
    runQuery(query, {command.unsentCount});
    const qint64 count = query.active() && query.recordCount() > 0 ? query.result()->text(0, 0).trimmed().toLongLong() : 0;
    query.close();
    return count;
}

void clearTable(ClearTable table)
{
    const ClearCommand &command = Commands[static_cast<int>(table)];
    if (!msg::confirm(command.question))
        return;
    // A failed count deletes nothing and is told as a failed clearing.
    try {
        if (!command.unsentCount.isEmpty()) {
            const qint64 unsent = countUnsent(command);
            if (unsent > 0 && !msg::confirm(UnsentQuestion.arg(unsent), msg::DefaultAnswer::No))
                return;
        }
        executeStatement(*(datamod->*command.query), {command.statement}, {}, ClearingText);
    } catch (const std::exception &error) {
        // The database's own text is not shown.
        showCommandFailure(error, [&command] { msg::error(clearFailureText(command), FailureCaption); });
        return;
    }
    msg::information(command.success, SuccessCaption);
}
