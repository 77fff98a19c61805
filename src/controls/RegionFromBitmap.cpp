#include "controls/RegionFromBitmap.h"

#include <QVector>
#include <QWidget>

namespace kvui {

namespace {
constexpr int kGrowBy = 100;     // the run buffer grows by this many rectangles
constexpr int kFlushAt = 2000;   // and is merged into the region at this size
}

QRegion RegionFromBitmap(const QImage& bitmap, QColor key, int mode)
{
    if (bitmap.isNull())
        return QRegion();
    const QImage img = bitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb keyRgb = key.rgb() & 0x00FFFFFF;
    auto outside = [&](QRgb px) {
        if ((mode & REGION_ALPHA) && qAlpha(px) == 0)
            return true;
        return (mode & REGION_KEY) && (px & 0x00FFFFFF) == keyRgb && qAlpha(px) != 0;
    };

    QRegion region;
    QVector<QRect> runs;
    runs.reserve(kGrowBy);
    auto flush = [&]() {
        if (runs.isEmpty())
            return;
        QRegion part;
        part.setRects(runs.constData(), int(runs.size()));
        region = region.united(part);
        runs.clear();
    };
    for (int y = 0; y < img.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        int x = 0;
        while (x < img.width()) {
            while (x < img.width() && outside(line[x]))
                ++x;
            const int start = x;
            while (x < img.width() && !outside(line[x]))
                ++x;
            if (x > start) {
                if (runs.size() == runs.capacity())
                    runs.reserve(runs.capacity() + kGrowBy);
                runs.append(QRect(start, y, x - start, 1));
                if (runs.size() >= kFlushAt)
                    flush();
            }
        }
    }
    flush();
    return region;
}

QRegion RegionFromBitmap(const QPixmap& bitmap, QColor key, int mode)
{
    return RegionFromBitmap(bitmap.toImage(), key, mode);
}

QPixmap WithoutKeyColour(const QPixmap& face, QColor key)
{
    if (face.isNull())
        return face;
    QImage img = face.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb k = key.rgb() & 0xFFFFFFu;
    for (int y = 0; y < img.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((row[x] & 0xFFFFFFu) == k)
                row[x] = 0;
    }
    QPixmap out = QPixmap::fromImage(img);
    out.setDevicePixelRatio(face.devicePixelRatio());
    return out;
}

QPixmap ApplySkinShape(QWidget* window, const QPixmap& face, QColor key)
{
    if (!window || face.isNull())
        return face;
    window->setFixedSize(face.size());
    window->setAttribute(Qt::WA_TranslucentBackground);
    window->setMask(RegionFromBitmap(face, key, REGION_KEY));
    return WithoutKeyColour(face, key);
}

} // namespace kvui
