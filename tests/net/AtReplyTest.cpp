// The text level of the AT path: cleaning answers read from a port shared
// with DIAG frames, reading the poll's answers, and refusing user text that
// could end a command line and start another.
#include "link/DiagFrame.h"
#include "net/AtReply.h"

#include <gtest/gtest.h>

using namespace kv;

namespace {

std::string Frame(std::initializer_list<uint8_t> payload)
{
    std::vector<uint8_t> p(payload);
    std::vector<uint8_t> f = EncodeDiagFrame(p.data(), p.size());
    return std::string(f.begin(), f.end());
}

bool HoldsForeignBytes(const std::string& s)
{
    for (unsigned char c : s)
        if (c != '\r' && c != '\n' && (c < 0x20 || c >= 0x7E))
            return true;
    return false;
}

} // namespace

TEST(AtAnswerCleaning, DiagFramesAroundAnAnswerAreDropped)
{
    const std::string answer = "\r\n+CSQ: 20,99\r\n\r\nOK\r\n";
    const std::string frame = Frame({0x7E, 0x00, 0x10, 0x0D, 0x0A, 0xFF, 'O', 'K', 0x0D});
    // before, after, and both, as a modem's event packets land
    EXPECT_EQ(CleanAtAnswer(frame + answer), answer);
    EXPECT_EQ(CleanAtAnswer(answer + frame), answer);
    EXPECT_EQ(CleanAtAnswer(frame + answer + frame), answer);
    // half a frame (no closing flag yet) in the middle of the text
    const std::string torn = "\r\n+CSQ: 20,99\r\n" + std::string("\x10\x01\xC3", 3) + "\r\nOK\r\n";
    const std::string clean = CleanAtAnswer(torn);
    EXPECT_FALSE(HoldsForeignBytes(clean));
    EXPECT_EQ(SignalValueOf(clean), " 20,99");
    EXPECT_TRUE(HasFinalResult(clean));
}

TEST(AtAnswerCleaning, FinalResultLinesAndBufferCut)
{
    EXPECT_FALSE(HasFinalResult("\r\n+CSQ: 20,99\r\n"));
    EXPECT_FALSE(HasFinalResult("\r\nOK")); // the line has not ended yet
    EXPECT_FALSE(HasFinalResult("\r\nTOKEN\r\n"));
    EXPECT_TRUE(HasFinalResult("\r\nERROR\r\n"));
    EXPECT_TRUE(HasFinalResult("\r\n+CME ERROR: 11\r\n"));
    EXPECT_EQ(FinalResultEnd("\r\nOK\r\nrest"), 6u);
    const std::string longAnswer = "\r\n" + std::string(600, 'A') + "\r\nOK\r\n";
    EXPECT_EQ(CleanAtAnswer(longAnswer).size(), kAtAnswerSize - 1);
}

TEST(AtSignal, ValueAndLineText)
{
    EXPECT_EQ(SignalValueOf("\r\n+CSQ: 17,99\r\n\r\nOK\r\n"), " 17,99");
    EXPECT_EQ(SignalValueOf("\r\nOK\r\n"), "");
    EXPECT_EQ(SignalValueOf("+CSQ:" + std::string(100, '9')).size(), kSignalValueSize - 1);

    std::string text;
    EXPECT_TRUE(SignalLineText("\r\n+CSQ: 17,99\r\n", "", text));
    EXPECT_EQ(text, "\rNetwork Signal: -79 dBm");
    // an answer without the marker shows the last good value, one line lower
    EXPECT_TRUE(SignalLineText("\r\nERROR\r\n", "\r\n+CSQ: 5,99\r\n", text));
    EXPECT_EQ(text, "\r\rNetwork Signal: -103 dBm");
    // nothing good ever: nothing to show; nothing read: the line keeps its text
    EXPECT_FALSE(SignalLineText("\r\nERROR\r\n", "", text));
    EXPECT_FALSE(SignalLineText("", "\r\n+CSQ: 5,99\r\n", text));
}

TEST(AtSignal, ReadingsInDbmAndNothingTheModemMadeUp)
{
    EXPECT_EQ(SignalReadingOf(" 0,99"), " -113 dBm");
    EXPECT_EQ(SignalReadingOf(" 31,0"), " -51 dBm");
    EXPECT_EQ(SignalReadingOf("20"), " -73 dBm");
    EXPECT_EQ(SignalReadingOf(" 99,99"), " no signal");
    for (const char* bad : {"", " ", " 32,99", " -1,99", " 1a,99", " ,99", " 999999999999,0"})
        EXPECT_EQ(SignalReadingOf(bad), " unknown") << '"' << bad << '"';
}

TEST(AtCard, StatesInSixCharacters)
{
    EXPECT_EQ(CardStateOf("\r\n+CPIN: READY\r\n\r\nOK\r\n"), " READY");
    EXPECT_EQ(CardStateOf("\r\n+CPIN: SIM PIN\r\n"), " PIN");
    EXPECT_EQ(CardStateOf("+CPIN: SIM PUK"), " PUK");
    EXPECT_EQ(CardStateOf("+CPIN: UIM PIN2\r\n"), " PIN2");
    EXPECT_EQ(CardStateOf("+CPIN:SIM PUK2"), " PUK2");
    EXPECT_EQ(CardStateOf("+CPIN: PH-SIM PIN\r\n"), " PH-SI");
    EXPECT_EQ(CardStateOf("+CPIN: SIM \r\n"), " SIM");
    EXPECT_EQ(CardStateOf("no marker"), "");
}

TEST(AtImsi, DigitsOfBothAnswerForms)
{
    EXPECT_EQ(SixAfterColon("\r\n+CIMI: 460030912345678\r\n"), " 46003");
    EXPECT_EQ(SixAfterColon("+CIMI:46"), "46");
    EXPECT_EQ(SixAfterColon("no colon"), "");
    EXPECT_EQ(ImsiDigitsOf("\r\n+CIMI: 460030912345678\r\n\r\nOK\r\n"), "460030912345678");
    EXPECT_EQ(ImsiDigitsOf("\r\n310410123456789\r\n\r\nOK\r\n"), "310410123456789");
    // not an IMSI: too short, too long, letters, an error
    EXPECT_EQ(ImsiDigitsOf("\r\n46003\r\n"), "");
    EXPECT_EQ(ImsiDigitsOf("\r\n4600309123456789\r\n"), "");
    EXPECT_EQ(ImsiDigitsOf("\r\n46003A912345678\r\n"), "");
    EXPECT_EQ(ImsiDigitsOf("\r\n+CME ERROR: 10\r\n"), "");
}

TEST(AtValidation, PinsAreFourToEightDigits)
{
    EXPECT_TRUE(IsValidPin("1234"));
    EXPECT_TRUE(IsValidPin("12345678"));
    EXPECT_FALSE(IsValidPin("123"));
    EXPECT_FALSE(IsValidPin("123456789"));
    EXPECT_FALSE(IsValidPin("12a4"));
    EXPECT_FALSE(IsValidPin("1234\rAT+X"));
    EXPECT_FALSE(IsValidPin("12\"4"));
    EXPECT_FALSE(IsValidPin(std::string("12\0" "4", 4)));
}

TEST(AtValidation, CommandsCarryOnlyValidatedText)
{
    EXPECT_EQ(BuildPinLockCommand(false, "1234"), "AT+CLCK=\"SC\",0,\"1234\"\r");
    EXPECT_EQ(BuildPinLockCommand(true, "87654321"), "AT+CLCK=\"SC\",1,\"87654321\"\r");
    EXPECT_EQ(BuildPinChangeCommand("1234", "5678"), "AT+CPWD=\"SC\",\"1234\",\"5678\"\r");
    EXPECT_EQ(BuildApnCommand("3GNET"), "at+cgdcont=1,\"ip\",\"3GNET\"\r");
    EXPECT_EQ(BuildApnCommand("web.vodafone.de"), "at+cgdcont=1,\"ip\",\"web.vodafone.de\"\r");
    EXPECT_EQ(BuildApnCommand("my_apn-2"), "at+cgdcont=1,\"ip\",\"my_apn-2\"\r");

    // injection attempts build nothing
    EXPECT_EQ(BuildPinLockCommand(false, "1234\rAT+X"), "");
    EXPECT_EQ(BuildPinLockCommand(true, "1234\"\r"), "");
    EXPECT_EQ(BuildPinChangeCommand("1234", "5678\rAT+CFUN=0"), "");
    EXPECT_EQ(BuildPinChangeCommand("1234\r", "5678"), "");
    EXPECT_EQ(BuildApnCommand("cmnet\"\rAT+CFUN=0\r"), "");
    EXPECT_EQ(BuildApnCommand("cmnet\r"), "");
    EXPECT_EQ(BuildApnCommand("a b"), "");
    EXPECT_EQ(BuildApnCommand(""), "");
    EXPECT_EQ(BuildApnCommand(std::string(kStaticApnSize, 'a')), "");
    EXPECT_NE(BuildApnCommand(std::string(kStaticApnSize - 1, 'a')), "");
}
