// The owner's actions on its engine, database and data connection: what the
// bus methods, the notifications' actions and the tray ask for. Each call
// is checked at once (on the caller's thread) with the command-line tool's
// own rules, then queued as a job that runs on the owner's UI thread, where
// the engine's requests run as the window's own do (their waits pump).
// Every wait is bounded and ends with the engine; done is called exactly
// once, also when the owner goes away first.
#pragma once

#include "host/OwnerActions.h"
#include "owner/OwnerParts.h"
#include "owner/OwnerWork.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace kv {

class COwnerFeed;

class COwnerActions : public IOwnerActions {
public:
    COwnerActions(const OwnerParts& parts, COwnerWork& work, COwnerFeed& feed);
    ~COwnerActions() override;
    COwnerActions(const COwnerActions&) = delete;
    COwnerActions& operator=(const COwnerActions&) = delete;

    // A send's outcome posted to the SMS page (UM_SMS_SEND_STATUS): true
    // when a send of ours waited for it (the host then routes it no further).
    bool OnSmsSendStatus(uintptr_t wParam, intptr_t lParam);
    // How long a send waits for its delivery report (tests shorten it).
    void SetReportTimeoutMs(int64_t ms) { m_reportTimeoutMs = ms; }
    // How long the call steps wait for the modem.
    void SetCallTimeoutMs(int64_t ms) { m_callTimeoutMs = ms; }

    void GetStatus(std::function<void(const OwnerResult&, const std::string& json)> done) override;
    void Connect(const std::string& user, const std::string& password, Done done) override;
    void Disconnect(Done done) override;
    void Dial(const std::string& number, Done done) override;
    void Answer(Done done) override;
    void Hangup(Done done) override;
    void SendDtmf(const std::string& digits, Done done) override;
    void SendSms(const std::vector<std::string>& numbers, const std::string& text, const std::string& callback,
                 bool save, std::function<void(const OwnerResult&, const std::vector<OwnerSmsOutcome>&)> done) override;
    void ListSms(const std::string& store,
                 std::function<void(const OwnerResult&, const std::vector<OwnerSms>&)> done) override;
    void ReadSms(uint32_t index, std::function<void(const OwnerResult&, const OwnerSms&)> done) override;
    void DeleteSms(uint32_t index, Done done) override;
    void DeleteAllSms(const std::string& box,
                      std::function<void(const OwnerResult&, uint32_t deleted, uint32_t left)> done) override;
    void ListPhonebook(const std::string& storage,
                       std::function<void(const OwnerResult&, const std::vector<OwnerPbEntry>&, int used,
                                          int capacity)> done) override;
    void AddPhonebookEntry(const std::string& storage, int index, const std::string& name, const std::string& number,
                           std::function<void(const OwnerResult&, uint32_t added)> done) override;
    void ModifyPhonebookEntry(const std::string& storage, uint32_t index, const std::string& name,
                              const std::string& number, Done done) override;
    void DeletePhonebookEntry(const std::string& storage, uint32_t index, Done done) override;

private:
    // Runs job on the UI thread once the engine is ready; fail(result)
    // otherwise (not ready, the owner gone). fail is called at most once and
    // never together with job.
    void Run(std::function<void()> job, std::function<void(const OwnerResult&)> fail, bool needsMessages = false);
    OwnerResult NotReadyResult() const;
    bool Gone() const;
    bool Until(const std::function<bool()>& pred, int64_t ms);
    OwnerResult LoadMessages();
    intptr_t SendOne(const std::string& number, const std::string& callback, const std::string& text);
    bool InCall() const;
    OwnerResult ToDialPad();
    bool Connected() const;

    OwnerParts m_parts;
    COwnerWork& m_work;
    COwnerFeed& m_feed;
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);
    int64_t m_reportTimeoutMs = 10000;
    int64_t m_callTimeoutMs = 30000;

    std::mutex m_outLock;
    bool m_bSending = false;
    std::deque<intptr_t> m_outcomes;
};

} // namespace kv
