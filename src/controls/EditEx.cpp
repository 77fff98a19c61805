#include "controls/EditEx.h"

#include "controls/UserMessage.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>

CEditEx::CEditEx(QWidget* parent, int id) : QPlainTextEdit(parent)
{
    if (id)
        setObjectName(QString::number(id));
    m_clrText = palette().color(QPalette::WindowText);
    setContextMenuPolicy(Qt::NoContextMenu);
    ApplyPalette();
}

void CEditEx::SetLengthLimits(int first, int second)
{
    m_nLimit1 = first;
    m_nLimit2 = second;
    SetLimitText(HasWideChar(Text()) ? second : first);
}

void CEditEx::SetLimitText(int limit)
{
    m_nLimit = limit;
}

void CEditEx::SetFixedPosition(std::optional<QPoint> pos)
{
    m_fixedPos = pos;
    if (pos)
        move(*pos);
}

void CEditEx::SetBackColor(const QColor& c)
{
    m_clrBack = c;
    ApplyPalette();
}

void CEditEx::SetTextColor(const QColor& c)
{
    m_clrText = c;
    ApplyPalette();
}

void CEditEx::ApplyPalette()
{
    QPalette pal = palette();
    pal.setColor(QPalette::Base, m_clrBack);
    pal.setColor(QPalette::Window, m_clrBack);
    pal.setColor(QPalette::Text, m_clrText);
    setPalette(pal);
    viewport()->update();
}

void CEditEx::SetFontEx(int pixelHeight, int weight, bool italic, const QString& face)
{
    QFont f;
    f.setFamilies({face, "DejaVu Sans Mono", "Liberation Mono", "Monospace"});
    if (face.contains("Courier", Qt::CaseInsensitive))
        f.setStyleHint(QFont::TypeWriter);
    f.setPixelSize(pixelHeight > 0 ? pixelHeight : 12);
    f.setWeight(QFont::Weight(qBound(100, weight, 900)));
    f.setItalic(italic);
    setFont(f);
}

bool CEditEx::HasWideChar(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return true;
    return false;
}

int CEditEx::SmsUnitLength(const QString& text)
{
    int units = 0;
    bool wide = false;
    for (QChar c : text) {
        if (!wide && c.unicode() >= 0x80) {
            wide = true;
            units *= 2;
        }
        units += wide ? 2 : 1;
    }
    return units;
}

bool CEditEx::PlusAllowed(bool ctrlRule) const
{
    const QString t = Text();
    if (ctrlRule)
        return t.size() < 2;
    if (t.startsWith('+'))
        return false;
    const int selEnd = textCursor().selectionEnd();
    return selEnd == 0 || t.isEmpty() || !t.back().isDigit();
}

CEditEx::KeyVerdict CEditEx::Filter(int key, QChar ch, bool ctrl) const
{
    const bool backspace = key == Qt::Key_Backspace;
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    const bool digit = !ctrl && ch >= '0' && ch <= '9';
    auto yes = [](bool b) { return b ? KeyVerdict::Accept : KeyVerdict::Refuse; };

    if (m_validator)
        return m_validator(backspace ? QChar(0x08) : ch) ? KeyVerdict::Accept : KeyVerdict::Beep;
    if (m_nMode & MODE_TEXT_NOTIFY)
        return KeyVerdict::Accept;
    if (m_nMode & MODE_DIGITS_P) {
        if (ctrl)
            return yes(ch == 'c' || ch == 'v');
        return yes(digit || backspace || ch == 'p');
    }
    if (m_nMode & MODE_PHONE) {
        if (ch == '+')
            return yes(PlusAllowed(false));
        if (ctrl)
            return yes(ch == 'c' || ch == '#' || ch == '*');
        return yes(digit || backspace || ch == '#' || ch == '*' || ch == 'p');
    }
    if (m_nMode & MODE_DIGITS) {
        if (ctrl)
            return yes(ch == 'c');
        return yes(digit || backspace);
    }
    if (m_nMode & MODE_NAME_LENGTH) {
        if (ctrl) {
            if (ch == '+')
                return yes(PlusAllowed(true));
            return yes(ch == 'c' || ch == '#' || ch == '*');
        }
        if (ch == '+')
            return yes(PlusAllowed(false));
        if (digit)
            return yes(SmsUnitLength(Text()) < NAME_MAX_UNITS);
        return yes(backspace || ch == '#' || ch == '*');
    }
    if ((m_nMode & MODE_ENTER_COMMAND) && enter)
        return KeyVerdict::EnterCommand;
    return KeyVerdict::Accept;
}

void CEditEx::NotifyOwner()
{
    kvui::SendUserMessage(m_pOwner, kvui::UM_SMS_TEXT_UPDATE, 0, 0);
}

void CEditEx::keyPressEvent(QKeyEvent* e)
{
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    const int key = e->key();

    if (key == Qt::Key_Delete && (m_nMode & MODE_TEXT_NOTIFY) && !m_validator) {
        QPlainTextEdit::keyPressEvent(e);
        SetLimitText(HasWideChar(Text()) ? m_nLimit2 : m_nLimit1);
        NotifyOwner();
        return;
    }

    // The character this key types, if any (keys that type nothing, such as
    // arrows and Delete, are never filtered).
    QChar ch;
    const bool backspace = key == Qt::Key_Backspace;
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (ctrl) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z)
            ch = QChar('a' + (key - Qt::Key_A));
        else if (key == Qt::Key_NumberSign)
            ch = '#';
        else if (key == Qt::Key_Asterisk)
            ch = '*';
        else if (key == Qt::Key_Plus)
            ch = '+';
    } else if (!e->text().isEmpty() && e->text().at(0).isPrint()) {
        ch = e->text().at(0);
    }
    if (ch.isNull() && !backspace && !enter) {
        QPlainTextEdit::keyPressEvent(e);
        return;
    }

    switch (Filter(key, ch, ctrl)) {
    case KeyVerdict::Refuse:
        e->accept();
        return;
    case KeyVerdict::Beep:
        QApplication::beep();
        e->accept();
        return;
    case KeyVerdict::EnterCommand:
        kvui::SendUserMessage(m_pOwner, kvui::WM_COMMAND, ENTER_COMMAND_ID, 0);
        e->accept();
        return;
    case KeyVerdict::Accept:
        break;
    }

    // The length limit holds for typed characters (not for Backspace, which
    // only shortens, nor for Ctrl commands).
    const bool inserts = !ctrl && !backspace;
    if (inserts && m_nLimit > 0 && !textCursor().hasSelection() && Text().size() >= m_nLimit) {
        e->accept();
        if (m_nMode & MODE_TEXT_NOTIFY)
            NotifyOwner();
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
    if (m_nMode & MODE_TEXT_NOTIFY)
        NotifyOwner();
}

void CEditEx::insertFromMimeData(const QMimeData* source)
{
    if (!source || !source->hasText())
        return;
    QString text = source->text();
    if (m_nLimit > 0) {
        const int room = m_nLimit - int(Text().size()) + int(textCursor().selectedText().size());
        text = text.left(qMax(0, room));
        // Never half of a character outside the basic plane.
        if (!text.isEmpty() && text.back().isHighSurrogate())
            text.chop(1);
    }
    textCursor().insertText(text);
    if (m_nMode & MODE_TEXT_NOTIFY)
        NotifyOwner();
}

void CEditEx::contextMenuEvent(QContextMenuEvent* e)
{
    e->accept();   // no context menu
}

void CEditEx::moveEvent(QMoveEvent* e)
{
    QPlainTextEdit::moveEvent(e);
    if (m_fixedPos && pos() != *m_fixedPos && !m_bRestoring) {
        m_bRestoring = true;
        move(*m_fixedPos);
        m_bRestoring = false;
    }
}
