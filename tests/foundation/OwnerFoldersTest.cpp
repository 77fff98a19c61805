// The settings are only ever read from and written to folders and files of
// the user's own: another user's folder, file or symbolic link is refused,
// and a missing $HOME never leads to a folder every user shares.
#include "settings/Autorun.h"
#include "settings/DataDir.h"
#include "settings/Profile.h"
#include "settings/SettingsKeys.h"
#include "support/AsUser.h"
#include "support/TempSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kv;

namespace {

// Sets or clears environment variables for one test and restores them.
class EnvGuard {
public:
    void Set(const char* name, const char* value)
    {
        Save(name);
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvGuard()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->had)
                setenv(it->name.c_str(), it->value.c_str(), 1);
            else
                unsetenv(it->name.c_str());
        }
    }

private:
    void Save(const char* name)
    {
        const char* old = std::getenv(name);
        m_saved.push_back({name, old ? old : "", old != nullptr});
    }
    struct Saved {
        std::string name, value;
        bool had;
    };
    std::vector<Saved> m_saved;
};

std::string PasswdHome()
{
    const passwd* pw = ::getpwuid(::geteuid());
    return pw && pw->pw_dir ? pw->pw_dir : "";
}

// A folder below base owned by uid with the given mode.
std::string FolderOf(const std::string& base, const char* name, uid_t uid, mode_t mode)
{
    const std::string dir = base + "/" + name;
    ::mkdir(dir.c_str(), mode);
    ::chmod(dir.c_str(), mode);
    (void)!::chown(dir.c_str(), uid, gid_t(uid));
    return dir;
}

void FileOf(const std::string& path, const std::string& text, uid_t uid, mode_t mode)
{
    kvtest::WriteFileBytes(path, text);
    ::chmod(path.c_str(), mode);
    (void)!::chown(path.c_str(), uid, gid_t(uid));
}

} // namespace

TEST(HomeFallback, WithoutHomeTheFoldersComeFromThePasswordDatabase)
{
    const std::string home = PasswdHome();
    if (home.empty() || home[0] != '/')
        GTEST_SKIP() << "this user has no home folder in the password database";
    EnvGuard env;
    env.Set("HOME", nullptr);
    env.Set("KORVIANET_CONFIG_DIR", nullptr);
    env.Set("XDG_CONFIG_HOME", nullptr);
    env.Set("KORVIANET_DATA_DIR", nullptr);
    env.Set("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(SettingsDir(), home + "/.config/korvianet");
    EXPECT_EQ(ProfilePath(kIniDialer), home + "/.config/korvianet/teal_dialer.ini");
    EXPECT_EQ(UserDataDir(), home + "/.local/share/korvianet");
    EXPECT_EQ(AutorunEntryPath(), home + "/.config/autostart/ZEMU.desktop");
    // A relative $XDG_CONFIG_HOME is not a folder of ours either.
    env.Set("XDG_CONFIG_HOME", "tmp");
    EXPECT_EQ(SettingsDir(), home + "/.config/korvianet");
}

TEST(OwnerFolders, AnotherUsersSettingsFolderIsNeitherReadNorWritten)
{
    if (!kvtest::CanRunAsTwoUsers())
        GTEST_SKIP() << "acting as two users needs root";
    const std::string base = kvtest::MakeTempDir("kvowner");
    ::chmod(base.c_str(), 0755);
    // The attacker's folder, open to all, with settings of its choosing.
    const std::string theirs = FolderOf(base, "theirs", kvtest::kAttackerUid, 0777);
    FileOf(theirs + "/teal_dialer.ini", "[password]\ntext=planted\n", kvtest::kAttackerUid, 0666);
    EnvGuard env;
    env.Set("KORVIANET_CONFIG_DIR", theirs.c_str());

    const std::string err = kvtest::RunAsUser(kvtest::kVictimUid, []() -> std::string {
        std::string why;
        if (SettingsDirUsable(&why) || why.find("another user") == std::string::npos)
            return "the folder was not refused before the start: " + why;
        if (EnsureSettingsDir(&why))
            return "the folder was accepted for writing";
        if (WriteProfileString("password", "text", "victim secret", "teal_dialer.ini"))
            return "the password was written into the other user's folder";
        if (GetProfileString("password", "text", "none", 64, "teal_dialer.ini") != "none")
            return "a setting was read from the other user's file";
        return "";
    });
    EXPECT_EQ(err, "");
    EXPECT_EQ(kvtest::ReadFileBytes(theirs + "/teal_dialer.ini"), "[password]\ntext=planted\n");
    kvtest::RemoveTree(base);
}

TEST(OwnerFolders, ALinkOrFileAnotherUserLeftInOurFolderIsNotUsed)
{
    if (!kvtest::CanRunAsTwoUsers())
        GTEST_SKIP() << "acting as two users needs root";
    const std::string base = kvtest::MakeTempDir("kvowner");
    ::chmod(base.c_str(), 0755);
    const std::string mine = FolderOf(base, "mine", kvtest::kVictimUid, 0700);
    const std::string notes = FolderOf(base, "notes", kvtest::kVictimUid, 0700) + "/notes.txt";
    FileOf(notes, "my own notes\n", kvtest::kVictimUid, 0600);
    // A link in the settings file's place, made by the other user (as root
    // could have left it), pointing at the victim's notes; and a settings
    // file of the other user's beside it.
    ASSERT_EQ(::symlink(notes.c_str(), (mine + "/teal_dialer.ini").c_str()), 0);
    ASSERT_EQ(::lchown((mine + "/teal_dialer.ini").c_str(), kvtest::kAttackerUid, kvtest::kAttackerUid), 0);
    FileOf(mine + "/syskor.ini", "[sysinf]\nslps=900\n", kvtest::kAttackerUid, 0644);
    EnvGuard env;
    env.Set("KORVIANET_CONFIG_DIR", mine.c_str());

    const std::string err = kvtest::RunAsUser(kvtest::kVictimUid, []() -> std::string {
        if (!EnsureSettingsDir())
            return "the victim's own folder was refused";
        if (WriteProfileString("password", "text", "victim secret", "teal_dialer.ini"))
            return "the write went through the other user's link";
        if (GetProfileString("x", "y", "none", 64, "teal_dialer.ini") != "none")
            return "the link was followed for reading";
        if (GetProfileInt("sysinf", "slps", 5, "syskor.ini") != 5)
            return "the other user's file was read";
        if (WriteProfileString("sysinf", "slps", "1", "syskor.ini"))
            return "the other user's file was replaced";
        return "";
    });
    EXPECT_EQ(err, "");
    EXPECT_EQ(kvtest::ReadFileBytes(notes), "my own notes\n");
    EXPECT_EQ(kvtest::ReadFileBytes(mine + "/syskor.ini"), "[sysinf]\nslps=900\n");
    kvtest::RemoveTree(base);
}
