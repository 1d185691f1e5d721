#include "app/usage.h"

#include "app/messages.h"

#include <QStringList>

namespace {

const char *const usageCaption = "帮助";
const char *const noticeCaption = "提示";
const char *const wizardNotice = "此功能暂未开通！";

const char *const usageLines[] = {
    "        [★使用说明★]",
    "[1]",
    "在系统的控制面板-ODBC图标-设置用户DSN",
    "",
    "设置能访问OIW数据库的DSN后，在此软件的",
    "",
    "[配置信息]菜单中做相关对应设置，然后选",
    "",
    "择[登录数据库]菜单，进行相关数据库的操",
    "",
    "作。",
    "",
    "[2]",
    "或者直接安装到上海SQL报盘程序的计算机",
    "",
    "上。这样就可以无须再次设置ODBC了，直接",
    "",
    "使用此软件工具。",
    "",
    "    ----------------------",
    "    Email:qtrlkv@example.com",
    "    ----------------------",
};

} // namespace

QString usageText()
{
    QStringList lines;
    for (const char *line : usageLines)
        lines << QString::fromUtf8(line);
    return lines.join(QLatin1Char('\r'));
}

void showUsage()
{
    msg::information(usageText(), QString::fromUtf8(usageCaption));
}

void showWizardNotice()
{
    msg::information(QString::fromUtf8(wizardNotice), QString::fromUtf8(noticeCaption));
}
