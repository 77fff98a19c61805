// What the services that watch the modem may ask its owner to do: the bus
// service's methods, the notifications' actions and the tray menu all come
// here, in both the window and the headless run.
//
// Threads. Every call may come from any thread and returns at once; the
// work runs where the owner runs it (never blocking the owner's UI thread
// for long) and done is called once, on any thread, with no lock held.
// A call made while the engine is not ready completes with NotReady and
// the text the window shows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kv {

enum class OwnerError {
    None,
    NotReady,
    InvalidArgument,
    AccessDenied,
    Busy,
    Refused,
    NotFound,
    TimedOut,
    Database,
    Failed,
};

struct OwnerResult {
    OwnerError error = OwnerError::None;
    std::string text; // the text the window shows ("" on success)
    bool ok() const { return error == OwnerError::None; }
};

struct OwnerSms {
    uint32_t index = 0;
    std::string store; // "memory" or "ruim"
    uint32_t slot = 0;
    std::string box;   // as "korvianet-cli sms list" names it
    std::string time;
    std::string number;
    std::string text;
};

struct OwnerSmsOutcome {
    std::string number;
    std::string outcome; // "delivered", "no report", "modem busy", "refused", "failed", "not sent", "modem gone"
    int64_t code = 0;
    bool hasCode = false;
};

struct OwnerPbEntry {
    std::string storage; // "memory" or "ruim"
    uint32_t index = 0;
    std::string number;
    std::string name;
};

class IOwnerActions {
public:
    using Done = std::function<void(const OwnerResult&)>;
    virtual ~IOwnerActions() = default;

    // The whole status report, as the JSON document "korvianet-cli status
    // --json" prints (nlohmann::json dumped), for GetStatus.
    virtual void GetStatus(std::function<void(const OwnerResult&, const std::string& json)> done) = 0;

    virtual void Connect(const std::string& user, const std::string& password, Done done) = 0;
    virtual void Disconnect(Done done) = 0;

    virtual void Dial(const std::string& number, Done done) = 0;
    virtual void Answer(Done done) = 0;
    virtual void Hangup(Done done) = 0;
    virtual void SendDtmf(const std::string& digits, Done done) = 0;

    virtual void SendSms(const std::vector<std::string>& numbers, const std::string& text,
                         const std::string& callback, bool save,
                         std::function<void(const OwnerResult&, const std::vector<OwnerSmsOutcome>&)> done) = 0;
    // store: "" both, "memory", "ruim"
    virtual void ListSms(const std::string& store,
                         std::function<void(const OwnerResult&, const std::vector<OwnerSms>&)> done) = 0;
    virtual void ReadSms(uint32_t index, std::function<void(const OwnerResult&, const OwnerSms&)> done) = 0;
    virtual void DeleteSms(uint32_t index, Done done) = 0;
    // box: "inbox" or "outbox"
    virtual void DeleteAllSms(const std::string& box,
                              std::function<void(const OwnerResult&, uint32_t deleted, uint32_t left)> done) = 0;

    virtual void ListPhonebook(const std::string& storage,
                               std::function<void(const OwnerResult&, const std::vector<OwnerPbEntry>&,
                                                  int used, int capacity)> done) = 0;
    // index -1: the first free one
    virtual void AddPhonebookEntry(const std::string& storage, int index, const std::string& name,
                                   const std::string& number,
                                   std::function<void(const OwnerResult&, uint32_t added)> done) = 0;
    virtual void ModifyPhonebookEntry(const std::string& storage, uint32_t index, const std::string& name,
                                      const std::string& number, Done done) = 0;
    virtual void DeletePhonebookEntry(const std::string& storage, uint32_t index, Done done) = 0;
};

// What only a host with a window can do (the notifications' Reply, the
// tray); the headless run leaves them unset.
class IOwnerUi {
public:
    virtual ~IOwnerUi() = default;
    // Shows the window on the SMS page with a reply to number started.
    virtual void ShowSmsReply(const std::string& number) = 0;
    // Shows the window (restored from the tray) on its current page.
    virtual void ShowWindow() = 0;
};

} // namespace kv
