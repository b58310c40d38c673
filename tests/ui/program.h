// Starts tessorn-config.exe in a working directory of its own and drives it
// from outside, the way a user or another program would.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The sixteen controls in the order the program creates them. Children are
// listed in Z-order and each new child goes below its elder siblings, so this
// is also the order in which EnumChildWindows reports them.
enum Control {
  PalettedTextureCheck,
  SharedPaletteCheck,
  PackedPixelsCheck,
  WindowedCheck,
  CenteredCheck,
  DirectxCheck,
  FixedGammaCheck,
  SoftResChangeCheck,
  MouseClipCheck,
  FpsCombo,
  FramerateCheck,
  ClockCombo,
  StatsCheck,
  MemCombo,
  SaveButton,
  QuitButton,
  ControlCount
};

const char* controlName(Control control);

// Windows path of the program under test; set once from the command line.
extern std::string programPath;

constexpr DWORD kStartTimeoutMs = 10000;
constexpr DWORD kExitTimeoutMs = 5000;
constexpr DWORD kReactionTimeoutMs = 3000;
// How long to wait before concluding that a key did nothing.
constexpr DWORD kSettleMs = 150;

struct Program {
  PROCESS_INFORMATION process{};
  std::string directory;  // the program's working directory, no trailing slash
  HWND window = nullptr;
  std::vector<HWND> children;  // direct children, in Z-order
  HWND controls[ControlCount] = {};
  bool exited = false;

  Program() = default;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  // A program still running here was not ended by its case: it is killed and
  // the case fails. The working directory is removed either way.
  ~Program();

  HWND operator[](Control control) const { return controls[control]; }
  std::string settingsPath() const { return directory + "\\tessorn.ini"; }
};

// Gives the program a fresh, empty working directory of its own.
bool createWorkingDirectory(Program& program);

// Writes settingsFile as tessorn.ini unless it is null, starts the program
// and waits for its window and its sixteen controls. The working directory
// is program.directory when the case has chosen or prepared one, otherwise a
// fresh one. showCommand < 0 leaves the start-up show command to the system.
// Records a failure and returns false when anything is missing.
bool startProgram(Program& program, const std::string* settingsFile = nullptr,
                  int showCommand = -1);
// The two halves of startProgram, so that several programs can start at once.
bool launchProgram(Program& program, const std::string* settingsFile = nullptr,
                   int showCommand = -1);
bool awaitWindow(Program& program);

// Waits for the process to end; true with its exit code, false on timeout.
bool waitForExit(Program& program, DWORD timeoutMs, DWORD& exitCode);
bool isRunning(const Program& program);
// Checks that the process ends by itself, soon, with exit code 0.
void expectCleanExit(Program& program);
// Ends the program with "Beenden" and checks its exit.
void quitWithButton(Program& program);

// A click as the button itself would report it; returns once the program has
// handled it (false if it did not answer in time).
bool clickButton(const Program& program, Control button);
// The same without waiting, for clicks that open a modal box.
void postClick(const Program& program, Control button);
// Selects item `index` of a list and notifies the window the way the list
// does when the user picks an item.
void chooseItem(const Program& program, Control list, int index);
int checkState(const Program& program, Control box);
int selection(const Program& program, Control list);

// Window and list texts, converted to code page 1252 bytes.
std::string windowTextBytes(HWND window);
std::string listItemBytes(HWND list, int index);
std::string className(HWND window);
// Direct children of a window, in Z-order.
std::vector<HWND> childWindows(HWND parent);

// The window that has the keyboard focus in the program's thread.
HWND focusOf(const Program& program);
bool bringToFront(const Program& program);

struct Key {
  WORD virtualKey;
  WORD scanCode;
  bool extended;
};
// Presses the keys in order and releases them in reverse, carrying the scan
// codes so the key messages hold them in lParam.
void pressChord(const std::vector<Key>& keys);

// Polls until `condition` holds or the time is up; returns the last result.
bool waitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// The Windows form of a directory that the Linux side names in an
// environment variable (a Unix path, reached through drive Z:); empty when
// the variable is not set.
std::string windowsPathFromEnvironment(const char* variable);

bool readFileBytes(const std::string& path, std::string& bytes);
bool writeFileBytes(const std::string& path, const std::string& bytes);
std::vector<std::string> directoryEntries(const std::string& directory);

// The program's top-level windows of a class, visible or not.
std::vector<HWND> topLevelWindows(const Program& program, const char* windowClass);
// The visible dialog (a message box) owned by the program's window; it is
// made visible once its controls exist.
HWND findOwnedDialog(const Program& program);

// Screen pixels of the program's client area, read back from the screen.
struct ClientPixels {
  int width = 0;
  int height = 0;
  std::vector<COLORREF> pixels;
  COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
bool captureClient(const Program& program, ClientPixels& capture);
bool captureScreen(const RECT& screenRect, ClientPixels& capture);
// The icon as DrawIconEx paints it at (0,0) of a width x height area filled
// with `background`.
bool renderIcon(HICON icon, int width, int height, COLORREF background, ClientPixels& image);
