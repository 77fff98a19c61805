// Where the log window of a diagnostic run goes on the screen: beside the
// main window's face when there is room, otherwise where it covers the least
// of the face, always inside the screen.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace kvapp {

// face: the visible face of the main window in screen coordinates; log: the
// log window's frame size; screen: the available screen area.
QPoint LogWindowPlace(const QRect& face, const QSize& log, const QRect& screen);

} // namespace kvapp
