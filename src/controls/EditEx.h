// A text field in fixed colours that filters typed characters by input mode
// (phone numbers, digits, names measured in SMS units, free text that reports
// every change to its owner) and has no context menu. The filter holds for
// every way the user puts text in: typed keys, paste, drag and drop, and
// input methods; text set by the program (SetText) is taken as it is.
#pragma once

#include <QBrush>
#include <QColor>
#include <QPlainTextEdit>
#include <QPoint>
#include <functional>
#include <optional>

class CEditEx : public QPlainTextEdit {
    Q_OBJECT
public:
    // Input modes (bits; the first matching rule applies).
    static constexpr unsigned MODE_TEXT_NOTIFY = 0x01;
    static constexpr unsigned MODE_DIGITS_P = 0x02;
    static constexpr unsigned MODE_ENTER_COMMAND = 0x04;
    static constexpr unsigned MODE_PHONE = 0x08;
    static constexpr unsigned MODE_DIGITS = 0x10;
    static constexpr unsigned MODE_NAME_LENGTH = 0x20;
    static constexpr int ENTER_COMMAND_ID = 1138;   // WM_COMMAND id sent on Enter
    static constexpr int NAME_MAX_UNITS = 36;

    using Validator = std::function<bool(QChar)>;

    explicit CEditEx(QWidget* parent = nullptr, int id = 0);

    void SetInputMode(unsigned mode) { m_nMode = mode; }
    unsigned InputMode() const { return m_nMode; }
    void SetOwner(QObject* owner) { m_pOwner = owner; }
    // The first limit applies to plain text, the second once it holds a
    // character outside ASCII. 0 = no limit.
    void SetLengthLimits(int first, int second);
    void SetLimitText(int limit);
    int LimitText() const { return m_nLimit; }
    void SetValidator(Validator v) { m_validator = std::move(v); }
    void SetFixedPosition(std::optional<QPoint> pos);

    void SetBackColor(const QColor& c);
    void SetTextColor(const QColor& c);
    QColor BackColor() const { return m_clrBack; }
    QColor TextColor() const { return m_clrText; }
    void SetFontEx(int pixelHeight, int weight, bool italic, const QString& face);

    QString Text() const { return toPlainText(); }
    void SetText(const QString& text) { setPlainText(text); }

    // The decision for one typed key: ch is the typed character (0 for
    // Backspace, which is passed as key), ctrl whether Ctrl is held.
    enum class KeyVerdict { Accept, Refuse, Beep, EnterCommand };
    KeyVerdict Filter(int key, QChar ch, bool ctrl) const;
    // What of `incoming` the field takes when it is inserted at the cursor
    // (replacing the selection): each character is judged as if it were
    // typed at that point, refused ones are left out, and the length limit
    // cuts the rest. dropped is set when a character was refused.
    QString FilterInsertion(const QString& incoming, bool* dropped = nullptr) const;
    // Whether the mode (or a validator) restricts the characters.
    bool Filters() const;
    // Length in SMS units: 1 per character until the first character outside
    // ASCII; from then on 2 per character and the count so far doubled.
    static int SmsUnitLength(const QString& text);
    static bool HasWideChar(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void insertFromMimeData(const QMimeData* source) override;
    void inputMethodEvent(QInputMethodEvent* e) override;

private:
    // The rule for one character typed into `text` with the selection
    // ending at selEnd.
    KeyVerdict FilterAt(const QString& text, int selEnd, int key, QChar ch, bool ctrl) const;
    void InsertFiltered(const QString& incoming);
    void NotifyOwner();
    void ApplyPalette();

    unsigned m_nMode = 0;
    QObject* m_pOwner = nullptr;
    int m_nLimit1 = 0;
    int m_nLimit2 = 0;
    int m_nLimit = 0;
    Validator m_validator;
    std::optional<QPoint> m_fixedPos;
    bool m_bRestoring = false;
    QColor m_clrBack{153, 204, 255};
    QColor m_clrText;
};
