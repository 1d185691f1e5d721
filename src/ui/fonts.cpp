#include "ui/fonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QStringList>
#include <QWidget>

void installFontSubstitutions()
{
    // Installed families that show Chinese, best first.
    static const QStringList chinese = {
        QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Serif CJK SC"),
        QStringLiteral("Source Han Sans SC"), QStringLiteral("WenQuanYi Zen Hei"),
        QStringLiteral("Microsoft YaHei"), QStringLiteral("SimSun"),
    };
    const QStringList installed = QFontDatabase::families();
    QStringList available;
    for (const QString &family : chinese) {
        if (installed.contains(family, Qt::CaseInsensitive))
            available << family;
    }
    if (available.isEmpty())
        return;
    // On Windows "宋体" and "MS Sans Serif" exist; elsewhere they resolve here.
    for (const QString &designed : {QStringLiteral("宋体"), QStringLiteral("MS Sans Serif")}) {
        if (!installed.contains(designed, Qt::CaseInsensitive))
            QFont::insertSubstitutions(designed, available);
    }
}

void setPixelFont(QWidget *widget, int pixels)
{
    QFont font = widget->font();
    font.setPixelSize(pixels);
    widget->setFont(font);
}
