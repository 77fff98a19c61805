// A push button drawn from a strip of frames: normal, hover, pressed and
// (in four-frame strips) disabled. It sizes itself to one frame.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <QString>

class CHoverButton : public QAbstractButton {
    Q_OBJECT
public:
    // Look flags: which frame a disabled button shows.
    static constexpr unsigned LOOK_DISABLED_FRAME2 = 0x01;
    static constexpr unsigned LOOK_DISABLED_FRAME3 = 0x10;
    // How a disabled button without a disabled frame is drawn: its normal
    // frame at this opacity, so it cannot be taken for an enabled one.
    static constexpr double kFadedOpacity = 0.38;

    explicit CHoverButton(QWidget* parent = nullptr, int id = 0);

    // Loads the skin picture of a resource id; its frame count comes from the
    // skin (a four-frame strip also marks LOOK_DISABLED_FRAME3). Returns
    // false, leaving the button as it was, when the id has no picture.
    bool SetBitmap(int resourceId);
    // A strip of `frames` frames given directly.
    bool SetBitmap(const QPixmap& strip, int frames = 3);
    void SetTooltipText(const QString& text);
    QString TooltipText() const { return m_strTooltip; }

    // ORs a look flag in; -1 clears them all.
    void MarkLook(int flag);
    unsigned LookFlags() const { return m_nLook; }

    int FrameCount() const { return m_nFrames; }
    QSize FrameSize() const { return QSize(m_nFrameWidth, m_nFrameHeight); }
    bool IsHovering() const { return m_bHovering; }
    // The frame that would be drawn now.
    int CurrentFrame() const;
    // Frame choice for a state: pressed, then disabled, then hover.
    static int FrameFor(int frames, bool pressed, bool enabled, bool hovering, unsigned look);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;

private:
    QPixmap m_bmpStrip;
    int m_nFrames = 3;
    int m_nFrameWidth = 0;
    int m_nFrameHeight = 0;
    bool m_bHovering = false;
    bool m_bTracking = false;
    QString m_strTooltip;
    QString m_strAccessibleFromTip; // the accessible name the tooltip gave
    unsigned m_nLook = 0;
};
