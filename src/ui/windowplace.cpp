#include "ui/windowplace.h"

#include "base/settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QWidget>

namespace {

const QString SaveFailedText = QStringLiteral("无法保存窗口位置：%1");

// How much of the window's top strip must be on a screen to reach it with
// the mouse.
constexpr int ReachableWidth = 100;
constexpr int ReachableHeight = 20;

} // namespace

QString placeText(const QRect &place)
{
    return QStringLiteral("%1,%2,%3,%4").arg(place.x()).arg(place.y()).arg(place.width()).arg(place.height());
}

QRect placeFromText(const QString &text, const QList<QRect> &screens, const QSize &minimum)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 4)
        return {};
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return {};
    }
    QRect place(values[0], values[1], values[2], values[3]);
    if (place.width() < minimum.width() || place.height() < minimum.height())
        return {};
    const QRect strip(place.x(), place.y(), place.width(), ReachableHeight);
    for (const QRect &screen : screens) {
        const QRect shown = strip.intersected(screen);
        if (shown.width() >= ReachableWidth && shown.height() >= ReachableHeight) {
            place.setWidth(std::min(place.width(), screen.width()));
            place.setHeight(std::min(place.height(), screen.height()));
            return place;
        }
    }
    return {};
}

void restorePlace(QWidget *window, const QString &section, const QString &key)
{
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    const QRect place = placeFromText(settings::readSetting(section, key, QString()), screens,
                                      window->minimumSizeHint().boundedTo(QSize(200, 100)));
    if (!place.isNull())
        window->setGeometry(place);
}

QString savePlace(const QWidget *window, const QString &section, const QString &key)
{
    try {
        settings::writeSetting(section, key, placeText(window->geometry()));
        return {};
    } catch (const SettingsError &e) {
        return SaveFailedText.arg(QString::fromUtf8(e.what()));
    }
}

void bringToFront(QWidget *window)
{
    if (!window->isVisible())
        return;
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
}
