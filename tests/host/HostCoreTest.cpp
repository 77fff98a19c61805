// The host core against a fake adapter: what both the window and the
// headless host get from it.
#include "host/HostCore.h"

#include "engine/DmCodes.h"
#include "engine/DmTexts.h"
#include "host/HostTexts.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

using namespace kv;

namespace {

struct FakeView : IStatusView {
    void ShowIndicator(int id, bool show) override { shown[id] = show; }
    bool IndicatorShown(int id) const override
    {
        auto it = shown.find(id);
        return it != shown.end() && it->second;
    }
    void SetIndicatorBitmap(int, int) override {}
    void Beep() override {}
    std::string MessageLine() const override { return line; }
    void SetMessageLine(const std::string& text, bool) override { line = text; }
    std::map<int, bool> shown;
    std::string line;
};

struct FakeAdapter : IHostAdapter {
    void ScheduleTimer(uint32_t id, uint32_t) override { timers.insert(id); }
    void CancelTimer(uint32_t id) override { timers.erase(id); }
    bool ServeTimer(uint32_t id) override
    {
        if (!served.count(id))
            return false;
        servedFired.push_back(id);
        return true;
    }
    void CloseProgram() override { ++closes; }
    int ShowPage(int page, int) override
    {
        pages.push_back(page);
        return 1;
    }
    void RefuseBox(const std::string& text) override { boxes.push_back(text); }
    bool ReadPhonebook(uintptr_t word) override
    {
        reads.push_back(word);
        return readOk;
    }
    intptr_t OnUiRequest(uint32_t sub, intptr_t arg) override
    {
        uiRequests.emplace_back(sub, arg);
        return 7;
    }
    intptr_t OnMessage(uint32_t msg, uintptr_t, intptr_t) override
    {
        messages.push_back(msg);
        return 9;
    }

    std::set<uint32_t> timers, served;
    std::vector<uint32_t> servedFired;
    int closes = 0;
    std::vector<int> pages;
    std::vector<std::string> boxes;
    std::vector<uintptr_t> reads;
    bool readOk = true;
    std::vector<std::pair<uint32_t, intptr_t>> uiRequests;
    std::vector<uint32_t> messages;
};

// The engine's side is not used by these rules.
struct NoHost : IDmHost {
    ModemState st;
    ModemState& State() override { return st; }
    void SetIndicator(int, int) override {}
    void SetSignal(int, int) override {}
    void AppendMessageLine(const std::string&, bool) override {}
    void ShowControl(int, bool) override {}
    void SetLineText(int, const std::string&) override {}
    void EnableControl(int, bool) override {}
    void SetTextLimit(int) override {}
    void ResetDialPad() override {}
    void ResetSmsPage() override {}
    int UserActiveView(int, int) override { return 0; }
    void SetWaitCursor(bool) override {}
    void MessageBox(const std::string&, MsgIcon) override {}
    PinResult RunPinDialog(int) override { return PinResult::Cancel; }
    void EndModalDialog() override {}
    int RunTimedPopup(const std::string&, MsgIcon, int, int, bool) override { return 1; }
    void PostUserMessage(MsgTarget, uint32_t, uintptr_t, intptr_t) override {}
    intptr_t SendUserMessage(uint32_t, uintptr_t, intptr_t) override { return 0; }
    void StartTimer(uint32_t, uint32_t) override {}
    void KillTimer(uint32_t) override {}
    bool WaitPumping(const std::function<bool()>&, int64_t) override { return true; }
};

struct Events : IHostObserver {
    void OnStatusChanged(int id, int value) override { status.emplace_back(id, value); }
    void OnMessageLine(const std::string& text) override { lines.push_back(text); }
    void OnSmsArrived(int kind) override { sms.push_back(kind); }
    void OnCallState(int state) override { calls.push_back(state); }
    void OnConnectionState(int service) override { services.push_back(service); }
    void OnCloseRequested() override { ++closes; }
    std::vector<std::pair<int, int>> status;
    std::vector<std::string> lines;
    std::vector<int> sms, calls, services;
    int closes = 0;
};

class HostCoreTest : public ::testing::Test {
protected:
    NoHost host;
    FakeAdapter adapter;
    FakeView view;
    CHostCore core{host, adapter, view};
};

} // namespace

TEST_F(HostCoreTest, OnlyTheCallDurationAndTheAtPollRepeat)
{
    const uint32_t all[] = {TIMER_RESTORE_MESSAGE_LINE, TIMER_CALL_DURATION, TIMER_SMS_SEND_TIMEOUT,
                            TIMER_BACK_TO_STATUS, TIMER_CHARGE_BLINK, TIMER_CALL_START, TIMER_ENABLE_1007,
                            TIMER_AT_POLL, 4242};
    adapter.served = {TIMER_AT_POLL, TIMER_SMS_SEND_TIMEOUT, TIMER_ENABLE_1007};
    for (uint32_t id : all) {
        core.StartTimer(id, 100);
        core.OnTimer(id);
        const bool periodic = id == TIMER_CALL_DURATION || id == TIMER_AT_POLL;
        EXPECT_EQ(adapter.timers.count(id) != 0, periodic) << id;
    }
    // The host's own timers went to it, each once; the core's stayed here.
    EXPECT_EQ(adapter.servedFired,
              (std::vector<uint32_t>{TIMER_SMS_SEND_TIMEOUT, TIMER_ENABLE_1007, TIMER_AT_POLL}));
    EXPECT_EQ(core.State().m_ucCallSeconds.load(), 1); // the duration ticked
    EXPECT_NE(core.State().m_call.CallStart().tm_year, 0); // the call start was taken
}

TEST_F(HostCoreTest, CloseTimerStopsThePortThenClosesAndTells)
{
    Events ev;
    core.AddObserver(&ev);
    core.State().m_nPortState = 0;
    core.OnTimer(TIMER_CLOSE_PROGRAM);
    EXPECT_EQ(core.State().m_nPortState.load(), DM_STOPPED);
    EXPECT_EQ(adapter.closes, 1);
    EXPECT_EQ(ev.closes, 1);
}

TEST_F(HostCoreTest, UiRequestsGoToTheRegisteredHandlerThenTheCoreThenTheHost)
{
    EXPECT_EQ(core.OnUserMessage(UM_UI_REQUEST, UI_REQ_COMPOSE, 5), 7);
    EXPECT_EQ(core.OnUserMessage(UM_RING_START, 0, 0), 9);
    EXPECT_EQ(adapter.uiRequests, (std::vector<std::pair<uint32_t, intptr_t>>{{UI_REQ_COMPOSE, 5}}));
    EXPECT_EQ(adapter.messages, std::vector<uint32_t>{UM_RING_START});

    // A failed read leaves the storage unread and is tried again.
    adapter.readOk = false;
    core.OnUserMessage(UM_UI_REQUEST, UI_REQ_LOAD_PHONEBOOK, PB_STORAGE_WORD_RUIM);
    EXPECT_EQ(core.State().m_ucPbReadDone.load(), 0);
    EXPECT_EQ(core.State().m_ucUiFlags.load() & UIF_PB_RUIM_LOADED, 0);
    adapter.readOk = true;
    core.OnUserMessage(UM_UI_REQUEST, UI_REQ_LOAD_PHONEBOOK, PB_STORAGE_WORD_RUIM);
    core.OnUserMessage(UM_UI_REQUEST, UI_REQ_LOAD_PHONEBOOK, PB_STORAGE_WORD_RUIM); // read once
    core.OnUserMessage(UM_UI_REQUEST, UI_REQ_LOAD_PHONEBOOK, PB_STORAGE_WORD_MEMORY);
    EXPECT_EQ(adapter.reads, (std::vector<uintptr_t>{PB_STORAGE_WORD_RUIM, PB_STORAGE_WORD_RUIM,
                                                     PB_STORAGE_WORD_MEMORY}));
    EXPECT_EQ(core.State().m_ucPbReadDone.load(), kPbReadRuim | kPbReadMemory);
    EXPECT_EQ(core.State().m_ucUiFlags.load() & (UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED),
              UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED);

    // A registered handler replaces both.
    core.RegisterUiRequest(UI_REQ_LOAD_PHONEBOOK, [](intptr_t arg) { return arg + 1; });
    EXPECT_EQ(core.OnUserMessage(UM_UI_REQUEST, UI_REQ_LOAD_PHONEBOOK, 41), 42);
    EXPECT_EQ(adapter.reads.size(), 3u);
}

TEST_F(HostCoreTest, LookupAnswersWithANameOrNothing)
{
    EXPECT_EQ(core.LookupName("6195550199"), std::nullopt); // no phonebook
    core.SetLookupNameHandler([](const std::string& n) -> std::optional<std::string> {
        if (n == "1")
            return "Alice";
        if (n == "2")
            return std::string();
        return std::nullopt;
    });
    EXPECT_EQ(core.LookupName("1"), "Alice");
    EXPECT_EQ(core.LookupName("2"), std::nullopt); // an empty name is nobody
    EXPECT_EQ(core.LookupName("3"), std::nullopt);
}

TEST_F(HostCoreTest, PagesNeedAnOpenPortAndCallsAndMessagesNeedMoreThanEvdo)
{
    core.State().m_nPortState = DM_STOPPED;
    EXPECT_EQ(core.UserActiveView(VIEW_DIAL_PAD, 0), 0);
    EXPECT_EQ(core.UserActiveView(VIEW_SETTINGS, 0), 1); // no modem needed
    EXPECT_EQ(core.UserActiveView(VIEW_TRAFFIC, 0), 1);
    core.State().m_nPortState = DM_END_WORK;
    EXPECT_EQ(core.UserActiveView(VIEW_SMS, 0), 0); // ending: silently
    EXPECT_EQ(adapter.boxes, std::vector<std::string>{dmtext::kPortNotOpened});

    core.State().m_nPortState = 0;
    core.State().m_ucServiceState = SERVICE_EVDO;
    adapter.boxes.clear();
    EXPECT_EQ(core.UserActiveView(VIEW_SMS, 1), 0);
    EXPECT_EQ(adapter.boxes, std::vector<std::string>{hosttext::kNoSmsEvdoOnly});
    EXPECT_TRUE(adapter.timers.count(TIMER_BACK_TO_STATUS));
    EXPECT_EQ(adapter.pages, (std::vector<int>{VIEW_SETTINGS, VIEW_TRAFFIC}));

    // The timer brings the status page back, unless it is shown already.
    core.State().m_nActiveView = VIEW_SETTINGS;
    core.OnTimer(TIMER_BACK_TO_STATUS);
    core.State().m_nActiveView = VIEW_STATUS;
    core.OnTimer(TIMER_BACK_TO_STATUS);
    EXPECT_EQ(adapter.pages, (std::vector<int>{VIEW_SETTINGS, VIEW_TRAFFIC, VIEW_STATUS}));
}

TEST_F(HostCoreTest, ObserversHearChangesNotRepeats)
{
    Events ev, gone;
    core.AddObserver(&ev);
    core.AddObserver(&ev); // once is enough
    core.AddObserver(&gone);
    core.RemoveObserver(&gone);

    core.SetIndicator(IND_SMS, 1);
    core.SetIndicator(IND_SMS, 1);
    core.SetIndicator(IND_SMS, 0);
    core.SetIndicator(IND_SMS, 2);
    EXPECT_EQ(ev.sms, (std::vector<int>{1, 2}));

    core.SetIndicator(IND_CALL, 0x81);
    core.SetIndicator(IND_CALL, 0x81);
    core.SetIndicator(IND_CALL, 0x80);
    EXPECT_EQ(ev.calls, (std::vector<int>{0x81, 0x80}));

    core.SetIndicator(IND_SERVICE, SERVICE_EVDO);
    EXPECT_EQ(ev.services, std::vector<int>{SERVICE_EVDO});
    EXPECT_EQ(ev.status.size(), 8u);

    core.AppendMessageLine("Alice\n6195550199", true);
    ASSERT_EQ(ev.lines.size(), 1u);
    EXPECT_EQ(ev.lines[0], view.line);
    EXPECT_TRUE(gone.status.empty() && gone.lines.empty());
}
