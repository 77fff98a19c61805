// The engine with its SMS and phonebook families, headless: what the
// command-line tool's message and phonebook commands (and the integration
// tests) run. It owns the serial port, the link, a headless host bound to the
// calling thread, the engine, the database with its cursors, the SMS page's
// shared fields and both family engines (CMessagingServices, as the main
// window has them), and routes the engine's window messages the way the
// main window does:
//   UM_UI_REQUEST 6 / 10, UM_LOOKUP_NAME  → CMessagingServices
//   UM_SMS_SEND_STATUS (to the SMS page)  → the outcome queue below
//   UM_UI_REQUEST 4                       → CCallHistory
// and carries the call family (CDmCall) behind the SMS engine's poll hooks.
// Every call is made on the thread that created the session.
#pragma once

#include "contacts/CallHistory.h"
#include "data/AppDatabase.h"
#include "engine/DmCall.h"
#include "engine/CommPortLink.h"
#include "engine/DmEngine.h"
#include "host/HeadlessHost.h"
#include "link/CommPort.h"
#include "messaging/MessagingServices.h"

#include <deque>
#include <mutex>
#include <string>

namespace kv {

class CMessagingSession {
public:
    struct Options {
        std::string device;          // a tty to use instead of port discovery
        std::string dbPath;          // "" → the default database file
        std::string pin;             // given when the card asks for its PIN
        bool readPhonebooks = true;  // false: the start-up only marks them loaded
        int64_t startTimeoutMs = 60000;
    };

    explicit CMessagingSession(const Options& options);
    ~CMessagingSession();
    CMessagingSession(const CMessagingSession&) = delete;
    CMessagingSession& operator=(const CMessagingSession&) = delete;

    // Opens the port, starts the engine and waits (pumping) until the
    // start-up chain has ended. False when no engine runs then.
    bool Start();
    // Why the port did not open (CCommPort::OpenError); 0 while it is open.
    int PortOpenError() const { return m_port.IsOpen() ? 0 : m_port.OpenError(); }
    void Stop();

    // Waits for the next UM_SMS_SEND_STATUS outcome; false on time-out.
    bool WaitSendOutcome(intptr_t& outcome, int64_t timeoutMs);
    // Sends one message to one number and waits for its report (the number
    // of ms a report may take); the outcome: 0 delivered, else the failure.
    intptr_t SendOne(const std::string& number, const std::string& callback, const std::string& text,
                     int64_t reportTimeoutMs);

    // Sees the engine's window messages before the session routes them
    // (e.g. the owner's send outcomes); true when it took one.
    void SetMessageFilter(CHeadlessHost::MessageHandler filter) { m_filter = std::move(filter); }

    CHeadlessHost& Host() { return m_host; }
    CDmEngine& Engine() { return m_engine; }
    CAppDatabase& Db() { return m_db; }
    CMessagingServices& Services() { return m_services; }
    CSmsShared& Shared() { return m_services.Shared(); }
    CSmsEngine& Sms() { return m_services.Sms(); }
    CPbookEngine& Pbook() { return m_services.Pbook(); }
    CSmsVectorList& List() { return m_list; }
    CDmCall& Call() { return m_call; }
    CCallHistory& History() { return m_history; }

    // The outcome a send that gets no report in time counts as.
    static constexpr intptr_t kNoReport = 1;
    // The engine ended (the modem went away) after the modem took the
    // message and before its report came.
    static constexpr intptr_t kSentModemGone = -1;

private:
    bool OnMessage(MsgTarget target, uint32_t msg, uintptr_t w, intptr_t l, intptr_t& result);

    Options m_opt;
    CCommPort m_port;
    CCommPortLink m_link;
    CHeadlessHost m_host;
    CDmEngine m_engine;
    CAppDatabase m_db;
    CCallHistory m_history;
    CSmsVectorList m_list;
    CDmCall m_call;
    CMessagingServices m_services;
    std::mutex m_outLock;
    std::deque<intptr_t> m_outcomes;
    bool m_bPinGiven = false;
    CHeadlessHost::MessageHandler m_filter;
};

} // namespace kv
