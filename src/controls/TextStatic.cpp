#include "controls/TextStatic.h"

#include "log/LineWrap.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

#include <mutex>

namespace {

// A screen reader reads a text line as static text: its name is what it
// shows now (lines joined by spaces), its description what the line is for.
class CTextStaticAccessible : public QAccessibleWidget {
public:
    explicit CTextStaticAccessible(CTextStatic* w) : QAccessibleWidget(w, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override
    {
        auto* line = static_cast<CTextStatic*>(widget());
        if (t == QAccessible::Name) {
            QString shown = line->Text().simplified();
            return shown.isEmpty() ? line->accessibleName() : shown;
        }
        if (t == QAccessible::Description)
            return line->accessibleName();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* TextStaticFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("CTextStatic") && object && object->isWidgetType())
        return new CTextStaticAccessible(static_cast<CTextStatic*>(object));
    return nullptr;
}

} // namespace

CTextStatic::CTextStatic(QWidget* parent, int id) : QWidget(parent)
{
    if (id)
        setObjectName(QString::number(id));
    static std::once_flag factory;
    std::call_once(factory, [] { QAccessible::installFactory(TextStaticFactory); });
    SetTextFont(11, 400, "MS Sans Serif");
    m_scrollTimer.setInterval(SCROLL_MS);
    m_clearTimer.setSingleShot(true);
    m_clearTimer.setInterval(STATUS_CLEAR_MS);
    connect(&m_scrollTimer, &QTimer::timeout, this, &CTextStatic::OnScroll);
    connect(&m_clearTimer, &QTimer::timeout, this, &CTextStatic::OnClear);
}

QString CTextStatic::WrapText(const QString& text, int width)
{
    if (width <= 0)
        return text;
    return QString::fromStdString(kv::WrapAtWords(text.toStdString(), size_t(width)));
}

bool CTextStatic::IsPersistentStatus(const QString& text)
{
    return text.isEmpty() || text.startsWith("Incoming call") || text.startsWith("Outgoing call")
        || text.startsWith("Redirected call") || text.startsWith("Call Waiting");
}

void CTextStatic::SetText(const QString& text, bool wrap, bool statusMode)
{
    QString t = text.left(MAX_TEXT);
    if (wrap && !t.contains('\n'))
        t = WrapText(t);
    m_strText = t;
    if (statusMode) {
        if (text != m_strLastStatus) {
            m_strLastStatus = text;
            if (text.size() > WRAP_WIDTH) {
                m_strScroll = m_strText + "    ";
                m_scrollTimer.start();
            } else {
                m_scrollTimer.stop();
            }
        }
        if (!IsPersistentStatus(text))
            m_clearTimer.start();
        else
            m_clearTimer.stop();
    } else {
        m_scrollTimer.stop();
    }
    if (QAccessible::isActive()) {
        QAccessibleEvent changed(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
    update();
}

QString CTextStatic::ShownText() const
{
    return m_scrollTimer.isActive() ? m_strScroll : m_strText;
}

void CTextStatic::OnScroll()
{
    if (m_strScroll.size() > 1)
        m_strScroll = m_strScroll.mid(1) + m_strScroll.at(0);
    update();
}

void CTextStatic::OnClear()
{
    m_scrollTimer.stop();
    m_strText.clear();
    m_strScroll.clear();
    m_strLastStatus.clear();
    update();
}

void CTextStatic::SetBackColor(const QColor& c)
{
    m_clrBack = c;
    update();
}

void CTextStatic::SetTextColor(const QColor& c)
{
    m_clrText = c;
    update();
}

void CTextStatic::SetAlignment(int align, Qt::Alignment format)
{
    m_nAlign = align;
    m_format = format;
    update();
}

void CTextStatic::SetTextFont(const QFont& font)
{
    m_font = font;
    update();
}

void CTextStatic::SetTextFont(int pixelHeight, int weight, const QString& face)
{
    QFont f;
    f.setFamilies({face, "DejaVu Sans", "Liberation Sans", "Sans Serif"});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelHeight > 0 ? pixelHeight : 11);
    f.setWeight(QFont::Weight(qBound(100, weight, 900)));
    SetTextFont(f);
}

QString CTextStatic::PaintedText() const
{
    QString shown = ShownText();
    shown.replace("\r\n", "\n");
    shown.replace('\r', '\n');
    return shown;
}

int CTextStatic::PaintFlags() const
{
    Qt::Alignment align;
    switch (m_nAlign) {
    case ALIGN_LEFT: align = Qt::AlignLeft | Qt::AlignVCenter; break;
    case ALIGN_RIGHT: align = Qt::AlignRight | Qt::AlignVCenter; break;
    case ALIGN_FORMAT: align = m_format; break;
    default: align = Qt::AlignCenter; break;
    }
    return int(align) | Qt::TextWordWrap;
}

QRect CTextStatic::TextRect() const
{
    const QString shown = PaintedText();
    if (shown.trimmed().isEmpty())
        return QRect();
    const QRect r = QFontMetrics(m_font).boundingRect(rect().adjusted(2, 0, -2, 0), PaintFlags(), shown);
    return r.translated(pos());
}

void CTextStatic::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (m_clrBack.alpha() != 0)
        p.fillRect(rect(), m_clrBack);
    p.setFont(m_font);
    p.setPen(m_clrText);
    p.drawText(rect().adjusted(2, 0, -2, 0), PaintFlags(), PaintedText());
}
