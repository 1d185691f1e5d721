#include "app/usage.h"

#include "ui/messages.h"

#include <QStringList>

namespace {

const QString usageCaption = QStringLiteral("帮助");
const QString noticeCaption = QStringLiteral("提示");
const QString wizardNotice = QStringLiteral("此功能暂未开通！");

const QString usageLines[] = {
    QStringLiteral("        [★使用说明★]"),
    QStringLiteral("[1]"),
    QStringLiteral("在系统的控制面板-ODBC图标-设置用户DSN"),
    QStringLiteral(""),
    QStringLiteral("设置能访问OIW数据库的DSN后，在此软件的"),
    QStringLiteral(""),
    QStringLiteral("[配置信息]菜单中做相关对应设置，然后选"),
    QStringLiteral(""),
    QStringLiteral("择[登录数据库]菜单，进行相关数据库的操"),
    QStringLiteral(""),
    QStringLiteral("作。"),
    QStringLiteral(""),
    QStringLiteral("[2]"),
    QStringLiteral("或者直接安装到上海SQL报盘程序的计算机"),
    QStringLiteral(""),
    QStringLiteral("上。这样就可以无须再次设置ODBC了，直接"),
    QStringLiteral(""),
    QStringLiteral("使用此软件工具。"),
    QStringLiteral(""),
    QStringLiteral("    ----------------------"),
    QStringLiteral("    Email:qtrlkv@example.com"),
    QStringLiteral("    ----------------------"),
};

} // namespace

QString usageText()
{
    QStringList lines;
    for (const QString &line : usageLines)
        lines << line;
    return lines.join(QLatin1Char('\r'));
}

void showUsage()
{
    msg::information(usageText(), usageCaption);
}

void showWizardNotice()
{
    msg::information(wizardNotice, noticeCaption);
}
