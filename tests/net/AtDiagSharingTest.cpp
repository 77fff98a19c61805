// The AT poll and the DM engine on one port under load: the engine polls
// the status while the AT poll runs far faster than its 8 s, with the modem
// sending event packets of its own in between. No DIAG transaction may fail
// and no AT answer may hold DIAG bytes.
#include "AtSimFixture.h"

#include "engine/DmEngine.h"
#include "log/DebugLog.h"
#include "platform/Event.h"

#include <atomic>
#include <mutex>

using namespace kv;
using kvtest::AtOnSimulator;

namespace {

bool HoldsForeignBytes(const std::string& s)
{
    for (unsigned char c : s)
        if (c != '\r' && c != '\n' && (c < 0x20 || c >= 0x7E))
            return true;
    return false;
}

class LinkErrors {
public:
    LinkErrors()
    {
        auto& log = CDebugLog::Instance();
        log.SetSink([this](const std::string& line) {
            for (const char* e : {"get vbat info error", "DM_GET_INFO error", "dm_status error",
                                  "error_count = ", "did not communication"})
                if (line.find(e) != std::string::npos) {
                    std::lock_guard g(m_lock);
                    m_lines.push_back(line);
                }
        });
        log.SetLevelMask(0xFFFFFFFFu);
        log.Enable();
        log.SetVisible(true);
    }
    ~LinkErrors()
    {
        auto& log = CDebugLog::Instance();
        log.SetVisible(false);
        log.Disable();
        log.SetSink(nullptr);
    }
    std::vector<std::string> Lines() const
    {
        std::lock_guard g(m_lock);
        return m_lines;
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
};

size_t BatteryPolls(const CHeadlessHost& host)
{
    size_t n = 0;
    for (const auto& [id, value] : host.IndicatorCalls())
        n += id == IND_BATTERY;
    return n;
}

} // namespace

TEST_F(AtOnSimulator, FastAtPollNeverInterleavesWithTheEnginesTransactions)
{
    Start(Quiet(300)); // an event packet every 300 ms
    LinkErrors errors;
    CDmEngine engine{host, link};
    engine.SetDiscovery([] { return PortChoice{1, DEVICE_KIND_NV}; });
    host.SetTimerHandler([this](uint32_t id) {
        if (id != TIMER_AT_POLL)
            return false;
        poll.Tick();
        return true;
    });
    ASSERT_TRUE(engine.UserDmRestart());
    ASSERT_TRUE(host.TimerActive(TIMER_AT_POLL)); // started with the port
    ASSERT_TRUE(host.RunUntil([&] { return host.Indicator(IND_ROAMING) >= 0; }, 20000));
    const size_t pollsBefore = BatteryPolls(host);

    // The poll every 100 ms instead of 8 s (the port is never idle), for 8 s.
    host.StartTimer(TIMER_AT_POLL, 100);
    uint64_t ticksChecked = 0;
    size_t answersChecked = 0;
    const int64_t end = TickMs() + 8000;
    while (TickMs() < end && engine.ThreadRunning()) {
        host.PumpFor(50);
        const AtPollSnapshot s = poll.Snapshot();
        if (s.ticks == ticksChecked)
            continue;
        ticksChecked = s.ticks;
        for (const std::string* a : {&s.lastSignalAnswer, &s.imsiAnswer, &s.cardAnswer}) {
            EXPECT_FALSE(HoldsForeignBytes(*a)) << *a;
            answersChecked += !a->empty();
        }
        // whatever it got, it was the answer to its own question
        if (!s.lastSignalAnswer.empty()) {
            EXPECT_NE(s.lastSignalAnswer.find("+CSQ:"), std::string::npos) << s.lastSignalAnswer;
        }
        if (!s.imsiAnswer.empty()) {
            EXPECT_NE(s.imsiAnswer.find("+CIMI:"), std::string::npos) << s.imsiAnswer;
        }
        if (!s.cardAnswer.empty()) {
            EXPECT_NE(s.cardAnswer.find("+CPIN:"), std::string::npos) << s.cardAnswer;
        }
    }
    host.StartTimer(TIMER_AT_POLL, 8000);

    EXPECT_TRUE(engine.ThreadRunning());
    EXPECT_TRUE(errors.Lines().empty()) << errors.Lines().front();
    const AtPollSnapshot s = poll.Snapshot();
    RecordProperty("at_ticks", int(s.ticks));
    RecordProperty("at_busy_skips", int(s.busySkips));
    RecordProperty("at_no_answers", int(s.noAnswers));
    RecordProperty("engine_polls", int(BatteryPolls(host) - pollsBefore));
    EXPECT_GE(s.ticks, 8u);
    EXPECT_GE(answersChecked, 10u); // queries the engine kept the port from are skipped
    EXPECT_EQ(s.apnCommands, 1u);
    EXPECT_EQ(ApnLog(), (std::vector<std::string>{"3GNET"}));
    EXPECT_GE(BatteryPolls(host) - pollsBefore, 3u); // the engine kept polling
    engine.StopDmEngine();
}
