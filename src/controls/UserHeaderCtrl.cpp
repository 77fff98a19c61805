#include "controls/UserHeaderCtrl.h"

#include <QPainter>

CUserHeaderCtrl::CUserHeaderCtrl(Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent)
{
    QFont f;
    f.setFamilies({"MS Sans Serif", "DejaVu Sans", "Sans Serif"});
    f.setPixelSize(14);
    f.setWeight(QFont::DemiBold);
    setFont(f);
}

void CUserHeaderCtrl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    painter->save();
    painter->fillRect(rect, BackColor());
    painter->setPen(BackColor().darker(130));
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->setFont(font());
    painter->setPen(TextColor());
    const QString text = model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
    painter->drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text);
    painter->restore();
}
