// The SMS and phonebook families beside one engine and one database: the SMS
// page's shared fields, the SMS engine and the phonebook engine, installed
// into the engine together, and the routing of the engine's main-window
// messages that belong to them. The main window and the headless session of
// the command-line tool both own one:
//   UM_UI_REQUEST 6 / 10, UM_LOOKUP_NAME  → CPbookEngine
// The engine keeps one set of poll hooks: the SMS engine takes them and
// forwards the call steps to the call family's hooks (SetCallHooks).
#pragma once

#include "contacts/PbookEngine.h"
#include "data/AppDatabase.h"
#include "engine/DmEngine.h"
#include "messaging/SmsEngine.h"
#include "messaging/SmsShared.h"

#include <cstdint>

namespace kv {

class CMessagingServices {
public:
    // Installs both families into the engine (before its first start).
    CMessagingServices(CDmEngine& engine, CAppDatabase& db, ISmsPageUi* pageUi,
                       IDmPollHooks* callHooks = nullptr);
    CMessagingServices(const CMessagingServices&) = delete;
    CMessagingServices& operator=(const CMessagingServices&) = delete;

    CSmsShared& Shared() { return m_shared; }
    CSmsEngine& Sms() { return m_sms; }
    CPbookEngine& Pbook() { return m_pbook; }

    // A message the engine sent or posted to the main window: true when it
    // belongs to these families (result set).
    bool HandleMainWindowMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, intptr_t& result)
    {
        return m_pbook.HandleMainWindowMessage(msg, wParam, lParam, result);
    }
    // The engine's name lookup (UM_LOOKUP_NAME).
    std::optional<std::string> LookupName(const std::string& number) { return m_pbook.LookupName(number); }

private:
    CSmsShared m_shared;
    CSmsEngine m_sms;
    CPbookEngine m_pbook;
};

} // namespace kv
