// Drawing helpers shared by the skin's painters (internal to the skin).
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>
#include <QRectF>
#include <QString>
#include <vector>

namespace kvui::skinpaint {

// Palette of the face and its indicators.
inline const QColor kInk{0x1d, 0x35, 0x57};       // dark navy glyphs
inline const QColor kDim{0x9c, 0xae, 0xbf};       // unlit segments
inline const QColor kGreen{0x2a, 0x9d, 0x3a};
inline const QColor kRed{0xd6, 0x28, 0x28};
inline const QColor kAmber{0xf2, 0x9e, 0x1f};
inline const QColor kBlue{0x1f, 0x6f, 0xd1};
inline const QColor kLcd{0xd2, 0xe6, 0xf2};       // display panel
inline const QColor kBody{0x2c, 0x3e, 0x55};      // window body
// The dark panel behind the main window's text lines and its rim; the
// light backing of the connection time, whose colour needs a light ground.
inline const QColor kTextPanel{0x05, 0x06, 0x08};
inline const QColor kTextPanelRim{0x4a, 0x63, 0x80};
inline const QColor kTimeBacking{0xf2, 0xf5, 0xfa};
inline const QRectF kTextPanelRect{176, 156, 178, 294};

// Draws text in a 3 x 5 pixel font (digits, a few capitals, + - * #) with
// its top-left at (x, y), each pixel `scale` wide. Unknown characters leave
// a gap. Returns the width drawn.
int PixelText(QPainter& p, int x, int y, const QString& text, const QColor& colour, int scale = 1);
int PixelTextWidth(const QString& text, int scale = 1);

// The words painted on the main face: where, in which colour and size.
struct FaceText {
    const char* text;
    QRect rect;
    QColor colour;
    int pixelSize;
    bool bold;
    qreal letterSpacing;
    Qt::Alignment align;
};
const std::vector<FaceText>& FaceTexts();

// The painters of each family; `frame` selects the button state
// (0 normal, 1 hover, 2 pressed, 3 disabled).
void PaintIndicator(QPainter& p, int id, int w, int h);
// Without `glyph` only the key is drawn (for measuring what a text on it
// stands against).
void PaintButtonFrame(QPainter& p, int id, int frame, int w, int h, bool glyph = true);
// The colour a button's glyph takes in a frame.
QColor ButtonGlyphColour(int id, int frame);
// The buttons whose glyph is a word or a digit, not a picture.
bool ButtonGlyphIsText(int id);
// Without `texts` the face is drawn without its words.
void PaintMainFace(QPainter& p, int w, int h, bool texts = true);
void PaintPageBack(QPainter& p, int w, int h);
void PaintPinBack(QPainter& p, int w, int h);
void PaintAppIcon(QPainter& p, int size, bool tray);

} // namespace kvui::skinpaint
