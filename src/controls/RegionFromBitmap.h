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

// Sizes `window` to its face and cuts it to the face's region (the mask is
// honoured by real window systems; offscreen it is only recorded).
void ApplySkinShape(QWidget* window, const QPixmap& face, QColor key);

} // namespace kvui
