// The phonebook and call history page (dialog 134): a modal dialog with
// three pages, "Memory" and "RUIM Card" (the modem's two phonebooks as the
// phonebook table mirrors them) and "Call History". The user lists,
// searches, adds, changes and deletes entries, deletes call records one by
// one or all at once, and picks numbers to write a message to or to call.
//
// Every change of a phonebook entry goes to the modem first (through the
// phonebook engine's sub-requests) and to the table after the modem
// accepted it. What the page asks of the main window (the SMS page's
// recipients and state, the dial buffer, UM_UI_REQUEST) comes through
// PhoneBookEnv, so the page runs against a headless engine in tests.
//
// The sub-requests keep the UI thread dispatching events while they wait:
// every action is guarded, and while one runs (and through a multiple
// delete) the page ignores commands, mouse and keys, and defers closing.
#pragma once

#include "contacts/PhoneBookTexts.h"
#include "host/HostIds.h"

#include <QDialog>
#include <QPixmap>
#include <functional>
#include <string>
#include <vector>

class CEditEx;
class CHoverButton;
class CTextStatic;
class QComboBox;
class QTableWidget;

namespace kv {
class CAppDatabase;
class CDmEngine;
class CPbookEngine;
struct ModemState;
} // namespace kv

namespace kvui {
class IModalOwner;
}

namespace kvpb {

struct PhoneBookEnv {
    kv::CDmEngine* engine = nullptr;   // modem state: capacities, service, call phase
    kv::CAppDatabase* db = nullptr;
    kv::CPbookEngine* pbook = nullptr;
    kvui::IModalOwner* owner = nullptr;
    // Posts UM_UI_REQUEST (sub-code, 0) to the main window.
    std::function<void(uint32_t sub)> postUiRequest;
    // The SMS page's state word and whether it is sending.
    std::function<uint16_t()> smsState;
    std::function<bool()> smsSending;
    // Replaces the SMS page's recipients list with the chosen numbers.
    std::function<void(const std::vector<std::string>&)> setRecipients;
    // Puts the number into the dial buffer and the name into the caller-name buffer.
    std::function<void(const std::string& number, const std::string& name)> setDial;
};

class CPhoneBookView : public QDialog {
    Q_OBJECT
public:
    // page: 1 Memory, 2 RUIM Card, 3 Call History; negative: placed beside
    // the main window (select mode). startPage: the page shown after the
    // Memory page, -1 none.
    CPhoneBookView(PhoneBookEnv env, int page, int startPage, QWidget* parent = nullptr);
    ~CPhoneBookView() override;

    void UserMovePage(int page);
    int Page() const { return m_nPage; }
    int EntryCount() const { return m_nEntryCount; }
    // 0 once the page closed to write a message.
    bool ReturnFlag() const { return m_bReturn; }
    // Voice Call put a number into the dial buffer.
    bool NumberChosen() const { return m_bNumberChosen; }

    // --- commands (buttons; public for the window's keyboard and tests) ---
    void OnSearch();
    void OnInsert();
    void OnDelete();
    void OnDeleteAll();
    void OnWriteMessage();
    void OnVoiceCall();

    // Message boxes and questions: returns QMessageBox::Yes, No or Ok.
    using Prompt = std::function<int(const QString& text, kv::MsgIcon icon, bool yesNo)>;
    void SetPrompt(Prompt prompt) { m_prompt = std::move(prompt); }

    // --- what tests and the window look at ---
    QTableWidget* List() const { return m_pList; }
    CEditEx* Field(int id) const;
    QComboBox* Column() const { return m_pColumn; }
    CHoverButton* Button(int id) const;
    QString CounterText() const;
    QString DetailText() const;
    bool Busy() const { return m_nBusy > 0; }

public Q_SLOTS:
    void reject() override;
    void accept() override;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    // Holds the busy flag for one action; a close asked for meanwhile runs
    // when the last action ends.
    class BusyScope {
    public:
        explicit BusyScope(CPhoneBookView& v) : m_v(v) { ++m_v.m_nBusy; }
        ~BusyScope();
    private:
        CPhoneBookView& m_v;
    };

    // Construction (PhoneBookView.cpp).
    void CreateControls();
    CHoverButton* MakeButton(int id, const char* label, const char* tip, QRect place);
    void Place();
    void ShowPhonebookFields(bool show);

    // Lists (PhoneBookViewLists.cpp).
    void FillPhonebook(int page);
    void FillHistory();
    // At row, or appended when row is -1.
    void AddEntryRow(int index, const std::string& name, const std::string& number, int row = -1);
    void AddHistoryRow(int kind, const std::string& name, const std::string& number, const std::string& details,
                       int row = -1);
    void SetColumns(int first, int second, int third, bool history);
    void FitNumberColumn(int narrow, int wide);
    // historyFormat: the history's format (the listing's unless a delete
    // changed the count).
    void UpdateCounter(const char* historyFormat = kv::pbpage::kHistoryCounterFormat);
    void ShowItemData(int row);
    void SelectRow(int row);
    void ClearFields();
    std::vector<int> SelectedRows() const;
    QString CellText(int row, int column) const;
    void SetNameLimits();

    // Actions (PhoneBookViewActions.cpp).
    bool DeleteOne(int row, bool ask, bool& stop);
    std::vector<std::string> SelectedNumbers() const;
    int Ask(const QString& text, kv::MsgIcon icon, bool yesNo);
    int Capacity(int page) const;
    kv::ModemState& State() const;

    PhoneBookEnv m_env;
    int m_nPage = 0;
    int m_nStartPage = -1;
    bool m_bBeside = false;
    bool m_bReturn = true;
    bool m_bNumberChosen = false;
    int m_nEntryCount = 0;
    int m_nNameLimit = 0;
    int m_nWideNameLimit = 0;
    int m_nNameBytes = 0;
    int m_nBusy = 0;
    bool m_bCloseWanted = false;
    int m_nCloseResult = QDialog::Rejected;
    bool m_bPlaced = false;
    Prompt m_prompt;

    CEditEx* m_pSearch = nullptr;
    QComboBox* m_pColumn = nullptr;
    QTableWidget* m_pList = nullptr;
    CEditEx* m_pIndex = nullptr;
    CEditEx* m_pName = nullptr;
    CEditEx* m_pNumber = nullptr;
    CTextStatic* m_pCounter = nullptr;
    CTextStatic* m_pDetail = nullptr;
    std::vector<std::pair<int, CHoverButton*>> m_buttons;
    QPixmap m_icons[3];
};

// The button strip of the page's bitmap buttons: four frames (normal,
// hover, pressed, disabled) with the label.
QPixmap PbButtonStrip(const QString& label, int width, int height);

} // namespace kvpb
