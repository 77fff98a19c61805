#include "settings/Autorun.h"
#include "settings/StaticApn.h"
#include "support/TempSettings.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using namespace kv;

namespace {
std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
} // namespace

TEST(StaticApn, ReadSkipsEmptyLinesAndStopsAfterTheFirstOverlongLine)
{
    std::string l63(63, 'a'), l64 = std::string(63, 'b') + "Z";
    auto list = ParseStaticApnList("cmnet\n\n\r\nuninet\r\n" + l63 + "\n" + l64 + "\nafter\n");
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0], "cmnet");
    EXPECT_EQ(list[1], "uninet");
    EXPECT_EQ(list[2], l63);
    EXPECT_EQ(list[3], std::string(63, 'b'));
    // No final newline, a NUL inside a line.
    list = ParseStaticApnList(std::string("ab\0cd\nlast", 10));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], "ab");
    EXPECT_EQ(list[1], "last");
    EXPECT_TRUE(ParseStaticApnList("").empty());
}

TEST(StaticApn, RewriteFoldsToUpperCaseAndAppendsTheNewApn)
{
    std::string dir = kvtest::MakeTempDir();
    std::string path = dir + "/static_apn.txt";
    std::vector<std::string> list;
    EXPECT_FALSE(ReadStaticApnList(list, path));
    ASSERT_TRUE(EnsureStaticApnFile(path));
    EXPECT_TRUE(ReadStaticApnList(list, path));
    EXPECT_TRUE(list.empty());

    std::string added = "new.apn\nX";
    ASSERT_TRUE(WriteStaticApnList({"cmnet", "", "Uni-Net.ä"}, &added, path));
    ASSERT_TRUE(ReadStaticApnList(list, path));
    EXPECT_EQ(list, (std::vector<std::string>{"CMNET", "UNI-NET.ä", "NEW.APNX"}));
    EXPECT_EQ(UpperAscii("aZ-é9"), "AZ-é9");
    // EnsureStaticApnFile leaves an existing list alone.
    ASSERT_TRUE(EnsureStaticApnFile(path));
    ASSERT_TRUE(ReadStaticApnList(list, path));
    EXPECT_EQ(list.size(), 3u);
    kvtest::RemoveTree(dir);
}

TEST(Autorun, SetWritesAnEntryForThisExecutableAndClearIsQuietWhenMissing)
{
    std::string dir = kvtest::MakeTempDir();
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);

    EXPECT_EQ(AutorunEntryPath(), dir + "/autostart/ZEMU.desktop");
    EXPECT_FALSE(IsAutorunSet());
    EXPECT_TRUE(ClearAutorun());
    ASSERT_TRUE(SetAutorun());
    EXPECT_TRUE(IsAutorunSet());
    std::string text = ReadText(AutorunEntryPath());
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("Exec=\"" + RunningExecutablePath() + "\"\n"), std::string::npos);
    ASSERT_TRUE(ClearAutorun());
    EXPECT_FALSE(IsAutorunSet());
    EXPECT_TRUE(ClearAutorun());

    // Characters the Exec line reserves are escaped.
    EXPECT_NE(AutorunEntryText("/opt/my dir/a\"b$c%d\\e").find(
                  "Exec=\"/opt/my dir/a\\\\\"b\\\\$c%%d\\\\\\\\e\"\n"),
              std::string::npos);

    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    kvtest::RemoveTree(dir);
}
