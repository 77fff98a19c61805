// The byte level of the DIAG link: FCS, escaping, piece decoding, and the
// port's EncodeFrame/DecodeFrame over its own buffers.
#include "link/CommPort.h"
#include "link/DiagFrame.h"

#include <gtest/gtest.h>

#include <random>

using namespace kv;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> v)
{
    std::vector<uint8_t> out;
    for (int b : v)
        out.push_back(uint8_t(b));
    return out;
}

} // namespace

TEST(DiagFrame, FcsMatchesTheStandardCheckValueAndResidue)
{
    const char* check = "123456789";
    const uint16_t fcs = uint16_t(~Fcs16(kFcsInit, reinterpret_cast<const uint8_t*>(check), 9));
    EXPECT_EQ(fcs, 0x906E);
    // body plus its FCS low byte first leaves the good residue
    std::vector<uint8_t> body(check, check + 9);
    body.push_back(uint8_t(fcs));
    body.push_back(uint8_t(fcs >> 8));
    EXPECT_EQ(Fcs16(kFcsInit, body.data(), body.size()), kFcsGoodResidue);
}

TEST(DiagFrame, VersionRequestFrameIsTheKnownFourBytes)
{
    const uint8_t req = 0x00;
    EXPECT_EQ(EncodeDiagFrame(&req, 1), Bytes({0x00, 0x78, 0xF0, 0x7E}));
}

TEST(DiagFrame, FlagAndEscapeBytesAreEscapedInBodyAndFcsAndNeverAppearBare)
{
    const auto frame = EncodeDiagFrame(Bytes({0x7E, 0x01, 0x7D, 0x5E}).data(), 4);
    EXPECT_EQ(frame[0], 0x7D);
    EXPECT_EQ(frame[1], 0x5E);
    EXPECT_EQ(frame[2], 0x01);
    EXPECT_EQ(frame[3], 0x7D);
    EXPECT_EQ(frame[4], 0x5D);
    EXPECT_EQ(frame[5], 0x5E);
    for (size_t i = 0; i + 1 < frame.size(); ++i)
        EXPECT_NE(frame[i], 0x7E) << "bare flag at " << i;
    EXPECT_EQ(frame.back(), 0x7E);

    // Search for a body whose FCS has a byte to escape, and check the FCS is
    // escaped like the body.
    bool found = false;
    for (int b = 0; b < 65536 && !found; ++b) {
        const uint8_t body[2] = {uint8_t(b), uint8_t(b >> 8)};
        const uint16_t fcs = uint16_t(~Fcs16(kFcsInit, body, 2));
        if ((fcs & 0xFF) != 0x7E && (fcs >> 8) != 0x7D)
            continue;
        found = true;
        const auto f = EncodeDiagFrame(body, 2);
        for (size_t i = 0; i + 1 < f.size(); ++i)
            EXPECT_NE(f[i], 0x7E);
        uint8_t out[16];
        size_t n = 0;
        EXPECT_TRUE(DecodeDiagPiece(f.data(), f.size() - 1, out, sizeof out, n));
        EXPECT_EQ(n, 2u);
    }
    EXPECT_TRUE(found);
}

TEST(DiagFrame, RandomPayloadsRoundTrip)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 500; ++round) {
        std::vector<uint8_t> body(1 + rng() % 300);
        for (auto& b : body)
            b = uint8_t(rng() % 4 == 0 ? 0x7D + rng() % 2 : rng());
        const auto f = EncodeDiagFrame(body.data(), body.size());
        std::vector<uint8_t> out(4096);
        size_t n = 0;
        ASSERT_TRUE(DecodeDiagPiece(f.data(), f.size() - 1, out.data(), out.size(), n));
        out.resize(n);
        ASSERT_EQ(out, body);
    }
}

TEST(DiagFrame, ShortPiecesKeepAllTheirBytesAndEmptyPiecesFail)
{
    uint8_t out[8];
    size_t n = 99;
    EXPECT_FALSE(DecodeDiagPiece(nullptr, 0, out, sizeof out, n));
    EXPECT_EQ(n, 0u);
    const auto two = Bytes({0x12, 0x34});
    EXPECT_FALSE(DecodeDiagPiece(two.data(), 2, out, sizeof out, n));
    EXPECT_EQ(n, 2u); // 2 bytes or fewer: nothing is taken off
    // 2 body bytes plus FCS: payload length 2
    const auto f = EncodeDiagFrame(two.data(), 2);
    EXPECT_TRUE(DecodeDiagPiece(f.data(), f.size() - 1, out, sizeof out, n));
    EXPECT_EQ(n, 2u);
}

TEST(DiagFrame, PieceLongerThanThePayloadBufferIsRefusedWithoutWritingPastIt)
{
    std::vector<uint8_t> body(100, 0x41);
    const auto f = EncodeDiagFrame(body.data(), body.size());
    std::vector<uint8_t> out(64 + 1, 0xAA);
    size_t n = 0;
    EXPECT_FALSE(DecodeDiagPiece(f.data(), f.size() - 1, out.data(), 64, n));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(out[64], 0xAA);
}

TEST(CommPortFrame, EncodeAndDecodeUseThePortBuffers)
{
    CCommPort port;
    const auto body = Bytes({0xCF, 0x0B, 0x00});
    port.EncodeFrame(body.data(), 3);
    const auto expect = EncodeDiagFrame(body.data(), 3);
    ASSERT_EQ(port.TxFrameLength(), int(expect.size()));
    EXPECT_TRUE(std::equal(expect.begin(), expect.end(), port.TxFrame()));

    EXPECT_EQ(port.DecodeFrame(expect.data(), int(expect.size()) - 1), 1);
    ASSERT_EQ(port.PayloadLength(), 3);
    EXPECT_TRUE(std::equal(body.begin(), body.end(), port.Payload()));

    auto bad = expect;
    bad[1] ^= 0x01;
    EXPECT_EQ(port.DecodeFrame(bad.data(), int(bad.size()) - 1), 0);

    // A piece too long for the 4096-byte payload buffer fails like a bad frame.
    std::vector<uint8_t> big(5000, 0x11);
    const auto bigFrame = EncodeDiagFrame(big.data(), big.size());
    EXPECT_EQ(port.DecodeFrame(bigFrame.data(), int(bigFrame.size()) - 1), 0);
    EXPECT_EQ(port.PayloadLength(), 0);

    // A request whose frame cannot fit the transmit buffer is not encoded.
    std::vector<uint8_t> huge(3000, 0x7E);
    port.EncodeFrame(huge.data(), int(huge.size()));
    EXPECT_EQ(port.TxFrameLength(), 0);
}
