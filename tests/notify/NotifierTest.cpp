// Desktop notifications through a private session bus (the real
// dbus-daemon) to a notification server stub that records every call and
// clicks actions as a user would.
#include "host/OwnerActions.h"
#include "host/OwnerEvents.h"
#include "notify/DesktopNotifier.h"
#include "notify/NotifySettings.h"
#include "platform/Event.h"
#include "support/PrivateBus.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <systemd/sd-bus.h>

#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>

using namespace kvnotify;
using nlohmann::json;

namespace {

bool WaitFor(const std::function<bool()>& done, int64_t ms = 5000)
{
    const int64_t end = kv::TickMs() + ms;
    while (!done()) {
        if (kv::TickMs() > end)
            return false;
        kv::SleepMs(10);
    }
    return true;
}

// The stub as a child process, killed by its pid.
class ServerStub {
public:
    ServerStub(std::string address, std::string record) : m_address(std::move(address)), m_record(std::move(record)) {}
    ~ServerStub() { Stop(); }
    bool Start()
    {
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl(KV_NOTIFY_STUB, KV_NOTIFY_STUB, m_address.c_str(), m_record.c_str(), nullptr);
            ::_exit(127);
        }
        return m_pid > 0 && WaitFor([this] { return !Records("ready").empty(); });
    }
    void Stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    // The recorded calls of that name ("Notify", "CloseNotification"), or
    // the ready line for "ready".
    std::vector<json> Records(const std::string& call) const
    {
        std::vector<json> out;
        std::ifstream in(m_record);
        std::string line;
        while (std::getline(in, line)) {
            const json j = json::parse(line, nullptr, false);
            if (j.is_discarded())
                continue;
            if ((call == "ready" && j.contains("ready")) || j.value("call", "") == call)
                out.push_back(j);
        }
        return out;
    }
    bool WaitNotifies(size_t n) const
    {
        return WaitFor([&] { return Records("Notify").size() >= n; });
    }
    // A click on an action of notification id, through the stub.
    bool Invoke(uint32_t id, const char* key) const
    {
        sd_bus* bus = nullptr;
        int r = sd_bus_new(&bus);
        if (r >= 0)
            r = sd_bus_set_address(bus, m_address.c_str());
        if (r >= 0)
            r = sd_bus_set_bus_client(bus, 1);
        if (r >= 0)
            r = sd_bus_start(bus);
        sd_bus_error err = SD_BUS_ERROR_NULL;
        if (r >= 0)
            r = sd_bus_call_method(bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                   "org.korvianet.test.NotifyStub", "Invoke", &err, nullptr, "us", id, key);
        sd_bus_error_free(&err);
        sd_bus_flush_close_unref(bus);
        return r >= 0;
    }

private:
    std::string m_address, m_record;
    pid_t m_pid = -1;
};

struct FakeActions : kv::IOwnerActions {
    std::mutex lock;
    std::vector<std::string> calls;
    void Add(const std::string& c)
    {
        std::lock_guard<std::mutex> g(lock);
        calls.push_back(c);
    }
    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> g(lock);
        return calls;
    }
    void GetStatus(std::function<void(const kv::OwnerResult&, const std::string&)> done) override { done({}, "{}"); }
    void Connect(const std::string&, const std::string&, Done done) override { done({}); }
    void Disconnect(Done done) override { done({}); }
    void Dial(const std::string&, Done done) override { done({}); }
    void Answer(Done done) override
    {
        Add("answer");
        done({});
    }
    void Hangup(Done done) override
    {
        Add("hangup");
        done({});
    }
    void SendDtmf(const std::string&, Done done) override { done({}); }
    void SendSms(const std::vector<std::string>&, const std::string&, const std::string&, bool,
                 std::function<void(const kv::OwnerResult&, const std::vector<kv::OwnerSmsOutcome>&)> done) override
    {
        done({}, {});
    }
    void ListSms(const std::string&, std::function<void(const kv::OwnerResult&, const std::vector<kv::OwnerSms>&)> done) override
    {
        done({}, {});
    }
    void ReadSms(uint32_t index, std::function<void(const kv::OwnerResult&, const kv::OwnerSms&)> done) override
    {
        Add("read " + std::to_string(index));
        done({}, {});
    }
    void DeleteSms(uint32_t, Done done) override { done({}); }
    void DeleteAllSms(const std::string&, std::function<void(const kv::OwnerResult&, uint32_t, uint32_t)> done) override
    {
        done({}, 0, 0);
    }
    void ListPhonebook(const std::string&, std::function<void(const kv::OwnerResult&, const std::vector<kv::OwnerPbEntry>&,
                                                              int, int)> done) override
    {
        done({}, {}, 0, 0);
    }
    void AddPhonebookEntry(const std::string&, int, const std::string&, const std::string&,
                           std::function<void(const kv::OwnerResult&, uint32_t)> done) override
    {
        done({}, 0);
    }
    void ModifyPhonebookEntry(const std::string&, uint32_t, const std::string&, const std::string&, Done done) override
    {
        done({});
    }
    void DeletePhonebookEntry(const std::string&, uint32_t, Done done) override { done({}); }
};

struct FakeUi : kv::IOwnerUi {
    std::mutex lock;
    std::vector<std::string> replies;
    void ShowSmsReply(const std::string& number) override
    {
        std::lock_guard<std::mutex> g(lock);
        replies.push_back(number);
    }
    void ShowWindow() override {}
    std::vector<std::string> Replies()
    {
        std::lock_guard<std::mutex> g(lock);
        return replies;
    }
};

kv::OwnerEvent Sms(const std::string& number, const std::string& name, const std::string& text, uint32_t index)
{
    kv::OwnerEvent e;
    e.kind = kv::OwnerEventKind::SmsReceived;
    e.storage = "memory";
    e.slot = 3;
    e.index = index;
    e.number = number;
    e.name = name;
    e.text = text;
    return e;
}

kv::OwnerEvent Of(kv::OwnerEventKind kind, const std::string& text = "", const std::string& number = "")
{
    kv::OwnerEvent e;
    e.kind = kind;
    e.text = text;
    e.number = number;
    e.port = "/dev/ttyUSB0";
    return e;
}

class Notifications : public ::testing::Test {
protected:
    void SetUp() override
    {
        bus = std::make_unique<kvtest::PrivateBus>(settings.Dir());
        if (!bus->Start())
            GTEST_SKIP() << "no dbus-daemon";
    }
    void StartStub()
    {
        stub = std::make_unique<ServerStub>(bus->Address(), settings.Path("notify-record"));
        ASSERT_TRUE(stub->Start());
    }
    void StartNotifier(kv::IOwnerUi* withUi, std::function<bool()> enabled = {})
    {
        DesktopNotifierHooks hooks;
        hooks.enabled = std::move(enabled);
        hooks.note = [this](const std::string& l) {
            std::lock_guard<std::mutex> g(noteLock);
            notes.push_back(l);
        };
        notifier = std::make_unique<CDesktopNotifier>(&actions, withUi, hooks, bus->Address());
        ASSERT_TRUE(notifier->Start());
        ASSERT_TRUE(WaitFor([&] { return notifier->Listening() || notifier->Ended(); }));
        hub.AddListener(notifier.get());
    }
    void TearDown() override
    {
        if (notifier) {
            hub.RemoveListener(notifier.get());
            notifier->Stop();
        }
        notifier.reset();
        stub.reset();
    }
    int NotesWith(const std::string& part)
    {
        std::lock_guard<std::mutex> g(noteLock);
        int n = 0;
        for (const std::string& l : notes)
            n += l.find(part) != std::string::npos;
        return n;
    }

    kvtest::TempSettings settings;
    std::unique_ptr<kvtest::PrivateBus> bus;
    std::unique_ptr<ServerStub> stub;
    std::unique_ptr<CDesktopNotifier> notifier;
    kv::COwnerHub hub;
    FakeActions actions;
    FakeUi ui;
    std::mutex noteLock;
    std::vector<std::string> notes;
};

TEST_F(Notifications, EachEventIsSentWithItsCategoryHintsAndActions)
{
    StartStub();
    StartNotifier(&ui);
    hub.Publish(Sms("+15551230001", "Alice", "\n  Lunch <at> 12 & on time?\nsecond line", 4));
    hub.Publish(Sms("+15551230002", "", "Who is this", 5));
    hub.Publish(Of(kv::OwnerEventKind::CallIncoming, "", "+15551230003"));
    hub.Publish(Of(kv::OwnerEventKind::CallMissed, "", "+15551230004"));
    kv::OwnerEvent quota = Of(kv::OwnerEventKind::QuotaWarning, "The data of this billing cycle has reached 80 %");
    quota.percent = 80;
    hub.Publish(quota);
    // One at a time, as a link comes and goes.
    size_t count = 5;
    for (kv::OwnerEventKind k : {kv::OwnerEventKind::ConnectionUp, kv::OwnerEventKind::ConnectionDown,
                                 kv::OwnerEventKind::ConnectionFailed, kv::OwnerEventKind::ModemRemoved,
                                 kv::OwnerEventKind::ModemAdded}) {
        ASSERT_TRUE(stub->WaitNotifies(count));
        hub.Publish(Of(k, k == kv::OwnerEventKind::ConnectionUp ? "Connected at 153.6 kbit/s" : "text"));
        ++count;
    }
    ASSERT_TRUE(stub->WaitNotifies(10));
    const std::vector<json> n = stub->Records("Notify");
    ASSERT_EQ(n.size(), 10u);

    for (const json& j : n) {
        EXPECT_EQ(j["app_name"], "Korvianet");
        EXPECT_EQ(j["hints"]["desktop-entry"], "org.korvianet.Korvianet");
    }
    // The stub reads markup: the SMS's own '<', '&' stay text.
    EXPECT_EQ(n[0]["summary"], "Alice");
    EXPECT_EQ(n[0]["body"], "Lunch &lt;at&gt; 12 &amp; on time?");
    EXPECT_EQ(n[0]["hints"]["category"], "im.received");
    EXPECT_EQ(n[0]["actions"], json({"reply", "Reply", "mark-read", "Mark read"}));
    EXPECT_EQ(n[1]["summary"], "+15551230002");

    EXPECT_EQ(n[2]["hints"]["category"], "call.incoming");
    EXPECT_EQ(n[2]["actions"], json({"answer", "Answer", "decline", "Decline"}));
    EXPECT_EQ(n[2]["hints"]["urgency"], 2);
    EXPECT_EQ(n[2]["expire"], 0);
    EXPECT_EQ(n[3]["summary"], "Missed call");
    EXPECT_EQ(n[4]["summary"], "Data quota 80 % used");
    EXPECT_EQ(n[4]["body"], "The data of this billing cycle has reached 80 %");

    EXPECT_EQ(n[5]["hints"]["category"], "network.connected");
    EXPECT_EQ(n[5]["body"], "Connected at 153.6 kbit/s");
    EXPECT_EQ(n[6]["hints"]["category"], "network.disconnected");
    EXPECT_EQ(n[7]["hints"]["category"], "network.error");
    // Each connection notice takes the place of the one before.
    EXPECT_EQ(n[5]["replaces_id"], 0);
    EXPECT_EQ(n[6]["replaces_id"], n[5]["id"]);
    EXPECT_EQ(n[7]["replaces_id"], n[6]["id"]);
    EXPECT_EQ(n[8]["hints"]["category"], "device.removed");
    EXPECT_EQ(n[9]["hints"]["category"], "device.added");
    EXPECT_EQ(n[9]["replaces_id"], n[8]["id"]);
}

TEST_F(Notifications, ABurstOfConnectionNoticesReplacesRatherThanStacks)
{
    StartStub();
    StartNotifier(&ui);
    for (int i = 0; i < 4; ++i) {
        hub.Publish(Of(kv::OwnerEventKind::ConnectionUp, "up"));
        hub.Publish(Of(kv::OwnerEventKind::ConnectionDown, "down"));
    }
    hub.Publish(Of(kv::OwnerEventKind::ConnectionFailed, "failed"));
    ASSERT_TRUE(WaitFor([&] {
        const auto n = stub->Records("Notify");
        return !n.empty() && n.back()["hints"]["category"] == "network.error";
    }));
    kv::SleepMs(200);
    const std::vector<json> n = stub->Records("Notify");
    EXPECT_EQ(n.back()["body"], "failed");
    for (size_t i = 1; i < n.size(); ++i)
        EXPECT_EQ(n[i]["replaces_id"], n[i - 1]["id"]) << i;
}

TEST_F(Notifications, ActionsReachTheOwnerAndTheCallNoticeCloses)
{
    StartStub();
    StartNotifier(&ui);
    hub.Publish(Sms("+15551230001", "Alice", "Call me", 7));
    hub.Publish(Of(kv::OwnerEventKind::CallIncoming, "", "+15551230003"));
    ASSERT_TRUE(stub->WaitNotifies(2));
    const std::vector<json> n = stub->Records("Notify");
    const uint32_t sms = n[0]["id"], call = n[1]["id"];

    ASSERT_TRUE(stub->Invoke(sms, "reply"));
    ASSERT_TRUE(WaitFor([&] { return !ui.Replies().empty(); }));
    EXPECT_EQ(ui.Replies(), std::vector<std::string>{"+15551230001"});
    ASSERT_TRUE(stub->Invoke(sms, "mark-read"));
    ASSERT_TRUE(stub->Invoke(call, "answer"));
    ASSERT_TRUE(stub->Invoke(call, "decline"));
    // An action of another program's notification, or a key we never
    // offered, does nothing.
    ASSERT_TRUE(stub->Invoke(9999, "answer"));
    ASSERT_TRUE(stub->Invoke(sms, "answer"));
    ASSERT_TRUE(WaitFor([&] { return actions.Calls().size() >= 3; }));
    kv::SleepMs(200);
    EXPECT_EQ(actions.Calls(), (std::vector<std::string>{"read 7", "answer", "hangup"}));

    // The call was answered: its notification goes, once.
    hub.Publish(Of(kv::OwnerEventKind::CallAnswered, "", "+15551230003"));
    hub.Publish(Of(kv::OwnerEventKind::CallEnded, "", "+15551230003"));
    ASSERT_TRUE(WaitFor([&] { return !stub->Records("CloseNotification").empty(); }));
    kv::SleepMs(200);
    const std::vector<json> closed = stub->Records("CloseNotification");
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0]["id"], call);
}

TEST_F(Notifications, AMissedCallClosesTheIncomingCallsNotice)
{
    StartStub();
    StartNotifier(&ui);
    hub.Publish(Of(kv::OwnerEventKind::CallIncoming, "", "+15551230003"));
    hub.Publish(Of(kv::OwnerEventKind::CallMissed, "", "+15551230003"));
    ASSERT_TRUE(stub->WaitNotifies(2));
    ASSERT_TRUE(WaitFor([&] { return !stub->Records("CloseNotification").empty(); }));
    EXPECT_EQ(stub->Records("CloseNotification")[0]["id"], stub->Records("Notify")[0]["id"]);
}

TEST_F(Notifications, WithoutAWindowThereIsNoReply)
{
    StartStub();
    StartNotifier(nullptr);
    hub.Publish(Sms("+15551230001", "", "Hello", 1));
    ASSERT_TRUE(stub->WaitNotifies(1));
    EXPECT_EQ(stub->Records("Notify")[0]["actions"], json({"mark-read", "Mark read"}));
}

TEST_F(Notifications, TheSettingOffSendsNothing)
{
    StartStub();
    ASSERT_TRUE(kvnotify::NotificationsOn()); // on by default
    ASSERT_TRUE(kvnotify::SetNotificationsOn(false));
    std::atomic<int> asked{0};
    StartNotifier(&ui, [&] {
        ++asked;
        return kvnotify::NotificationsOn();
    });
    hub.Publish(Sms("+15551230001", "", "Hello", 1));
    hub.Publish(Of(kv::OwnerEventKind::ConnectionUp, "up"));
    ASSERT_TRUE(WaitFor([&] { return asked.load() >= 2; }));
    ASSERT_TRUE(kvnotify::SetNotificationsOn(true));
    hub.Publish(Of(kv::OwnerEventKind::ModemRemoved));
    ASSERT_TRUE(stub->WaitNotifies(1));
    kv::SleepMs(200);
    const std::vector<json> n = stub->Records("Notify");
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0]["hints"]["category"], "device.removed");
}

TEST_F(Notifications, NoServiceIsLoggedOnceAndAServiceThatComesLaterIsUsed)
{
    StartNotifier(&ui);
    ASSERT_TRUE(notifier->Listening());
    for (int i = 0; i < 3; ++i)
        hub.Publish(Of(kv::OwnerEventKind::ConnectionUp, "up"));
    ASSERT_TRUE(WaitFor([&] { return NotesWith("no notification service") >= 1; }));
    kv::SleepMs(300);
    EXPECT_EQ(NotesWith("no notification service"), 1);

    StartStub();
    hub.Publish(Of(kv::OwnerEventKind::ConnectionDown, "down"));
    ASSERT_TRUE(stub->WaitNotifies(1));
    EXPECT_EQ(stub->Records("Notify")[0]["hints"]["category"], "network.disconnected");
}

TEST_F(Notifications, NoBusIsLoggedOnceAndNothingWaits)
{
    DesktopNotifierHooks hooks;
    hooks.note = [this](const std::string& l) {
        std::lock_guard<std::mutex> g(noteLock);
        notes.push_back(l);
    };
    notifier = std::make_unique<CDesktopNotifier>(&actions, &ui, hooks,
                                                  "unix:path=" + settings.Path("no-such-bus"));
    ASSERT_TRUE(notifier->Start());
    ASSERT_TRUE(WaitFor([&] { return notifier->Ended(); }));
    hub.AddListener(notifier.get());
    const int64_t t0 = kv::TickMs();
    for (int i = 0; i < 200; ++i)
        hub.Publish(Of(kv::OwnerEventKind::ConnectionUp, "up"));
    notifier->Stop();
    EXPECT_LT(kv::TickMs() - t0, 1000);
    EXPECT_EQ(NotesWith("no session bus"), 1);
    EXPECT_EQ(NotesWith("queue full"), 0);
}

} // namespace
