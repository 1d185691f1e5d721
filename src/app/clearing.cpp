#include "app/clearing.h"

#include "app/messages.h"
#include "connection/datamodule.h"

namespace {

const ClearCommand Commands[] = {
    {"delete ashare_cjhb", "您确定清除成交回报数据表(Ashare_Cjhb)吗?",
     "清除成交回报数据表(Ashare_Cjhb)成功！", "成交回报数据表(Ashare_Cjhb)"},
    {"delete ashare_ordwth2", "您确定清除接收返回确认表(Ashare_Ordwth2)吗?",
     "清除接收返回确认表(Ashare_Ordwth2)成功！", "接收返回确认表(Ashare_Ordwth2)"},
    {"delete ashare_ordwth", "您确定清除发送数据表(Ashare_Ordwth)吗?",
     "清除发送数据表(Ashare_Ordwth)成功！", "发送数据表(Ashare_Ordwth)"},
};

const char *const SuccessCaption = "清除成功";
const char *const FailureCaption = "失败了";

} // namespace

const ClearCommand &clearCommand(ClearTable table)
{
    return Commands[static_cast<int>(table)];
}

Query &clearQuery(ClearTable table)
{
    switch (table) {
    case ClearTable::Cjhb:
        return *datamod->qry1;
    case ClearTable::Ordwth2:
        return *datamod->qry3;
    case ClearTable::Ordwth:
        break;
    }
    return *datamod->qry2;
}

QString clearFailureText(ClearTable table)
{
    return QStringLiteral("清除表失败！\r\r请检查该数据库用户是否对\r")
        + QString::fromUtf8(clearCommand(table).displayName) + QStringLiteral("有\r删除权限！");
}

void clearTable(ClearTable table)
{
    const ClearCommand &command = clearCommand(table);
    if (!msg::confirm(QString::fromUtf8(command.question)))
        return;
    try {
        executeStatement(clearQuery(table), {QString::fromUtf8(command.statement)});
    } catch (const std::exception &) {
        // The database's own text is not shown.
        msg::error(clearFailureText(table), QString::fromUtf8(FailureCaption));
        return;
    }
    msg::information(QString::fromUtf8(command.success), QString::fromUtf8(SuccessCaption));
}
