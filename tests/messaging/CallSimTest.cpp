// Voice calls against the simulated modem: the engine's call commands, the
// poll's call supervision and the history rows they leave, driven the way
// the dial pad drives them.
#include "SimFixture.h"

#include "engine/DmCall.h"
#include "platform/Event.h"
#include "settings/Profile.h"

#include <chrono>
#include <regex>
#include <sqlite3.h>
#include <algorithm>
#include <cstdio>

using namespace kv;

namespace kvtest {

class CallSimTest : public SimFixture {
protected:
    void Begin(const std::function<void(sim::ModemModel&)>& seed = {})
    {
        StartSim([&](sim::ModemModel& m) {
            m.call.answerDelayMs = 300;
            m.call.releaseMs = 400;
            if (seed)
                seed(m);
        });
        ASSERT_TRUE(StartSession(false));
        ModemState& st = State();
        // The dial pad is the page shown; both phonebooks count as loaded.
        st.m_nActiveView = VIEW_DIAL_PAD;
        st.m_ucUiFlags |= UIF_PB_RUIM_LOADED | UIF_PB_MEMORY_LOADED;
        Call().SetPauseKeyDelayMs(20);
        // The first polls put up the idle line; calls come after that.
        ASSERT_TRUE(Until([&] { return Host().Indicator(IND_MESSAGE_LINE) == 2; }, 5000));
    }
    ModemState& State() { return m_session->Host().State(); }
    CDmEngine& Engine() { return m_session->Engine(); }
    CDmCall& Call() { return m_session->Call(); }
    CHeadlessHost& Host() { return m_session->Host(); }
    std::string Line() { return Host().MessageLine(); }
    bool Idle() { return State().m_wUiPhase.load() == UI_PHASE_IDLE; }
    bool Conversation() { return (State().m_ucCallFlags.load() & 0x01) != 0; }
    int Posted(uint32_t msg)
    {
        int n = 0;
        for (const auto& p : Host().Posted())
            n += p.msg == msg;
        return n;
    }
    std::vector<std::string> SimHistory()
    {
        return m_sim->WithModel([](sim::ModemModel& m) { return m.call.History(); });
    }
    std::string Row(const std::string& where, const char* column)
    {
        std::string out;
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(DbPath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            const std::string sql = std::string("SELECT ") + column + " FROM tealfin_vcall WHERE " + where;
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
                if (const unsigned char* t = sqlite3_column_text(st, 0))
                    out = reinterpret_cast<const char*>(t);
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
        return out;
    }
};

TEST_F(CallSimTest, OutgoingCallThroughConversationToReleaseLeavesKindOne)
{
    Begin();
    ASSERT_EQ(QueueDial(Engine(), "5551234"), 1);
    ASSERT_TRUE(Until([&] { return Conversation(); }));
    EXPECT_EQ(State().m_wUiPhase.load(), UI_PHASE_OUTGOING);
    EXPECT_TRUE(Host().TimerActive(TIMER_CALL_DURATION));
    EXPECT_EQ(Host().Indicator(IND_CALL), 0x80);
    // A second dial while the call runs does nothing.
    QueueDial(Engine(), "999");
    // Two seconds of conversation counted by timer 104.
    ASSERT_TRUE(Until([&] { return State().m_ucCallSeconds.load() >= 2; }, 5000));
    ASSERT_EQ(QueueCallKey(Engine(), CALL_KEY_END), 1);
    ASSERT_TRUE(Until([&] { return Count("tealfin_vcall") == 1 && Idle(); }));
    EXPECT_FALSE(Host().TimerActive(TIMER_CALL_DURATION));
    EXPECT_EQ(Count("tealfin_vcall", "storage_type=1 AND phone_number='5551234'"), 1);
    EXPECT_TRUE(std::regex_match(Row("1", "time"), std::regex(R"(\(\d{4}/\d\d/\d\d/[A-Za-z]+-\d\d:\d\d\))")))
        << Row("1", "time");
    const std::string dur = Row("1", "call_time");
    EXPECT_TRUE(std::regex_match(dur, std::regex(R"(00:00:0[2-9])"))) << dur;
    EXPECT_EQ(Row("1", "\"index\""), "1");
    EXPECT_EQ(GetProfileString("history_num", "num", "", 16, "teal_dialer.ini"), "1");
    const auto hist = SimHistory();
    ASSERT_FALSE(hist.empty());
    EXPECT_EQ(hist.back(), "out 5551234 ended");
    EXPECT_EQ(std::count_if(hist.begin(), hist.end(), [](const std::string& h) { return h.rfind("out 999", 0) == 0; }), 0);
}

TEST_F(CallSimTest, IncomingCallRingsIsAnsweredByAnyKeyAndLeavesKindTwo)
{
    Sql("INSERT INTO tealfin_pbook (storage_type, \"index\", name, phone_number) VALUES (1, 1, 'Alice Pb', '6195550199')");
    Begin();
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(m_sim->Command("call 6195550199 Alice"), "OK\n");
    ASSERT_TRUE(Until([&] { return Line().find("6195550199") != std::string::npos && Posted(UM_RING_START) == 1; }));
    const auto shownMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    RecordProperty("incoming_display_ms", int(shownMs));
    std::printf("incoming call shown after %lld ms\n", static_cast<long long>(shownMs));
    EXPECT_EQ(Line(), "Alice Pb\n6195550199");
    EXPECT_EQ(State().m_wUiPhase.load(), UI_PHASE_INCOMING);
    EXPECT_TRUE(State().m_call.m_bRinging.load());
    // The engine brings the window to the front just after it asked for the ring.
    EXPECT_TRUE(Until([&] { return Posted(UM_BRING_TO_FRONT) >= 1; }, 2000));
    // Ringing: the call indicator blinks.
    ASSERT_TRUE(Until([&] { return State().m_ucLastCallState.load() == 0x85; }));
    // '5' answers.
    ASSERT_EQ(QueueCallKey(Engine(), '5'), 1);
    ASSERT_TRUE(Until([&] { return Conversation(); }));
    EXPECT_GE(Posted(UM_RING_STOP), 1);
    EXPECT_FALSE(State().m_call.m_bRinging.load());
    ASSERT_EQ(m_sim->Command("hangup"), "OK\n");
    ASSERT_TRUE(Until([&] { return Count("tealfin_vcall") == 1 && Idle(); }));
    EXPECT_EQ(Count("tealfin_vcall", "storage_type=2 AND phone_number='6195550199' AND name='Alice Pb'"), 1);
}

// A call refused with END and the next call coming in before the engine
// polled again: the modem reports only the newest event, so the end of the
// refused call is never seen. The new call still rings and shows, and the
// refused call keeps its history row.
TEST_F(CallSimTest, ACallRightAfterARefusedOneRingsAgain)
{
    Begin([](sim::ModemModel& m) { m.call.releaseMs = 0; });
    ASSERT_EQ(m_sim->Command("call 6195550155"), "OK\n");
    ASSERT_TRUE(Until([&] { return Posted(UM_RING_START) == 1 && State().m_ucLastCallState.load() == 0x85; }));
    ASSERT_EQ(QueueCallKey(Engine(), CALL_KEY_END), 1);
    ASSERT_TRUE(Until([&] {
        const auto h = SimHistory();
        return !h.empty() && h.back() == "in 6195550155 rejected";
    }));
    ASSERT_EQ(m_sim->Command("call 6195550166"), "OK\n");
    ASSERT_TRUE(Until([&] { return Line() == "\n6195550166" && Posted(UM_RING_START) == 2; }))
        << "[" << Line() << "] rings " << Posted(UM_RING_START);
    EXPECT_TRUE(State().m_call.m_bRinging.load());
    EXPECT_EQ(State().m_wUiPhase.load(), UI_PHASE_INCOMING);
    EXPECT_EQ(Count("tealfin_vcall", "storage_type=2 AND phone_number='6195550155'"), 1);
    // The new call goes on as usual.
    ASSERT_TRUE(Until([&] { return State().m_ucLastCallState.load() == 0x85; }));
    ASSERT_EQ(QueueCallKey(Engine(), CALL_KEY_SEND), 1);
    ASSERT_TRUE(Until([&] { return Conversation(); }));
    EXPECT_FALSE(State().m_call.m_bRinging.load());
}

TEST_F(CallSimTest, UnansweredCallIsAMissedCallOfKindThree)
{
    Begin([](sim::ModemModel& m) { m.call.ringTimeoutMs = 600; });
    ASSERT_EQ(m_sim->Command("call 6195550111"), "OK\n");
    // The missed-call report stops the ring and shows the notice.
    ASSERT_TRUE(Until([&] { return Line().find("Missed call") != std::string::npos && Idle()
                                   && !State().m_call.m_bRinging.load(); }));
    EXPECT_EQ(Line(), "Missed call\n6195550111");
    EXPECT_GE(Posted(UM_RING_STOP), 1);
    ASSERT_TRUE(Until([&] { return Count("tealfin_vcall", "storage_type=3") == 1; }));
    EXPECT_EQ(Count("tealfin_vcall", "phone_number='6195550111'"), 1);
    // Release and the next polls keep the notice and write nothing more.
    Host().PumpFor(1500);
    EXPECT_EQ(Line(), "Missed call\n6195550111");
    EXPECT_EQ(Count("tealfin_vcall"), 1);
}

TEST_F(CallSimTest, ANewMessageAfterAMissedCallIsWhatTheMessageLineShows)
{
    Begin([](sim::ModemModel& m) { m.call.ringTimeoutMs = 600; });
    ASSERT_EQ(m_sim->Command("call 6195550111"), "OK\n");
    ASSERT_TRUE(Until([&] { return Line() == "Missed call\n6195550111" && Idle(); }));
    const int fronts = Posted(UM_BRING_TO_FRONT);
    // The window comes to the front for the message (from the tray too):
    // the line tells of the message, not of the earlier call.
    ASSERT_EQ(m_sim->Command("sms 6195550122 hello"), "OK\n");
    ASSERT_TRUE(Until([&] { return Posted(UM_BRING_TO_FRONT) > fronts; }));
    EXPECT_EQ(Line(), "\nNew message");
    // The idle updates of the next polls leave the notice.
    Host().PumpFor(1500);
    EXPECT_EQ(Line(), "\nNew message");
    // A call replaces it as usual.
    ASSERT_EQ(m_sim->Command("call 6195550133"), "OK\n");
    ASSERT_TRUE(Until([&] { return Line() == "\n6195550133"; })) << Line();
}

TEST_F(CallSimTest, RestrictedAndUnavailableCallersAreNamedAndMissedAsSuch)
{
    Begin();
    ASSERT_EQ(m_sim->Command("call-restricted"), "OK\n");
    ASSERT_TRUE(Until([&] { return Line() == "Restricted"; }));
    EXPECT_EQ(Posted(UM_RING_START), 1);
    {
        std::lock_guard<std::mutex> g(State().m_textLock);
        EXPECT_EQ(State().m_strCallName[0], "Restricted");
        EXPECT_EQ(State().m_strCallNumber[0], "");
    }
    ASSERT_EQ(m_sim->Command("hangup"), "OK\n");
    ASSERT_TRUE(Until([&] { return Line() == "Missed call\nRestricted"; }));
    ASSERT_TRUE(Until([&] { return Count("tealfin_vcall", "storage_type=3 AND phone_number='Unknown'") == 1; }));
    ASSERT_TRUE(Until([&] { return m_sim->WithModel([](sim::ModemModel& m) { return !m.call.InCall(); }); }));

    ASSERT_EQ(m_sim->Command("call-unavailable"), "OK\n");
    ASSERT_TRUE(Until([&] { return Line() == "Unavailable"; }));
    ASSERT_TRUE(Until([&] { return State().m_ucLastCallState.load() == 0x85; }));
    ASSERT_EQ(QueueCallKey(Engine(), CALL_KEY_END), 1); // rejected
    ASSERT_TRUE(Until([&] { return Idle(); }));
    EXPECT_EQ(GetProfileString("call_id", "num", "x", 16, "teal_dialer.ini"), "");
}

TEST_F(CallSimTest, WaitingCallSwitchesWithSendAndFallsBackAfterItsTimeout)
{
    Begin([](sim::ModemModel& m) { m.call.waitingTimeoutMs = 600; });
    State().m_call.m_dwWaitingTimeoutMs = 400;
    ASSERT_EQ(QueueDial(Engine(), "5551234"), 1);
    ASSERT_TRUE(Until([&] { return Conversation(); }));
    ASSERT_EQ(m_sim->Command("call 6195550122 Bob"), "OK\n");
    ASSERT_TRUE(Until([&] { return CallWaitingActive(State()); }));
    EXPECT_TRUE(Host().TimerActive(TIMER_WAITING_CALL));
    EXPECT_EQ(Line(), "Bob\n6195550122");
    // Not taken: the display goes back to the first call.
    ASSERT_TRUE(Until([&] { return !CallWaitingActive(State()); }, 3000));
    EXPECT_EQ(State().m_ucCallListIndex.load(), 1);
    EXPECT_EQ(Line(), "\n5551234");
    EXPECT_EQ(Host().Indicator(IND_CALL), 0x80);

    // A second waiting call refused with Clear.
    State().m_call.m_dwWaitingTimeoutMs = 60000;
    ASSERT_TRUE(Until([&] { return m_sim->WithModel([](sim::ModemModel& m) { return m.call.Waiting() == nullptr; }); }));
    m_sim->WithModel([](sim::ModemModel& m) { m.call.waitingTimeoutMs = -1; });
    ASSERT_EQ(m_sim->Command("call 6195550133 Carol"), "OK\n");
    ASSERT_TRUE(Until([&] { return CallWaitingActive(State()); }));
    EXPECT_TRUE(ClearWaitingCall(Host()));
    EXPECT_FALSE(Host().TimerActive(TIMER_WAITING_CALL));
    EXPECT_EQ(State().m_ucCallListActive.load(), 1);
    EXPECT_FALSE(CallWaitingActive(State()));
    EXPECT_FALSE(ClearWaitingCall(Host()));
    QueueCallKey(Engine(), CALL_KEY_END);
    ASSERT_TRUE(Until([&] { return Idle(); }));
}

TEST_F(CallSimTest, SendDuringTheCallSendsTheDigitsAfterEachPause)
{
    Begin();
    ASSERT_EQ(QueueDial(Engine(), "5551234p123p45"), 1);
    ASSERT_TRUE(Until([&] { return Conversation(); }));
    ASSERT_TRUE(Until([&] { return State().m_ucLastCallState.load() == 0x86; }));
    EXPECT_EQ(SimHistory().front(), "out 5551234 answered");
    ASSERT_EQ(QueueCallKey(Engine(), CALL_KEY_SEND), 1);
    ASSERT_TRUE(Until([&] { return Line() == "dtmf:45"; }));
    ASSERT_EQ(QueueCallKey(Engine(), CALL_KEY_SEND), 1);
    ASSERT_TRUE(Until([&] { return State().m_call.PausesEmpty() && Line().empty(); }));
    auto dtmf = m_sim->WithModel([](sim::ModemModel& m) { return m.call.Dtmf(); });
    ASSERT_EQ(dtmf.size(), 1u);
    EXPECT_EQ(dtmf[0], "12345");
    EXPECT_TRUE(Conversation()); // SEND itself was never sent
}

TEST_F(CallSimTest, WithoutAUsableCardOnlyEmergencyNumbersAreDialled)
{
    Begin();
    State().m_ucCardFlags |= CARDF_NO_CARD;
    ASSERT_EQ(QueueDial(Engine(), "5551234"), 1);
    ASSERT_TRUE(Until([&] { return Line() == "\nNo Emergency\nNumber"; }));
    Host().PumpFor(500);
    EXPECT_TRUE(SimHistory().empty());
    EXPECT_TRUE(Idle());
    ASSERT_EQ(QueueDial(Engine(), "911"), 1);
    ASSERT_TRUE(Until([&] { return Conversation(); }));
    EXPECT_EQ(GetProfileInt("emg_call", "num", 0, "teal_dialer.ini"), 1);
    EXPECT_TRUE(State().m_ucCardFlags.load() & CARDF_EMERGENCY_CALL);
    // An emergency call leaves no history row (no card: nothing shown).
    QueueCallKey(Engine(), CALL_KEY_END);
    ASSERT_TRUE(Until([&] { return Idle(); }));
}

TEST_F(CallSimTest, EndingTheProgramDuringACallEndsTheCall)
{
    Begin();
    ASSERT_EQ(QueueDial(Engine(), "5551234"), 1);
    ASSERT_TRUE(Until([&] { return State().m_ucLastCallState.load() == 0x86; }));
    StopSession();
    auto hist = SimHistory();
    ASSERT_FALSE(hist.empty());
    EXPECT_EQ(hist.back(), "out 5551234 ended");
}

TEST_F(CallSimTest, ServiceNumbersLeaveNoHistory)
{
    Begin();
    ASSERT_EQ(QueueDial(Engine(), "*22899"), 1);
    ASSERT_TRUE(Until([&] { return Conversation(); }));
    QueueCallKey(Engine(), CALL_KEY_END);
    ASSERT_TRUE(Until([&] { return Idle(); }));
    Host().PumpFor(1200);
    EXPECT_EQ(Count("tealfin_vcall"), 0);
}

} // namespace kvtest

namespace kvtest {

TEST_F(CallSimTest, VolumeButtonsChangeTheModemLevelWithinBounds)
{
    Begin([](sim::ModemModel& m) { m.idleVolume = 3; });
    ASSERT_EQ(State().m_ucIdleVolume.load(), 3);
    ASSERT_TRUE(RequestVolumeChange(Engine(), true));
    EXPECT_FALSE(Host().ControlEnabled(IDC_VOLUME_UP));
    ASSERT_TRUE(Until([&] { return Host().ControlEnabled(IDC_VOLUME_UP) && Host().ControlEnabled(IDC_VOLUME_DOWN); }));
    EXPECT_EQ(State().m_ucIdleVolume.load(), 4);
    EXPECT_EQ(Host().Indicator(IND_EAR_VOLUME), 4);
    EXPECT_EQ(m_sim->WithModel([](sim::ModemModel& m) { return m.idleVolume; }), 4);
    EXPECT_FALSE(RequestVolumeChange(Engine(), true)); // 4 is the top
}

TEST_F(CallSimTest, HistoryRowsCarryTheirTimeDurationAndRunningNumber)
{
    Begin();
    ModemState& st = State();
    std::tm start{};
    start.tm_year = 2026 - 1900;
    start.tm_mon = 2;
    start.tm_mday = 2;
    start.tm_hour = 9;
    start.tm_min = 5;
    st.m_call.SetCallStart(start);
    st.m_call.m_dwDays = 1;
    st.m_ucCallSeconds = 5;
    st.m_call.SetTexts(CallTexts{});
    EXPECT_EQ(m_session->History().OnCallDisplay(3), 1);
    EXPECT_EQ(Row("phone_number='Unknown'", "time"), "(2026/03/02/Monday-09:05)");
    // A day is not lost: the hours keep counting.
    EXPECT_EQ(Row("phone_number='Unknown'", "call_time"), "24:00:05");
    EXPECT_EQ(CallDurationSeconds(st), 0);

    CallTexts t;
    t.callerNumber = "6195550144";
    t.callerName = "NET NAME";
    st.m_call.SetTexts(t);
    EXPECT_EQ(m_session->History().OnCallDisplay(2), 1);
    EXPECT_EQ(Row("phone_number='6195550144'", "name"), "NET NAME");
    EXPECT_EQ(Row("phone_number='6195550144'", "\"index\""), "2");
    EXPECT_EQ(Row("phone_number='6195550144'", "call_time"), "00:00:00");
    // Show-only and no-card requests write nothing.
    EXPECT_EQ(m_session->History().OnCallDisplay(kCallDisplayShow), 0);
    EXPECT_EQ(m_session->History().OnCallDisplay(kCallDisplayNoCard), 0);
    EXPECT_EQ(Count("tealfin_vcall"), 2);
}

} // namespace kvtest

namespace kvtest {

// How long after the modem raises a call the caller is on the message line
// and the ring is asked for: printed (and recorded as a test property), not
// asserted.
TEST_F(CallSimTest, IncomingCallDisplayDelayIsMeasured)
{
    Begin();
    std::vector<long long> delays;
    for (int i = 0; i < 5; ++i) {
        // Calls come at different points of the poll cycle.
        Until([] { return false; }, 90 * i);
        const int ringsBefore = Posted(UM_RING_START);
        const std::string number = "61955502" + std::to_string(10 + i);
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(m_sim->Command("call " + number), "OK\n");
        ASSERT_TRUE(Until([&] { return Line() == "\n" + number && Posted(UM_RING_START) > ringsBefore; })) << "[" << Line() << "] rings " << Posted(UM_RING_START) - ringsBefore << " call " << i << " phase " << State().m_wUiPhase.load() << " flags " << int(State().m_ucCallFlags.load()) << " last " << int(State().m_ucLastCallState.load());
        delays.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
        ASSERT_TRUE(Until([&] { return State().m_ucLastCallState.load() == 0x85; }));
        QueueCallKey(Engine(), CALL_KEY_END);
        ASSERT_TRUE(Until([&] { return Idle(); }));
        ASSERT_TRUE(Until([&] { return m_sim->WithModel([](sim::ModemModel& m) { return !m.call.InCall(); }); }));
    }
    std::sort(delays.begin(), delays.end());
    std::printf("incoming call to number shown and ring started: min %lld ms, median %lld ms, max %lld ms "
                "(engine cycle pause %u ms)\n",
                delays.front(), delays[2], delays.back(), unsigned(State().m_dwWait.load()));
    RecordProperty("display_delay_max_ms", int(delays.back()));
}

} // namespace kvtest

namespace kvtest {

// After an emergency call without a card, the next start writes the stored
// preferred mode back to the modem and clears the mark.
TEST_F(CallSimTest, StartAfterAnEmergencyCallRestoresThePreferredMode)
{
    m_cfg.WriteFile("teal_dialer.ini", "[emg_call]\nnum=1\n");
    Begin();
    EXPECT_EQ(GetProfileInt("emg_call", "num", -1, "teal_dialer.ini"), 0);
    const int stored = GetProfileInt("pref_mode", "num", -1, "teal_dialer.ini");
    ASSERT_GE(stored, 0);
    EXPECT_EQ(m_sim->WithModel([](sim::ModemModel& m) { return int(m.prefMode); }), stored);
}

} // namespace kvtest

namespace kvtest {

// A call that rings and ends between two polls: the modem reports only the
// missed call, never its ring. Its history row names its own caller and
// carries its own time, in a fresh session as after an earlier call.
TEST_F(CallSimTest, AMissedCallSeenOnlyAsMissedRecordsItsOwnCallerAndTime)
{
    Begin();
    auto ringAndEndAtOnce = [&](const std::string& number) {
        m_sim->WithModel([&](sim::ModemModel& m) {
            const int64_t now = TickMs();
            m.IncomingCall(number, "", sim::kPresentAllowed, now);
            m.call.RemoteHangup(now);
        });
    };
    const std::string year = std::to_string(1900 + [] {
        const std::time_t now = std::time(nullptr);
        std::tm t{};
        localtime_r(&now, &t);
        return t.tm_year;
    }());

    ringAndEndAtOnce("5554444");
    ASSERT_TRUE(Until([&] { return Count("tealfin_vcall", "storage_type=3") == 1; }));
    EXPECT_EQ(Count("tealfin_vcall", "storage_type=3 AND phone_number='5554444'"), 1);
    EXPECT_EQ(Row("phone_number='5554444'", "time").substr(0, 5), "(" + year);

    // An earlier call of the session, placed and ended; its start lies
    // long ago for this test, so that a borrowed time shows.
    ASSERT_EQ(QueueDial(Engine(), "5553333"), 1);
    ASSERT_TRUE(Until([&] { return Conversation(); }));
    ASSERT_EQ(QueueCallKey(Engine(), CALL_KEY_END), 1);
    ASSERT_TRUE(Until([&] { return Count("tealfin_vcall", "storage_type=1") == 1 && Idle(); }));
    std::tm old{};
    old.tm_year = 2001 - 1900;
    old.tm_mday = 1;
    State().m_call.SetCallStart(old);
    ASSERT_TRUE(Until([&] { return m_sim->WithModel([](sim::ModemModel& m) { return !m.call.InCall(); }); }));

    ringAndEndAtOnce("5556666");
    ASSERT_TRUE(Until([&] { return Count("tealfin_vcall", "storage_type=3") == 2; }));
    EXPECT_EQ(Count("tealfin_vcall", "storage_type=3 AND phone_number='5556666'"), 1);
    EXPECT_EQ(Count("tealfin_vcall", "phone_number='5553333'"), 1);
    EXPECT_EQ(Row("phone_number='5556666'", "time").substr(0, 5), "(" + year);
    EXPECT_EQ(Row("phone_number='5556666'", "call_time"), "00:00:00");
    EXPECT_EQ(Line(), "Missed call\n5556666");
}

// A modem that shows the release for one status record and reports the end
// only with the idle record after it: the finished call still reaches the
// history, placed or answered.
TEST_F(CallSimTest, ACallWhoseEndComesWithTheIdleStateStillReachesTheHistory)
{
    Begin([](sim::ModemModel& m) { m.call.releaseStatusRecords = 1; });
    ASSERT_EQ(QueueDial(Engine(), "5551234"), 1);
    ASSERT_TRUE(Until([&] { return Conversation(); }));
    ASSERT_EQ(QueueCallKey(Engine(), CALL_KEY_END), 1);
    ASSERT_TRUE(Until([&] { return Count("tealfin_vcall", "storage_type=1 AND phone_number='5551234'") == 1; }));

    ASSERT_TRUE(Until([&] { return m_sim->WithModel([](sim::ModemModel& m) { return !m.call.InCall(); }); }));
    ASSERT_EQ(m_sim->Command("call 6195550177 Dora"), "OK\n");
    ASSERT_TRUE(Until([&] { return State().m_ucLastCallState.load() == 0x85; }));
    ASSERT_EQ(QueueCallKey(Engine(), CALL_KEY_SEND), 1);
    ASSERT_TRUE(Until([&] { return Conversation(); }));
    ASSERT_EQ(m_sim->Command("hangup"), "OK\n");
    ASSERT_TRUE(Until([&] { return Count("tealfin_vcall", "storage_type=2 AND phone_number='6195550177'") == 1; }));
    Host().PumpFor(800);
    EXPECT_EQ(Count("tealfin_vcall"), 2);
}

} // namespace kvtest
