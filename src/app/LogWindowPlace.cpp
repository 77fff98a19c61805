#include "app/LogWindowPlace.h"

#include <algorithm>

namespace kvapp {

namespace {
QPoint Clamp(QPoint p, const QSize& size, const QRect& screen)
{
    // A window larger than the screen keeps its top-left corner on it.
    p.setX(std::max(screen.left(), std::min(p.x(), screen.left() + screen.width() - size.width())));
    p.setY(std::max(screen.top(), std::min(p.y(), screen.top() + screen.height() - size.height())));
    return p;
}

long long Covered(const QRect& a, const QRect& b)
{
    const QRect c = a.intersected(b);
    return c.isEmpty() ? 0 : (long long)c.width() * c.height();
}
} // namespace

QPoint LogWindowPlace(const QRect& face, const QSize& log, const QRect& screen)
{
    const int w = log.width(), h = log.height();
    const QPoint candidates[] = {
        {face.right() + 1, face.top()},                        // right of the face
        {face.left() - w, face.top()},                         // left of it
        {face.left(), face.bottom() + 1},                      // below
        {face.left(), face.top() - h},                         // above
        {screen.right() + 1 - w, screen.bottom() + 1 - h},     // screen corners
        {screen.left(), screen.bottom() + 1 - h},
        {screen.right() + 1 - w, screen.top()},
        {screen.left(), screen.top()},
    };
    QPoint best = Clamp(candidates[0], log, screen);
    long long bestCover = Covered(QRect(best, log), face);
    for (const QPoint& c : candidates) {
        const QPoint p = Clamp(c, log, screen);
        const long long cover = Covered(QRect(p, log), face);
        if (cover < bestCover) {
            best = p;
            bestCover = cover;
        }
    }
    return best;
}

} // namespace kvapp
