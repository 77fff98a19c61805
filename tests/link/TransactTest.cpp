// One DIAG transaction over a real pty, the modem played by a test thread.
#include "PtyPeer.h"
#include "support/TempSettings.h"

#include "link/CommPort.h"
#include "link/DiagCatalog.h"
#include "link/DiagFrame.h"
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

TEST_F(Transaction, PauseIsReadFromTheSettingsOnEveryTransaction)
{
    SetSlps("1");
    AnswerWith(Frame(kAnswer));
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 10000), kDiagAnswered);
    modem.join();
    SetSlps("0");
    AnswerWith(Frame(kAnswer));
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 10000), kDiagAnswered);
}

TEST_F(Transaction, ResponseIsCutToTheCallersBuffer)
{
    std::vector<uint8_t> longAnswer(300, 0x33);
    longAnswer[0] = 0xCF;
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

TEST_F(Transaction, UnplugInTheMiddleFailsTheTransactionAndTheNextOnes)
{
    modem = std::thread([this] {
        received = peer.ReadFrame();
        peer.Close();
    });
    const uint8_t r = port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 1000);
    EXPECT_TRUE(r == kDiagTimedOut || r == kDiagNothingRead || r == kDiagNoMatch) << int(r);
    EXPECT_EQ(resp[0], 0xFF);
    modem.join();
    // writes to a vanished device report nothing written
    EXPECT_EQ(port.Transact(kStatusReq.data(), resp.data(), resp.size(), 3, 1000), kDiagNotWritten);
    EXPECT_EQ(port.ClosePort(), 1);
    EXPECT_EQ(port.OpenPort(), 0) << "the device is gone";
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
