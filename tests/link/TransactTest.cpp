// One DIAG transaction over a real pty, the modem played by a test thread.
#include "PtyPeer.h"
#include "support/HangGuard.h"
#include "support/TempSettings.h"

#include "link/CommPort.h"
#include "link/DiagCatalog.h"
#include "link/DiagFrame.h"
#include "link/TransactPause.h"
#include "settings/Profile.h"

#include <gtest/gtest.h>

#include <thread>

using namespace kv;
using kvtest::Frame;
using kvtest::PtyPeer;

namespace {

std::vector<uint8_t> Cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

class Transaction : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(peer.Ok());
        SetSlps("0");
        port.SetEventMask(EV_RXFLAG);
        port.ConfigureLine(0x7E, 115200, 8, 0, 0, 2);
        port.SetDevicePath(peer.SlavePath());
        ASSERT_EQ(port.OpenPort(), 1);
        port.SetNotifyMode(false);
    }
    void TearDown() override
    {
        if (modem.joinable())
            modem.join();
        port.ClosePort();
    }
    void SetSlps(const std::string& v) { WriteProfileString("sysinf", "slps", v, "syskor.ini"); }

    // The modem answers the next request with these bytes; it records the
    // request frame it received.
    void AnswerWith(std::vector<uint8_t> bytes)
    {
        modem = std::thread([this, bytes] {
            received = peer.ReadFrame();
            if (!bytes.empty())
                peer.Send(bytes);
        });
    }

    kvtest::TempSettings settings;
    PtyPeer peer;
    CCommPort port;
    std::thread modem;
    std::vector<uint8_t> received;
    std::array<uint8_t, 64> resp{};
};

const std::vector<uint8_t> kStatusReq = {0xCF, 0x01, 0x00};
const std::vector<uint8_t> kAnswer = {0xCF, 0x01, 0x00, 0x00, 0x00, 0x02, 0x7E, 0x7D, 0x09};

} // namespace

TEST_F(Transaction, AnswerAfterAnUnsolicitedPacketIsFound)
{
    AnswerWith(Cat({Frame({0x79, 0x01, 0x02, 0x03}), Frame(kAnswer)}));
    resp.fill(0xAA);
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 10000), kDiagAnswered);
    modem.join();
    EXPECT_EQ(received, Frame(kStatusReq)) << "the request went out framed";
    ASSERT_EQ(port.LastResponseLength(), kAnswer.size());
    EXPECT_TRUE(std::equal(kAnswer.begin(), kAnswer.end(), resp.begin()));
    EXPECT_EQ(resp[kAnswer.size()], 0xAA);
    EXPECT_TRUE(port.ReaderRelease().IsSet());
}

TEST_F(Transaction, AnswerFollowedByHalfAPacketIsFoundAndTheHalfDropped)
{
    auto next = Frame({0xCF, 0x0B, 0x00, 0x00, 0x00, 0x01});
    next.resize(next.size() / 2);
    AnswerWith(Cat({Frame(kAnswer), next}));
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 10000), kDiagAnswered);
    EXPECT_TRUE(std::equal(kAnswer.begin(), kAnswer.end(), resp.begin()));

    // the half packet is gone: the next transaction sees only its own answer
    modem.join();
    AnswerWith(Frame(kAnswer));
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 10000), kDiagAnswered);
}

TEST_F(Transaction, BadFcsOnTheOnlyMatchingPieceGivesNoMatchAndLeaves0xFF)
{
    auto bad = Frame(kAnswer);
    bad[bad.size() - 2] ^= 0x01;
    AnswerWith(Cat({Frame({0x00, 0x01}), bad}));
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 10000), kDiagNoMatch);
    EXPECT_EQ(resp[0], 0xFF);
    EXPECT_EQ(port.LastResponseLength(), 0u);
    EXPECT_TRUE(port.ReaderRelease().IsSet());
}

TEST_F(Transaction, GoodFrameOfAnotherCommandGivesNoMatch)
{
    AnswerWith(Frame({0x0C, 0x01, 0x02}));
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 10000), kDiagNoMatch);
    EXPECT_EQ(resp[0], 0xFF);
}

TEST_F(Transaction, SilenceTimesOutWithTheResponseUntouchedButItsFirstByte)
{
    AnswerWith({});
    resp.fill(0x55);
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 300), kDiagTimedOut);
    EXPECT_EQ(resp[0], 0xFF);
    EXPECT_EQ(resp[1], 0x55);
    EXPECT_EQ(resp[63], 0x55);
}

TEST_F(Transaction, PauseIsTakenAndTracksTheSettingsFile)
{
    // The modem answers at once, so a transaction lasts at least the pause
    // plus the settle time.
    auto timed = [this](int64_t& took) {
        AnswerWith(Frame(kAnswer));
        const int64_t start = TickMs();
        const uint8_t r = port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 10000);
        took = TickMs() - start;
        modem.join();
        return r;
    };
    int64_t t = 0;
    ASSERT_EQ(timed(t), kDiagAnswered);
    EXPECT_GE(t, kRxSettleMs - 2); // whole milliseconds at both ends

    SetSlps("400"); // changed between two transactions: the next one pauses
    ASSERT_EQ(timed(t), kDiagAnswered);
    EXPECT_GE(t, 400 + kRxSettleMs - 2) << "the pause did not happen";
    ASSERT_EQ(timed(t), kDiagAnswered);
    EXPECT_GE(t, 400 + kRxSettleMs - 2) << "the pause was forgotten";

    SetSlps("100000"); // clamped: one second at most
    ASSERT_EQ(timed(t), kDiagAnswered);
    EXPECT_GE(t, kMaxTransactPauseMs + kRxSettleMs - 2);
    EXPECT_EQ(port.TransactPause().Milliseconds(), kMaxTransactPauseMs);
}

TEST(TransactPause, ReadsTheFileOnlyWhenItChangedAndBoundsTheValue)
{
    kvtest::TempSettings settings;
    CTransactPause pause;
    EXPECT_EQ(pause.Milliseconds(), kDefaultTransactPauseMs) << "no file";
    EXPECT_EQ(pause.Milliseconds(), kDefaultTransactPauseMs);
    EXPECT_EQ(pause.Reads(), 1u);

    ASSERT_TRUE(WriteProfileString("sysinf", "slps", "20", "syskor.ini"));
    EXPECT_EQ(pause.Milliseconds(), 20);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(pause.Milliseconds(), 20);
    EXPECT_EQ(pause.Reads(), 2u) << "read again although unchanged";

    ASSERT_TRUE(WriteProfileString("sysinf", "slps", "-7", "syskor.ini"));
    EXPECT_EQ(pause.Milliseconds(), 0);
    ASSERT_TRUE(WriteProfileString("sysinf", "slps", "99999999", "syskor.ini"));
    EXPECT_EQ(pause.Milliseconds(), kMaxTransactPauseMs);
    ASSERT_TRUE(WriteProfileString("sysinf", "slps", "0", "syskor.ini"));
    EXPECT_EQ(pause.Milliseconds(), 0);
    EXPECT_EQ(pause.Reads(), 5u);
}

TEST_F(Transaction, ResponseIsCutToTheCallersBuffer)
{
    std::vector<uint8_t> longAnswer(300, 0x33);
    std::copy(kStatusReq.begin(), kStatusReq.end(), longAnswer.begin());
    AnswerWith(Frame(longAnswer));
    std::vector<uint8_t> small(17, 0xAA);
    EXPECT_EQ(port.Transact(kStatusReq.data(), small.data(), 16, 3, 10000), kDiagAnswered);
    EXPECT_EQ(port.LastResponseLength(), 16u);
    EXPECT_EQ(small[15], 0x33);
    EXPECT_EQ(small[16], 0xAA) << "written past the caller's buffer";
}

TEST_F(Transaction, CatalogRequestAndReaderWorkEndToEnd)
{
    BattInfo batt;
    batt.chgVal = 3;
    batt.battVal = 3900;
    batt.bar = {3500, 3600, 3700, 3800, 3900};
    AnswerWith(Frame(EncodeBattInfo(batt)));
    std::array<uint8_t, 64> reply{};
    ASSERT_EQ(port.Transact(BuildBattInfoReq(), reply.data(), reply.size()), kDiagAnswered);
    modem.join();
    EXPECT_EQ(received, Frame({0xCF, 0x0B, 0x00}));
    BattInfo got;
    ASSERT_TRUE(ParseBattInfo(reply.data(), port.LastResponseLength(), got));
    EXPECT_EQ(got.battVal, 3900);
    EXPECT_EQ(got.bar[4], 3900);
}

TEST_F(Transaction, UnplugInTheMiddleFailsTheTransactionAtOnceAndTheNextOnes)
{
    modem = std::thread([this] {
        received = peer.ReadFrame();
        peer.Close();
    });
    const int64_t t0 = TickMs();
    const uint8_t r = port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 60000);
    EXPECT_LT(TickMs() - t0, 30000) << "waited for the time-out of a port that hung up";
    EXPECT_NE(r, kDiagAnswered);
    EXPECT_EQ(resp[0], 0xFF);
    modem.join();
    EXPECT_TRUE(port.HungUp());
    // a vanished device: nothing written, nothing waited for
    const int64_t t1 = TickMs();
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 60000), kDiagNotWritten);
    EXPECT_LT(TickMs() - t1, 30000);
    EXPECT_EQ(port.ClosePort(), 1);
    EXPECT_FALSE(port.HungUp());
    EXPECT_EQ(port.OpenPort(), 0) << "the device is gone";
}

// A modem that takes the request and never answers, while the owner closes
// the port or stops: the waiting transaction fails at once with its answer
// slot untouched. The guard only catches a wait for the whole minute.
TEST_F(Transaction, ClosingOrStoppingWakesATransactionWaitingForItsAnswer)
{
    kvtest::HangGuard guard(30000, "a transaction woken by close or stop");
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "close" : "stop");
        modem = std::thread([this, close] {
            received = peer.ReadFrame();
            SleepMs(100); // the transaction is in its wait by now, or soon
            if (close)
                port.ClosePort();
            else
                port.CancelTransaction();
        });
        resp.fill(0xAA);
        const uint8_t r = port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 60000);
        modem.join();
        EXPECT_EQ(received, Frame(kStatusReq));
        EXPECT_EQ(r, close ? kDiagNothingRead : kDiagTimedOut);
        EXPECT_EQ(resp[0], 0xFF);
        EXPECT_EQ(resp[1], 0xAA);
        EXPECT_EQ(port.LastResponseLength(), 0u);
        if (!close) {
            // only the transaction under way was cut short
            AnswerWith(Frame(kAnswer));
            EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 10000), kDiagAnswered);
            modem.join();
        }
    }
    EXPECT_FALSE(port.IsOpen());
    // closed: nothing written, nothing waited for
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 60000), kDiagNotWritten);
}

TEST_F(Transaction, FullReceiveQueueKeepsTheNewestBytesAndTheLinkRecovers)
{
    // a first exchange, as the engine had before it stopped reading
    AnswerWith(Frame(kAnswer));
    ASSERT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 10000), kDiagAnswered);
    modem.join();

    // 1. periodic packets pile up while nobody reads: 6600 bytes
    std::vector<uint8_t> packets;
    while (packets.size() < 6600)
        packets = Cat({packets, Frame({0x79, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x7E})});
    peer.Send(packets);
    SleepMs(300);
    AnswerWith(Frame(kAnswer));
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 5000), kDiagAnswered);
    modem.join();

    // 2. a burst of noise without a flag, then a flag: still signalled
    port.RxReady().Reset();
    peer.Send(std::vector<uint8_t>(6000, 0x5A));
    SleepMs(300);
    EXPECT_FALSE(port.RxReady().IsSet());
    peer.Send({0x7E});
    EXPECT_TRUE(port.RxReady().Wait(5000)) << "a flag that arrives at a full queue is lost";
    AnswerWith(Frame(kAnswer));
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 5000), kDiagAnswered);
    modem.join();

    // 3. and the queue holds only what came after: no stale bytes
    AnswerWith(Frame(kAnswer));
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 5000), kDiagAnswered);
    uint8_t rest[16];
    EXPECT_EQ(port.ReadAvailable(rest, sizeof rest), 0);
}

TEST_F(Transaction, AnswersToAnotherQuestionAreSkippedNotTaken)
{
    // a late battery answer comes first in the same read as the status answer
    const std::vector<uint8_t> battLate = {0xCF, 0x0B, 0x00, 0x00, 0x00, 0x03, 0x00, 0x3C, 0x0F};
    AnswerWith(Cat({Frame(battLate), Frame(kAnswer)}));
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 10000), kDiagAnswered);
    EXPECT_EQ(port.LastResponseLength(), kAnswer.size());
    EXPECT_TRUE(std::equal(kAnswer.begin(), kAnswer.end(), resp.begin()));
    modem.join();

    // only the foreign answer: no match
    AnswerWith(Frame(battLate));
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 10000), kDiagNoMatch);
    EXPECT_EQ(resp[0], 0xFF);
    modem.join();

    // a late NV reply for item 10 before the reply for item 562
    AnswerWith(Cat({Frame(EncodeNvReadReply(NV_PREF_MODE_I, {0, 4, 0})),
                    Frame(EncodeNvReadReply(NV_HYBRID_PREF_I, {1}))}));
    std::array<uint8_t, 64> nv{};
    ASSERT_EQ(port.Transact(BuildNvReadReq(NV_HYBRID_PREF_I), nv.data(), nv.size()), kDiagAnswered);
    uint8_t hybrid = 0;
    ASSERT_TRUE(ParseNvHybridPref(nv.data(), port.LastResponseLength(), hybrid));
    EXPECT_EQ(hybrid, 1);
}

TEST_F(Transaction, AtExchangeCannotInterleaveWithATransaction)
{
    modem = std::thread([this] {
        received = peer.ReadFrame();
        // while the transaction waits, an AT poll must find the port busy
        EXPECT_FALSE(CCommPort::ExchangeGuard(port).Owned());
        peer.Send(Frame(kAnswer));
    });
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 10000), kDiagAnswered);
    modem.join();
    EXPECT_TRUE(CCommPort::ExchangeGuard(port).Owned());
}
