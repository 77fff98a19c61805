// A static text line painted in fixed colours and font. Text can be wrapped
// into lines of 16 columns, broken between words; in status mode a long text scrolls and most
// texts clear themselves after 5 seconds.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>

class CTextStatic : public QWidget {
    Q_OBJECT
public:
    static constexpr int WRAP_WIDTH = 16;          // bytes per wrapped line
    static constexpr int MAX_TEXT = 1023;
    static constexpr int SCROLL_MS = 200;
    static constexpr int STATUS_CLEAR_MS = 5000;

    enum Align { ALIGN_CENTER = 0, ALIGN_LEFT = 1, ALIGN_RIGHT = 2, ALIGN_FORMAT = 3 };

    explicit CTextStatic(QWidget* parent = nullptr, int id = 0);

    void SetText(const QString& text, bool wrap = false, bool statusMode = false);
    QString Text() const { return m_strText; }
    // What is painted now (the scrolled copy while scrolling).
    QString ShownText() const;
    // Where the shown text is painted, in the parent's pixels (empty for no
    // text), so that the parent can lay a backing behind it.
    QRect TextRect() const;
    bool IsScrolling() const { return m_scrollTimer.isActive(); }
    bool IsClearPending() const { return m_clearTimer.isActive(); }

    void SetBackColor(const QColor& c);
    void SetTextColor(const QColor& c);
    QColor BackColor() const { return m_clrBack; }
    QColor TextColor() const { return m_clrText; }
    // 0 centred, 1 left, 2 right (each vertically centred), 3 `format`.
    void SetAlignment(int align, Qt::Alignment format = Qt::AlignLeft | Qt::AlignTop);
    void SetTextFont(const QFont& font);
    void SetTextFont(int pixelHeight, int weight, const QString& face);

    // Breaks text without line breaks into lines of 16 columns at the last
    // space that fits (kv::WrapAtWords: a character outside ASCII takes two
    // and is never split), joined by "\n".
    static QString WrapText(const QString& text, int width = WRAP_WIDTH);
    // Status texts that stay until replaced.
    static bool IsPersistentStatus(const QString& text);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString PaintedText() const;
    int PaintFlags() const;
    void OnScroll();
    void OnClear();

    QString m_strText;
    QString m_strScroll;
    QString m_strLastStatus;
    QColor m_clrBack{153, 204, 255};
    QColor m_clrText{Qt::black};
    int m_nAlign = ALIGN_CENTER;
    Qt::Alignment m_format = Qt::AlignLeft | Qt::AlignTop;
    QFont m_font;
    QTimer m_scrollTimer;
    QTimer m_clearTimer;
};
