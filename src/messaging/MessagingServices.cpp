// The SMS and phonebook families installed together.
#include "messaging/MessagingServices.h"

namespace kv {

CMessagingServices::CMessagingServices(CDmEngine& engine, CAppDatabase& db, ISmsPageUi* pageUi,
                                       IDmPollHooks* callHooks)
    : m_sms(engine, db, m_shared, pageUi), m_pbook(engine, db)
{
    InstallPhonebookEngine(engine, m_pbook);
    // Last: the SMS engine takes the engine's poll hooks and passes the call
    // steps on.
    m_sms.SetCallHooks(callHooks);
    InstallSmsEngine(engine, m_sms);
}

} // namespace kv
