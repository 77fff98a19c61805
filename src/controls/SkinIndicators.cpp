// The status indicators: small pictures on the main window's display panel,
// drawn dark on a transparent background so that the panel shows through.
#include "controls/SkinIds.h"
#include "controls/SkinPaint.h"

#include <QPainterPath>
#include <QPolygon>

namespace kvui::skinpaint {

namespace {

void Battery(QPainter& p, int cells, const QColor& fill, const QColor& outline)
{
    // Body 16 x 10 at (0, 1), terminal on the right; five cells of 2 pixels.
    p.setPen(outline);
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 1, 15, 10);
    p.fillRect(16, 4, 2, 5, outline);
    for (int i = 0; i < 5; ++i)
        p.fillRect(2 + i * 3, 3, 2, 7, i < cells ? fill : QColor(kDim.red(), kDim.green(), kDim.blue(), 90));
}

void AntennaGlyph(QPainter& p, int x, const QColor& c)
{
    p.setPen(c);
    p.drawLine(x + 1, 3, x + 1, 12);
    p.drawPoint(x, 1);
    p.drawPoint(x, 2);
    p.drawPoint(x + 2, 1);
    p.drawPoint(x + 2, 2);
    p.drawPoint(x + 1, 3);
}

// Five rising bars at x 3.. (2 pixels wide, 1 apart); `level` of them lit.
void Bars(QPainter& p, int level, const QColor& lit)
{
    for (int i = 0; i < 5; ++i) {
        const int h = 3 + 2 * i;
        const QRect r(3 + i * 3, 13 - h, 2, h);
        p.fillRect(r, i < level ? lit : QColor(kDim.red(), kDim.green(), kDim.blue(), 110));
    }
}

void Cross(QPainter& p, int x, int y, int size, const QColor& c)
{
    p.setPen(QPen(c, 1.6));
    p.setRenderHint(QPainter::Antialiasing);
    p.drawLine(QPointF(x, y), QPointF(x + size, y + size));
    p.drawLine(QPointF(x + size, y), QPointF(x, y + size));
    p.setRenderHint(QPainter::Antialiasing, false);
}

void Badge(QPainter& p, int w, int h, const QColor& back, const QString& text, int scale)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(0, 0, w, h), 3, 3);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int tw = PixelTextWidth(text, scale);
    PixelText(p, (w - tw) / 2, (h - 5 * scale) / 2, text, Qt::white, scale);
}

void Envelope(QPainter& p, const QColor& paper, const QColor& ink)
{
    p.setPen(ink);
    p.setBrush(paper);
    p.drawRect(0, 2, 13, 9);
    p.drawLine(0, 2, 6, 7);
    p.drawLine(7, 7, 13, 2);
}

void VoiceMail(QPainter& p, const QColor& c)
{
    // Two reels joined along the bottom, in front of the envelope.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(c, 1.5));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(3.5, 9.5), 2.3, 2.3);
    p.drawEllipse(QPointF(10.5, 9.5), 2.3, 2.3);
    p.drawLine(QPointF(3.5, 11.8), QPointF(10.5, 11.8));
    p.setRenderHint(QPainter::Antialiasing, false);
}

void Bolt(QPainter& p, const QColor& c)
{
    QPolygon bolt;
    bolt << QPoint(5, 0) << QPoint(0, 8) << QPoint(3, 8) << QPoint(2, 13) << QPoint(7, 5)
         << QPoint(4, 5) << QPoint(6, 0);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(c);
    p.drawPolygon(bolt);
    p.setRenderHint(QPainter::Antialiasing, false);
}

// Rank of a data-rate picture: 0 (empty) to 12 (full).
int DataRateRank(int id)
{
    switch (id) {
    case 236: return 0;
    case 235: return 1;
    case 233: return 2;
    case 234: return 3;
    case 232: return 4;
    default: return (id >= 237 && id <= 244) ? id - 232 : 0;
    }
}

void DataRate(QPainter& p, int rank, int w, int h)
{
    const int segments = 12;
    const int segW = (w - 1) / segments;   // 14 incl. the gap
    for (int i = 0; i < segments; ++i) {
        QRect r(1 + i * segW, 1, segW - 2, h - 2);
        if (i < rank) {
            // Green to amber from left to right.
            const qreal t = qreal(i) / (segments - 1);
            QColor c = QColor::fromRgbF(kGreen.redF() + (kAmber.redF() - kGreen.redF()) * t,
                                        kGreen.greenF() + (kAmber.greenF() - kGreen.greenF()) * t,
                                        kGreen.blueF() + (kAmber.blueF() - kGreen.blueF()) * t);
            p.fillRect(r, c);
        } else {
            p.fillRect(r, QColor(kDim.red(), kDim.green(), kDim.blue(), 110));
        }
    }
}

void Volume(QPainter& p, int level)
{
    // Speaker: box and cone.
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRect(0, 3, 2, 4);
    QPolygon cone;
    cone << QPoint(2, 3) << QPoint(6, 0) << QPoint(6, 10) << QPoint(2, 7);
    p.drawPolygon(cone);
    if (level == 0) {
        Cross(p, 10, 2, 6, kRed);
        return;
    }
    for (int i = 0; i < 4; ++i) {
        const int h = 3 + 2 * i;
        p.fillRect(QRect(9 + i * 4, 10 - h, 3, h),
                   i < level ? kInk : QColor(kDim.red(), kDim.green(), kDim.blue(), 110));
    }
}

} // namespace

void PaintIndicator(QPainter& p, int id, int w, int h)
{
    p.setRenderHint(QPainter::Antialiasing, false);
    switch (id) {
    case IDB_BATT_EMPTY: Battery(p, 0, kRed, kRed); return;
    case IDB_BATT_2: Battery(p, 1, kInk, kInk); return;
    case IDB_BATT_3: Battery(p, 2, kInk, kInk); return;
    case IDB_BATT_4: Battery(p, 3, kInk, kInk); return;
    case IDB_BATT_5: Battery(p, 4, kInk, kInk); return;
    case IDB_BATT_FULL: Battery(p, 5, kGreen, kInk); return;

    case IDB_SIG1_NONE: AntennaGlyph(p, 0, kInk); Cross(p, 8, 4, 6, kRed); return;
    case IDB_SIG1_L1: AntennaGlyph(p, 0, kInk); Bars(p, 1, kInk); return;
    case IDB_SIG1_L2: AntennaGlyph(p, 0, kInk); Bars(p, 2, kInk); return;
    case IDB_SIG1_L3: AntennaGlyph(p, 0, kInk); Bars(p, 3, kInk); return;
    case IDB_SIG1_L4: AntennaGlyph(p, 0, kInk); Bars(p, 4, kInk); return;
    case IDB_SIG1_L5: AntennaGlyph(p, 0, kInk); Bars(p, 5, kInk); return;

    // The EV-DO set: a "D" in place of the antenna, bars in blue.
    case IDB_SIG2_NONE:
    case IDB_SIG2_L7: PixelText(p, 0, 0, "D", kBlue); Cross(p, 8, 4, 6, kRed); return;
    case IDB_SIG2_L1 + 0:
    case IDB_SIG2_L1 + 1:
    case IDB_SIG2_L1 + 2:
    case IDB_SIG2_L1 + 3:
    case IDB_SIG2_L1 + 4:
        PixelText(p, 0, 0, "D", kBlue);
        Bars(p, id - IDB_SIG2_L1 + 1, kBlue);
        return;

    case IDB_SERVICE_HYBRID: Badge(p, w, h, kInk, "1XDO", 1); return;
    case IDB_SERVICE_1X: Badge(p, w, h, kInk, "1X", 2); return;
    case IDB_SERVICE_DO: Badge(p, w, h, kBlue, "DO", 2); return;

    case IDB_SMS_NEW: Envelope(p, Qt::white, kInk); return;
    case IDB_SMS_VOICE: Envelope(p, Qt::white, kInk); VoiceMail(p, kAmber); return;
    case IDB_SMS_VOICES: Envelope(p, QColor(0xff, 0xe9, 0xc2), kInk); VoiceMail(p, kRed); return;

    case IDB_ROAMING: {
        QPolygon tri;
        tri << QPoint(6, 0) << QPoint(12, 12) << QPoint(0, 12);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(kAmber);
        p.drawPolygon(tri);
        p.setRenderHint(QPainter::Antialiasing, false);
        PixelText(p, 5, 6, "R", kInk);
        return;
    }

    case IDB_RXD_OFF:
    case IDB_RXD_ON: {
        const QColor c = id == IDB_RXD_ON ? kGreen : kDim;
        AntennaGlyph(p, 0, c);
        AntennaGlyph(p, 4, c);
        PixelText(p, 9, 5, "RX", id == IDB_RXD_ON ? kInk : kDim);
        return;
    }

    case IDB_CHARGE_1: Bolt(p, kAmber); return;
    case IDB_CHARGE_2:
    case IDB_CHARGE_3:
    case IDB_CHARGE_4: {
        const int stages = id == IDB_CHARGE_2 ? 1 : id == IDB_CHARGE_3 ? 2 : 3;
        Bolt(p, id == IDB_CHARGE_4 ? kGreen : kAmber);
        for (int i = 0; i < 3; ++i) {
            const int bh = 6 + 3 * i;
            p.fillRect(QRect(9 + i * 3, 14 - bh, 2, bh),
                       i < stages ? (id == IDB_CHARGE_4 ? kGreen : kInk)
                                  : QColor(kDim.red(), kDim.green(), kDim.blue(), 110));
        }
        return;
    }

    case IDB_VOL_0: Volume(p, 0); return;
    case IDB_VOL_1: Volume(p, 1); return;
    case IDB_VOL_2: Volume(p, 2); return;
    case IDB_VOL_3: Volume(p, 3); return;
    case IDB_VOL_4: Volume(p, 4); return;

    default:
        if (id == IDB_DRC_EMPTY || (id >= IDB_DRC_FIRST && id <= IDB_DRC_LAST))
            DataRate(p, DataRateRank(id), w, h);
        return;
    }
}

} // namespace kvui::skinpaint
