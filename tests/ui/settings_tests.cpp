// What the window shows for a given tessorn.ini, and what "Speichern" writes.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "checks.h"
#include "default_settings_file.h"
#include "probe_client.h"
#include "program.h"

using namespace std::literals;

namespace {

constexpr int ticked = BST_CHECKED, clear = BST_UNCHECKED;

struct LoadCase {
    const char* name;
    std::optional<std::string> file;  // none: no tessorn.ini
    States shown;                     // where the window differs from the defaults
};

// Every value in the file `digit` (MEM `mem`): every box so, the lists as given.
LoadCase EveryValueIs(const char* name, char digit, const char* mem, States shown)
{
    Values values;
    for (const ControlRow& row : controlRows) {
        if (row.key)
            values.push_back({row.key, row.key == "MEM:"s ? mem : std::string(1, digit)});
        if (row.style == checkBoxStyle)
            shown.push_back({row.control, digit == '0' ? clear : ticked});
    }
    return {name, DefaultFileWith(values), shown};
}

// clang-format off
const LoadCase loadCases[] = {
    {"no file", {}, {}},
    {"empty file", "", {}},
    {"MEM 000 is raised to the first item", "MEM:000\r\n", {{memCombo, 0}}},
    {"MEM 005 is raised to the first item", "MEM:005\r\n", {{memCombo, 0}}},
    {"MEM 050", "MEM:050\r\n", {{memCombo, 42}}},
    {"MEM 999 is cut to the last item", "MEM:999\r\n", {{memCombo, 100}}},
    {"MEM with two digits takes the CR as 0", "MEM:16\r\n", {{memCombo, 100}}},
    {"digits beyond MEM's three are ignored", "MEM:0509\r\n", {{memCombo, 42}}},
    {"WINDOWED 5 ticks the box", "WINDOWED:5\r\n", {{windowedCheck, ticked}}},
    {"WINDOWED 0x80 ticks the box", "WINDOWED:\x80\r\n", {{windowedCheck, ticked}}},
    {"DIRECTX blank 1 reads the blank as 0", "DIRECTX: 1\r\n", {{directxCheck, clear}}},
    {"UHRZEIT 7 leaves the clock list empty", "UHRZEIT:7\r\n", {{clockCombo, -1}}},
    {"UHRZEIT 3 and FPS 2", "UHRZEIT:3\r\nFPS:2\r\n", {{clockCombo, 3}, {fpsCombo, 2}}},
    {"FPS 7 is cut to the last item", "FPS:7\r\n", {{fpsCombo, 4}}},
    {"FRAMERATE 0 clears the box", "FRAMERATE:0\r\n", {{framerateCheck, clear}}},
    {"FRAMERATE 9 ticks, DIRECTX 0 clears", "FRAMERATE:9\r\nDIRECTX:0\r\n", {{directxCheck, clear}}},
    {"lines ended by lone LF", "WINDOWED:1\nZENTRIERT:1\nSTATS:1\n",
     {{windowedCheck, ticked}, {centeredCheck, ticked}, {statsCheck, ticked}}},
    {"lines ended by lone CR", "WINDOWED:1\rZENTRIERT:1\rSTATS:1",
     {{windowedCheck, ticked}, {centeredCheck, ticked}, {statsCheck, ticked}}},
    {"mixed line ends and empty lines", "WINDOWED:1\n\r\r\n\nZENTRIERT:1\r\n\r\nSTATS:1",
     {{windowedCheck, ticked}, {centeredCheck, ticked}, {statsCheck, ticked}}},
    {"the later of two lines wins (on)", "WINDOWED:0\r\nWINDOWED:1\r\n", {{windowedCheck, ticked}}},
    {"the later of two lines wins (off)", "DIRECTX:1\r\nDIRECTX:0\r\n", {{directxCheck, clear}}},
    {"8BITTEXTURE after the paletted key wins", "GL_EXT_paletted_texture:1\r\n8BITTEXTURE:0\r\n",
     {{palettedTextureCheck, clear}}},
    {"the paletted key after 8BITTEXTURE wins", "8BITTEXTURE:1\r\nGL_EXT_paletted_texture:0\r\n",
     {{palettedTextureCheck, clear}}},
    {"GL_EXT_palettized_textures feeds the same box", "GL_EXT_palettized_textures:0\r\n", {{palettedTextureCheck, clear}}},
    {"a key cut at the end of the file", "WINDOWED:1\r\nSTATS:", {{windowedCheck, ticked}}},
    {"a partial key at the end of the file", "WINDOWED:1\r\nMAUSGRENZ", {{windowedCheck, ticked}}},
    {"MEM with its digits cut by the end of the file keeps the default", "WINDOWED:1\r\nMEM:1", {{windowedCheck, ticked}}},
    {"keys in lower or mixed case are ignored", "windowed:1\r\nstats:1\r\nFps:2\r\n", {}},
    {"keys after a blank or tab are ignored", " WINDOWED:1\r\n\tSTATS:1\r\n", {}},
    {"a byte-order mark hides the first line only", "\xEF\xBB\xBFWINDOWED:1\r\nSTATS:1\r\n", {{statsCheck, ticked}}},
    {"a zero byte is an ordinary byte", "STATS:1\r\n\0\r\nWINDOWED:1"s, {{statsCheck, ticked}, {windowedCheck, ticked}}},
    {"a value that is a CR ends no line early", "DIRECTX:\r\nMEM:050\r\n", {{directxCheck, clear}, {memCombo, 42}}},
    {"a value that is a lone LF swallows the next line", "DIRECTX:\nMEM:050\n", {{directxCheck, clear}}},
    EveryValueIs("every value 0, smallest memory", '0', "008", {{memCombo, 0}}),
    EveryValueIs("every value 1, largest memory", '1', "108",
                 {{fpsCombo, 1}, {clockCombo, 1}, {memCombo, 100}}),
};
// clang-format on

// A change the user makes before saving: item >= 0 picks that item of a
// list, otherwise the control (a check box) is clicked.
struct Step {
    Control control;
    int item;
};
constexpr int click = -1;

struct SaveCase {
    const char* name;
    std::optional<std::string> file;  // none: no tessorn.ini
    std::vector<Step> steps;
    Values saved;  // the values that differ from the default file
};

// The lists' steps, then every check box clicked.
SaveCase EveryBoxClicked(const char* name, std::vector<Step> lists, Values saved)
{
    SaveCase row{name, {}, lists, saved};
    for (const ControlRow& box : controlRows) {
        if (box.style == checkBoxStyle) {
            row.steps.push_back({box.control, click});
            row.saved.push_back({box.key, DefaultState(box) == ticked ? "0" : "1"});
        }
    }
    return row;
}

// clang-format off
const std::vector<SaveCase> saveCases = {
    {"defaults, nothing changed", {}, {}, {}},
    EveryBoxClicked("every control changed", {{fpsCombo, 4}, {clockCombo, 3}, {memCombo, 100}},
                    {{"MEM:", "108"}, {"FPS:", "4"}, {"UHRZEIT:", "3"}}),
    {"item 24 of the memory list is 32 MB", {}, {{memCombo, 24}}, {{"MEM:", "032"}}},
    {"the last memory choice counts", {}, {{memCombo, 50}, {memCombo, 0}}, {{"MEM:", "008"}}},
    {"list choices", {}, {{fpsCombo, 2}, {clockCombo, 1}}, {{"FPS:", "2"}, {"UHRZEIT:", "1"}}},
    {"a box clicked twice", {}, {{windowedCheck, click}, {windowedCheck, click}}, {}},
    {"clock list without a selection saves 0", "UHRZEIT:7\r\n", {}, {}},
    {"loaded values beyond their range", "WINDOWED:5\r\nFRAMERATE:9\r\nMEM:000\r\nFPS:9\r\n", {},
     {{"MEM:", "008"}, {"WINDOWED:", "1"}, {"FPS:", "4"}}},
    {"loaded MEM 999", "MEM:999\r\n", {}, {{"MEM:", "108"}}},
    {"loaded values, then changed", "STATS:1\r\nFPS:3\r\nMEM:064\r\n",
     {{statsCheck, click}, {clockCombo, 2}}, {{"MEM:", "064"}, {"FPS:", "3"}, {"UHRZEIT:", "2"}}},
    {"a longer file is replaced whole",
     "WINDOWED:1\r\n; a comment the program does not keep, long enough to outlast the new "
     "file: 0123456789012345678901234567890123456789012345678901234567890123456789012345678901"
     "234567890123456789012345678901234567890123456789012345678901234567890123456789\r\n",
     {}, {{"WINDOWED:", "1"}}},
};
// clang-format on

void Apply(const Program& program, const Step& step)
{
    if (step.item == click)
        ClickButton(program, step.control);
    else
        ChooseItem(program, step.control, step.item);
}

// Saves and checks the file and that the program goes on.
void SaveAndExpect(const Program& program, const std::string& expected)
{
    EXPECT_TRUE(ClickButton(program, saveButton));
    std::string written;
    EXPECT_TRUE(ReadFileBytes(program.SettingsPath(), written));
    EXPECT_EQ(written, expected);
    EXPECT_TRUE(IsRunning(program));
    EXPECT_TRUE(IsWindowVisible(program.window));
    EXPECT_EQ(DirectoryEntries(program.directory), std::vector<std::string>{"tessorn.ini"});
    EXPECT_EQ(FindOwnedDialog(program), nullptr) << "a message box is open";
}

// What a failed-save row put in the program's way, kept for its removal.
struct Obstacle {
    const Program& program;
    std::string mounts;    // where obstacles.sh made its folders, empty without them
    const char* mount;     // the row's folder of those, or null for an ordinary directory
    const wchar_t* named;  // what the row's directories' names end in
    HANDLE holder = INVALID_HANDLE_VALUE;
    std::thread releaser{};  // lets go of the holder in the middle of the save
    std::string shared{};    // another directory, for the file a link points to

    std::string Path(const char* name) const
    {
        return program.directory + "\\" + name;
    }
    std::string SharedPath(const char* name) const
    {
        return shared + (name ? std::string("\\") + name : "");
    }
};

// What every save of a failed-save row writes once it can.
std::string SavedAfterRetry()
{
    return DefaultFileWith({{"WINDOWED:", "1"}, {"STATS:", "1"}});
}

// The Unix name of a Windows path (UTF-8), as the Linux side knows it;
// empty where Wine cannot tell.
std::string UnixPath(const std::string& path)
{
    typedef char*(CDECL * UnixNameFunction)(const wchar_t*);
    auto unixName = reinterpret_cast<UnixNameFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    wchar_t widePath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH);
    char* unixPath = unixName ? unixName(widePath) : nullptr;
    std::string name = unixPath ? unixPath : "";
    HeapFree(GetProcessHeap(), 0, unixPath);
    return name;
}

// Runs a Unix command (Wine starts it like any program; the files by their
// Unix names, UTF-8 through the wide call so that no code page changes a
// letter) and waits until `done` holds, since Wine does not wait for it.
bool RunUnix(const std::string& command, const std::function<bool()>& done)
{
    wchar_t wideCommand[3 * MAX_PATH];
    if (!MultiByteToWideChar(CP_UTF8, 0, command.c_str(), -1, wideCommand, 3 * MAX_PATH))
        return false;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, wideCommand, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        ExitWhereWineRefused(GetLastError());
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return WaitUntil(done, reactionTimeoutMs);
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Wine makes no link of CreateSymbolicLink; the Unix ln does.
bool MakeUnixLink(const std::string& target, const std::string& link)
{
    std::string unixTarget = UnixPath(target);
    std::string unixLink = UnixPath(link);
    return !unixTarget.empty() && !unixLink.empty() &&
           RunUnix("/bin/ln -s \"" + unixTarget + "\" \"" + unixLink + "\"",
                   [&] { return Exists(link); });
}

constexpr DWORD linuxAnswerTimeoutMs = 10000;

// What root ignores, only the Linux side can set up: a read-only mount, and
// folders and files of another user. obstacles.sh serves requests, empty
// files named FOLDER.ACTION for the row's folder, and answers "ok" or why not
// under the same name where only it writes, once it has taken the request.
// The answer must start with `expected`: "ok", or "refused: " and why.
bool AskLinuxSide(const Obstacle& obstacle, const char* action,
                  const std::string& expected = "ok\n")
{
    std::string name = std::string(obstacle.mount) + "." + action;
    std::string request = obstacle.mounts + "\\requests\\" + name;
    std::string answerPath = obstacle.mounts + "\\answers\\" + name, answer;
    bool answered = WriteFileBytes(request, "") &&
                    WaitUntil([&] { return !Exists(request) && ReadFileBytes(answerPath, answer); },
                              linuxAnswerTimeoutMs);
    if (!answered)
        ADD_FAILURE() << "no answer from obstacles.sh to " << request;
    else if (answer.rfind(expected, 0) != 0)
        ADD_FAILURE() << "obstacles.sh answered " << action << " with: " << answer;
    return answered && answer.rfind(expected, 0) == 0;
}

// Writes a filler file until the disk takes not a single byte more. The
// mount is 64 KiB; more than a MiB means it is not the small mount at all.
bool FillDisk(Obstacle& obstacle)
{
    HANDLE filler = CreateFileA(obstacle.Path("filler").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (filler == INVALID_HANDLE_VALUE)
        return false;
    const std::string block(4096, 'x');
    DWORD total = 0, size = static_cast<DWORD>(block.size()), error = 0;
    while (size > 0 && total < (1u << 20)) {
        DWORD written = 0;
        if (WriteFile(filler, block.data(), size, &written, nullptr) && written > 0) {
            total += written;
        } else {
            error = GetLastError();
            size /= 2;
        }
    }
    CloseHandle(filler);
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

// The file the link points to gets the new bytes, so the link is still
// one, and nothing is left beside either.
bool PlaceLink(Obstacle& o)
{
    std::string existing;
    o.shared = CreateScratchDirectory(o.named);
    return !o.shared.empty() && ReadFileBytes(o.Path("tessorn.ini"), existing) &&
           WriteFileBytes(o.SharedPath("copy.ini"), existing) &&
           DeleteFileA(o.Path("tessorn.ini").c_str()) &&
           MakeUnixLink(o.SharedPath("copy.ini"), o.Path("tessorn.ini"));
}

bool LinkKept(Obstacle& o)
{
    std::string target;
    bool kept = ReadFileBytes(o.SharedPath("copy.ini"), target) && target == SavedAfterRetry() &&
                DirectoryEntries(o.SharedPath(nullptr)) == std::vector<std::string>{"copy.ini"};
    DeleteFileA(o.SharedPath("copy.ini").c_str());
    return RemoveDirectoryA(o.SharedPath(nullptr).c_str()) && kept;
}

DWORD Links(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    BY_HANDLE_FILE_INFORMATION information{};
    GetFileInformationByHandle(file, &information);
    CloseHandle(file);
    return information.nNumberOfLinks;
}

// Mod managers and users give a settings file a second name elsewhere:
// both names must see the save.
bool PlaceSecondName(Obstacle& o)
{
    o.shared = CreateScratchDirectory(o.named);
    return !o.shared.empty() && CreateHardLinkA(o.SharedPath("copy.ini").c_str(),
                                                o.Path("tessorn.ini").c_str(), nullptr);
}

bool SecondNameKept(Obstacle& o)
{
    return Links(o.Path("tessorn.ini")) == 2 && LinkKept(o);
}

// An empty file with a second name on the full disk is written in place:
// the save fails for want of room and both names keep the empty file.
bool PlaceFullSecondName(Obstacle& o)
{
    return WriteFileBytes(o.Path("tessorn.ini"), "") &&
           CreateHardLinkA(o.Path("second.ini").c_str(), o.Path("tessorn.ini").c_str(), nullptr) &&
           FillDisk(o);
}

bool RemoveFullSecondName(Obstacle& o)
{
    std::string second;
    bool kept = ReadFileBytes(o.Path("second.ini"), second) && second.empty() &&
                Links(o.Path("tessorn.ini")) == 2;
    return DeleteFileA(o.Path("second.ini").c_str()) && DeleteFileA(o.Path("filler").c_str()) &&
           kept;
}

// Renames with the Unix mv: Wine refuses to rename a directory that is a
// program's working directory.
bool MoveUnix(const std::string& from, const std::string& to)
{
    return RunUnix("/bin/mv \"" + UnixPath(from) + "\" \"" + UnixPath(to) + "\"",
                   [&] { return Exists(to) && !Exists(from); });
}

bool MayMakeFile(Obstacle& o)
{
    return WriteFileBytes(o.Path("new"), "") && DeleteFileA(o.Path("new").c_str());
}

// The user has the folder back: only its owner may set its times, and a
// new file may be made in it.
bool RestoreFolder(Obstacle& o)
{
    if (!AskLinuxSide(o, "restore"))
        return false;
    HANDLE folder = CreateFileA(o.program.directory.c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const FILETIME time{0, 0x01D00000};
    bool owned = folder != INVALID_HANDLE_VALUE && SetFileTime(folder, nullptr, nullptr, &time);
    CloseHandle(folder);
    return owned && MayMakeFile(o);
}

bool Nothing(Obstacle&)
{
    return true;
}

// Letters that no ANSI code page holds all of.
const wchar_t farLetters[] = L" \u0141\u00F3d\u017A \u6771\u4EAC";

struct FaultCase {
    const char* name;
    // The Linux side's folder the row runs in (a tmpfs mount, or a folder
    // the row asks to seal or share), or null.
    const char* mount;
    bool saveFails;
    bool fileRemains;    // tessorn.ini is a file again once the obstacle is gone
    const char* reason;  // the line under the failed-save box's first line
    bool (*place)(Obstacle&);
    // Where the save fails: takes the obstacle away. Where it succeeds:
    // checks after the save what it must have kept, and clears up.
    bool (*remove)(Obstacle&);
    const wchar_t* named = L"";     // what the working directory's name ends in
    bool asUser = false;            // the refusal is real only for a user who is not root
    const char* oldFile = nullptr;  // what a failed save leaves, where place() changed it
};

// Lets go of the file once the program has met it: its thread takes no
// message while it loads or saves (the retries pause 50 ms each), so the
// holder waits for that and then for three pauses more.
void ReleaseOnceTried(const Program& program, HANDLE holder)
{
    WaitUntil(
        [&] {
            std::vector<HWND> windows = TopLevelWindows(program, "MainWindow");
            return !windows.empty() && !Answers(windows[0], 50);
        },
        startTimeoutMs);
    Sleep(150);
    CloseHandle(holder);
}

const char inUseText[] = "Ein anderes Programm verwendet die Datei gerade.";

const FaultCase faultCases[] = {
    {"read-only tessorn.ini", nullptr, true, true,
     "Die Datei \"tessorn.ini\" ist schreibgesch\xFCtzt.",
     [](Obstacle& o) {
         return SetFileAttributesA(o.Path("tessorn.ini").c_str(), FILE_ATTRIBUTE_READONLY) != 0;
     },
     [](Obstacle& o) {
         return SetFileAttributesA(o.Path("tessorn.ini").c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
     }},
    {"tessorn.ini held open by another program", nullptr, true, true, inUseText,
     [](Obstacle& o) {
         o.holder = CreateFileA(o.Path("tessorn.ini").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
         return o.holder != INVALID_HANDLE_VALUE;
     },
     [](Obstacle& o) { return CloseHandle(o.holder) != 0; }},
    // As a virus scanner or a sync client does right after a file is written.
    {"tessorn.ini held for a moment without delete sharing", nullptr, false, true, "",
     [](Obstacle& o) {
         o.holder = CreateFileA(o.Path("tessorn.ini").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
         o.releaser = std::thread([&o] { ReleaseOnceTried(o.program, o.holder); });
         return o.holder != INVALID_HANDLE_VALUE;
     },
     [](Obstacle& o) {
         o.releaser.join();
         return true;
     }},
    {"the directory cannot be written", "unwritable", true, true,
     "In diesen Ordner darf nicht geschrieben werden.",
     [](Obstacle& o) { return AskLinuxSide(o, "lock"); },
     [](Obstacle& o) { return AskLinuxSide(o, "unlock"); }},
    {"the disk is full", "full", true, true, "Der Datentr\xE4ger ist voll.", FillDisk,
     [](Obstacle& o) { return DeleteFileA(o.Path("filler").c_str()) != 0; }},
    {"tessorn.ini is a directory", nullptr, true, false,
     "Unter dem Namen \"tessorn.ini\" liegt ein Ordner.",
     [](Obstacle& o) {
         return DeleteFileA(o.Path("tessorn.ini").c_str()) &&
                CreateDirectoryA(o.Path("tessorn.ini").c_str(), nullptr);
     },
     // Fails, and so shows, when the save put anything into the directory.
     [](Obstacle& o) { return RemoveDirectoryA(o.Path("tessorn.ini").c_str()) != 0; }},
    {"a temporary file left by an interrupted save is replaced", nullptr, false, true, "",
     [](Obstacle& o) {
         return WriteFileBytes(o.Path("tessorn.ini.tmp"), std::string(300, 'X') + "\r\nMEM:");
     },
     Nothing},
    {"tessorn.ini is a link to a file in another directory", nullptr, false, true, "", PlaceLink,
     LinkKept},
    {"a working directory named outside the code page", nullptr, false, true, "", Nothing, Nothing,
     farLetters},
    {"a link between directories named outside the code page", nullptr, false, true, "", PlaceLink,
     LinkKept, farLetters},
    {"a hidden tessorn.ini stays hidden", nullptr, false, true, "",
     [](Obstacle& o) {
         return SetFileAttributesA(o.Path("tessorn.ini").c_str(), FILE_ATTRIBUTE_HIDDEN) != 0;
     },
     [](Obstacle& o) {
         DWORD attributes = GetFileAttributesA(o.Path("tessorn.ini").c_str());
         return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN);
     }},
    {"tessorn.ini has a second name in another directory", nullptr, false, true, "",
     PlaceSecondName, SecondNameKept},
    // What lies beyond the saved bytes must go, or it wins on the next load.
    {"a longer tessorn.ini with a second name in another directory", nullptr, false, true, "",
     [](Obstacle& o) {
         return WriteFileBytes(o.Path("tessorn.ini"), std::string(300, ';')) && PlaceSecondName(o);
     },
     SecondNameKept},
    // The user's shell renames the directory from under the program: the
    // system's own words, for what no reason of ours covers. Nothing may be
    // made where the directory was.
    {"the working directory was renamed away", nullptr, true, true, "Path not found.",
     [](Obstacle& o) {
         return MoveUnix(o.program.directory, o.shared = o.program.directory + "-");
     },
     [](Obstacle& o) {
         return !Exists(o.program.directory) && MoveUnix(o.shared, o.program.directory);
     }},
    {"a writable tessorn.ini in a directory that may not be written", "sealed", false, true, "",
     // Sealed for real, shared for real: whether a new file may be made.
     [](Obstacle& o) { return AskLinuxSide(o, "seal") && !MayMakeFile(o); }, RestoreFolder, L"",
     true},
    {"tessorn.ini may be written but not replaced", "shared-writable", false, true, "",
     [](Obstacle& o) { return AskLinuxSide(o, "share-writable") && MayMakeFile(o); }, RestoreFolder,
     L"", true},
    {"tessorn.ini may be neither replaced nor written", "shared-readonly", true, true,
     "Die Datei \"tessorn.ini\" darf nicht ge\xE4ndert werden.",
     [](Obstacle& o) { return AskLinuxSide(o, "share-readonly") && MayMakeFile(o); }, RestoreFolder,
     L"", true},
    {"an empty tessorn.ini with a second name on the full disk", "full", true, true,
     "Der Datentr\xE4ger ist voll.", PlaceFullSecondName, RemoveFullSecondName, L"", false, ""},
};

const char boxCaption[] = "Ein Fehler trat auf.";
const char saveFailedText[] = "Die Einstellungen konnten nicht gespeichert werden.";
const char readFailedText[] =
    "Die Einstellungen konnten nicht gelesen werden. Angezeigt werden die Standardwerte.";

// Pixels of the box's icon that differ from the system's icon drawn on the
// same background; -1 when there is no icon to compare.
int IconDifference(HWND iconControl, const char* systemIcon)
{
    RECT area;
    GetWindowRect(iconControl, &area);
    ClientPixels shown, expected;
    if (!CaptureScreen(area, shown))
        return -1;
    // The icon's corners are transparent, so the corner shows the background.
    if (!RenderIcon(LoadIconA(nullptr, systemIcon), shown.width, shown.height, shown.At(0, 0),
                    expected))
        return -1;
    int different = 0;
    for (size_t index = 0; index < shown.pixels.size(); ++index)
        different += shown.pixels[index] != expected.pixels[index];
    return different;
}

// The texts are read as Unicode, so a letter that the system code page
// changed would show.
void ExpectMessageBox(HWND dialog, const std::string& text, const char* systemIcon)
{
    EXPECT_EQ(WindowTextBytes(dialog), boxCaption);
    std::vector<std::string> texts;
    std::vector<HWND> buttons;
    HWND icon = nullptr;
    for (HWND child : ChildWindows(dialog)) {
        if (!IsWindowVisible(child))
            continue;
        std::string kind = ClassName(child);
        if (_stricmp(kind.c_str(), "Button") == 0)
            buttons.push_back(child);
        if (_stricmp(kind.c_str(), "Static") != 0)
            continue;
        if ((GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            icon = child;
        else if (!WindowTextBytes(child).empty())
            texts.push_back(WindowTextBytes(child));
    }
    EXPECT_EQ(texts.size(), 1u);
    if (texts.size() == 1) {
        EXPECT_EQ(texts[0], text);
    }
    EXPECT_EQ(buttons.size(), 1u);  // MB_OK: a single button
    if (buttons.size() == 1) {
        EXPECT_EQ(GetDlgCtrlID(buttons[0]), IDOK);
    }
    // The icon the box asked for, not another one.
    EXPECT_NE(icon, nullptr) << "no icon";
    if (icon) {
        SetForegroundWindow(dialog);
        int difference = -1;
        WaitUntil([&] { return (difference = IconDifference(icon, systemIcon)) == 0; },
                  reactionTimeoutMs);
        EXPECT_EQ(difference, 0) << "pixels that differ from the system's icon";
    }
}

class Load : public testing::TestWithParam<LoadCase> {};

TEST_P(Load, ShowsTheFileAndLeavesItAsItWas)
{
    const LoadCase& row = GetParam();
    Program program;
    ASSERT_TRUE(StartProgram(program, row.file ? &*row.file : nullptr));
    ExpectShown(program, row.shown);
    QuitWithButton(program);
    // Reading never writes: the file is as it was, and no file appears.
    ExpectFileIs(program, row.file.has_value(), row.file.value_or(""));
}

INSTANTIATE_TEST_SUITE_P(Files, Load, testing::ValuesIn(loadCases), RowName());

// Another program holds tessorn.ini while ours starts. Readers that share
// reading do not stop it; a writer does, and then the user is told before
// the window shows the defaults, since a save would replace their settings.
struct HeldCase {
    const char* name;
    DWORD access;  // the other program's
    DWORD sharing;
    bool letsGo;  // once the program has tried it; else held until told
    bool warns;
};

const HeldCase heldCases[] = {
    {"by a reader that shares reading", GENERIC_READ,
     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false, false},
    {"by a writer for the whole start", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, false,
     true},
    {"without sharing for a moment", GENERIC_READ, 0, true, false},
};

class HeldAtStart : public testing::TestWithParam<HeldCase> {};

TEST_P(HeldAtStart, ShowsTheFileOrSaysWhyNot)
{
    const HeldCase& row = GetParam();
    const std::string file = DefaultFileWith({{"WINDOWED:", "1"}, {"FPS:", "2"}, {"MEM:", "050"}});
    Program program;
    ASSERT_TRUE(CreateWorkingDirectory(program));
    ASSERT_TRUE(WriteFileBytes(program.SettingsPath(), file));
    HANDLE holder = CreateFileA(program.SettingsPath().c_str(), row.access, row.sharing, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(LaunchProgram(program));
    if (row.letsGo) {
        ReleaseOnceTried(program, holder);
        holder = INVALID_HANDLE_VALUE;
    }
    if (row.warns) {
        // The box comes after a second of trying, before the window shows,
        // so it has no owner (FindOwnedDialog before the window is known).
        HWND box = nullptr;
        EXPECT_TRUE(
            WaitUntil([&] { return (box = FindOwnedDialog(program)) != nullptr; }, startTimeoutMs))
            << "no warning box";
        // Only after a second of trying.
        EXPECT_GE(NowMs() - program.launchedAtMs, 800) << "ms until the box showed";
        for (HWND window : TopLevelWindows(program, "MainWindow"))
            EXPECT_FALSE(IsWindowVisible(window)) << "the window showed before the warning";
        if (box) {
            ExpectMessageBox(box, readFailedText, IDI_EXCLAMATION);
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
    // A box where none belongs would keep the window hidden.
    ASSERT_TRUE(AwaitWindow(program) && FindControls(program));
    const States loaded = {{windowedCheck, ticked}, {fpsCombo, 2}, {memCombo, 42}};
    ExpectShown(program, row.warns ? States{} : loaded);
    QuitWithButton(program);
    if (holder != INVALID_HANDLE_VALUE)
        CloseHandle(holder);
    // Neither starting nor quitting writes the file.
    ExpectFileIs(program, true, file);
}

INSTANTIATE_TEST_SUITE_P(Holders, HeldAtStart, testing::ValuesIn(heldCases), RowName());

class Save : public testing::TestWithParam<SaveCase> {};

TEST_P(Save, WritesWhatTheWindowShows)
{
    const SaveCase& row = GetParam();
    Program program;
    ASSERT_TRUE(StartProgram(program, row.file ? &*row.file : nullptr));
    for (const Step& step : row.steps)
        Apply(program, step);
    SaveAndExpect(program, DefaultFileWith(row.saved));
    QuitWithButton(program);
}

INSTANTIATE_TEST_SUITE_P(Changes, Save, testing::ValuesIn(saveCases), RowName());

TEST(Save, EveryClickWritesTheFileAnew)
{
    Program program;
    ASSERT_TRUE(StartProgram(program));
    SaveAndExpect(program, defaultSettingsFile);
    EXPECT_TRUE(DeleteFileA(program.SettingsPath().c_str()));
    SaveAndExpect(program, defaultSettingsFile);
    ClickButton(program, windowedCheck);
    SaveAndExpect(program, DefaultFileWith({{"WINDOWED:", "1"}}));
    QuitWithButton(program);
}

class SaveFailure : public testing::TestWithParam<FaultCase> {};

TEST_P(SaveFailure, KeepsTheOldFileAndSavesOnceTheCauseIsGone)
{
    const FaultCase& row = GetParam();
    const std::string existing = "WINDOWED:1\r\nSTATS:1\r\n; kept as it is\r\n";
    const std::string mounts = WindowsPathFromEnvironment("TESSORN_UI_OBSTACLES");
    if (row.mount && mounts.empty()) {
        char reason[512] = "run without tests/ui/obstacles.sh";
        GetEnvironmentVariableA("TESSORN_UI_OBSTACLES_MISSING", reason, sizeof reason);
        GTEST_SKIP() << "needs the Linux side's mounts: " << reason;
    }
    if (row.asUser && EnvironmentNumber("TESSORN_UI_UNPRIVILEGED", 0) != 1) {
        char reason[512] = "the tests run as root, whom no permission refuses";
        GetEnvironmentVariableA("TESSORN_UI_UNPRIVILEGED_MISSING", reason, sizeof reason);
        GTEST_SKIP() << "needs a user who is not root: " << reason;
    }
    Program program;
    if (row.mount) {
        program.directory = mounts + "\\" + row.mount;
    } else {
        ASSERT_TRUE(CreateWorkingDirectory(program, row.named));
    }
    ASSERT_TRUE(StartProgram(program, &existing));
    Obstacle obstacle{program, mounts, row.mount, row.named};
    if (!row.place(obstacle)) {
        row.remove(obstacle);
        FAIL() << "the obstacle could not be put in place";
    }

    if (row.saveFails) {
        // Only a program that holds the file is waited for, about a second;
        // a user then presses Enter, which the box would take as soon as it
        // is pressed, closing the box unread.
        const bool waits = row.reason == std::string(inUseText);
        EXPECT_TRUE(BringToFront(program));
        // The box is modal inside the click, so the click is posted.
        const double clickedAtMs = NowMs();
        PostClick(program, saveButton);
        if (waits) {
            EXPECT_TRUE(WaitUntil([&] { return !Answers(program.window, 50); }, reactionTimeoutMs));
            EXPECT_TRUE(PressChord({enterKey}));
        }
        HWND dialog = nullptr;
        WaitUntil([&] { return (dialog = FindOwnedDialog(program)) != nullptr; },
                  reactionTimeoutMs);
        const double shownAfterMs = NowMs() - clickedAtMs;
        if (waits) {
            EXPECT_GE(shownAfterMs, 800) << "ms until the box showed";
        } else {
            EXPECT_LT(shownAfterMs, 500) << "ms until the box showed";
        }
        EXPECT_NE(dialog, nullptr) << "no message box";
        if (dialog) {
            ExpectMessageBox(dialog, std::string(saveFailedText) + "\n\n" + row.reason, IDI_HAND);
            if (waits) {
                EXPECT_TRUE(AwaitInputHandled(program));
                EXPECT_TRUE(IsWindow(dialog))
                    << "the keys typed while the save waited closed the box";
                SetForegroundWindow(dialog);
                PressChord({enterKey});
            } else {
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            }
            EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, reactionTimeoutMs))
                << "the message box stays";
        }
        // The program goes on where the user left it, the old file is intact
        // and nothing is left over.
        EXPECT_TRUE(IsRunning(program));
        EXPECT_TRUE(IsWindowVisible(program.window));
        // Without a window manager, the X focus may fall to no window when
        // the box goes; the window is active again once the user comes back.
        EXPECT_TRUE(BringToFront(program));
        EXPECT_TRUE(
            WaitUntil([&] { return FocusOf(program) == program[saveButton]; }, reactionTimeoutMs))
            << "the focus is not back on Speichern";
        EXPECT_TRUE(row.remove(obstacle)) << "the obstacle could not be removed";
        ExpectFileIs(program, row.fileRemains, row.oldFile ? row.oldFile : existing);
        EXPECT_EQ(DirectoryEntries(program.directory), row.fileRemains
                                                           ? std::vector<std::string>{"tessorn.ini"}
                                                           : std::vector<std::string>{});
    }
    // Once the cause is gone (or when there was none), the click saves.
    SaveAndExpect(program, SavedAfterRetry());
    if (!row.saveFails) {
        EXPECT_TRUE(row.remove(obstacle)) << "the save did not keep what it must";
    }
    QuitWithButton(program);
}

INSTANTIATE_TEST_SUITE_P(Obstacles, SaveFailure, testing::ValuesIn(faultCases), RowName());

// obstacles.sh runs as root on tessorn.ini in a folder that it hands the
// driver's user, never on a file elsewhere that tessorn.ini links to or is
// a second name of.
TEST(SaveFailure, TheLinuxSideActsOnlyOnADriversOwnDirectory)
{
    const std::string mounts = WindowsPathFromEnvironment("TESSORN_UI_OBSTACLES");
    if (mounts.empty() || EnvironmentNumber("TESSORN_UI_UNPRIVILEGED", 0) != 1)
        GTEST_SKIP() << "needs the Linux side's mounts and a user who is not root";
    Program program, outside;
    program.directory = mounts + "\\linked";
    Obstacle obstacle{program, mounts, "linked", L""};
    ASSERT_TRUE(CreateWorkingDirectory(outside));
    const std::string file = outside.SettingsPath(), another = outside.directory + "\\another";
    ASSERT_TRUE(WriteFileBytes(file, ""));
    // Each action would give the file to root, open it to all or make it writable.
    const std::pair<const char*, std::function<bool()>> places[] = {
        {"tessorn.ini links to a file outside",
         [&] { return MakeUnixLink(file, program.SettingsPath()); }},
        {"tessorn.ini is a second name of a file outside",
         [&] {
             return CreateHardLinkA(program.SettingsPath().c_str(), file.c_str(), nullptr) != 0;
         }},
    };
    for (const auto& [name, place] : places) {
        for (const char* action : {"share-writable", "share-readonly", "restore"}) {
            SCOPED_TRACE(std::string(name) + ", " + action);
            ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY) && place());
            AskLinuxSide(obstacle, action, "refused: ");
            // As the driver's user left them, and still theirs to change: root
            // took neither the file nor the folder.
            DWORD attributes = GetFileAttributesA(file.c_str());
            EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES &&
                        (attributes & FILE_ATTRIBUTE_READONLY));
            EXPECT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL) &&
                        WriteFileBytes(file, name) && WriteFileBytes(another, "") &&
                        DeleteFileA(another.c_str()));
            // The Unix rm, as Wine would delete the file a link points to.
            EXPECT_TRUE(RunUnix("/bin/rm \"" + UnixPath(program.SettingsPath()) + "\"",
                                [&] { return !Exists(program.SettingsPath()); }));
        }
    }
}

}  // namespace
