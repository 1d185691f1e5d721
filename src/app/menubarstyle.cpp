#include "app/menubarstyle.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

namespace {

constexpr int IconTextGap = 4;

// Menu bar entries that carry a picture show it beside their caption; the
// toolkit's own styles show the picture instead of the caption.
class MenuBarStyle : public QProxyStyle
{
public:
    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget) const override
    {
        const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
        if (type != CT_MenuBarItem || !item || item->icon.isNull() || item->text.isEmpty())
            return QProxyStyle::sizeFromContents(type, option, size, widget);
        const int iconSize = pixelMetric(PM_SmallIconSize, option, widget);
        const QSize text = item->fontMetrics.size(Qt::TextShowMnemonic, item->text);
        const QSize content(iconSize + IconTextGap + text.width(), qMax(iconSize, text.height()));
        return QProxyStyle::sizeFromContents(type, option, content, widget);
    }

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
        if (element != CE_MenuBarItem || !item || item->icon.isNull() || item->text.isEmpty()) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        // The base style draws the item's face; the picture and the caption
        // follow side by side, centred in the item.
        QStyleOptionMenuItem face = *item;
        face.icon = QIcon();
        face.text.clear();
        QProxyStyle::drawControl(element, &face, painter, widget);

        const bool enabled = item->state & State_Enabled;
        const bool active = (item->state & State_Selected) && (item->state & State_Sunken);
        const int iconSize = pixelMetric(PM_SmallIconSize, option, widget);
        const QSize text = item->fontMetrics.size(Qt::TextShowMnemonic, item->text);
        const int width = iconSize + IconTextGap + text.width();
        const QRect content(item->rect.x() + (item->rect.width() - width) / 2, item->rect.y(), width,
                            item->rect.height());
        const QRect iconRect(content.x(), content.y() + (content.height() - iconSize) / 2, iconSize,
                             iconSize);
        const QPixmap pixmap = item->icon.pixmap(QSize(iconSize, iconSize),
                                                 widget ? widget->devicePixelRatio() : 1.0,
                                                 enabled ? QIcon::Normal : QIcon::Disabled);
        drawItemPixmap(painter, iconRect, Qt::AlignCenter, pixmap);

        int alignment = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic | Qt::TextDontClip
            | Qt::TextSingleLine;
        if (!styleHint(SH_UnderlineShortcut, option, widget))
            alignment |= Qt::TextHideMnemonic;
        const QRect textRect(iconRect.right() + 1 + IconTextGap, content.y(), text.width(),
                             content.height());
        drawItemText(painter, textRect, alignment, item->palette, enabled, item->text,
                     active && enabled ? QPalette::HighlightedText : QPalette::ButtonText);
    }
};

} // namespace

QStyle *menuBarStyle()
{
    // One instance for the program; it lives as long as the application.
    static QPointer<MenuBarStyle> style;
    if (!style) {
        style = new MenuBarStyle;
        style->setParent(qApp);
    }
    return style;
}
