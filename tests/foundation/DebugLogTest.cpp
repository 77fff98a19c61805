#include "log/DebugLog.h"
#include "log/VisibleText.h"
#include "support/TempSettings.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <regex>
#include <sys/stat.h>
#include <thread>

using namespace kv;

namespace {

// Taken before any test runs: the log's state at process start.
const bool g_startedHiddenAndOff = !CDebugLog::Instance().IsVisible() &&
                                   CDebugLog::Instance().IsOff() &&
                                   CDebugLog::Instance().LevelMask() == 0;

// Turns the log on into a vector for one test and back off afterwards.
class LogCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        CDebugLog& log = CDebugLog::Instance();
        log.SetSink([this](const std::string& line) { lines.push_back(line); });
        log.SetLevelMask(kLogMaskAll);
        log.Enable();
        log.SetVisible(true);
    }
    void TearDown() override { DisableDiagnosticSink(); }
    std::vector<std::string> lines;
};

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(DebugLog, ProcessStartsHiddenOffWithAnEmptyMask)
{
    EXPECT_TRUE(g_startedHiddenAndOff);
}

TEST(DebugLog, LineLayoutTagAndFileField)
{
    EXPECT_STREQ(CDebugLog::TagFor(LEVEL_NOTI), "LEVEL_NOTI");
    EXPECT_STREQ(CDebugLog::TagFor(LEVEL_ST), "LEVEL_ST  ");
    EXPECT_STREQ(CDebugLog::TagFor(3), "LEVEL_SUM ");
    EXPECT_STREQ(CDebugLog::TagFor(0x800), "LEVEL_SUM ");
    EXPECT_EQ(CDebugLog::BaseNameField("C:\\src\\Dialer_oneDlg.cpp"), "Dialer_oneDlg.cpp   ");
    EXPECT_EQ(CDebugLog::BaseNameField("RasClient.cpp"), "RasClient.cpp       ");
    EXPECT_EQ(CDebugLog::BaseNameField("/a/b/AVeryLongSourceFileName.cpp"), "AVeryLongSourceFileName.cpp");
    EXPECT_EQ(CDebugLog::BaseNameField(("x\\" + std::string(400, 'n')).c_str()).size(), 259u);
    EXPECT_EQ(CDebugLog::BaseNameField(nullptr), std::string(20, ' '));
    EXPECT_EQ(CDebugLog::ComposeLine("12:00:01", LEVEL_DM, 42, "a.cpp", "hello"),
              "12:00:01 LEVEL_DM  :    42  a.cpp  hello");
}

TEST(DebugLog, FilterEntriesAndTheirMasks)
{
    EXPECT_STREQ(LogFilterText(0), "All View");
    EXPECT_EQ(LogFilterMask(0), 0xFFFFu);
    const char* names[] = {"Level ST", "Level ERR", "Level RAS", "Level SIM", "Level NOTI", "Level SMS",
                           "Level DM", "Level PB", "Level STATUS", "Level DataBase", "Level ComPort"};
    for (int i = 1; i < kLogFilterCount; ++i) {
        EXPECT_STREQ(LogFilterText(i), names[i - 1]);
        EXPECT_EQ(LogFilterMask(i), 1u << (i - 1));
    }
    EXPECT_EQ(LogFilterText(12), nullptr);
    EXPECT_EQ(LogFilterText(-1), nullptr);
    EXPECT_EQ(LogFilterMask(12), 0u);
    EXPECT_EQ(kLogMaskWindowInit, 0xFFFFFEFFu);
}

TEST_F(LogCapture, CallRecordsTimeTagLineFileAndMessageUnaltered)
{
    const int line = __LINE__ + 1;
    DEBUG_LOG(LEVEL_DM, "DM_GET_INFO %d\n", 7);
    ASSERT_EQ(lines.size(), 1u);
    std::regex layout("^[0-2][0-9]:[0-5][0-9]:[0-6][0-9] LEVEL_DM  : +([0-9]+)  DebugLogTest.cpp    "
                      "  DM_GET_INFO 7\n$");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, layout)) << lines[0];
    EXPECT_EQ(std::stoi(m[1]), line);
    EXPECT_EQ(lines[0].substr(19, 7), ": " + std::string(5 - std::to_string(line).size(), ' ') +
                                          std::to_string(line));
    EXPECT_EQ(CDebugLog::Instance().CurrentLine(), line);
}

TEST_F(LogCapture, GateMaskOperationsAndOffFlag)
{
    CDebugLog& log = CDebugLog::Instance();
    DEBUG_LOG(0, "level zero");          // never recorded
    log.SetLevelMask(LEVEL_SMS);
    DEBUG_LOG(LEVEL_PB, "filtered");
    DEBUG_LOG(LEVEL_SMS, "sms");
    log.AddLevels(LEVEL_ERR);
    DEBUG_LOG(3, "sum");                  // shares bit 2 with the mask
    log.RemoveLevels(LEVEL_ERR | LEVEL_SMS);
    DEBUG_LOG(LEVEL_SMS, "removed");
    log.SetLevelMask(LogFilterMask(0));
    DEBUG_LOG(LEVEL_COM, "all view");
    DEBUG_LOG(0x10000, "above all view");
    log.Disable();
    DEBUG_LOG(LEVEL_ST, "off");
    log.SetOffFlag(2);                    // anything but 1 is on
    DEBUG_LOG(LEVEL_ST, "on again");
    log.SetVisible(false);
    DEBUG_LOG(LEVEL_ST, "hidden");
    log.DebugLog(LEVEL_ST, "hidden, direct call");
    log.SetVisible(true);
    log.ClearLevels();
    DEBUG_LOG(LEVEL_ST, "cleared");

    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("LEVEL_SMS :"), std::string::npos);
    EXPECT_NE(lines[1].find("LEVEL_SUM :"), std::string::npos);
    EXPECT_NE(lines[1].find("  sum"), std::string::npos);
    EXPECT_NE(lines[2].find("LEVEL_COM :"), std::string::npos);
    EXPECT_NE(lines[3].find("on again"), std::string::npos);
}

TEST_F(LogCapture, LongMessagesAndLinesAreCutAt1024)
{
    std::string big(2000, 'm');
    DEBUG_LOG(LEVEL_ST, "%s", big.c_str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 1024u);
    EXPECT_EQ(lines[0].back(), 'm');

    // The separate steps behave like the macro.
    CDebugLog& log = CDebugLog::Instance();
    log.SetLine(12345);
    log.SetSourceFile("C:\\work\\SmsView.cpp");
    log.DebugLog(LEVEL_SMS, "%s", "x");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(8), " LEVEL_SMS : 12345  SmsView.cpp           x");
}

TEST_F(LogCapture, CallsFromManyThreadsKeepTheirOwnLineAndFile)
{
    const int kPerThread = 300;
    int lineA = 0, lineB = 0;
    std::thread a([&] {
        for (int i = 0; i < kPerThread; ++i) {
            lineA = __LINE__ + 1;
            DEBUG_LOG(LEVEL_ST, "from A");
        }
    });
    std::thread b([&] {
        for (int i = 0; i < kPerThread; ++i) {
            CDebugLog::Instance().Record(777, "Other.cpp", LEVEL_ST, "from B");
        }
    });
    a.join();
    b.join();
    lineB = 777;
    ASSERT_EQ(lines.size(), size_t(2 * kPerThread));
    for (const std::string& l : lines) {
        bool fromA = l.find("from A") != std::string::npos;
        std::string want = fromA ? std::to_string(lineA) + "  DebugLogTest.cpp"
                                 : std::to_string(lineB) + "  Other.cpp";
        EXPECT_NE(l.find(want), std::string::npos) << l;
    }
}

TEST(DebugLog, SaveWritesEveryLineWithCrLfUnderATimedName)
{
    std::tm when{};
    when.tm_hour = 14;
    when.tm_min = 5;
    when.tm_sec = 9;
    EXPECT_EQ(LogSaveFileName(when), "Debug Message 14h05m09s.txt");

    std::string dir = kvtest::MakeTempDir();
    std::string name = SaveLogLines({"first", "second\n", ""}, dir);
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(std::regex_match(name, std::regex("Debug Message [0-2][0-9]h[0-5][0-9]m[0-6][0-9]s\\.txt")));
    EXPECT_EQ(ReadText(dir + "/" + name), "first\r\nsecond\n\r\n\r\n");
    // The same name again replaces the file.
    std::string again = SaveLogLines({"only"}, dir);
    if (again == name) {
        EXPECT_EQ(ReadText(dir + "/" + name), "only\r\n");
    }
    EXPECT_EQ(SaveLogLines({"x"}, dir + "/no/such/folder"), "");
    kvtest::RemoveTree(dir);
}

TEST(DebugLog, DiagnosticSinkWritesEachLineAsOneEscapedLine)
{
    std::string dir = kvtest::MakeTempDir();
    std::string path = dir + "/diag.log";
    ASSERT_TRUE(EnableDiagnosticFile(path, LEVEL_SMS));
    DEBUG_LOG(LEVEL_SMS, "data=%s", "evil\x1b]0;title\x07\x1b[2J\nsecond line\\");
    DisableDiagnosticSink();
    const std::string text = ReadText(path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find("data=evil\\x1b]0;title\\x07\\x1b[2J\\nsecond line\\\\\n"), std::string::npos) << text;
    kvtest::RemoveTree(dir);
}

TEST(VisibleText, EscapesWhatATerminalWouldObeyAndKeepsText)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain text 123", "plain text 123"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xb1", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xb1"}, // UTF-8 kept
        {"a\tb\r\nc", "a\\tb\\r\\nc"},
        {"back\\slash", "back\\\\slash"},
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"\x7f\x1b", "\\x7f\\x1b"},
        {"csi\xc2\x9b" "2J", "csi\\u009b2J"},           // C1 control as UTF-8
        {"rtl\xe2\x80\xae" "abc", "rtl\\u202eabc"},     // right-to-left override
        {"latin1 \xe9\x9b", "latin1 \\xe9\\x9b"},    // not UTF-8: byte escapes
        {"\xc0\xaf\xed\xa0\x80", "\\xc0\\xaf\\xed\\xa0\\x80"}, // overlong, surrogate
        {"cut \xe2\x82", "cut \\xe2\\x82"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(kv::VisibleText(in), out) << in;
        EXPECT_EQ(kv::IsVisibleText(in), in == out) << in;
    }
}

TEST(DebugLog, DiagnosticFileSinkAppendsOwnerOnlyAndSwitchesOffAgain)
{
    std::string dir = kvtest::MakeTempDir();
    std::string path = dir + "/diag.log";
    EXPECT_FALSE(EnableDiagnosticFile(dir + "/missing/diag.log"));
    EXPECT_FALSE(CDebugLog::Instance().IsVisible());
    ASSERT_TRUE(EnableDiagnosticFile(path, LEVEL_ST));
    DEBUG_LOG(LEVEL_ST, "one");
    DEBUG_LOG(LEVEL_DM, "masked");
    DEBUG_LOG(LEVEL_ST, "two\n");
    DisableDiagnosticSink();
    DEBUG_LOG(LEVEL_ST, "after");
    std::string text = ReadText(path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_NE(text.find("  one\n"), std::string::npos);
    EXPECT_NE(text.find("  two\n"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(CDebugLog::Instance().IsOff());
    kvtest::RemoveTree(dir);
}
