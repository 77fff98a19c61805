#include "controls/HoverButton.h"

#include "controls/Skin.h"

#include <QMouseEvent>
#include <QPainter>

CHoverButton::CHoverButton(QWidget* parent, int id) : QAbstractButton(parent)
{
    if (id)
        setObjectName(QString::number(id));
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
}

bool CHoverButton::SetBitmap(int resourceId)
{
    const QPixmap pm = kvui::SkinPixmap(resourceId);
    if (pm.isNull())
        return false;
    const int frames = kvui::SkinFrameCount(resourceId);
    if (frames >= 4)
        MarkLook(LOOK_DISABLED_FRAME3);
    return SetBitmap(pm, frames);
}

bool CHoverButton::SetBitmap(const QPixmap& strip, int frames)
{
    if (strip.isNull() || frames < 1 || strip.width() < frames)
        return false;
    m_bmpStrip = strip;
    m_nFrames = frames;
    m_nFrameWidth = strip.width() / frames;
    m_nFrameHeight = strip.height();
    // One frame, without moving the button.
    resize(m_nFrameWidth, m_nFrameHeight);
    updateGeometry();
    update();
    return true;
}

void CHoverButton::SetTooltipText(const QString& text)
{
    m_strTooltip = text;
    setToolTip(text);
    // A picture has no words of its own: a screen reader names the button
    // by what its tooltip says.
    if (accessibleName().isEmpty() || accessibleName() == m_strAccessibleFromTip) {
        setAccessibleName(text);
        m_strAccessibleFromTip = text;
    }
}

void CHoverButton::MarkLook(int flag)
{
    if (flag == -1)
        m_nLook = 0;
    else
        m_nLook |= unsigned(flag);
    update();
}

int CHoverButton::FrameFor(int frames, bool pressed, bool enabled, bool hovering, unsigned look)
{
    int frame = 0;
    if (pressed)
        frame = frames >= 3 ? 2 : 1;   // strips of fewer frames show frame 1
    else if (!enabled)
        frame = (look & LOOK_DISABLED_FRAME3) ? 3 : (look & LOOK_DISABLED_FRAME2) ? 2 : 0;
    else if (hovering)
        frame = 1;
    return frame < frames ? frame : 0;
}

int CHoverButton::CurrentFrame() const
{
    return FrameFor(m_nFrames, isDown(), isEnabled(), m_bHovering, m_nLook);
}

QSize CHoverButton::sizeHint() const
{
    return m_nFrameWidth ? QSize(m_nFrameWidth, m_nFrameHeight) : QSize(24, 24);
}

void CHoverButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_bmpStrip.isNull()) {
        // No picture: a plain labelled key, so the button is never invisible.
        p.fillRect(rect(), palette().button());
        p.setPen(palette().buttonText().color());
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        p.drawText(rect(), Qt::AlignCenter, text());
        return;
    }
    const int frame = CurrentFrame();
    // A strip without a disabled frame would show a disabled button as an
    // enabled one: its normal frame is drawn faded instead.
    if (!isEnabled() && frame == 0)
        p.setOpacity(kFadedOpacity);
    p.drawPixmap(QRect(0, 0, m_nFrameWidth, m_nFrameHeight), m_bmpStrip,
                 QRect(frame * m_nFrameWidth, 0, m_nFrameWidth, m_nFrameHeight));
}

void CHoverButton::enterEvent(QEnterEvent* e)
{
    m_bTracking = true;
    m_bHovering = true;
    update();
    QAbstractButton::enterEvent(e);
}

void CHoverButton::leaveEvent(QEvent* e)
{
    m_bTracking = false;
    m_bHovering = false;
    update();
    QAbstractButton::leaveEvent(e);
}

void CHoverButton::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_bTracking) {
        m_bTracking = true;
        m_bHovering = true;
        update();
    }
    QAbstractButton::mouseMoveEvent(e);
}
