// The skin's catalogue (id -> size, frames, painter), its cache, the window
// faces and the pixel font used by the small indicators.
#include "controls/Skin.h"

#include "controls/SkinIds.h"
#include "controls/SkinPaint.h"

#include <QHash>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <map>

namespace kvui {

namespace {

enum class Family { Face, PageBack, PinBack, Indicator, Button };

struct Entry {
    int width;   // whole picture (all frames)
    int height;
    int frames;
    Family family;
};

// The one table of pictures. Button strips: width = frames x frame width.
const std::map<int, Entry>& Catalogue()
{
    static const std::map<int, Entry> table = [] {
        std::map<int, Entry> t;
        t[IDB_MAIN_SKIN] = {500, 640, 1, Family::Face};
        t[IDB_PAGE_BACK] = {160, 117, 1, Family::PageBack};
        t[IDB_PIN_BACK] = {230, 170, 1, Family::PinBack};
        auto button = [&t](int id, int fw, int fh, int frames) {
            t[id] = {fw * frames, fh, frames, Family::Button};
        };
        button(IDB_BTN_NET, 50, 36, 3);
        button(IDB_BTN_NET_OFF, 50, 36, 3);
        button(IDB_BTN_SETTING, 50, 36, 3);
        button(IDB_BTN_RCV_STV, 17, 16, 4);
        button(IDB_BTN_BALANCE, 17, 16, 4);
        button(IDB_BTN_SWITCH_OFF, 17, 16, 4);
        button(IDB_BTN_MINIMIZE, 27, 22, 3);
        button(IDB_BTN_EXIT, 27, 22, 3);
        button(IDB_BTN_OK, 46, 26, 3);
        button(IDB_BTN_CANCEL, 54, 26, 3);
        button(IDB_BTN_SEND, 44, 24, 3);
        button(IDB_BTN_END, 44, 24, 3);
        button(IDB_BTN_CLEAR, 30, 20, 3);
        for (int id = IDB_BTN_KEY_FIRST; id <= IDB_BTN_KEY_LAST; ++id)
            button(id, 38, 19, 3);
        button(IDB_PIN_VERIFY, 62, 28, 3);
        button(IDB_PIN_EXIT, 62, 28, 3);
        // The page buttons fit their places on the face: three side by side
        // above the page area, and one each side of the ear volume.
        button(IDB_BTN_DIAL_PAD, 25, 20, 4);
        button(IDB_BTN_SMS_PAGE, 25, 20, 4);
        button(IDB_BTN_PHONEBOOK, 25, 20, 4);
        button(IDB_BTN_VOL_DOWN, 10, 16, 4);
        button(IDB_BTN_VOL_UP, 10, 16, 4);
        // The traffic button sits alone below the page area.
        button(IDB_BTN_TRAFFIC, 33, 22, 4);
        auto indicator = [&t](int id, int w, int h) { t[id] = {w, h, 1, Family::Indicator}; };
        for (int id : {IDB_BATT_EMPTY, IDB_BATT_2, IDB_BATT_3, IDB_BATT_4, IDB_BATT_5, IDB_BATT_FULL})
            indicator(id, 19, 13);
        for (int id : {IDB_SIG1_NONE, IDB_SIG1_L1, IDB_SIG1_L2, IDB_SIG1_L3, IDB_SIG1_L4, IDB_SIG1_L5})
            indicator(id, 17, 13);
        for (int id = IDB_SIG2_NONE; id <= IDB_SIG2_L7; ++id)
            indicator(id, 17, 13);
        for (int id : {IDB_SERVICE_HYBRID, IDB_SERVICE_1X, IDB_SERVICE_DO})
            indicator(id, 24, 13);
        for (int id : {IDB_SMS_NEW, IDB_SMS_VOICE, IDB_SMS_VOICES})
            indicator(id, 14, 13);
        indicator(IDB_ROAMING, 13, 13);
        indicator(IDB_RXD_OFF, 17, 13);
        indicator(IDB_RXD_ON, 17, 13);
        for (int id : {IDB_CHARGE_1, IDB_CHARGE_2, IDB_CHARGE_3, IDB_CHARGE_4})
            indicator(id, 17, 14);
        for (int id : {IDB_VOL_0, IDB_VOL_1, IDB_VOL_2, IDB_VOL_3, IDB_VOL_4})
            indicator(id, 25, 10);
        indicator(IDB_DRC_EMPTY, 171, 10);
        for (int id = IDB_DRC_FIRST; id <= IDB_DRC_LAST; ++id)
            indicator(id, 171, 10);
        return t;
    }();
    return table;
}

QPixmap Render(int id, const Entry& e)
{
    QPixmap pm(e.width, e.height);
    pm.fill(e.family == Family::Face ? QColor(255, 0, 255) : QColor(Qt::transparent));
    QPainter p(&pm);
    switch (e.family) {
    case Family::Face:
        skinpaint::PaintMainFace(p, e.width, e.height);
        break;
    case Family::PageBack:
        skinpaint::PaintPageBack(p, e.width, e.height);
        break;
    case Family::PinBack:
        skinpaint::PaintPinBack(p, e.width, e.height);
        break;
    case Family::Indicator:
        skinpaint::PaintIndicator(p, id, e.width, e.height);
        break;
    case Family::Button: {
        const int fw = e.width / e.frames;
        for (int f = 0; f < e.frames; ++f) {
            p.save();
            p.translate(f * fw, 0);
            p.setClipRect(0, 0, fw, e.height);
            skinpaint::PaintButtonFrame(p, id, f, fw, e.height);
            p.restore();
        }
        break;
    }
    }
    return pm;
}

} // namespace

QPixmap SkinPixmap(int id)
{
    static QHash<int, QPixmap> cache;
    auto hit = cache.constFind(id);
    if (hit != cache.constEnd())
        return *hit;
    const auto& table = Catalogue();
    auto it = table.find(id);
    if (it == table.end())
        return QPixmap();
    QPixmap pm = Render(id, it->second);
    cache.insert(id, pm);
    return pm;
}

int SkinFrameCount(int id)
{
    const auto& table = Catalogue();
    auto it = table.find(id);
    return it == table.end() ? 1 : it->second.frames;
}

QColor SkinKeyColour(int id)
{
    return id == IDB_MAIN_SKIN ? QColor(255, 0, 255) : QColor();
}

QColor SkinTimeBacking() { return skinpaint::kTimeBacking; }

QIcon SkinIcon(int id)
{
    if (id != IDI_MAIN && id != IDI_TRAY)
        return QIcon();
    QIcon icon;
    for (int size : {16, 22, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        skinpaint::PaintAppIcon(p, size, id == IDI_TRAY);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

std::vector<int> SkinIds()
{
    std::vector<int> ids;
    for (const auto& [id, e] : Catalogue())
        ids.push_back(id);
    ids.push_back(IDI_MAIN);
    ids.push_back(IDI_TRAY);
    std::sort(ids.begin(), ids.end());
    return ids;
}

QColor FromColorRef(uint32_t bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

namespace skinpaint {

namespace {
// 3 x 5 glyphs, rows top to bottom, '#' = lit.
const char* Glyph(QChar c)
{
    switch (c.toUpper().unicode()) {
    case '0': return "###" "#.#" "#.#" "#.#" "###";
    case '1': return ".#." "##." ".#." ".#." "###";
    case '2': return "##." "..#" ".#." "#.." "###";
    case '3': return "##." "..#" ".#." "..#" "##.";
    case '4': return "#.#" "#.#" "###" "..#" "..#";
    case '5': return "###" "#.." "##." "..#" "##.";
    case '6': return ".##" "#.." "###" "#.#" "###";
    case '7': return "###" "..#" ".#." ".#." ".#.";
    case '8': return "###" "#.#" "###" "#.#" "###";
    case '9': return "###" "#.#" "###" "..#" "##.";
    case 'A': return ".#." "#.#" "###" "#.#" "#.#";
    case 'B': return "##." "#.#" "##." "#.#" "##.";
    case 'C': return ".##" "#.." "#.." "#.." ".##";
    case 'D': return "##." "#.#" "#.#" "#.#" "##.";
    case 'E': return "###" "#.." "##." "#.." "###";
    case 'K': return "#.#" "#.#" "##." "#.#" "#.#";
    case 'O': return ".#." "#.#" "#.#" "#.#" ".#.";
    case 'P': return "##." "#.#" "##." "#.." "#..";
    case 'R': return "##." "#.#" "##." "#.#" "#.#";
    case 'S': return ".##" "#.." ".#." "..#" "##.";
    case 'V': return "#.#" "#.#" "#.#" "#.#" ".#.";
    case 'X': return "#.#" "#.#" ".#." "#.#" "#.#";
    case '+': return "..." ".#." "###" ".#." "...";
    case '-': return "..." "..." "###" "..." "...";
    case '*': return "#.#" ".#." "###" ".#." "#.#";
    case '#': return "#.#" "###" "#.#" "###" "#.#";
    default: return nullptr;
    }
}
} // namespace

int PixelTextWidth(const QString& text, int scale)
{
    return text.isEmpty() ? 0 : (int(text.size()) * 4 - 1) * scale;
}

int PixelText(QPainter& p, int x, int y, const QString& text, const QColor& colour, int scale)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    int cx = x;
    for (QChar c : text) {
        if (const char* g = Glyph(c)) {
            for (int row = 0; row < 5; ++row)
                for (int col = 0; col < 3; ++col)
                    if (g[row * 3 + col] == '#')
                        p.drawRect(cx + col * scale, y + row * scale, scale, scale);
        }
        cx += 4 * scale;
    }
    p.restore();
    return PixelTextWidth(text, scale);
}

void PaintAppIcon(QPainter& p, int size, bool tray)
{
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QRectF r(0.5, 0.5, s - 1, s - 1);
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, tray ? QColor(0x3a, 0x86, 0xe0) : QColor(0x4a, 0x6f, 0x99));
    g.setColorAt(1, kBody);
    p.setBrush(g);
    p.setPen(QPen(QColor(0x10, 0x1c, 0x2c), 1));
    p.drawRoundedRect(r, s * 0.2, s * 0.2);
    // Rising signal bars.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf0, 0xf6, 0xff));
    const qreal bw = s * 0.14;
    for (int i = 0; i < 4; ++i) {
        qreal h = s * (0.2 + 0.16 * i);
        p.drawRect(QRectF(s * 0.16 + i * bw * 1.45, s * 0.84 - h, bw, h));
    }
}

void PaintPageBack(QPainter& p, int w, int h)
{
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(0xee, 0xf4, 0xfa));
    g.setColorAt(1, QColor(0xc9, 0xda, 0xeb));
    p.fillRect(0, 0, w, h, g);
    p.setPen(QColor(0xa9, 0xbf, 0xd6));
    p.drawRect(0, 0, w - 1, h - 1);
}

void PaintPinBack(QPainter& p, int w, int h)
{
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(0x3b, 0x52, 0x70));
    g.setColorAt(1, QColor(0x22, 0x31, 0x45));
    p.fillRect(0, 0, w, h, g);
    p.setPen(QColor(0x5d, 0x7a, 0x9e));
    p.drawRect(0, 0, w - 1, h - 1);
}

const std::vector<FaceText>& FaceTexts()
{
    static const std::vector<FaceText> texts = {
        {"KORVIANET", QRect(40, 2, 150, 26), QColor(0xe8, 0xf1, 0xfb), 17, true, 1.5, Qt::AlignLeft | Qt::AlignVCenter},
        {"CDMA 1x / EV-DO USB Modem", QRect(196, 6, 204, 20), QColor(0xcf, 0xdd, 0xec), 11, false, 0.5,
         Qt::AlignLeft | Qt::AlignVCenter},
        {"Korvianet", QRect(19, 260, 124, 24), QColor(0x2e, 0x5c, 0x8a), 14, true, 1, Qt::AlignCenter},
        {"korvianet", QRect(370, 420, 110, 20), QColor(0x7f, 0x9b, 0xbb), 11, false, 0.5, Qt::AlignCenter},
    };
    return texts;
}

void PaintMainFace(QPainter& p, int w, int h, bool texts)
{
    (void)w;
    (void)h;
    p.setRenderHint(QPainter::Antialiasing);
    // The body: a rounded slab; everything outside stays magenta (the key
    // colour) and is cut off by the window region. Antialiasing is off on the
    // outline so that no blended magenta pixels remain inside the shape.
    QPainterPath body;
    body.addRoundedRect(QRectF(0, 0, 492, 472), 26, 26);
    p.setRenderHint(QPainter::Antialiasing, false);
    QLinearGradient bg(0, 0, 0, 472);
    bg.setColorAt(0, QColor(0x3d, 0x55, 0x73));
    bg.setColorAt(1, QColor(0x1f, 0x2c, 0x3d));
    p.fillPath(body, bg);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x6f, 0x8d, 0xb0), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(3, 3, 486, 466), 23, 23);

    // The screen: indicators, page area and data-rate bar on its left part,
    // the text lines and the two big buttons on its right part.
    QRectF screen(4, 30, 356, 426);
    p.setPen(QPen(QColor(0x10, 0x1a, 0x26), 2));
    QLinearGradient lg(0, screen.top(), 0, screen.bottom());
    lg.setColorAt(0, kLcd);
    lg.setColorAt(1, QColor(0xb4, 0xcf, 0xe4));
    p.setBrush(lg);
    p.drawRoundedRect(screen, 10, 10);
    // Thin rules under the indicator row and above the data-rate bar.
    p.setPen(QPen(QColor(0x9c, 0xb8, 0xd0), 1));
    p.drawLine(QPointF(10, 56), QPointF(354, 56));
    p.drawLine(QPointF(10, 307), QPointF(140, 307));
    p.setBrush(Qt::NoBrush);

    // The text panel behind the status and message lines: the lines' grey
    // reads only on a near-black ground, so the right part of the screen
    // holds a dark display window.
    p.setPen(QPen(kTextPanelRim, 2));
    p.setBrush(kTextPanel);
    p.drawRoundedRect(kTextPanelRect, 8, 8);
    p.setBrush(Qt::NoBrush);

    // The idle emblem in the page area: radio waves over the name.
    QRectF emblem(19, 198, 124, 106);
    QPointF c(emblem.center().x(), emblem.top() + 52);
    for (int i = 1; i <= 3; ++i) {
        p.setPen(QPen(QColor(0x4a, 0x7f, 0xb5, 255 - i * 50), 3, Qt::SolidLine, Qt::RoundCap));
        const qreal r = 10.0 * i;
        p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 45 * 16, 90 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2e, 0x5c, 0x8a));
    p.drawEllipse(c, 4, 4);

    // Speaker grille on the right.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x16, 0x21, 0x30));
    for (int row = 0; row < 14; ++row)
        for (int col = 0; col < 5; ++col)
            p.drawEllipse(QPointF(392 + col * 16 + (row % 2) * 8, 180 + row * 16), 3, 3);

    if (!texts)
        return;
    // The words: brand and model in the top strip, the name under the
    // emblem and a quiet caption under the grille.
    for (const FaceText& t : FaceTexts()) {
        QFont f;
        f.setStyleHint(QFont::SansSerif);
        f.setPixelSize(t.pixelSize);
        f.setBold(t.bold);
        f.setLetterSpacing(QFont::AbsoluteSpacing, t.letterSpacing);
        p.setFont(f);
        p.setPen(t.colour);
        p.drawText(t.rect.adjusted(2, 0, -2, 0), int(t.align), QString::fromLatin1(t.text));
    }
}

} // namespace skinpaint
} // namespace kvui
