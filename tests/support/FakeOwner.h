// A stand-in for the modem's owner on a private bus: it owns
// org.korvianet.Korvianet1, answers the interface's methods with canned
// replies (or a named error the test chose), serves the properties and,
// on command, changes one (PropertiesChanged) or emits a signal. Dial,
// Hangup, Connect and Disconnect move the call's and the connection's
// properties at once, as a modem that answers without delay. Its own
// thread and bus connection; every call here is thread-safe.
#pragma once

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kvtest {

class FakeOwner {
public:
    struct SmsOutcome {
        std::string number, outcome;
        int64_t code = 0;
    };
    struct Sms {
        uint32_t index = 0;
        std::string store;
        uint32_t slot = 0;
        std::string box, time, number, text;
    };
    struct Signal {
        std::string name;
        std::string types;         // the arguments' signature, e.g. "suuss"
        nlohmann::json args;       // an array, one value per type
    };

    explicit FakeOwner(std::string address);
    ~FakeOwner();
    FakeOwner(const FakeOwner&) = delete;
    FakeOwner& operator=(const FakeOwner&) = delete;

    bool Start();
    void Stop();

    // GetStatus answers with these keys (texts as s, true/false as b,
    // whole numbers as i).
    void SetStatus(const nlohmann::json& flat);
    // Sets a property; once started, the change is announced.
    void SetProperty(const std::string& name, const nlohmann::json& value);
    // method answers with this error from now on.
    void FailMethod(const std::string& method, const std::string& error, const std::string& message);
    void SetSmsResults(std::vector<SmsOutcome> results);
    void SetMessages(std::vector<Sms> messages);
    // Emits a signal of the interface; returns once it is sent.
    bool Emit(const Signal& signal);

    // The calls received: "Method arg arg ...".
    std::vector<std::string> Calls() const;

    // For the bus callbacks only.
    int Handle(void* message, void* error);

private:
    void ThreadMain();
    void Wake();
    void Script(const std::string& member);

    std::string m_address;
    std::thread m_thread;
    int m_wakeFd = -1;
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_ready{0};

    mutable std::mutex m_lock;
    nlohmann::json m_status = nlohmann::json::object();
    std::map<std::string, nlohmann::json> m_props;
    std::map<std::string, std::pair<std::string, std::string>> m_failures;
    std::vector<SmsOutcome> m_smsResults;
    std::vector<Sms> m_messages;
    std::vector<std::string> m_calls;
    std::vector<std::pair<std::string, nlohmann::json>> m_changed; // queued PropertiesChanged
    std::vector<Signal> m_signals;      // queued signals
    int m_queued = 0;
    int m_sent = 0;
};

} // namespace kvtest
