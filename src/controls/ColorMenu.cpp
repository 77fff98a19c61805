#include "controls/ColorMenu.h"

#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

namespace {

const QColor kSelectBack(214, 224, 242);
const QColor kTextDisabled(192, 192, 192);
const QColor kText(120, 120, 120);

class ColorMenuStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QSize sizeFromContents(ContentsType type, const QStyleOption* opt, const QSize& size,
                           const QWidget* w) const override
    {
        if (type == CT_MenuItem) {
            const auto* mi = qstyleoption_cast<const QStyleOptionMenuItem*>(opt);
            if (mi && mi->menuItemType != QStyleOptionMenuItem::Separator)
                return CColorMenu::ItemSize(mi->text.section('\t', 0, 0).remove('&'));
        }
        return QProxyStyle::sizeFromContents(type, opt, size, w);
    }

    void drawControl(ControlElement element, const QStyleOption* opt, QPainter* p,
                     const QWidget* w) const override
    {
        const auto* mi = qstyleoption_cast<const QStyleOptionMenuItem*>(opt);
        if (element != CE_MenuItem || !mi || mi->menuItemType == QStyleOptionMenuItem::Separator) {
            QProxyStyle::drawControl(element, opt, p, w);
            return;
        }
        const bool selected = mi->state & State_Selected;
        const bool enabled = mi->state & State_Enabled;
        const QColor back = selected ? kSelectBack : mi->palette.color(QPalette::Window);
        p->fillRect(mi->rect, back);
        if (selected) {
            p->setPen(QColor(255 - back.red(), 255 - back.green(), 255 - back.blue()));
            p->drawRect(mi->rect.adjusted(0, 0, -1, -1));
        }
        QFont f = mi->font;
        p->setFont(f);
        p->setPen(enabled ? kText : kTextDisabled);
        p->drawText(mi->rect.adjusted(5, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                    mi->text.section('\t', 0, 0));
    }
};

} // namespace

CColorMenu::CColorMenu(QWidget* parent) : QMenu(parent)
{
    auto* style = new ColorMenuStyle();
    style->setParent(this);
    setStyle(style);
    QFont f;
    f.setFamilies({"MS Sans Serif", "DejaVu Sans", "Sans Serif"});
    f.setPixelSize(11);
    f.setWeight(QFont::DemiBold);
    setFont(f);
}

QSize CColorMenu::ItemSize(const QString& text)
{
    return QSize(PIXELS_PER_CHAR * int(text.size()), ITEM_HEIGHT);
}
