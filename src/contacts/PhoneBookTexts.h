// Ids, texts, sizes and colours of the phonebook and call history page
// (dialog 134): every string it shows or logs is here.
#pragma once

namespace kv::pbpage {

// Pages.
constexpr int PAGE_MEMORY = 1;
constexpr int PAGE_RUIM = 2;
constexpr int PAGE_HISTORY = 3;

// Search columns, in combo order (the history's combo has no "Index").
constexpr int COL_ALL = 0;
constexpr int COL_INDEX = 1;
constexpr int COL_NAME = 2;
constexpr int COL_PHONE = 3;

// Controls of dialog 134.
constexpr int IDD_PHONEBOOK = 134;
constexpr int IDC_PB_EXIT = 1132;
constexpr int IDC_PB_MEMORY = 1133;
constexpr int IDC_PB_HISTORY = 1134;
constexpr int IDC_PB_RUIM = 1135;
constexpr int IDC_PB_SEARCH_TEXT = 1137;
constexpr int IDC_PB_COLUMN = 1094;
constexpr int IDC_PB_SEARCH = 1138;
constexpr int IDC_PB_LIST = 1139;
constexpr int IDC_PB_CALL = 1140;
constexpr int IDC_PB_DELETE = 1141;
constexpr int IDC_PB_MESSAGE = 1142;
constexpr int IDC_PB_INSERT = 1143;
constexpr int IDC_PB_INDEX = 1160;
constexpr int IDC_PB_NAME = 1163;
constexpr int IDC_PB_NUMBER = 1164;
constexpr int IDC_PB_COUNTER = 1167;
constexpr int IDC_PB_DELETE_ALL = 1168;
constexpr int IDC_PB_DETAIL = 1000;

// Size and colours (COLORREF 0x00BBGGRR).
constexpr int kDialogWidth = 344;
constexpr int kDialogHeight = 326;
constexpr int kBesideMinRoom = 350;   // screen pixels needed right of the main window
constexpr int kOffsetLeft = 80;
constexpr int kOffsetDown = 10;
constexpr unsigned kListBack = 0xDAFEEF;   // red 239, green 254, blue 218
constexpr unsigned kListText = 0xA85959;   // red 89, green 89, blue 168

// Limits.
constexpr int kIndexDigits = 4;
constexpr int kMaxMessageItems = 5;
constexpr int kMaxCallItems = 1;
constexpr int kMaxDeleteItems = 1000;
constexpr int kCallerNameMax = 99;
constexpr int kHistoryKeep = 100;
constexpr int kHistoryRenumberAbove = 1000000;
constexpr int kSmsRecipientsState = 0x102;

// Tooltips.
constexpr const char* kTipExit = "Exit !";
constexpr const char* kTipMemory = "Memory";
constexpr const char* kTipRuim = "RUIM Card";
constexpr const char* kTipHistory = "Call History";
constexpr const char* kTipSearch = "Search";
constexpr const char* kTipMessage = "Write Message";
constexpr const char* kTipCall = "Voice Call";
constexpr const char* kTipDelete = "Delete";
constexpr const char* kTipDeleteAll = "Delete All";
constexpr const char* kTipInsert = "Insert New Item";

// Combo and list.
constexpr const char* kColAll = "All(*)";
constexpr const char* kColIndex = "Index";
constexpr const char* kColName = "Name";
constexpr const char* kColPhone = "Phone";
constexpr const char* kHeadIndex = "#";
constexpr const char* kCounterFormat = "%d/%d";
constexpr const char* kHistoryCounterFormat = " (%03d)";
// After a delete and after Delete All the history counter is the bare count
// ("000" once emptied).
constexpr const char* kHistoryCounterAfterDelete = "%03d";
constexpr const char* kHistoryDetailFormat = "%04d%s %s:%s";
constexpr const char* kHistoryTimeWord = "Time";

// Message boxes.
constexpr const char* kCaption = "Korvianet";
constexpr const char* kSearchFailed = "Cannot Search Data that you want to get";
constexpr const char* kNeedIndex = "You must input the index number";
constexpr const char* kIndexTooHigh = "Index should be less than %d.";
constexpr const char* kNeedName = "You must input the name field";
constexpr const char* kNeedNumber = "You must input the phone number field";
constexpr const char* kAskModify = "Modify the selected phonebook data?";
constexpr const char* kAskInsert = "Do you want to Insert  the new data in the phonebook?";
constexpr const char* kNoSpace = "Not enough space to store New Phonebook Data [MAX (ruim:%d, memory:%d)]";
constexpr const char* kNoSelection = "There is no item selected";
constexpr const char* kAskDeleteHistory = "Delete the selected call history data?";
constexpr const char* kAskDeleteEntry = "Delete the selected phonebook data?";
constexpr const char* kAskDeleteAll = "Do you like to Delete All? (Caution: After Delete All, You can never Recovery)";
constexpr const char* kNoSmsEvdo = "Cannot send the message in the EVDO Only Mode. Please try different settings!";
constexpr const char* kSelectAtMost = "You can select %d item(s)";
constexpr const char* kSmsSending = "Cannot send message during message sending.";
constexpr const char* kNoCallConnecting = "Cannot make outgoing call under network connecting";
constexpr const char* kNoCallEvdo = "Cannot call in the EVDO Only mode. Please try different settings !";
constexpr const char* kNoCallInCall = "You can't use voice call until hang up call";
// Failures the user is told about (the modem or the table refused a change).
constexpr const char* kWriteFailed = "The modem did not store the phonebook data.";
constexpr const char* kModifyRestored =
    "The modem did not store the changed phonebook data. The entry was kept as it was.";
constexpr const char* kModifyLost =
    "The modem did not store the changed phonebook data, and the old entry could not be written back. "
    "The entry was removed from the list; the next time the phonebook is read it is written back.";
constexpr const char* kDeleteFailed = "The modem did not delete the phonebook data.";
constexpr const char* kDbFailed = "The phonebook data could not be read or written.";
constexpr const char* kHistoryDeleteFailed = "The call history could not be changed.";

// Log lines.
constexpr const char* kLogInit = "UserMovePage PBOOK Init OK ";
constexpr const char* kLogSetColumn = "UserMovePage PBOOK History Set Column";
constexpr const char* kLogRuim = "UserMovePage PBOOK RUIM Case";
constexpr const char* kLogRuimLimits = "PbLen=%d, InPbALmt=%d, InPbWLmt=%d  ";
constexpr const char* kLogRuimStart = "UserMovePage PBOOK RUIM Case In Start";
constexpr const char* kLogRuimRow = "UserMovePage PBOOK RUIM Case In %d";
constexpr const char* kLogRuimAll = "UserMovePage PBOOK RUIM Case In READ ALL";
constexpr const char* kLogRuimClose = "UserMovePage PBOOK RUIM Case In READ CLOSE";
constexpr const char* kLogHistory = "UserMovePage PBOOK History Case";
constexpr const char* kLogHistoryStart = "UserMovePage PBOOK History Case In Start";
constexpr const char* kLogHistory1 = "UserMovePage PBOOK History Case In 1";
constexpr const char* kLogHistoryRow = "UserMovePage PBOOK History Case In %d";
constexpr const char* kLogHistoryEnd = "UserMovePage PBOOK History Case In End";
constexpr const char* kLogRenumber = "1000000 Call Test";
constexpr const char* kLogDbError = "%s ";
constexpr const char* kLogSearchError = "%s\n";
constexpr const char* kLogPbError = "Pbook(line=%d):%s\n";
constexpr const char* kLogClickRuim = "Click Btn Pbook RUIM";
constexpr const char* kLogClickHistory = "Click Btn Pbook History";

} // namespace kv::pbpage
