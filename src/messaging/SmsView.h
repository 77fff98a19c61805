// The SMS page (dialog 133): a state machine whose state word selects what
// the page shows and what its buttons do: home with its counters, compose
// (the main window's text field, the symbol palette and the character
// counter), the recipients, the callback number and send, the inbox and
// outbox lists and an opened message.
//
// The page runs on the UI thread. It works on the application's SMS cursor
// and runs the SMS sub-requests through DmSubRequest; the engine's send
// reports and the main window's timer 106 reach it as posted
// UM_SMS_SEND_STATUS messages. The message text is edited in the main
// window's text field, which the page is given and shows and hides.
//
// Files: SmsView.cpp (states, paint, palette, messages), SmsViewList.cpp
// (lists, opening, deleting, voice mail), SmsViewSend.cpp (recipients,
// send sequence, call, add to phonebook).
#pragma once

#include "data/AppDatabase.h"
#include "engine/DmEngine.h"
#include "messaging/SmsPageRules.h"
#include "messaging/SmsShared.h"

#include <QPixmap>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class CEditEx;
class CHoverButton;
class CMacProgressCtrl;
class CTextStatic;
class QLabel;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace kvsms {

// The pictures of the page's text buttons: four frames of `w` x `h` with the
// label (without it when `withText` is false, to see what the label stands on).
struct SmsButtonFace {
    const char* label;
    int w, h;
};
QPixmap SmsButtonStrip(const char* label, int w, int h, bool withText = true);
std::vector<SmsButtonFace> SmsButtonFaces();

// Control ids of dialog 133.
enum SmsControl : int {
    IDC_SMS_NEW = 1083,
    IDC_SMS_INBOX = 1084,
    IDC_SMS_OUTBOX = 1085,
    IDC_SMS_PREV = 1055,
    IDC_SMS_NEXT = 1054,
    IDC_SMS_SEND = 1060,
    IDC_SMS_PHONEBOOK = 1065,
    IDC_SMS_DEL = 32772,
    IDC_SMS_REPLY = 1070,
    IDC_SMS_OK = 1069,
    IDC_SMS_CALL = 1061,
    IDC_SMS_ADD_PB = 1063,
    IDC_SMS_NUMBER = 1062,
    IDC_SMS_RECIPIENTS = 1066,
    IDC_SMS_LIST = 1071,
    IDC_SMS_PROGRESS = 1086,
    IDC_SMS_LABEL = 1005,
    IDC_SMS_STATUS = 1006,
    IDC_SMS_COUNTER = 1007,
    IDC_SMS_ICON = 1089,
    IDC_SMS_PICTURE = 1090,
    ID_SMS_DELETE_ALL = 32773,
    ID_SMS_DELETE = 32774,
};

// Icons of the timed popup.
enum class AskIcon { Information, Warning, Error, Question };

// What the page needs from the window around it. Dialogs left unset go
// through the engine's host (message boxes, timed popups) or a plain
// question box.
struct SmsViewEnv {
    kv::CDmEngine* engine = nullptr;
    kv::CAppDatabase* db = nullptr;
    kv::CSmsShared* shared = nullptr;
    CEditEx* textField = nullptr;                     // the main window's text field
    std::function<void(bool show)> showStatusLines;   // the main window's three status lines
    std::function<void(const std::string&, kv::MsgIcon)> messageBox;
    // The timed popup: its result byte (2 cancelled).
    std::function<int(const std::string&, AskIcon, int mode, int countdownSec, bool defaultOk)> timedPopup;
    // The question whether to keep a copy of the sent message (a timed
    // popup whose buttons read "Save" and "Cancel"); unset: timedPopup.
    std::function<int(const std::string&)> askSave;
    // A Yes/No question with the warning icon: true for Yes.
    std::function<bool(const std::string&)> askYesNo;
    // CSmsPbAddDlg: false when cancelled; name and number as entered.
    std::function<bool(std::string& name, std::string& number)> askName;
    // The main window's dial buffer (the dial pad's number).
    std::function<void(const std::string&)> setDialBuffer;
};

class CSmsView : public QWidget {
    Q_OBJECT
public:
    explicit CSmsView(SmsViewEnv env, QWidget* parent = nullptr);
    ~CSmsView() override;

    // --- the main window's entries ---
    void ShowSmsState(uint16_t state, unsigned flags);
    uint16_t State() const { return m_wState; }
    // UserActiveView: mode 0 the home view with the warnings, 1 compose for
    // the phonebook's chosen recipients.
    void EnterPage(int mode);
    void SendServiceMessage(const std::string& text, const std::string& number);
    // 0 everything (engine restart), 1 home unless a send runs.
    void ResetSmsPage(int kind);
    void RemoveVoiceMailRow(bool listShown);
    // The phonebook page's chosen numbers (at most five are kept).
    void SetRecipients(const std::vector<std::string>& numbers);
    // Puts the chosen numbers into the empty recipient rows; false when no
    // row was free.
    bool FillRecipients();
    // A button or menu command by id.
    void OnCommand(int id);

    // --- the message list, for the engine's remove-all ---
    int ListItemCount() const;
    int32_t ListItemData(int item) const;
    void ClearListItemData(int item);
    void DeleteAllListItems();

    // --- what tests look at ---
    // The page's surroundings (tests replace the dialogs).
    SmsViewEnv& Env() { return m_env; }
    QTreeWidget* MessageList() const { return m_pList; }
    QTreeWidget* RecipientList() const { return m_pRecipients; }
    CEditEx* NumberField() const { return m_pNumber; }
    CTextStatic* TextControl(int id) const;
    CHoverButton* Button(int id) const;
    CMacProgressCtrl* Progress() const { return m_pProgress; }
    bool Sending() const { return m_bSending; }
    int SentCount() const { return m_nSent; }
    int FailedCount() const { return m_nFailed; }
    const std::vector<std::string>& Recipients() const { return m_recipients; }
    int HighlightedCell() const { return m_nHighlight; }
    // Opens the list item: Next (false) or a double-click (true).
    void OpenItem(bool doubleClick);
    // Palette click at a page point.
    void PaletteClick(const QPoint& pos);
    // Recipient cell editing.
    void BeginRecipientEdit(int row, int column);
    void EndRecipientEdit();
    QLineEdit* RecipientEditor() const { return m_pCellEditor; }
    std::string RecipientRow(int row) const;
    void SetRecipientRow(int row, const std::string& number);

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // SmsView.cpp
    void CreateControls();
    void HideAll();
    void ShowHome();
    void UpdateCounter();
    void OnTextUpdate(uintptr_t kind, intptr_t arg);
    void ShowStorageWarnings();
    void Box(const std::string& text, kv::MsgIcon icon);
    int Popup(const std::string& text, AskIcon icon, int mode, int countdown, bool defaultOk);
    // True while a sub-request waits (events are served meanwhile).
    bool Busy() const { return m_nBusy > 0; }
    void ShowTextField(bool show, bool editable);
    void SetText(int id, const std::string& text);
    void OnNext();
    void OnPrev();
    void OnReply();
    void PaintHome(class QPainter& p);
    void PaintPalette(class QPainter& p);
    kv::IDmHost& Host() { return m_env.engine->Host(); }
    kv::ModemState& St() { return m_env.engine->State(); }
    uint16_t Sub(uint16_t code, uintptr_t type);

    // SmsViewList.cpp
    void ShowList(uint16_t state);
    void RefreshMirror();
    void BuildList(bool inbox);
    void SetTextColumnWidth();
    void OpenSelected(int row, bool doubleClick);
    void DeleteOne();
    void DeleteAll();
    void PopupDeleteMenu();
    void SelectAfterDelete(int row);

    // SmsViewSend.cpp
    void ShowRecipients(unsigned flags);
    void ShowCallback();
    void ClearRecipientRows();
    bool TakeRecipientRows();
    void OnSend();
    void OnSendStatus(uintptr_t flag, intptr_t outcome);
    void EndSendSequence(bool busyOutcome);
    void OnCall();
    void OnAddToPhonebook();

    SmsViewEnv m_env;
    uint16_t m_wState = kv::smspage::SMS_HOME;
    uint32_t m_dwSymbolSet = 0;
    bool m_bSending = false;
    bool m_bRecipientSelection = false;
    std::vector<std::string> m_recipients;
    int m_nSent = 0;
    int m_nFailed = 0;
    int m_nReadMark = -1;
    int m_nEditItem = -1;
    int m_nEditSubItem = -1;
    int m_nHighlight = -1;
    int m_nFocusTimer = 0;
    int m_nBusy = 0;

    std::map<int, CHoverButton*> m_buttons;
    std::map<int, CTextStatic*> m_texts;
    CEditEx* m_pNumber = nullptr;
    QTreeWidget* m_pRecipients = nullptr;
    QTreeWidget* m_pList = nullptr;
    CMacProgressCtrl* m_pProgress = nullptr;
    QLabel* m_pIcon = nullptr;
    QLabel* m_pPicture = nullptr;
    QLineEdit* m_pCellEditor = nullptr;
    std::vector<QPixmap> m_icons;
};

} // namespace kvsms
