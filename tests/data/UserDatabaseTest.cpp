// The user's database and data folder: where they are, the first start's
// copy of the template, and the copies that must never be replaced.
#include "DbFixture.h"

#include "data/AppDatabase.h"
#include "data/DataConstants.h"
#include "data/DbPath.h"
#include "settings/DataDir.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kv;

namespace {

class UserDb : public ::testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("KORVIANET_DB");
        data = cfg.DataDir();
        copy = data + "/WVL.MDB";
        stat(KORVIA_BUILT_DB, &templateBefore);
        templateBytes = kvtest::ReadFileBytes(KORVIA_BUILT_DB);
        ASSERT_FALSE(templateBytes.empty()) << "the build did not produce " << KORVIA_BUILT_DB;
    }
    void TearDown() override
    {
        // Whatever a test did, the template is as the build made it.
        struct stat now {};
        ASSERT_EQ(stat(KORVIA_BUILT_DB, &now), 0);
        EXPECT_EQ(now.st_mtim.tv_sec, templateBefore.st_mtim.tv_sec);
        EXPECT_EQ(now.st_mtim.tv_nsec, templateBefore.st_mtim.tv_nsec);
        EXPECT_EQ(kvtest::ReadFileBytes(KORVIA_BUILT_DB), templateBytes);
    }

    static mode_t ModeOf(const std::string& path)
    {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : mode_t(-1);
    }
    static std::vector<std::string> Names(const std::string& dir)
    {
        std::vector<std::string> names;
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }

    kvtest::TempSettings cfg;
    std::string data, copy;
    struct stat templateBefore {};
    std::string templateBytes;
};

} // namespace

TEST_F(UserDb, FolderAndFilesComeFromTheVariablesInOrder)
{
    EXPECT_EQ(UserDataDir(), data);
    EXPECT_EQ(DatabasePath(), copy);
    setenv("KORVIANET_DB", "/elsewhere/one.db", 1);
    EXPECT_EQ(DatabasePath(), "/elsewhere/one.db");
    unsetenv("KORVIANET_DB");

    // Traffic file prefixes: relative ones (the empty default too) are taken
    // inside the data folder; a prefix without a slash is joined unchanged.
    EXPECT_EQ(DataFilePath("", "PktFF.dat"), data + "/PktFF.dat");
    EXPECT_EQ(DataFilePath("net/", "PktFF.dat"), data + "/net/PktFF.dat");
    EXPECT_EQ(DataFilePath("/var/x/", "PktFF.dat"), "/var/x/PktFF.dat");
    EXPECT_EQ(DataFilePath("stats", "PktLF.dat"), data + "/statsPktLF.dat");

    const std::string saved = data;
    unsetenv("KORVIANET_DATA_DIR");
    setenv("XDG_DATA_HOME", "/xdg/data", 1);
    EXPECT_EQ(UserDataDir(), "/xdg/data/korvianet");
    setenv("XDG_DATA_HOME", "relative/data", 1); // invalid: ignored
    const char* home = std::getenv("HOME");
    const std::string oldHome = home ? home : "";
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(UserDataDir(), "/home/someone/.local/share/korvianet");
    // Without $HOME the password database names the home folder, never a
    // folder that every user shares.
    unsetenv("HOME");
    EXPECT_NE(UserDataDir().rfind("/tmp", 0), 0u);
    EXPECT_NE(UserDataDir(), "/.local/share/korvianet");
    if (!oldHome.empty())
        setenv("HOME", oldHome.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    setenv("KORVIANET_DATA_DIR", saved.c_str(), 1);

    // The template: next to the executable first, then the installed folder.
    const auto where = TemplateDatabaseCandidates();
    ASSERT_EQ(where.size(), 2u);
    EXPECT_EQ(where[0], ExecutableDir() + "/WVL.MDB");
    EXPECT_EQ(where[1], "/usr/share/korvianet/WVL.MDB");
}

TEST_F(UserDb, FirstStartCopiesTheTemplateIntoAPrivateFolderAndWorksOnTheCopy)
{
    const DbSetupResult r = PrepareUserDatabase();
    ASSERT_EQ(r.code, DbSetup::Copied) << r.message;
    EXPECT_EQ(r.path, copy);
    EXPECT_EQ(ModeOf(data), mode_t(0700));
    EXPECT_EQ(ModeOf(copy), mode_t(0600));
    EXPECT_EQ(kvtest::ReadFileBytes(copy), templateBytes);
    EXPECT_EQ(Names(data), std::vector<std::string>{"WVL.MDB"}) << "no temporary file is left";

    CAppDatabase app(r.path);
    EXPECT_TRUE(app.AppendCallRecord(kCallOutgoing, "555", "Ann", std::tm{}, 3));
    EXPECT_TRUE(app.OpenSmsCursor());
    app.CloseSmsCursor();
    EXPECT_NE(kvtest::ReadFileBytes(copy), templateBytes);

    // A wider folder is narrowed again at the next start.
    chmod(data.c_str(), 0755);
    EXPECT_EQ(PrepareUserDatabase().code, DbSetup::Ready);
    EXPECT_EQ(ModeOf(data), mode_t(0700));
}

TEST_F(UserDb, AnExistingCopyIsNeverReplacedWhateverItHolds)
{
    ASSERT_EQ(PrepareUserDatabase().code, DbSetup::Copied);
    {
        CAppDatabase app(copy);
        ASSERT_TRUE(app.AppendCallRecord(kCallMissed, "911", "", std::tm{}, 0));
    }
    const std::string changed = kvtest::ReadFileBytes(copy);
    DbSetupResult r = PrepareUserDatabase();
    EXPECT_EQ(r.code, DbSetup::Ready);
    EXPECT_EQ(kvtest::ReadFileBytes(copy), changed);

    // Damaged, empty or not even a file: still the user's, reported when
    // opened, never overwritten with the template.
    kvtest::WriteFileBytes(copy, "not a database");
    EXPECT_EQ(PrepareUserDatabase().code, DbSetup::Ready);
    EXPECT_EQ(kvtest::ReadFileBytes(copy), "not a database");
    CAppDatabase bad(copy);
    EXPECT_FALSE(bad.OpenSmsCursor());
    EXPECT_EQ(kvtest::ReadFileBytes(copy), "not a database");

    unlink(copy.c_str());
    ASSERT_EQ(mkdir(copy.c_str(), 0700), 0);
    EXPECT_EQ(PrepareUserDatabase().code, DbSetup::Ready);
    struct stat st {};
    ASSERT_EQ(stat(copy.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    rmdir(copy.c_str());
}

TEST_F(UserDb, AnUnreadableCopyIsReportedAsSuchAndKept)
{
    const std::string dir = kvtest::MakeTempDir("kvudb");
    chmod(dir.c_str(), 0755);
    const std::string dest = dir + "/WVL.MDB";
    ASSERT_EQ(InstallDatabaseCopy(dest, {KORVIA_BUILT_DB}).code, DbSetup::Copied);
    const std::string before = kvtest::ReadFileBytes(dest);
    chmod(dest.c_str(), 0000);
    EXPECT_TRUE(kvtest::RunUnprivileged([&] {
        const DbSetupResult r = InstallDatabaseCopy(dest, {KORVIA_BUILT_DB});
        if (r.code != DbSetup::Ready || r.path != dest)
            return false;
        CAppDatabase app(dest);
        try {
            app.Pbook().Open();
            return false;
        } catch (const CDaoException& e) {
            if (e.Description().empty())
                return false;
        }
        return !app.OpenSmsCursor();
    }));
    chmod(dest.c_str(), 0600);
    EXPECT_EQ(kvtest::ReadFileBytes(dest), before);
    kvtest::RemoveTree(dir);
}

TEST_F(UserDb, NoTemplateIsAClearFailureThatLeavesNothingBehind)
{
    ASSERT_TRUE(EnsureUserDataDir());
    const std::string a = data + "/no/such/WVL.MDB";
    const std::string b = data; // a folder is not a template
    const DbSetupResult r = InstallDatabaseCopy(copy, {a, b});
    EXPECT_EQ(r.code, DbSetup::NoTemplate);
    EXPECT_FALSE(r.Ok());
    EXPECT_NE(r.message.find("WVL.MDB was not found"), std::string::npos) << r.message;
    EXPECT_NE(r.message.find(a), std::string::npos) << r.message;
    EXPECT_TRUE(Names(data).empty());

    // A folder that cannot be written: the failure is the copy's, and no
    // half-written file is left.
    const std::string ro = kvtest::MakeTempDir("kvudb");
    chmod(ro.c_str(), 0555);
    EXPECT_TRUE(kvtest::RunUnprivileged([&] {
        return InstallDatabaseCopy(ro + "/WVL.MDB", {KORVIA_BUILT_DB}).code == DbSetup::CopyFailed;
    }));
    EXPECT_TRUE(Names(ro).empty());
    kvtest::RemoveTree(ro);
}

TEST_F(UserDb, AFolderOfAnotherUserOrAFileIsNeverUsed)
{
    const std::string file = cfg.Path("plain");
    kvtest::WriteFileBytes(file, "x");
    setenv("KORVIANET_DATA_DIR", file.c_str(), 1);
    DbSetupResult r = PrepareUserDatabase();
    EXPECT_EQ(r.code, DbSetup::NoDataDir);
    EXPECT_FALSE(r.message.empty());

    // Someone else's folder: root's as an ordinary user, nobody's as root.
    std::string foreign = "/usr";
    if (geteuid() == 0) {
        foreign = cfg.Path("theirs");
        ASSERT_EQ(mkdir(foreign.c_str(), 0777), 0);
        ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
    }
    setenv("KORVIANET_DATA_DIR", foreign.c_str(), 1);
    std::string why;
    EXPECT_FALSE(EnsureUserDataDir(&why));
    EXPECT_NE(why.find("another user"), std::string::npos) << why;
    r = PrepareUserDatabase();
    EXPECT_EQ(r.code, DbSetup::NoDataDir);
    struct stat st {};
    EXPECT_NE(stat((foreign + "/WVL.MDB").c_str(), &st), 0);
    setenv("KORVIANET_DATA_DIR", data.c_str(), 1);
}

TEST_F(UserDb, StartsThatRaceMakeOneCopyAndNeverReplaceIt)
{
    ASSERT_TRUE(EnsureUserDataDir());
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> kids;
    for (int k = 0; k < 4; ++k) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(gate[1]);
            char c;
            (void)!read(gate[0], &c, 1); // all start together when the gate closes
            const DbSetupResult r = PrepareUserDatabase();
            _exit(r.code == DbSetup::Copied ? 0 : r.code == DbSetup::Ready ? 1 : 2);
        }
        kids.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]);
    int copied = 0, ready = 0;
    for (pid_t pid : kids) {
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        copied += WEXITSTATUS(status) == 0;
        ready += WEXITSTATUS(status) == 1;
    }
    EXPECT_EQ(copied, 1);
    EXPECT_EQ(ready, 3);
    EXPECT_EQ(kvtest::ReadFileBytes(copy), templateBytes);
    EXPECT_EQ(Names(data), std::vector<std::string>{"WVL.MDB"});
}

TEST_F(UserDb, AnInstalledProgramTakesTheTemplateFromItsOwnDataFolder)
{
    const std::string root = cfg.Path("prefix");
    const std::string bin = root + "/bin";
    const std::string shared = root + "/share/korvianet";
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);

    // A bin folder without the data folder beside it is a build folder.
    auto where = TemplateDatabaseCandidatesFor(bin);
    ASSERT_EQ(where.size(), 2u);
    EXPECT_EQ(where[0], bin + "/WVL.MDB");
    EXPECT_EQ(where[1], "/usr/share/korvianet/WVL.MDB");
    // A plain file in the data folder's place does not make it installed.
    ASSERT_EQ(mkdir((root + "/share").c_str(), 0755), 0);
    kvtest::WriteFileBytes(shared, "x");
    EXPECT_EQ(TemplateDatabaseCandidatesFor(bin)[0], bin + "/WVL.MDB");
    ASSERT_EQ(unlink(shared.c_str()), 0);

    // Installed: the prefix's own data folder, never a file that happens to
    // lie in the bin folder.
    ASSERT_EQ(mkdir(shared.c_str(), 0755), 0);
    kvtest::WriteFileBytes(shared + "/WVL.MDB", templateBytes);
    kvtest::WriteFileBytes(bin + "/WVL.MDB", "not a database");
    where = TemplateDatabaseCandidatesFor(bin);
    ASSERT_EQ(where.size(), 2u);
    EXPECT_EQ(where[0], shared + "/WVL.MDB");
    EXPECT_EQ(where[1], "/usr/share/korvianet/WVL.MDB");
    ASSERT_TRUE(EnsureUserDataDir());
    const DbSetupResult r = InstallDatabaseCopy(copy, where);
    ASSERT_EQ(r.code, DbSetup::Copied) << r.message;
    EXPECT_EQ(kvtest::ReadFileBytes(copy), templateBytes);

    // Installed in /usr, the system's data folder is named once.
    struct stat st {};
    if (stat("/usr/share/korvianet", &st) == 0 && S_ISDIR(st.st_mode)) {
        EXPECT_EQ(TemplateDatabaseCandidatesFor("/usr/bin"),
                  std::vector<std::string>{"/usr/share/korvianet/WVL.MDB"});
    }
}

TEST_F(UserDb, TwoUsersGetTheirOwnCopiesAndNeitherSeesTheOther)
{
    const std::string homeA = kvtest::MakeTempDir("kvhomeA");
    const std::string homeB = kvtest::MakeTempDir("kvhomeB");
    ASSERT_EQ(chmod(homeA.c_str(), 0755), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(homeB.c_str(), 65534, 65534), 0);
    }
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    unsetenv("KORVIANET_DATA_DIR");
    unsetenv("XDG_DATA_HOME");

    setenv("HOME", homeA.c_str(), 1);
    const DbSetupResult a = PrepareUserDatabase();
    ASSERT_EQ(a.code, DbSetup::Copied) << a.message;
    EXPECT_EQ(a.path, homeA + "/.local/share/korvianet/WVL.MDB");
    {
        CAppDatabase app(a.path);
        EXPECT_TRUE(app.AppendCallRecord(kCallOutgoing, "555", "Ann", std::tm{}, 3));
    }

    // The second user (another account when the test runs as root) starts
    // from the template, not from the first user's calls, and cannot read
    // or list the first user's folder.
    setenv("HOME", homeB.c_str(), 1);
    const std::string aCopy = a.path;
    const std::string aFolder = homeA + "/.local/share/korvianet";
    const std::string tpl = templateBytes;
    EXPECT_TRUE(kvtest::RunUnprivileged([&] {
        const DbSetupResult b = PrepareUserDatabase();
        if (b.code != DbSetup::Copied || b.path != homeB + "/.local/share/korvianet/WVL.MDB")
            return false;
        if (kvtest::ReadFileBytes(b.path) != tpl)
            return false;
        return !root || (::open(aCopy.c_str(), O_RDONLY) < 0 && errno == EACCES && opendir(aFolder.c_str()) == nullptr);
    }));
    EXPECT_NE(kvtest::ReadFileBytes(a.path), templateBytes) << "the first user's calls are kept";
    EXPECT_EQ(ModeOf(aFolder), mode_t(0700));
    EXPECT_EQ(ModeOf(a.path), mode_t(0600));

    if (!savedHome.empty())
        setenv("HOME", savedHome.c_str(), 1);
    setenv("KORVIANET_DATA_DIR", data.c_str(), 1);
    kvtest::RemoveTree(homeA);
    kvtest::RemoveTree(homeB);
}
