#include "settings/Reg.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace kv;

namespace {
const char* kEnum = "SYSTEM\\CurrentControlSet\\Services\\kvusbser\\Enum";
const char* kInstance = "USB\\VID_19D2&PID_6502&MI_02\\5&1a2b&0&2";

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}
} // namespace

TEST(Reg, EveryFailureGivesTheDefault)
{
    kvtest::TempSettings cfg;
    CReg reg;
    // Root 0 right after construction.
    EXPECT_EQ(reg.ReadDword("Count", 0xFFFFFFFFu), 0xFFFFFFFFu);
    std::string out = "keep";
    EXPECT_FALSE(reg.ReadString("0", out));
    EXPECT_EQ(out, "keep");

    reg.SetKey(HKEY_LOCAL_MACHINE, kEnum); // no tree at all yet
    EXPECT_EQ(reg.ReadDword("Count", 7), 7u);
    EXPECT_EQ(reg.ReadStringDefault("0", "Not Find"), "Not Find");

    ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, kEnum, "Count", "2"));
    ASSERT_TRUE(RegSetDword(HKEY_LOCAL_MACHINE, kEnum, "0", 5));
    // Values of the other type do not answer.
    EXPECT_EQ(reg.ReadDword("Count", 9), 9u);
    EXPECT_EQ(reg.ReadStringDefault("0", "Not Find"), "Not Find");
    // An unknown root is refused for writing and reading.
    EXPECT_FALSE(RegSetDword(0x1234, kEnum, "Count", 1));
    reg.SetKey(0x1234, kEnum);
    EXPECT_EQ(reg.ReadDword("Count", 3), 3u);
}

TEST(Reg, WrittenKeysReadBackCaseInsensitivelyAndSurviveOddNames)
{
    kvtest::TempSettings cfg;
    const std::string params = std::string("SYSTEM\\CurrentControlSet\\Enum\\") + kInstance +
                               "\\Device Parameters";
    ASSERT_TRUE(RegSetDword(HKEY_LOCAL_MACHINE, kEnum, "Count", 4294967295u));
    ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, kEnum, "0", kInstance));
    ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, params, "PortName", "COM12"));
    // Odd names and text: '=', '%', line breaks, a leading dot.
    ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, "x\\.hidden\\50%", "a=b", "line1\nline2%41\r"));

    CReg reg;
    reg.SetKey(HKEY_LOCAL_MACHINE, "system\\currentcontrolset\\services\\KVUSBSER\\enum");
    EXPECT_EQ(reg.ReadDword("COUNT", 0), 4294967295u);
    EXPECT_EQ(reg.ReadStringDefault("0", ""), kInstance);
    reg.SetKey(HKEY_LOCAL_MACHINE, "\\" + params + "\\");
    EXPECT_EQ(reg.ReadStringDefault("portname", "Not Find"), "COM12");
    reg.SetKey(HKEY_LOCAL_MACHINE, "X\\.HIDDEN\\50%");
    EXPECT_EQ(reg.ReadStringDefault("A=B", ""), "line1\nline2%41\r");
    // Another root is another tree.
    reg.SetKey(HKEY_CURRENT_USER, kEnum);
    EXPECT_EQ(reg.ReadDword("Count", 1), 1u);

    // Rewriting a value in another case keeps one value; deleting works.
    ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, params, "PORTNAME", "COM3"));
    std::vector<std::string> names;
    ASSERT_TRUE(RegListValues(HKEY_LOCAL_MACHINE, params, names));
    EXPECT_EQ(names.size(), 1u);
    reg.SetKey(HKEY_LOCAL_MACHINE, params);
    EXPECT_EQ(reg.ReadStringDefault("PortName", ""), "COM3");
    ASSERT_TRUE(RegDeleteValue(HKEY_LOCAL_MACHINE, params, "portname"));
    EXPECT_EQ(reg.ReadStringDefault("PortName", "Not Find"), "Not Find");
    EXPECT_TRUE(RegDeleteValue(HKEY_LOCAL_MACHINE, "no\\such\\key", "x"));

    std::vector<std::string> subs;
    ASSERT_TRUE(RegListSubKeys(HKEY_LOCAL_MACHINE, "x", subs));
    ASSERT_EQ(subs.size(), 1u);
    EXPECT_EQ(subs[0], ".hidden");

    ASSERT_TRUE(RegDeleteKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Enum\\USB"));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, params));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, kEnum));

    // The tree is private to its owner.
    EXPECT_EQ(ModeOf(cfg.Dir() + "/registry"), 0700u);
    std::string enumFolder = RegistryKeyFolder(HKEY_LOCAL_MACHINE, kEnum);
    EXPECT_EQ(ModeOf(enumFolder), 0700u);
    EXPECT_EQ(ModeOf(enumFolder + "/.values"), 0600u);
}

TEST(Reg, HandWrittenValuesFileToleratesJunkAndFirstLineWins)
{
    kvtest::TempSettings cfg;
    cfg.WriteFile("registry/HKLM/Soft/Key/.values",
                  "garbage line\r\n"
                  "Count=REG_DWORD:99999999999\r\n"   // out of range: ignored
                  "Count=REG_DWORD:3\r\n"
                  "count=REG_DWORD:4\r\n"             // later duplicate: ignored
                  "Name=REG_BINARY:00ff\n"
                  "Name=REG_SZ:first\n"
                  "\x01\xff=REG_SZ:bin"); // no final newline
    CReg reg;
    reg.SetKey(HKEY_LOCAL_MACHINE, "soft\\key");
    EXPECT_EQ(reg.ReadDword("Count", 0), 3u);
    EXPECT_EQ(reg.ReadStringDefault("name", ""), "first");
    EXPECT_EQ(reg.ReadStringDefault("\x01\xff", ""), "bin");
}

namespace {
// A provider that knows one value of one key below its prefix.
class FakeDevices : public IRegistryBackend {
public:
    bool KeyExists(HKEY, const std::string& path) override { return path.find("Live") != std::string::npos; }
    bool QueryValue(HKEY, const std::string& path, const std::string& name, RegValue& out) override
    {
        if (path.find("Live") == std::string::npos || name != "Count")
            return false;
        out.type = REG_DWORD;
        out.dword = 42;
        return true;
    }
    bool ListSubKeys(HKEY, const std::string&, std::vector<std::string>& out) override
    {
        out.push_back("LiveDevice");
        return true;
    }
    bool ListValues(HKEY, const std::string&, std::vector<std::string>&) override { return false; }
};
} // namespace

TEST(Reg, OverlayAnswersBelowItsPrefixAndFallsBackToTheFileTree)
{
    kvtest::TempSettings cfg;
    ASSERT_TRUE(RegSetDword(HKEY_LOCAL_MACHINE, "Dev\\Live", "Count", 1));
    ASSERT_TRUE(RegSetString(HKEY_LOCAL_MACHINE, "Dev\\Live", "Other", "from file"));
    ASSERT_TRUE(RegSetDword(HKEY_LOCAL_MACHINE, "Device\\Live", "Count", 1));
    InstallRegistryOverlay(HKEY_LOCAL_MACHINE, "DEV", std::make_shared<FakeDevices>());

    CReg reg;
    reg.SetKey(HKEY_LOCAL_MACHINE, "dev\\Live");
    EXPECT_EQ(reg.ReadDword("Count", 0), 42u);
    EXPECT_EQ(reg.ReadStringDefault("Other", ""), "from file");
    // "Device" is not below the prefix "DEV": component match, not text.
    reg.SetKey(HKEY_LOCAL_MACHINE, "Device\\Live");
    EXPECT_EQ(reg.ReadDword("Count", 0), 1u);
    std::vector<std::string> subs;
    ASSERT_TRUE(RegListSubKeys(HKEY_LOCAL_MACHINE, "Dev", subs));
    EXPECT_EQ(subs.size(), 2u); // "Live" from the file tree, "LiveDevice" from the overlay

    InstallRegistryOverlay(HKEY_LOCAL_MACHINE, "dev", nullptr);
    reg.SetKey(HKEY_LOCAL_MACHINE, "dev\\live");
    EXPECT_EQ(reg.ReadDword("Count", 0), 1u);
    RemoveAllRegistryOverlays();
}
