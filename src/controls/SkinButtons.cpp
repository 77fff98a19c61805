// Button strips: every frame is a rounded key with a glyph; the frames differ
// in light (normal, hover brighter, pressed darker and sunk by a pixel,
// disabled grey).
#include "controls/SkinIds.h"
#include "controls/SkinPaint.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <cmath>

namespace kvui::skinpaint {

namespace {

struct Look {
    QColor base;
    QColor glyph;
};

Look LookFor(int id)
{
    switch (id) {
    case IDB_BTN_EXIT:
    case IDB_BTN_END:
    case IDB_BTN_CANCEL:
    case IDB_PIN_EXIT:
        return {QColor(0xb0, 0x2c, 0x2c), Qt::white};
    case IDB_BTN_SEND:
    case IDB_BTN_OK:
    case IDB_PIN_VERIFY:
        return {QColor(0x1d, 0x69, 0x32), Qt::white};
    case IDB_BTN_CLEAR:
        return {QColor(0x8c, 0x50, 0x06), Qt::white};
    default:
        if (id >= IDB_BTN_KEY_FIRST && id <= IDB_BTN_KEY_LAST)
            return {QColor(0xe4, 0xec, 0xf5), kInk};
        return {QColor(0x35, 0x5f, 0x94), Qt::white};
    }
}

QString KeyText(int id)
{
    static const char* keys[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "*", "#"};
    return QString::fromLatin1(keys[id - IDB_BTN_KEY_FIRST]);
}

void TextGlyph(QPainter& p, const QRectF& r, const QString& text, const QColor& c, int px)
{
    QFont f;
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(px);
    f.setBold(true);
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, Qt::AlignCenter, text);
}

void Handset(QPainter& p, const QPointF& c, qreal s, qreal angle, const QColor& col)
{
    p.save();
    p.translate(c);
    p.rotate(angle);
    QPainterPath path;
    // A curved handset: two ear pieces joined by a bow.
    path.moveTo(-s, -s * 0.2);
    path.quadTo(0, -s * 0.9, s, -s * 0.2);
    path.lineTo(s, s * 0.25);
    path.lineTo(s * 0.45, s * 0.25);
    path.lineTo(s * 0.4, 0);
    path.quadTo(0, -s * 0.3, -s * 0.4, 0);
    path.lineTo(-s * 0.45, s * 0.25);
    path.lineTo(-s, s * 0.25);
    path.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    p.drawPath(path);
    p.restore();
}

void Gear(QPainter& p, const QPointF& c, qreal r, const QColor& col)
{
    QPainterPath path;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal a = M_PI * i / teeth;
        const qreal rr = (i % 2) ? r * 0.72 : r;
        const qreal a0 = a - M_PI / (teeth * 2.6), a1 = a + M_PI / (teeth * 2.6);
        QPointF p0(c.x() + rr * std::cos(a0), c.y() + rr * std::sin(a0));
        QPointF p1(c.x() + rr * std::cos(a1), c.y() + rr * std::sin(a1));
        if (i == 0)
            path.moveTo(p0);
        else
            path.lineTo(p0);
        path.lineTo(p1);
    }
    path.closeSubpath();
    path.addEllipse(c, r * 0.32, r * 0.32);
    path.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    p.drawPath(path);
}

void Globe(QPainter& p, const QPointF& c, qreal r, const QColor& col)
{
    p.setPen(QPen(col, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    p.drawEllipse(c, r * 0.45, r);
    p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
}

void Power(QPainter& p, const QPointF& c, qreal r, const QColor& col)
{
    p.setPen(QPen(col, 1.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 120 * 16, 300 * 16);
    p.drawLine(QPointF(c.x(), c.y() - r - 0.5), QPointF(c.x(), c.y()));
}

// A phone keypad: four rows of three keys.
void Keypad(QPainter& p, const QPointF& c, const QColor& col)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    const int key = 3, gap = 1;
    const int w = 3 * key + 2 * gap, h = 4 * key + 3 * gap;
    const int x0 = int(c.x()) - w / 2, y0 = int(c.y()) - h / 2;
    for (int row = 0; row < 4; ++row)
        for (int k = 0; k < 3; ++k)
            p.fillRect(x0 + k * (key + gap), y0 + row * (key + gap), key, key, col);
    p.restore();
}

// A closed envelope.
void Envelope(QPainter& p, const QPointF& c, const QColor& col)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF body(c.x() - 7.5, c.y() - 5, 15, 10);
    p.setPen(QPen(col, 1.4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(body);
    QPainterPath flap;
    flap.moveTo(body.topLeft());
    flap.lineTo(c.x(), c.y() + 1);
    flap.lineTo(body.topRight());
    p.drawPath(flap);
    p.restore();
}

// A contact book: a spine with rings and a person on the cover.
void ContactBook(QPainter& p, const QPointF& c, const QColor& col, const QColor& back)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const QRectF cover(c.x() - 5.5, c.y() - 7, 12, 14);
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    p.drawRoundedRect(cover, 1.5, 1.5);
    // Rings on the spine.
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i < 3; ++i)
        p.fillRect(QRectF(cover.left() - 2, cover.top() + 2 + i * 4, 3, 2), col);
    p.setRenderHint(QPainter::Antialiasing, true);
    // The person: head and shoulders in the button's colour.
    p.setBrush(back);
    const QPointF head(cover.center().x() + 0.5, cover.top() + 4.5);
    p.drawEllipse(head, 2.2, 2.2);
    QPainterPath shoulders;
    shoulders.moveTo(head.x() - 4, cover.bottom() - 2);
    shoulders.quadTo(head.x() - 4, head.y() + 3, head.x(), head.y() + 3);
    shoulders.quadTo(head.x() + 4, head.y() + 3, head.x() + 4, cover.bottom() - 2);
    shoulders.closeSubpath();
    p.drawPath(shoulders);
    p.restore();
}

// A small speaker over a minus or a plus (the volume keys are 10 pixels
// wide: drawn pixel by pixel, clear of the rounded corners).
void SpeakerSign(QPainter& p, const QRectF& r, bool plus, const QColor& col)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    const int x = int(r.center().x()) - 5; // the key's left edge
    const int y = int(r.top());            // 1 lower while pressed
    p.drawRect(x + 2, y + 4, 2, 3);
    QPolygon cone;
    cone << QPoint(x + 4, y + 4) << QPoint(x + 6, y + 2) << QPoint(x + 6, y + 8) << QPoint(x + 4, y + 6);
    p.drawPolygon(cone);
    p.fillRect(x + 2, y + 11, 6, 2, col);
    if (plus)
        p.fillRect(x + 4, y + 9, 2, 6, col);
    p.restore();
}

// A small bar chart: three bars of rising height on a base line.
void BarChart(QPainter& p, const QPointF& c, const QColor& col)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    const int bar = 4, gap = 2, base = 2;
    const int heights[] = {5, 9, 13};
    const int w = 3 * bar + 2 * gap;
    const int x0 = int(c.x()) - w / 2, bottom = int(c.y()) + 7;
    for (int i = 0; i < 3; ++i)
        p.fillRect(x0 + i * (bar + gap), bottom - base - heights[i], bar, heights[i], col);
    p.fillRect(x0 - 2, bottom - base, w + 4, base - 1, col);
    p.restore();
}

void Glyph(QPainter& p, int id, const QRectF& r, const QColor& c, const QColor& back)
{
    const QPointF mid = r.center();
    const qreal s = std::min(r.width(), r.height());
    switch (id) {
    case IDB_BTN_NET: Globe(p, mid, s * 0.34, c); return;
    case IDB_BTN_NET_OFF: {
        // The globe struck through: the connection goes down.
        Globe(p, mid, s * 0.34, c);
        const qreal k = s * 0.42;
        p.setPen(QPen(back, 4.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(mid + QPointF(-k, -k), mid + QPointF(k, k));
        p.setPen(QPen(QColor(0xff, 0x8a, 0x80), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(mid + QPointF(-k, -k), mid + QPointF(k, k));
        return;
    }
    case IDB_BTN_SETTING: Gear(p, mid, s * 0.36, c); return;
    case IDB_BTN_RCV_STV: TextGlyph(p, r.adjusted(-2, -1, 2, 1), "A", c, 11); return;
    case IDB_BTN_BALANCE: TextGlyph(p, r.adjusted(-2, -1, 2, 1), "B", c, 11); return;
    case IDB_BTN_SWITCH_OFF: Power(p, mid, s * 0.28, c); return;
    case IDB_BTN_MINIMIZE:
        p.fillRect(QRectF(mid.x() - 5, mid.y() + 2, 10, 2.5), c);
        return;
    case IDB_BTN_EXIT:
    case IDB_PIN_EXIT: {
        const qreal k = id == IDB_PIN_EXIT ? 5 : 4.5;
        p.setPen(QPen(c, 2.2, Qt::SolidLine, Qt::RoundCap));
        if (id == IDB_PIN_EXIT) {
            TextGlyph(p, r.adjusted(14, 0, 0, 0), "Exit", c, 12);
            const QPointF x(r.left() + 14, mid.y());
            p.setPen(QPen(c, 2.2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(x + QPointF(-k, -k), x + QPointF(k, k));
            p.drawLine(x + QPointF(k, -k), x + QPointF(-k, k));
        } else {
            p.drawLine(mid + QPointF(-k, -k), mid + QPointF(k, k));
            p.drawLine(mid + QPointF(k, -k), mid + QPointF(-k, k));
        }
        return;
    }
    case IDB_PIN_VERIFY: {
        const QPointF x(r.left() + 14, mid.y());
        p.setPen(QPen(c, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        QPainterPath tick;
        tick.moveTo(x + QPointF(-5, 0));
        tick.lineTo(x + QPointF(-1, 4));
        tick.lineTo(x + QPointF(6, -5));
        p.drawPath(tick);
        TextGlyph(p, r.adjusted(14, 0, 0, 0), "OK", c, 12);
        return;
    }
    case IDB_BTN_OK: TextGlyph(p, r, "OK", c, 13); return;
    case IDB_BTN_CANCEL: TextGlyph(p, r, "Cancel", c, 12); return;
    case IDB_BTN_SEND: Handset(p, mid + QPointF(0, 2), s * 0.62, 0, c); return;
    case IDB_BTN_END: Handset(p, mid + QPointF(0, -1), s * 0.62, 180, c); return;
    case IDB_BTN_CLEAR: TextGlyph(p, r, "C", c, 13); return;
    case IDB_BTN_DIAL_PAD: Keypad(p, mid, c); return;
    case IDB_BTN_SMS_PAGE: Envelope(p, mid, c); return;
    case IDB_BTN_PHONEBOOK: ContactBook(p, mid, c, back); return;
    case IDB_BTN_VOL_DOWN: SpeakerSign(p, r, false, c); return;
    case IDB_BTN_VOL_UP: SpeakerSign(p, r, true, c); return;
    case IDB_BTN_TRAFFIC: BarChart(p, mid, c); return;
    default:
        if (id >= IDB_BTN_KEY_FIRST && id <= IDB_BTN_KEY_LAST)
            TextGlyph(p, r, KeyText(id), c, id == IDB_BTN_KEY_FIRST + 10 ? 19 : 13); // '*' is small by nature
        return;
    }
}

// The key's colour and its glyph's in a frame.
Look FrameLook(int id, int frame)
{
    Look look = LookFor(id);
    switch (frame) {
    // Hover and pressed move the key's light only as far as its glyph
    // stays readable on it.
    case 1: look.base = look.base.lighter(110); break;
    case 2: look.base = look.base.darker(122); break;
    case 3: {
        const int g = qGray(look.base.rgb());
        look.base = QColor(g, g, g).lighter(110);
        look.glyph = QColor(0xd8, 0xd8, 0xd8);
        if (qGray(look.base.rgb()) > 160)
            look.glyph = QColor(0x9a, 0x9a, 0x9a);
        break;
    }
    default: break;
    }
    return look;
}

} // namespace

QColor ButtonGlyphColour(int id, int frame) { return FrameLook(id, frame).glyph; }

bool ButtonGlyphIsText(int id)
{
    switch (id) {
    case IDB_BTN_OK:
    case IDB_BTN_CANCEL:
    case IDB_BTN_CLEAR:
    case IDB_PIN_VERIFY:
    case IDB_PIN_EXIT:
    case IDB_BTN_RCV_STV:
    case IDB_BTN_BALANCE:
        return true;
    default:
        return id >= IDB_BTN_KEY_FIRST && id <= IDB_BTN_KEY_LAST;
    }
}

void PaintButtonFrame(QPainter& p, int id, int frame, int w, int h, bool withGlyph)
{
    const Look look = FrameLook(id, frame);
    const QColor base = look.base;
    const QColor glyph = look.glyph;
    const int sink = frame == 2 ? 1 : 0;
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(0.5, 0.5 + sink, w - 1.0, h - 1.0 - sink);
    const qreal radius = std::min(w, h) * 0.28;
    QLinearGradient g(0, body.top(), 0, body.bottom());
    g.setColorAt(0, base.lighter(frame == 2 ? 104 : 118));
    g.setColorAt(0.5, base);
    g.setColorAt(1, base.darker(125));
    p.setPen(QPen(base.darker(190), 1));
    p.setBrush(g);
    p.drawRoundedRect(body, radius, radius);
    if (frame == 1) {
        // Hover: a light rim.
        p.setPen(QPen(QColor(255, 255, 255, 170), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(body.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
    }
    // The narrow volume keys give their glyph the whole key.
    const bool narrow = id == IDB_BTN_VOL_DOWN || id == IDB_BTN_VOL_UP;
    if (withGlyph)
        Glyph(p, id, narrow ? body : body.adjusted(2, 1, -2, -1), glyph, base);
}

} // namespace kvui::skinpaint
