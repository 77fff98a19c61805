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

namespace {
// The "+" rule of the number modes, for text with the selection ending at
// selEnd: under Ctrl only while the text is shorter than 2 characters;
// otherwise never a second "+" and only where it cannot follow a digit.
bool PlusAllowed(const QString& t, int selEnd, bool ctrlRule)
{
    if (ctrlRule)
        return t.size() < 2;
    if (t.startsWith('+'))
        return false;
    return selEnd == 0 || t.isEmpty() || !t.back().isDigit();
}
} // namespace

CEditEx::KeyVerdict CEditEx::Filter(int key, QChar ch, bool ctrl) const
{
    return FilterAt(Text(), textCursor().selectionEnd(), key, ch, ctrl);
}

CEditEx::KeyVerdict CEditEx::FilterAt(const QString& text, int selEnd, int key, QChar ch, bool ctrl) const
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
            return yes(PlusAllowed(text, selEnd, false));
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
                return yes(PlusAllowed(text, selEnd, true));
            return yes(ch == 'c' || ch == '#' || ch == '*');
        }
        if (ch == '+')
            return yes(PlusAllowed(text, selEnd, false));
        if (digit)
            return yes(SmsUnitLength(text) < NAME_MAX_UNITS);
        return yes(backspace || ch == '#' || ch == '*');
    }
    if ((m_nMode & MODE_ENTER_COMMAND) && enter)
        return KeyVerdict::EnterCommand;
    return KeyVerdict::Accept;
}

bool CEditEx::Filters() const
{
    return m_validator || (m_nMode & (MODE_DIGITS_P | MODE_PHONE | MODE_DIGITS | MODE_NAME_LENGTH)) != 0;
}

QString CEditEx::FilterInsertion(const QString& incoming, bool* dropped) const
{
    if (dropped)
        *dropped = false;
    const QTextCursor cur = textCursor();
    // The text as it stands once the selection is replaced, and where the
    // insertion goes.
    QString text = Text();
    const int selStart = cur.selectionStart();
    text.remove(selStart, cur.selectionEnd() - selStart);
    int pos = selStart;
    const int room = m_nLimit > 0 ? qMax(0, m_nLimit - int(text.size())) : -1;

    QString out;
    for (qsizetype i = 0; i < incoming.size(); ++i) {
        // A character outside the basic plane travels as a pair: judged by
        // its first half, kept or dropped whole.
        QString unit(incoming.at(i));
        if (incoming.at(i).isHighSurrogate() && i + 1 < incoming.size() && incoming.at(i + 1).isLowSurrogate())
            unit += incoming.at(++i);
        const QChar ch = unit.at(0);
        const bool lineBreak = ch == '\n' || ch == '\r' || ch == QChar::LineSeparator
                               || ch == QChar::ParagraphSeparator;
        // A line break in a field where Enter is a command is not text.
        const int key = lineBreak ? int(Qt::Key_Return) : 0;
        bool take = FilterAt(text, pos, key, ch, false) == KeyVerdict::Accept;
        if (take && Filters() && (ch.isNull() || !ch.isPrint()))
            take = false;   // a filtered field holds printable characters only
        if (!take) {
            if (dropped)
                *dropped = true;
            continue;
        }
        if (room >= 0 && out.size() + unit.size() > room)
            break;
        text.insert(pos, unit);
        pos += int(unit.size());
        out += unit;
    }
    return out;
}

void CEditEx::InsertFiltered(const QString& incoming)
{
    bool dropped = false;
    const QString text = FilterInsertion(incoming, &dropped);
    if (dropped && m_validator)
        QApplication::beep();
    if (!text.isEmpty())
        textCursor().insertText(text);
    if (m_nMode & MODE_TEXT_NOTIFY)
        NotifyOwner();
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
    } else if (!e->text().isEmpty() && !(e->text().size() == 1 && !e->text().at(0).isPrint())) {
        // A key that types several characters at once (a character outside
        // the basic plane, composed keys, typing tools) gets each of them
        // judged, not only the first.
        if (e->text().size() > 1) {
            InsertFiltered(e->text());
            e->accept();
            return;
        }
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
    // Paste, the selection's middle-click paste and drops all come here.
    if (!source || !source->hasText())
        return;
    InsertFiltered(source->text());
}

void CEditEx::inputMethodEvent(QInputMethodEvent* e)
{
    const QString commit = FilterInsertion(e->commitString());
    if (commit == e->commitString() && (!Filters() || e->preeditString().isEmpty())) {
        QPlainTextEdit::inputMethodEvent(e);
    } else {
        // A filtered field shows no composition in progress: only what it
        // would take as typed characters arrives.
        QInputMethodEvent filtered(Filters() ? QString() : e->preeditString(),
                                   Filters() ? QList<QInputMethodEvent::Attribute>() : e->attributes());
        filtered.setCommitString(commit, e->replacementStart(), e->replacementLength());
        QPlainTextEdit::inputMethodEvent(&filtered);
    }
    if ((m_nMode & MODE_TEXT_NOTIFY) && !e->commitString().isEmpty())
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
