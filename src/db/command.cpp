#include "db/command.h"

OperationCancelled::OperationCancelled()
    : DatabaseError(QStringLiteral("操作已取消"))
{
}
