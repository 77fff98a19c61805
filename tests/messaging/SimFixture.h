// Shared fixtures of the message and phonebook tests: a private settings
// folder, a private copy of the database file the build produced, the
// in-process modem simulator on a pty, and the headless engine session
// against it; plus a scripted link for exchanges the simulator cannot fake.
#pragma once

#include "engine/DmLink.h"
#include "messaging/MessagingSession.h"
#include "sim/ModemSimulator.h"
#include "support/TempSettings.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kvtest {

class SimFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the simulator; seed(model) fills its stores before the engine runs.
    void StartSim(const std::function<void(kv::sim::ModemModel&)>& seed = {});
    // Starts the engine session against the simulator and waits for its start-up.
    bool StartSession(bool readPhonebooks = true);
    void StopSession();

    std::string DbPath() const { return m_dir + "/WVL.MDB"; }
    int Count(const std::string& table, const std::string& where = "1");
    // Runs one SQL statement on the copy (test set-up only).
    void Sql(const std::string& statement);
    // Pumps the session's host until pred holds (10 s at most).
    bool Until(const std::function<bool()>& pred, int64_t ms = 10000);

    TempSettings m_cfg;
    std::string m_dir;
    std::unique_ptr<kv::sim::ModemSimulator> m_sim;
    std::unique_ptr<kv::CMessagingSession> m_session;
};

// A link whose answers come from a handler: an empty answer is a time-out.
class ScriptLink : public kv::IDmLink {
public:
    using Handler = std::function<std::vector<uint8_t>(const kv::DiagRequest&)>;
    explicit ScriptLink(Handler h) : m_handler(std::move(h)) {}
    bool Open(int, uint32_t) override { return m_open = true; }
    void Close() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    int Transact(const kv::DiagRequest& request, uint8_t* reply, size_t replySize,
                 size_t& replyLength) override;

    std::vector<std::vector<uint8_t>> m_requests; // every request seen

private:
    Handler m_handler;
    bool m_open = false;
};

} // namespace kvtest
