#include "settings.h"
#include "settings_file.h"
#include "settings_test_support.h"
#include "default_settings_file.h"

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

// Natively there are no controls: the tests set what they would show, and
// a wrong count of value bytes (ValueBytesOf fails on it) is not read past.
static std::string controlValues;

void ReadControlValues(unsigned char valueBytes[savedValueCount])
{
    controlValues.copy((char*)valueBytes, savedValueCount);
}

namespace {

const char tempFileName[] = "tessorn.ini.tmp";
const size_t defaultFileSize = sizeof defaultSettingsFile - 1;

bool Exists(const char* name)
{
    struct stat status;
    return stat(name, &status) == 0;
}

std::string ReadWhole(const char* name)
{
    std::string bytes;
    FILE* file = fopen(name, "rb");
    if (!file)
        return "<missing>";
    char chunk[512];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, got);
    fclose(file);
    return bytes;
}

void Put(const char* name, const std::string& bytes)
{
    FILE* file = fopen(name, "wb");
    ASSERT_NE(file, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

class SaveToFile : public InFreshDirectory {
protected:
    void SetUp() override
    {
        InFreshDirectory::SetUp();
        SetDefaults(&settings);
        controlValues = ValueBytesOf(defaultSettingsFile);
    }
};

TEST_F(SaveToFile, WritesControlsAndMemAndLeavesRecordAlone)
{
    settings.mem = 32;
    settings.windowed = 5;  // the record is not what gets saved for switches
    Values shown = {{"DIRECTX:", "0"}, {"FRAMERATE:", "4"}, {"UHRZEIT:", "3"}};
    controlValues = ValueBytesOf(DefaultFileWith(shown));
    ASSERT_EQ(SaveSettings().obstacle, saveSucceeded);
    shown.push_back({"MEM:", "032"});
    EXPECT_EQ(ReadWhole("tessorn.ini"), DefaultFileWith(shown));
    EXPECT_EQ(settings.windowed, 5);
    EXPECT_EQ(settings.mem, 32);
    EXPECT_FALSE(Exists(tempFileName));

    // A second save replaces the whole file.
    settings.mem = 8;
    ASSERT_EQ(SaveSettings().obstacle, saveSucceeded);
    EXPECT_EQ(ReadWhole("tessorn.ini").substr(0, 9), "MEM:008\r\n");
    EXPECT_EQ(ReadWhole("tessorn.ini").size(), defaultFileSize);
}

TEST_F(SaveToFile, SavedFileLoadsAsTheStateThatWasSaved)
{
    controlValues = ValueBytesOf(DefaultFileWith(
        {{"ZENTRIERT:", "1"}, {"DIRECTX:", "0"}, {"FRAMERATE:", "4"}, {"UHRZEIT:", "3"}}));
    settings.mem = 100;
    ASSERT_EQ(SaveSettings().obstacle, saveSucceeded);
    LoadSettings();
    const FieldValues saved = {{&Settings::mem, 100},
                               {&Settings::centered, 1},
                               {&Settings::directx, 0},
                               {&Settings::framerate, 4},
                               {&Settings::clockStyle, 3}};
    EXPECT_EQ(Describe(settings), Describe(DefaultsWith(saved)));
}

// Whatever stops a save, the user's old file stays exactly as it was and
// no temporary file is left behind.
TEST_F(SaveToFile, FailedSaveLeavesOldFileUntouched)
{
    const std::string oldFile = "MEM:050\r\nWINDOWED:1\r\n# the user's own notes\r\n";

    Put("tessorn.ini", oldFile);
    ASSERT_EQ(chmod("tessorn.ini", 0444), 0);
    EXPECT_EQ(SaveSettings().obstacle, fileReadOnly);
    EXPECT_EQ(ReadWhole("tessorn.ini"), oldFile);
    EXPECT_FALSE(Exists(tempFileName));
    ASSERT_EQ(chmod("tessorn.ini", 0644), 0);
    EXPECT_EQ(SaveSettings().obstacle, saveSucceeded) << "once the file is writable again";
    EXPECT_EQ(ReadWhole("tessorn.ini").size(), defaultFileSize);

    ASSERT_EQ(unlink("tessorn.ini"), 0);
    ASSERT_EQ(mkdir("tessorn.ini", 0755), 0);
    EXPECT_EQ(SaveSettings().obstacle, folderAtFileName);
    EXPECT_FALSE(Exists(tempFileName));
    ASSERT_EQ(rmdir("tessorn.ini"), 0);
}

TEST_F(SaveToFile, StaleTemporaryFileDoesNotStopTheSave)
{
    Put(tempFileName, "half a file from a save that was cut short");
    ASSERT_EQ(chmod(tempFileName, 0444), 0);
    ASSERT_EQ(SaveSettings().obstacle, saveSucceeded);
    EXPECT_EQ(ReadWhole("tessorn.ini").size(), defaultFileSize);
    EXPECT_FALSE(Exists(tempFileName));
}

// A link to a shared copy stays a link, and the copy keeps who may read it.
TEST_F(SaveToFile, SaveThroughALinkReachesTheFileItPointsTo)
{
    ASSERT_EQ(mkdir("shared", 0755), 0);
    Put("shared/copy.ini", "WINDOWED:1\r\n");
    ASSERT_EQ(chmod("shared/copy.ini", 0600), 0);
    ASSERT_EQ(symlink("shared/copy.ini", "tessorn.ini"), 0);
    ASSERT_EQ(SaveSettings().obstacle, saveSucceeded);
    struct stat status;
    ASSERT_EQ(lstat("tessorn.ini", &status), 0);
    EXPECT_TRUE(S_ISLNK(status.st_mode));
    EXPECT_EQ(ReadWhole("shared/copy.ini").size(), defaultFileSize);
    ASSERT_EQ(stat("shared/copy.ini", &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_FALSE(Exists(tempFileName));
    EXPECT_FALSE(Exists("shared/copy.ini.tmp"));
}

// Root may write anything, so a save that must meet a refusal runs in a
// child as the tests' own account; a file size limit stands in for a full
// disk. The child gets no variable of root's, no terminal (a session of its
// own), no way to new privileges, and ten seconds: a child that was stopped
// is killed, and the row fails. Only inside scripts/sandbox, whose end ends
// whatever the account leaves running.
const passwd* OtherUser()
{
    char pidNamespace[64] = "";
    const char* sandbox = getenv("TESSORN_SANDBOX");
    bool inSandbox = sandbox &&
                     readlink("/proc/self/ns/pid", pidNamespace, sizeof pidNamespace - 1) > 0 &&
                     strcmp(sandbox, pidNamespace) == 0;
    return geteuid() == 0 && inSandbox ? getpwnam(TESTS_ACCOUNT) : nullptr;
}

int SaveInChild(bool asOtherUser, rlim_t sizeLimit)
{
    const passwd* other = OtherUser();
    pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit = {sizeLimit, sizeLimit};
        bool ready = setrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                     (!asOtherUser ||
                      (other && clearenv() == 0 && setsid() > 0 &&
                       prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && setgroups(0, nullptr) == 0 &&
                       setgid(other->pw_gid) == 0 && setuid(other->pw_uid) == 0));
        _exit(ready ? SaveSettings().obstacle : 100);
    }
    int status = 0;
    pid_t ended = 0;
    for (int tick = 0; child > 0 && ended == 0 && tick < 1000; ++tick, usleep(10000))
        ended = waitpid(child, &status, WNOHANG);
    if (child > 0 && ended == 0 && kill(child, SIGKILL) == 0)
        waitpid(child, &status, 0);
    return ended == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void GiveToOtherUser(const char* path)
{
    const passwd* other = OtherUser();
    ASSERT_TRUE(other && chown(path, other->pw_uid, other->pw_gid) == 0);
}

// A sticky folder, as shared folders are: others may add files and write
// ours where its permissions allow, but not remove or replace it.
void SharedFolder(mode_t fileMode)
{
    ASSERT_EQ(chmod(".", 01777), 0);
    ASSERT_EQ(chmod("tessorn.ini", fileMode), 0);
}

struct PlaceCase {
    const char* name;
    void (*place)();  // around the old "tessorn.ini" in the working directory
    bool asOtherUser;
    rlim_t sizeLimit;
    int expected;  // a SaveObstacle
    bool inPlace;  // saved into the same file, which keeps its other names
};

// clang-format off
const PlaceCase placeCases[] = {
    {"PlainFileIsReplaced", [] {}, false, RLIM_INFINITY, saveSucceeded, false},
    {"SecondNameInAnotherFolder",
     [] { ASSERT_TRUE(mkdir("shared", 0755) == 0 && link("tessorn.ini", "shared/copy.ini") == 0); },
     false, RLIM_INFINITY, saveSucceeded, true},
    {"WritableFileInFolderThatMayNotBeWritten",
     [] { GiveToOtherUser("tessorn.ini"); GiveToOtherUser("."); ASSERT_EQ(chmod(".", 0555), 0); },
     true, RLIM_INFINITY, saveSucceeded, true},
    {"WritableButNotReplaceable", [] { SharedFolder(0666); }, true, RLIM_INFINITY, saveSucceeded, true},
    {"NeitherReplaceableNorWritable", [] { SharedFolder(0644); }, true, RLIM_INFINITY, fileNotChangeable, false},
    // Room is made before the first byte is written, so the old bytes stay.
    {"SecondNameAndNoRoomToGrow", [] { ASSERT_EQ(link("tessorn.ini", "second.ini"), 0); },
     false, 100, otherObstacle, false},
};
// clang-format on

class SaveAround : public SaveToFile, public testing::WithParamInterface<PlaceCase> {};

TEST_P(SaveAround, KeepsTheFileTheUserSetUp)
{
    const PlaceCase& row = GetParam();
    if (row.asOtherUser && !OtherUser())
        GTEST_SKIP() << "needs root inside scripts/sandbox and the account " TESTS_ACCOUNT
                        " (scripts/test makes it)";
    const std::string oldFile = "WINDOWED:1\r\nSTATS:1\r\n";
    Put("tessorn.ini", oldFile);
    row.place();
    struct stat before, after;
    ASSERT_EQ(stat("tessorn.ini", &before), 0);
    EXPECT_EQ(SaveInChild(row.asOtherUser, row.sizeLimit), row.expected);
    ASSERT_EQ(stat("tessorn.ini", &after), 0);
    // The controls and the memory are the defaults (SetUp).
    EXPECT_EQ(ReadWhole("tessorn.ini"),
              row.expected == saveSucceeded ? defaultSettingsFile : oldFile);
    EXPECT_EQ(after.st_ino == before.st_ino, row.inPlace || row.expected != saveSucceeded);
    EXPECT_EQ(after.st_nlink, before.st_nlink);
    EXPECT_FALSE(Exists(tempFileName));
}

INSTANTIATE_TEST_SUITE_P(Obstacles, SaveAround, testing::ValuesIn(placeCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
