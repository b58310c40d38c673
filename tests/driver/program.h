// Starts a Windows program under test in a working directory of its own and
// drives it from outside, the way a user or another program would: the UI
// tests and the window benchmark both go through here.
#ifndef TESSORN_DRIVER_PROGRAM_H
#define TESSORN_DRIVER_PROGRAM_H

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <functional>
#include <string>
#include <vector>

// The sixteen controls in the order the program creates them. Children are
// listed in Z-order and each new child goes below its elder siblings, so this
// is also the order in which EnumChildWindows reports them.
enum Control {
    palettedTextureCheck,
    sharedPaletteCheck,
    packedPixelsCheck,
    windowedCheck,
    centeredCheck,
    directxCheck,
    fixedGammaCheck,
    softResChangeCheck,
    mouseClipCheck,
    fpsCombo,
    framerateCheck,
    clockCombo,
    statsCheck,
    memCombo,
    saveButton,
    quitButton,
    controlCount
};

const char* ControlName(Control control);

// Windows path of tessorn-config.exe, the program a Program starts unless
// told otherwise; set once from the command line.
extern std::string programPath;

constexpr DWORD startTimeoutMs = 10000;
constexpr DWORD exitTimeoutMs = 5000;
constexpr DWORD reactionTimeoutMs = 3000;

// Where the driver says what went wrong (a start that failed, a program left
// running). Standard error unless a handler is set; the tests make it a
// test failure.
void SetFailureHandler(void (*handler)(const std::string& message));

struct Program {
    std::string path = programPath;
    PROCESS_INFORMATION process{};
    std::string directory;    // the program's working directory, no trailing slash
    std::wstring wholeName;   // its whole name where directory is a short one
    double launchedAtMs = 0;  // NowMs() just before the CreateProcess that worked
    HWND window = nullptr;
    HWND controls[controlCount] = {};
    bool exited = false;

    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    // A program still running here was not ended by its case: it is killed
    // and reported. The working directory is removed either way.
    ~Program();

    HWND operator[](Control control) const
    {
        return controls[control];
    }
    std::string SettingsPath() const
    {
        return directory + "\\tessorn.ini";
    }
};

// Milliseconds of the performance counter.
double NowMs();

// Polls until `condition` holds or the time is up; returns the last result.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs = 10);

// Makes a fresh, empty directory in the temporary folder whose name ends in
// `suffix`, which may hold any letters, and returns a path to it that the
// code page holds: its short name where the long one would lose a letter
// (the whole name then goes to wholeName). Empty on failure.
std::string CreateScratchDirectory(const wchar_t* suffix = L"", std::wstring* wholeName = nullptr);
// Gives the program a fresh, empty working directory of its own.
bool CreateWorkingDirectory(Program& program, const wchar_t* nameSuffix = L"");

// Writes settingsFile as tessorn.ini unless it is null and starts the
// program. The working directory is program.directory when the case has
// chosen or prepared one, otherwise a fresh one, given by its whole name as
// Explorer gives it. showCommand < 0 leaves the
// start-up show command to the system. The program ends when the driver
// ends, however it ends. Reports and returns false on failure; where Wine
// refused the start under load, ends the driver with exitWineRefusedStart
// instead (as ExitWhereWineRefused does for any start).
constexpr int exitWineRefusedStart = 75;
void ExitWhereWineRefused(DWORD error);
bool LaunchProgram(Program& program, const std::string* settingsFile = nullptr,
                   int showCommand = -1);
// Waits until the program shows a top-level window of that class (any class
// when null).
bool AwaitWindow(Program& program, const char* windowClass = "MainWindow",
                 DWORD timeoutMs = startTimeoutMs, DWORD pollMs = 10);
// Takes the sixteen controls from the window's children.
bool FindControls(Program& program);
// All three: launch, wait for the main window, find its controls.
bool StartProgram(Program& program, const std::string* settingsFile = nullptr,
                  int showCommand = -1);

bool IsRunning(const Program& program);
// Whether the thread of a window takes a message within the time: the
// program's does not while it works (a load or a save trying again).
bool Answers(HWND window, DWORD withinMs);
// A message to one of the program's windows, with a time limit: a program
// that does not answer fails the case there and then (and 0 comes back),
// instead of hanging the whole group.
LRESULT SendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool wide = false);
// Waits for the process to end; true with its exit code, false on timeout.
bool WaitForExit(Program& program, DWORD timeoutMs, DWORD& exitCode);
// Ends the process at once, without asking it.
void KillProgram(Program& program);

// A click as the button itself would report it; returns once the program has
// handled it (false if it did not answer in time).
bool ClickButton(const Program& program, Control button);
// The same without waiting, for clicks that open a modal box.
void PostClick(const Program& program, Control button);
// Selects item `index` of a list and notifies the window the way the list
// does when the user picks an item.
void ChooseItem(const Program& program, Control list, int index);
int CheckState(const Program& program, Control box);
int Selection(const Program& program, Control list);

// Window and list texts, converted to code page 1252 bytes.
std::string WindowTextBytes(HWND window);
std::string ListItemBytes(HWND list, int index);
std::string ClassName(HWND window);
// Direct children of a window, in Z-order.
std::vector<HWND> ChildWindows(HWND parent);
// The program's top-level windows of a class (any class when null), visible
// or not.
std::vector<HWND> TopLevelWindows(const Program& program, const char* windowClass);
// The visible dialog (a message box) owned by the program's window, or by
// no window while the program's window is not yet known; a box is made
// visible once its controls exist.
HWND FindOwnedDialog(const Program& program);

// The window that has the keyboard focus in the program's thread.
HWND FocusOf(const Program& program);
bool BringToFront(const Program& program);
// Restores a minimised window as a taskbar or a window manager does.
bool Restore(const Program& program);

struct Key {
    WORD virtualKey;
    WORD scanCode;
    bool extended;
};
// Presses the keys in order and releases them in reverse, carrying the scan
// codes so the key messages hold them in lParam. False where the system
// took fewer events than it was given.
bool PressChord(const std::vector<Key>& keys);

// The Windows form of a directory that the Linux side names in an
// environment variable (a Unix path, reached through drive Z:); empty when
// the variable is not set.
std::string WindowsPathFromEnvironment(const char* variable);

bool ReadFileBytes(const std::string& path, std::string& bytes);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
std::vector<std::string> DirectoryEntries(const std::string& directory);

// The memory figures of the program's process.
bool ReadMemory(const Program& program, PROCESS_MEMORY_COUNTERS_EX& counters);

// Screen pixels, read back from the screen.
struct ClientPixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    // CLR_INVALID outside the area, so that a window smaller than expected
    // fails its checks instead of reading beyond the pixels.
    COLORREF At(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return CLR_INVALID;
        return pixels[static_cast<size_t>(y) * width + x];
    }
};
bool CaptureClient(const Program& program, ClientPixels& capture);
bool CaptureScreen(const RECT& screenRect, ClientPixels& capture);
// The icon as DrawIconEx paints it at (0,0) of a width x height area filled
// with `background`.
bool RenderIcon(HICON icon, int width, int height, COLORREF background, ClientPixels& image);

#endif
