// The skin: our own artwork for every picture the windows load by resource id
// (see SkinIds.h). Pictures are drawn with QPainter the first time they are
// asked for and cached; use them from the UI thread only.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <cstdint>
#include <vector>

namespace kvui {

// The picture of a resource id; a null pixmap for an unknown id. A button
// strip holds SkinFrameCount(id) frames of equal width side by side.
QPixmap SkinPixmap(int id);
// Number of frames in the picture: 3 or 4 for button strips, else 1.
int SkinFrameCount(int id);
// The colour that marks pixels outside the window's shape (magenta for the
// main face); an invalid colour when the picture has none.
QColor SkinKeyColour(int id);
// The light backing the main window lays behind the connection time, whose
// colour does not read on the dark text panel of the face.
QColor SkinTimeBacking();
// The icons 128 and 228 (several sizes); a null icon for other ids.
QIcon SkinIcon(int id);
// Every id the skin can draw, ascending.
std::vector<int> SkinIds();

// A colour given as a Windows COLORREF (0x00BBGGRR), as the window code keeps
// its fixed colours.
QColor FromColorRef(uint32_t bgr);

} // namespace kvui
