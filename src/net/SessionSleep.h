// The data session across a suspend: a sleep watch bound to a connection
// manager. Before sleep a session that is up (or being dialled, or waiting
// to be dialled again after a lost link) is hung up the way Net Disconnect
// hangs up, so its traffic record is appended, and the delay lock is held
// until that is done (bounded); after the resume it is dialled again. A
// session the user had not started is not dialled after the resume.
//
// One line in each host: the window's data connection wiring and
// `korvianet-cli connect` make one of these beside their manager.
#pragma once

#include "net/SleepWatch.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace kvnet {

class CConnectionManager;

class CSessionSleep {
public:
    // The longest wait before sleep for the hang-up (logind waits 5 s).
    static constexpr int64_t kHangUpWaitMs = 4000;

    // Watches for the manager, which must outlive this object; the second
    // form keeps the manager alive itself.
    explicit CSessionSleep(CConnectionManager& manager, std::function<void(const std::string&)> note = {},
                           std::string busAddress = SystemBusAddress());
    explicit CSessionSleep(std::shared_ptr<CConnectionManager> manager,
                           std::function<void(const std::string&)> note = {},
                           std::string busAddress = SystemBusAddress());
    ~CSessionSleep();
    CSessionSleep(const CSessionSleep&) = delete;
    CSessionSleep& operator=(const CSessionSleep&) = delete;

    const CSleepWatch& Watch() const { return m_watch; }

private:
    SleepWatchHooks Hooks(std::function<void(const std::string&)> note);
    void BeforeSleep();

    std::shared_ptr<CConnectionManager> m_keep; // declared first: goes last
    CConnectionManager& m_manager;
    std::function<void(const std::string&)> m_note;
    std::atomic<bool> m_bStopping{false};
    CSleepWatch m_watch;
};

} // namespace kvnet
