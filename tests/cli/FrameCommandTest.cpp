// "frame encode" / "frame decode" and the argument errors of the tool.
#include "RunCli.h"

#include "link/DiagFrame.h"

#include <gtest/gtest.h>

using kvtest::RunCli;

namespace {

std::string Hex(const std::vector<uint8_t>& v)
{
    static const char* k = "0123456789abcdef";
    std::string s;
    for (uint8_t b : v) {
        s.push_back(k[b >> 4]);
        s.push_back(k[b & 15]);
    }
    return s;
}

} // namespace

TEST(FrameCommand, EncodePrintsTheFrameAsLowercaseHex)
{
    auto r = RunCli({"frame", "encode", "00"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "0078f07e\n");
    EXPECT_EQ(r.err, "");

    // separators and upper case are accepted; 7d/7e in the body are escaped
    const std::vector<uint8_t> body{0xCF, 0x7E, 0x7D, 0x00};
    r = RunCli({"frame", "encode", "CF:7E 7D-00"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, Hex(kv::EncodeDiagFrame(body.data(), body.size())) + "\n");
    EXPECT_NE(r.out.find("cf7d5e7d5d00"), std::string::npos);
    ASSERT_GE(r.out.size(), 3u);
    for (size_t i = 0; i + 3 < r.out.size(); i += 2)
        EXPECT_NE(r.out.substr(i, 2), "7e") << "a bare flag inside the frame at " << i / 2;

    // the hex may come as several arguments
    r = RunCli({"frame", "encode", "cf", "0b", "00"});
    EXPECT_EQ(r.exitCode, 0);
    const std::vector<uint8_t> batt{0xCF, 0x0B, 0x00};
    EXPECT_EQ(r.out, Hex(kv::EncodeDiagFrame(batt.data(), batt.size())) + "\n");
}

TEST(FrameCommand, DecodeChecksOnePieceAndPrintsItsPayload)
{
    auto r = RunCli({"frame", "decode", "0078f07e"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "ok 00\n");

    // what encode prints, decode takes back
    const std::vector<uint8_t> body{0x7E, 0x7D, 0x01, 0xFF};
    r = RunCli({"frame", "decode", Hex(kv::EncodeDiagFrame(body.data(), body.size()))});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "ok 7e7d01ff\n");

    // a broken FCS: "bad", exit 1
    r = RunCli({"frame", "decode", "0078f17e"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.rfind("bad", 0), 0u) << r.out;
}

TEST(FrameCommand, BadArgumentsExit2WithAMessage)
{
    const std::vector<std::vector<std::string>> bad = {
        {"frame"},
        {"frame", "encode"},
        {"frame", "squash", "00"},
        {"frame", "encode", "0"},          // odd digit count
        {"frame", "encode", "zz"},         // not hex
        {"frame", "decode", "0078f0"},     // no closing flag
        {"frame", "decode", "007e0078f07e"}, // two pieces
        {"bogus-command"},
        {"--no-such-option", "ports"},
        {"--config-dir"},
        {},
    };
    for (const auto& args : bad) {
        const auto r = RunCli(args);
        std::string shown;
        for (const auto& a : args)
            shown += a + " ";
        EXPECT_EQ(r.exitCode, 2) << shown;
        EXPECT_EQ(r.out, "") << shown;
        EXPECT_EQ(r.err.rfind("korvianet-cli: ", 0), 0u) << shown << ": " << r.err;
    }
}
