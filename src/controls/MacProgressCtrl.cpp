#include "controls/MacProgressCtrl.h"

#include <QPainter>
#include <QPixmap>

CMacProgressCtrl::CMacProgressCtrl(QWidget* parent, int id) : QProgressBar(parent)
{
    if (id)
        setObjectName(QString::number(id));
    setTextVisible(false);
    m_stripeTimer.setInterval(STRIPE_MS);
    connect(&m_stripeTimer, &QTimer::timeout, this, &CMacProgressCtrl::OnStripeTimer);
    SetBarColor(palette().color(QPalette::Highlight));
}

std::array<QColor, 5> CMacProgressCtrl::Shades(const QColor& c)
{
    auto lighter = [](int v) { return v + 51 > 255 ? v : v + 51; };
    auto darker = [](int v) { return v < 51 ? v : v - 51; };
    std::array<QColor, 5> s;
    QColor cur = c;
    for (int i = 0; i < 3; ++i) {
        cur = QColor(lighter(cur.red()), lighter(cur.green()), lighter(cur.blue()));
        s[size_t(i)] = cur;
    }
    cur = c;
    for (int i = 3; i < 5; ++i) {
        cur = QColor(darker(cur.red()), darker(cur.green()), darker(cur.blue()));
        s[size_t(i)] = cur;
    }
    return s;
}

int CMacProgressCtrl::FilledLength(int pos, int lower, int upper, int size)
{
    if (upper <= lower)
        return 0;
    const long long v = qBound(lower, pos, upper) - lower;
    return int(v * size / (upper - lower));
}

void CMacProgressCtrl::SetBarColor(const QColor& c)
{
    m_clrBar = c;
    m_shades = Shades(c);
    update();
}

void CMacProgressCtrl::SetIndeterminate(bool on)
{
    m_bIndeterminate = on;
    if (on)
        m_stripeTimer.start();
    else
        m_stripeTimer.stop();
    update();
}

void CMacProgressCtrl::StepIt()
{
    // A reset bar holds minimum - 1: step from the minimum.
    int v = qMax(value(), minimum()) + m_nStep;
    if (v > maximum())
        v = minimum() + (v - maximum() - 1);
    setValue(v);
}

void CMacProgressCtrl::OnStripeTimer()
{
    m_nOffset = (m_nOffset + 1) % STRIPE_PERIOD;
    update();
}

void CMacProgressCtrl::paintEvent(QPaintEvent*)
{
    QPixmap buffer(size());
    QPainter p(&buffer);
    const QColor face = palette().color(QPalette::Button);
    p.fillRect(rect(), face);
    const bool vertical = orientation() == Qt::Vertical;
    const int w = width(), h = height();
    // Row colours across the bar's thickness: light at the top edge, the
    // lightest just above the middle, darker towards the bottom: a rounded
    // glossy tube.
    const QColor rows[] = {m_shades[4], m_shades[1], m_shades[2], m_shades[0],
                           m_clrBar,    m_clrBar,    m_shades[3], m_shades[4]};
    const int thickness = vertical ? w : h;
    auto rowColour = [&](int i) {
        const int idx = thickness > 1 ? i * 7 / (thickness - 1) : 4;
        return rows[qBound(0, idx, 7)];
    };

    if (m_bIndeterminate) {
        for (int i = 0; i < thickness; ++i) {
            p.setPen(rowColour(i));
            if (vertical)
                p.drawLine(i, 0, i, h - 1);
            else
                p.drawLine(0, i, w - 1, i);
        }
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 90));
        const int length = vertical ? h : w;
        for (int x = -STRIPE_PERIOD * 2 + m_nOffset; x < length + thickness; x += STRIPE_PERIOD) {
            QPolygon stripe;
            if (vertical)
                stripe << QPoint(0, x) << QPoint(0, x + 8) << QPoint(w, x + 8 + w) << QPoint(w, x + w);
            else
                stripe << QPoint(x, h) << QPoint(x + 8, h) << QPoint(x + 8 + h, 0) << QPoint(x + h, 0);
            p.drawPolygon(stripe);
        }
    } else {
        const int filled = FilledLength(value(), minimum(), maximum(), vertical ? h : w);
        if (filled > 0 && filled < 4) {
            if (vertical)
                p.fillRect(0, h - filled, w, filled, m_clrBar);
            else
                p.fillRect(0, 0, filled, h, m_clrBar);
        } else if (filled >= 4) {
            for (int i = 0; i < thickness; ++i) {
                p.setPen(rowColour(i));
                if (vertical)
                    p.drawLine(i, h - filled, i, h - 1);
                else
                    p.drawLine(0, i, filled - 1, i);
            }
        }
    }
    // Shadow frame: dark 3-D shadow at the top and left, button shadow at
    // the bottom and right.
    const QColor dark = palette().color(QPalette::Shadow);
    const QColor mid = palette().color(QPalette::Mid);
    p.setPen(dark);
    p.drawLine(0, 0, w - 1, 0);
    p.drawLine(0, 0, 0, h - 1);
    p.setPen(mid);
    p.drawLine(0, h - 1, w - 1, h - 1);
    p.drawLine(w - 1, 0, w - 1, h - 1);
    p.end();
    QPainter(this).drawPixmap(0, 0, buffer);
}
