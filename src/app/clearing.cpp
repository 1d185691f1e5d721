#include "app/clearing.h"

#include "app/application.h"
#include "app/messages.h"
#include "ui/command.h"
#include "connection/datamodule.h"

namespace {

struct ClearCommand
{
    const char *statement;      // SQL run through the query object
    Query *const Tdatamod::*query;
    const char *question;       // confirmation question
    const char *success;        // success box text
    const char *displayName;    // table name as shown in the failure text
};

// In the order of ClearTable.
const ClearCommand Commands[] = {
    {"delete ashare_cjhb", &Tdatamod::qry1, "您确定清除成交回报数据表(Ashare_Cjhb)吗?",
     "清除成交回报数据表(Ashare_Cjhb)成功！", "成交回报数据表(Ashare_Cjhb)"},
    {"delete ashare_ordwth2", &Tdatamod::qry3, "您确定清除接收返回确认表(Ashare_Ordwth2)吗?",
     "清除接收返回确认表(Ashare_Ordwth2)成功！", "接收返回确认表(Ashare_Ordwth2)"},
    {"delete ashare_ordwth", &Tdatamod::qry2, "您确定清除发送数据表(Ashare_Ordwth)吗?",
     "清除发送数据表(Ashare_Ordwth)成功！", "发送数据表(Ashare_Ordwth)"},
};

const char *const SuccessCaption = "清除成功";
const char *const FailureCaption = "失败了";
const char *const ClearingText = "正在清空…";

// Five lines separated by CR.
QString clearFailureText(const ClearCommand &command)
{
    return QStringLiteral("清除表失败！\r\r请检查该数据库用户是否对\r")
        + QString::fromUtf8(command.displayName) + QStringLiteral("有\r删除权限！");
}

} // namespace

void clearTable(ClearTable table)
{
    const ClearCommand &command = Commands[static_cast<int>(table)];
    if (!msg::confirm(QString::fromUtf8(command.question)))
        return;
    try {
        executeStatement(*(datamod->*command.query), {QString::fromUtf8(command.statement)}, {},
                         QString::fromUtf8(ClearingText));
    } catch (const OperationCancelled &error) {
        showExceptionBox(error);
        return;
    } catch (const std::exception &) {
        // The database's own text is not shown.
        msg::error(clearFailureText(command), QString::fromUtf8(FailureCaption));
        return;
    }
    msg::information(QString::fromUtf8(command.success), QString::fromUtf8(SuccessCaption));
}
