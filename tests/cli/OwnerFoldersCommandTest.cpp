// A settings or data folder another user owns is refused before any command
// runs: nothing is read from it, nothing of the user's goes into it, and the
// user is told why.
#include "CliFixture.h"

#include "support/AsUser.h"

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using kvtest::CliFixture;

namespace {

// A folder of another user's that is open to all: one made by the attacker
// when the tests run as root, else a system folder.
std::string ForeignFolder(const std::string& base)
{
    if (::geteuid() != 0)
        return "/usr";
    const std::string dir = base + "/theirs";
    ::mkdir(dir.c_str(), 0777);
    ::chmod(dir.c_str(), 0777);
    if (::chown(dir.c_str(), kvtest::kAttackerUid, kvtest::kAttackerUid) != 0)
        return "";
    return dir;
}

size_t Entries(const std::string& dir)
{
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        (void)e;
        ++n;
    }
    return n;
}

} // namespace

TEST_F(CliFixture, AnotherUsersSettingsFolderIsRefusedWithAClearError)
{
    const std::string theirs = ForeignFolder(settings.Dir());
    ASSERT_FALSE(theirs.empty());
    const size_t before = Entries(theirs);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--config-dir", theirs, "config", "set", "teal_dialer.ini", "password", "text", "pw"},
          std::vector<std::string>{"--config-dir", theirs, "sms", "send", "5551234", "--", "victim private text"},
          std::vector<std::string>{"--config-dir", theirs, "status"}}) {
        const auto r = kvtest::RunCli(args);
        EXPECT_EQ(r.exitCode, 1) << args[2] << ": " << r.out << r.err;
        EXPECT_NE(r.err.find("the folder " + theirs + " belongs to another user"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << args[2];
    }
    EXPECT_EQ(Entries(theirs), before);
}

TEST_F(CliFixture, AnotherUsersDataFolderIsRefusedWithAClearError)
{
    const std::string theirs = ForeignFolder(settings.Dir());
    ASSERT_FALSE(theirs.empty());
    const size_t before = Entries(theirs);
    setenv("KORVIANET_DATA_DIR", theirs.c_str(), 1);
    const auto r = Run({"traffic"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("belongs to another user"), std::string::npos) << r.err;
    EXPECT_EQ(Entries(theirs), before);
}
