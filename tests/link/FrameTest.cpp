// The byte level of the DIAG link: FCS, escaping, piece decoding, and the
// port's EncodeFrame/DecodeFrame over its own buffers.
#include "link/CommPort.h"
#include "link/DiagFrame.h"
#include "support/DiagDecodeReference.h"

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

// The decode copies runs between escapes and takes the FCS eight bytes at a
// time: on every length, escape density and buffer size it must give what
// the plain byte-at-a-time decode gives, including the odd cases (a trailing
// escape, a piece that just fits or just overflows the buffer).
TEST(DiagFrame, FastDecodeAgreesWithTheByteAtATimeDecode)
{
    std::mt19937 rng(7);
    for (size_t len = 0; len < 64; ++len) {
        std::vector<uint8_t> d(len);
        for (auto& b : d)
            b = uint8_t(rng());
        EXPECT_EQ(Fcs16(kFcsInit, d.data(), d.size()), kvtest::ReferenceFcs16(kFcsInit, d.data(), d.size()))
            << len;
    }
    for (int round = 0; round < 3000; ++round) {
        const size_t len = size_t(rng() % 300);
        const unsigned escapes = rng() % 4; // none, few, many, almost all
        std::vector<uint8_t> piece(len);
        for (auto& b : piece) {
            const unsigned r = rng() % 16;
            b = escapes > 0 && r < escapes * escapes ? kDiagEscape : uint8_t(rng());
        }
        if (round % 2 == 0 && len > 4) { // a real frame, sometimes ending in an escape
            piece = EncodeDiagFrame(piece.data(), len - 4);
            piece.pop_back();
            if (round % 6 == 0)
                piece.push_back(kDiagEscape);
        }
        for (size_t cap : {size_t(0), size_t(1), piece.size() / 2, piece.size() - 2, piece.size(), size_t(4096)}) {
            if (cap > 8192)
                continue;
            std::vector<uint8_t> a(cap + 1, 0xAA), b(cap + 1, 0xAA);
            size_t na = 99, nb = 99;
            const bool ga = DecodeDiagPiece(piece.data(), piece.size(), a.data(), cap, na);
            const bool gb = kvtest::ReferenceDecodeDiagPiece(piece.data(), piece.size(), b.data(), cap, nb);
            ASSERT_EQ(ga, gb) << "round " << round << " cap " << cap;
            ASSERT_EQ(na, nb) << "round " << round << " cap " << cap;
            EXPECT_TRUE(std::equal(a.begin(), a.begin() + ptrdiff_t(na), b.begin()));
            EXPECT_EQ(a[cap], 0xAA) << "written past the buffer";
        }
    }
}

TEST(DiagFrame, AnswerMustEchoWhatTheRequestAsked)
{
    auto cat = [](std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> out;
        for (const auto& p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    auto frame = [](const std::vector<uint8_t>& b) { return EncodeDiagFrame(b.data(), b.size()); };
    const auto status = Bytes({0xCF, 0x01, 0x00, 0x00, 0x00, 0x02});
    const auto batt = Bytes({0xCF, 0x0B, 0x00, 0x00, 0x00, 0x03});
    const auto nv10 = Bytes({0xD5, 0x26, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00});
    const auto nv562 = Bytes({0xD5, 0x26, 0x00, 0x32, 0x02, 0x00, 0x00, 0x01});
    const auto statusReq = Bytes({0xCF, 0x01, 0x00});
    const auto nvReq = Bytes({0xD5, 0x26, 0x00, 0x32, 0x02});
    uint8_t out[64];
    size_t n = 0;

    // a foreign sub-command first, then the answer: the answer
    auto rx = cat({frame(batt), frame(status)});
    ASSERT_TRUE(FindDiagAnswer(rx.data(), rx.size(), statusReq.data(), 3, out, sizeof out, n));
    EXPECT_EQ(std::vector<uint8_t>(out, out + n), status);
    // only the foreign one: none
    rx = frame(batt);
    EXPECT_FALSE(FindDiagAnswer(rx.data(), rx.size(), statusReq.data(), 3, out, sizeof out, n));
    // a piece whose raw first byte is the escape of another byte does not
    // answer command 0x7D; one that decodes to 0x7D does
    const auto flagFirst = Bytes({0x7E, 0x01});
    rx = frame(flagFirst);
    EXPECT_FALSE(FindDiagAnswer(rx.data(), rx.size(), uint8_t(0x7D), out, sizeof out, n));
    const auto asEscape = Bytes({0x7D, 0x01});
    rx = frame(asEscape);
    ASSERT_TRUE(FindDiagAnswer(rx.data(), rx.size(), uint8_t(0x7D), out, sizeof out, n));
    EXPECT_EQ(std::vector<uint8_t>(out, out + n), asEscape);
    // the command alone still takes the first good piece
    rx = cat({frame(batt), frame(status)});
    ASSERT_TRUE(FindDiagAnswer(rx.data(), rx.size(), uint8_t(0xCF), out, sizeof out, n));
    EXPECT_EQ(std::vector<uint8_t>(out, out + n), batt);
    // an NV reply for another item, then ours
    rx = cat({frame(nv10), frame(nv562)});
    ASSERT_TRUE(FindDiagAnswer(rx.data(), rx.size(), nvReq.data(), 5, out, sizeof out, n));
    EXPECT_EQ(std::vector<uint8_t>(out, out + n), nv562);
    // a good piece shorter than the echo is not the answer
    rx = frame(Bytes({0xCF, 0x01}));
    EXPECT_FALSE(FindDiagAnswer(rx.data(), rx.size(), statusReq.data(), 3, out, sizeof out, n));

    // what each request's answer repeats
    EXPECT_EQ(AnswerEchoLength(statusReq.data(), 3), 3u);
    EXPECT_EQ(AnswerEchoLength(nvReq.data(), 5), 5u);
    EXPECT_EQ(AnswerEchoLength(Bytes({0x0C}).data(), 1), 1u);
    EXPECT_EQ(AnswerEchoLength(Bytes({0xD2, 0x00}).data(), 2), 1u);
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

    // Sizes around the buffer: a long body without flags still fits, and the
    // longest all-flag body that can fit goes out whole.
    for (auto body2 : {std::vector<uint8_t>(4000, 0x41), std::vector<uint8_t>(2046, 0x7E),
                       std::vector<uint8_t>(2045, 0x7D)}) {
        SCOPED_TRACE(body2.size());
        port.EncodeFrame(body2.data(), int(body2.size()));
        const auto want = EncodeDiagFrame(body2.data(), body2.size());
        ASSERT_EQ(port.TxFrameLength(), int(want.size()));
        EXPECT_TRUE(std::equal(want.begin(), want.end(), port.TxFrame()));
        EXPECT_EQ(port.DecodeFrame(port.TxFrame(), port.TxFrameLength() - 1), body2.size() <= 4094 ? 1 : 0);
    }
}
