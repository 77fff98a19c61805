// The AT exchange and the poll's decisions over a scripted port: the port
// lock is never waited on without bound, stale and late bytes never mix with
// an answer, and text from the settings never reaches the line unchecked.
#include "host/HeadlessHost.h"
#include "net/AtChannel.h"
#include "net/AtPoll.h"
#include "net/AtSettingsCmds.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>

using namespace kv;

namespace {

// A modem behind a port, in virtual time: answers become readable after
// their delay; a transaction may hold the lock for a while.
class ScriptedPort : public IAtPort {
public:
    std::map<std::string, std::string> answers; // command -> answer
    int answerDelayMs = 10;
    std::map<std::string, int> delayFor; // command -> its own answer delay
    size_t answerSplit = 0;       // >0: the answer arrives in two parts, splitGapMs apart
    int splitGapMs = 60;
    int busyForMs = 0;            // the DIAG link holds the lock this long
    int holdEachMs = 0;           // ... and again this long after each exchange
    int writeMs = 0;              // a write that takes this long
    bool maskFails = false;
    uint16_t mask = EV_RXFLAG;
    std::vector<std::string> written;
    std::string pending;          // bytes already queued before the next command
    int64_t now = 0;
    bool locked = false;
    int lockTakes = 0;

    bool IsOpen() const override { return true; }
    std::function<bool()> refuse; // the DIAG link holds the lock while this holds
    bool TryBeginExchange() override
    {
        if (now < busyForMs || locked || (refuse && refuse()))
            return false;
        locked = true;
        ++lockTakes;
        return true;
    }
    void EndExchange() override
    {
        locked = false;
        if (holdEachMs > 0)
            busyForMs = int(now) + holdEachMs;
    }
    bool RearmEventMask(uint16_t& m) override
    {
        m = mask;
        return !maskFails;
    }
    int SendAtCommand(const std::string& text) override
    {
        EXPECT_TRUE(locked) << "write outside the exchange lock";
        written.push_back(text);
        now += writeMs;
        auto it = answers.find(text);
        const std::string a = it == answers.end() ? "\r\nERROR\r\n" : it->second;
        const auto own = delayFor.find(text);
        const int delay = own == delayFor.end() ? answerDelayMs : own->second;
        if (answerSplit > 0 && answerSplit < a.size()) {
            arrivals.push_back({now + delay, a.substr(0, answerSplit)});
            arrivals.push_back({now + delay + splitGapMs, a.substr(answerSplit)});
        } else {
            arrivals.push_back({now + delay, a});
        }
        return int(text.size());
    }
    int ReadAtAnswer(uint8_t* buffer, int size) override
    {
        EXPECT_TRUE(locked) << "read outside the exchange lock";
        // In the order they became due: a late part does not hold back
        // the answers of later commands.
        std::stable_sort(arrivals.begin(), arrivals.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        while (!arrivals.empty() && arrivals.front().first <= now) {
            pending += arrivals.front().second;
            arrivals.pop_front();
        }
        const size_t n = std::min(pending.size(), size_t(size));
        std::copy_n(pending.begin(), n, buffer);
        pending.erase(0, n);
        return int(n);
    }
    void Pause(int ms) override { now += ms; }
    int64_t NowMs() override { return now; }
    bool LeftOnLine() const { return !pending.empty() || !arrivals.empty(); }
    size_t Count(const std::string& prefix) const
    {
        return size_t(std::count_if(written.begin(), written.end(),
                                    [&](const std::string& w) { return w.starts_with(prefix); }));
    }

private:
    std::deque<std::pair<int64_t, std::string>> arrivals;
};

} // namespace

TEST(AtExchange, ABusyPortIsSkippedWithinTheLockWait)
{
    ScriptedPort port;
    port.busyForMs = 100000;
    std::string answer = "old";
    EXPECT_EQ(AtExchange(port, "AT+CSQ\r", kSignalReadPlan, answer), AtExchangeResult::Busy);
    EXPECT_TRUE(answer.empty());
    EXPECT_TRUE(port.written.empty());
    EXPECT_LE(port.now, kExchangeLockWaitMs + kExchangeLockStepMs);
    // a transaction that ends within the wait lets the exchange through
    port.busyForMs = int(port.now) + 60;
    port.answers["AT+CSQ\r"] = "\r\n+CSQ: 9,99\r\n\r\nOK\r\n";
    EXPECT_EQ(AtExchange(port, "AT+CSQ\r", kSignalReadPlan, answer), AtExchangeResult::Answered);
    EXPECT_EQ(answer, "\r\n+CSQ: 9,99\r\n\r\nOK\r\n");
    EXPECT_FALSE(port.locked);
}

TEST(AtExchange, StaleBytesGoFirstAndATornAnswerIsReadToItsEnd)
{
    ScriptedPort port;
    port.answers["AT+CIMI\r"] = "\r\n+CIMI: 460030912345678\r\n\r\nOK\r\n";
    port.answerSplit = 8;
    port.pending = std::string("\x4B\x01\x02\x7E", 4) + "\r\nOK\r\n"; // a late frame and a late OK
    std::string answer;
    ASSERT_EQ(AtExchange(port, "AT+CIMI\r", kQueryReadPlan, answer), AtExchangeResult::Answered);
    EXPECT_EQ(answer, "\r\n+CIMI: 460030912345678\r\n\r\nOK\r\n");
    EXPECT_FALSE(port.LeftOnLine()); // nothing left for the next DIAG transaction
    EXPECT_FALSE(port.locked);
}

TEST(AtExchange, NoAnswerEndsAfterThePlannedReads)
{
    ScriptedPort port;
    port.answerDelayMs = 100000;
    std::string answer;
    EXPECT_EQ(AtExchange(port, "AT+CPIN?\r", kQueryReadPlan, answer), AtExchangeResult::NoAnswer);
    EXPECT_EQ(port.now, 3 * kQueryReadPlan.waitMs + kExchangeYieldMs);
    EXPECT_FALSE(port.locked);
}

class AtPollScripted : public ::testing::Test {
protected:
    AtPollScripted()
    {
        port.answers["AT+CSQ\r"] = "\r\n+CSQ: 21,99\r\n\r\nOK\r\n";
        port.answers["AT+CIMI\r"] = "\r\n262019876543210\r\n\r\nOK\r\n";
        port.answers["AT+CPIN?\r"] = "\r\n+CPIN: READY\r\n\r\nOK\r\n";
        port.answerDelayMs = 5;
    }
    kvtest::TempSettings settings;
    CHeadlessHost host;
    ScriptedPort port;
    CAtPoll poll{host, port};
};

TEST_F(AtPollScripted, AFailedEventMaskEndsTheTickUnasked)
{
    port.maskFails = true;
    poll.Tick();
    EXPECT_TRUE(port.written.empty());
}

TEST_F(AtPollScripted, AutomaticApnFromTheBareImsiByItsNetworkPrefix)
{
    WriteProfileString(kSecApnType, kKeyApnDynamic, "checked", kIniDialer);
    poll.Tick();
    EXPECT_EQ(port.Count("at+cgdcont="), 1u);
    EXPECT_EQ(poll.Snapshot().apn, "internet.t-d1.de"); // 26201's table row
    EXPECT_EQ(poll.CurrentImsiText(), "\r\n26201");
    EXPECT_EQ(host.LineText(IDC_LINE_APN), "\rAPN:internet.t-d1.de");
    // the same IMSI again: no command
    poll.Tick();
    EXPECT_EQ(port.Count("at+cgdcont="), 1u);
    // subscriber digits holding another network's key select nothing
    port.answers["AT+CIMI\r"] = "\r\n999994600312345\r\n\r\nOK\r\n";
    poll.Tick();
    EXPECT_EQ(port.Count("at+cgdcont="), 1u);
}

TEST_F(AtPollScripted, AFixedApnThatCouldEndTheCommandIsNeverSent)
{
    WriteProfileString(kSecApnType, kKeyApnDynamic, "unchecked", kIniDialer);
    WriteProfileString(kSecApnContent, kKeyApnCurrent, "cmnet\"+CFUN=0", kIniDialer);
    poll.Tick();
    EXPECT_EQ(port.Count("at+cgdcont="), 0u);
    EXPECT_EQ(poll.Snapshot().apnRefused, 1u);
    EXPECT_EQ(port.Count("AT+CPIN?"), 1u); // nothing sent: the tick goes on
}

TEST_F(AtPollScripted, AnApnCommandThePortWasBusyForIsSentNextTick)
{
    port.answers["AT+CIMI\r"] = "\r\n+CIMI: 460030912345678\r\n\r\nOK\r\n";
    // the DIAG link holds the port from the IMSI answer to the end of the tick
    port.refuse = [&] { return !port.written.empty() && port.written.back() == "AT+CIMI\r"; };
    poll.Tick();
    EXPECT_EQ(port.Count("at+cgdcont="), 0u);
    EXPECT_GE(poll.Snapshot().busySkips, 2u); // the APN command and the card query
    port.refuse = nullptr;
    poll.Tick(); // the same IMSI, but the APN was never set
    EXPECT_EQ(port.Count("at+cgdcont=1,\"ip\",\"3GNET\"\r"), 1u);
    poll.Tick();
    EXPECT_EQ(port.Count("at+cgdcont="), 1u);
}

TEST_F(AtPollScripted, PinCommandsRefuseBadInputBeforeAnythingIsSent)
{
    EXPECT_EQ(AtPinLock(port, false, "123"), AtPinOutcome::TooShort);
    EXPECT_EQ(AtPinLock(port, true, "1234\rAT+X"), AtPinOutcome::NotDigits);
    EXPECT_EQ(AtPinChange(port, "1234", "5678", "5679"), AtPinOutcome::ConfirmFail);
    EXPECT_EQ(AtPinChange(port, "1234", "56\"8", "56\"8"), AtPinOutcome::NotDigits);
    EXPECT_EQ(AtPinChange(port, "12", "5678", "5678"), AtPinOutcome::TooShort);
    EXPECT_TRUE(port.written.empty());
    EXPECT_STREQ(AtPinRefusalText(AtPinOutcome::TooShort), "Pin empty Or Pin too short!");
    EXPECT_STREQ(AtPinRefusalText(AtPinOutcome::ConfirmFail), "Pin confirm pin fail");
    port.answers["AT+CLCK=\"SC\",0,\"1234\"\r"] = "\r\nOK\r\n";
    EXPECT_EQ(AtPinLock(port, false, "1234"), AtPinOutcome::Success);
    EXPECT_EQ(AtPinLock(port, true, "1234"), AtPinOutcome::Failed); // "ERROR"
}

TEST_F(AtPollScripted, ResetPicksTheCommandByFirmwareKind)
{
    port.answers["AT+CGMR\r"] = "\r\nKV6502-818-B03\r\n\r\nOK\r\n";
    AtResetModem(port);
    EXPECT_EQ(port.written, (std::vector<std::string>{"AT+CGMR\r", "AT^RESET\r"}));
    port.written.clear();
    port.answers["AT+CGMR\r"] = "\r\nKV6502-900\r\n\r\nOK\r\n";
    const int64_t t0 = port.now;
    AtResetModem(port);
    EXPECT_EQ(port.written, (std::vector<std::string>{"AT+CGMR\r", "AT+CFUN=7,0\r", "AT+CFUN=6,0\r"}));
    EXPECT_GE(port.now - t0, 500);
}

// What a tick may run over its budget: the pause after each exchange that
// lets a waiting DIAG transaction go first.
constexpr int kTickSlackMs = 4 * kExchangeYieldMs;

// The tick's hold on the UI thread, on the port's clock: a modem slow to
// answer whose answers come torn, with the DIAG link holding the port before
// each exchange, costs each query up to a lock wait, three reads and a
// completion wait. The tick still ends within its budget, and every query is
// asked: none may eat the others' time.
TEST_F(AtPollScripted, ASlowModemHoldsTheTickWithinItsBudgetAndEveryQueryIsAsked)
{
    port.busyForMs = 240;
    port.holdEachMs = 240;
    port.answerDelayMs = 40;
    port.answerSplit = 4;
    port.splitGapMs = 5000; // the rest of each answer comes far too late
    const int64_t t0 = port.now;
    poll.Tick();
    EXPECT_LE(port.now - t0, kAtTickBudgetMs + kTickSlackMs);
    EXPECT_EQ(port.Count("AT+CSQ"), 1u);
    EXPECT_EQ(port.Count("AT+CIMI"), 1u);
    EXPECT_EQ(port.Count("AT+CPIN?"), 1u);

    // A modem that answers just before a query's third read: each query
    // still gets its planned reads (the signal's are shorter).
    port.busyForMs = 0;
    port.holdEachMs = 0;
    port.answerSplit = 0;
    port.answerDelayMs = 280;
    port.delayFor["AT+CSQ\r"] = 20;
    const int64_t t1 = port.now;
    poll.Tick();
    EXPECT_LE(port.now - t1, kAtTickBudgetMs + kTickSlackMs);
    EXPECT_NE(poll.Snapshot().imsiAnswer.find("262019876543210"), std::string::npos);
    EXPECT_NE(poll.Snapshot().cardAnswer.find("+CPIN: READY"), std::string::npos);
}

// A query that finds the tick's time gone (here a write that hung) is left
// for the next tick, which asks everything again.
TEST_F(AtPollScripted, QueriesLeftWhenTheTimeIsUpWaitForTheNextTick)
{
    port.writeMs = kAtTickBudgetMs + 50;
    poll.Tick();
    EXPECT_EQ(port.written, (std::vector<std::string>{"AT+CSQ\r"}));
    EXPECT_EQ(poll.Snapshot().timeSkips, 2u);
    port.writeMs = 0;
    port.written.clear();
    poll.Tick();
    EXPECT_EQ(port.written, (std::vector<std::string>{"AT+CSQ\r", "AT+CIMI\r", "AT+CPIN?\r"}));
    EXPECT_EQ(poll.Snapshot().timeSkips, 2u);
}
