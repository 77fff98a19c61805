// The window shape from its face picture: every pixel that is not the key
// colour belongs to the window.
#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QRegion>

class QWidget;

namespace kvui {

// Mode bits: 1 = pixels of the key colour are outside; 2 = fully transparent
// pixels are outside too. The windows pass mode 1.
constexpr int REGION_KEY = 1;
constexpr int REGION_ALPHA = 2;

// Builds the region row by row from the top, one rectangle per run of
// consecutive inside pixels; runs are merged into the region in batches.
QRegion RegionFromBitmap(const QImage& bitmap, QColor key, int mode = REGION_KEY);
QRegion RegionFromBitmap(const QPixmap& bitmap, QColor key, int mode = REGION_KEY);

// The face with every pixel of the key colour made fully transparent.
QPixmap WithoutKeyColour(const QPixmap& face, QColor key);

// Gives a frameless `window` the shape of its face, on every platform: the
// window is sized to the face and made translucent, and the face to paint
// (returned) has its key colour transparent, which is what a Wayland
// compositor shows; the face's region is set as the mask too, which an X
// server uses to cut the window and every platform uses for input.
QPixmap ApplySkinShape(QWidget* window, const QPixmap& face, QColor key);

} // namespace kvui
