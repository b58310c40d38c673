// What the window shows for a given tessorn.ini, and what "Speichern" writes.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "default_settings_file.h"
#include "expected_state.h"
#include "harness.h"
#include "program.h"
#include "ui_tests.h"

using namespace std::literals;

const char* const kDefaultFile = defaultSettingsFile;

std::string defaultFileWith(const Values& values) {
  std::string file = kDefaultFile;
  for (const auto& [key, value] : values) {
    size_t line = file.compare(0, key.size(), key) == 0 ? 0 : file.find("\n" + key) + 1;
    file.replace(line + key.size(), value.size(), value);
  }
  return file;
}

const Control kBoxes[11] = {PalettedTextureCheck, SharedPaletteCheck, PackedPixelsCheck,
                            WindowedCheck,        CenteredCheck,      DirectxCheck,
                            FixedGammaCheck,      SoftResChangeCheck, MouseClipCheck,
                            FramerateCheck,       StatsCheck};

void expectShown(const Program& program, const Shown& shown) {
  std::string caseName = harness::currentCase();
  for (size_t index = 0; index < std::size(kBoxes); ++index) {
    harness::setCase(caseName + ": " + controlName(kBoxes[index]));
    int ticked = shown.boxes[index] == '1' ? BST_CHECKED : BST_UNCHECKED;
    CHECK_EQ(checkState(program, kBoxes[index]), ticked);
  }
  harness::setCase(caseName);
  CHECK_EQ(selection(program, FpsCombo), shown.fpsItem);
  CHECK_EQ(selection(program, ClockCombo), shown.clockItem);
  if (shown.memItem != kAnyItem) CHECK_EQ(selection(program, MemCombo), shown.memItem);
}

void expectFileIs(const Program& program, bool exists, const std::string& content) {
  std::string after;
  if (!CHECK_EQ(readFileBytes(program.settingsPath(), after), exists) || !exists) return;
  if (content.size() <= 4096) {
    CHECK_BYTES(after, content);
  } else if (!CHECK(after == content)) {
    FAIL("the file has " + std::to_string(after.size()) + " bytes, expected " +
         std::to_string(content.size()));
  }
}

namespace {

constexpr std::string_view kDefaultBoxes = "11100101010";
constexpr Shown kDefaults{kDefaultBoxes, 0, 0, 8};

struct LoadCase {
  const char* name;
  bool fileExists;
  std::string_view file;
  Shown shown;
};

const LoadCase kLoadCases[] = {
    {"no file", false, "", kDefaults},
    {"empty file", true, "", kDefaults},
    {"MEM 000 is raised to the first item", true, "MEM:000\r\n", {kDefaultBoxes, 0, 0, 0}},
    {"MEM 005 is raised to the first item", true, "MEM:005\r\n", {kDefaultBoxes, 0, 0, 0}},
    {"MEM 050", true, "MEM:050\r\n", {kDefaultBoxes, 0, 0, 42}},
    {"MEM 999 is cut to the last item", true, "MEM:999\r\n", {kDefaultBoxes, 0, 0, 100}},
    {"MEM with two digits takes the CR as 0", true, "MEM:16\r\n", {kDefaultBoxes, 0, 0, 100}},
    {"digits beyond MEM's three are ignored", true, "MEM:0160\r\n", {kDefaultBoxes, 0, 0, 8}},
    {"WINDOWED 5 ticks the box", true, "WINDOWED:5\r\n", {"11110101010", 0, 0, 8}},
    {"WINDOWED 0x80 ticks the box", true, "WINDOWED:\x80\r\n", {"11110101010", 0, 0, 8}},
    {"WINDOWED blank 1 reads a blank", true, "WINDOWED: 1\r\n", kDefaults},
    {"UHRZEIT 7 leaves the clock list empty", true, "UHRZEIT:7\r\n", {kDefaultBoxes, 0, -1, 8}},
    {"UHRZEIT 3 and FPS 2", true, "UHRZEIT:3\r\nFPS:2\r\n", {kDefaultBoxes, 2, 3, 8}},
    {"FPS 7 is cut to the last item", true, "FPS:7\r\n", {kDefaultBoxes, 4, 0, 8}},
    {"FRAMERATE 0 clears the box", true, "FRAMERATE:0\r\n", {"11100101000", 0, 0, 8}},
    {"FRAMERATE 9 ticks, DIRECTX 0 clears", true, "FRAMERATE:9\r\nDIRECTX:0\r\n",
     {"11100001010", 0, 0, 8}},
    {"lines ended by lone LF", true, "WINDOWED:1\nZENTRIERT:1\nSTATS:1\n",
     {"11111101011", 0, 0, 8}},
    {"lines ended by lone CR", true, "WINDOWED:1\rZENTRIERT:1\rSTATS:1",
     {"11111101011", 0, 0, 8}},
    {"mixed line ends and empty lines", true, "WINDOWED:1\n\r\r\n\nZENTRIERT:1\r\n\r\nSTATS:1",
     {"11111101011", 0, 0, 8}},
    {"the later of two lines wins (on)", true, "WINDOWED:0\r\nWINDOWED:1\r\n",
     {"11110101010", 0, 0, 8}},
    {"the later of two lines wins (off)", true, "DIRECTX:1\r\nDIRECTX:0\r\n",
     {"11100001010", 0, 0, 8}},
    {"8BITTEXTURE after the paletted key wins", true,
     "GL_EXT_paletted_texture:1\r\n8BITTEXTURE:0\r\n", {"01100101010", 0, 0, 8}},
    {"the paletted key after 8BITTEXTURE wins", true,
     "8BITTEXTURE:0\r\nGL_EXT_paletted_texture:1\r\n", kDefaults},
    {"GL_EXT_palettized_textures feeds the same box", true, "GL_EXT_palettized_textures:0\r\n",
     {"01100101010", 0, 0, 8}},
    {"a key cut at the end of the file", true, "WINDOWED:1\r\nSTATS:",
     {"11110101010", 0, 0, 8}},
    {"a partial key at the end of the file", true, "WINDOWED:1\r\nMAUSGRENZ",
     {"11110101010", 0, 0, 8}},
    {"MEM with its digits cut by the end of the file", true, "WINDOWED:1\r\nMEM:1",
     {"11110101010", 0, 0, kAnyItem}},
    {"keys in lower or mixed case are ignored", true, "windowed:1\r\nstats:1\r\nFps:2\r\n",
     kDefaults},
    {"keys after a blank or tab are ignored", true, " WINDOWED:1\r\n\tSTATS:1\r\n", kDefaults},
    {"a byte-order mark hides the first line only", true,
     "\xEF\xBB\xBFWINDOWED:1\r\nSTATS:1\r\n", {"11100101011", 0, 0, 8}},
    {"a zero byte is an ordinary byte", true, "STATS:1\r\n\0\r\nWINDOWED:1"sv,
     {"11110101011", 0, 0, 8}},
    {"a value that is a CR ends no line early", true, "WINDOWED:\r\nMEM:050\r\n",
     {kDefaultBoxes, 0, 0, 42}},
    {"a value that is a lone LF swallows the next line", true, "WINDOWED:\nMEM:050\n",
     kDefaults},
    {"every value off, smallest memory", true,
     "MEM:008\r\nGL_EXT_paletted_texture:0\r\nZENTRIERT:0\r\nMAUSGRENZEN:0\r\n"
     "GL_EXT_shared_texture_palette:0\r\nGL_EXT_packed_pixels:0\r\nWINDOWED:0\r\nDIRECTX:0\r\n"
     "SOFTRESCHANGE:0\r\nFESTESGAMMA:0\r\nFPS:0\r\nFRAMERATE:0\r\nUHRZEIT:0\r\nSTATS:0\r\n",
     {"00000000000", 0, 0, 0}},
    {"every value on, largest memory", true,
     "MEM:108\r\nGL_EXT_paletted_texture:1\r\nZENTRIERT:1\r\nMAUSGRENZEN:1\r\n"
     "GL_EXT_shared_texture_palette:1\r\nGL_EXT_packed_pixels:1\r\nWINDOWED:1\r\nDIRECTX:1\r\n"
     "SOFTRESCHANGE:1\r\nFESTESGAMMA:1\r\nFPS:3\r\nFRAMERATE:1\r\nUHRZEIT:2\r\nSTATS:1\r\n",
     {"11111111111", 3, 2, 100}},
};

// A change the user makes before saving: item >= 0 picks that item of a
// list, otherwise the control (a check box) is clicked.
struct Step {
  Control control;
  int item;
};
constexpr int kClick = -1;

struct SaveCase {
  const char* name;
  bool fileExists;
  std::string_view file;
  std::vector<Step> steps;
  Values saved;  // the values that differ from the default file
};

const std::vector<SaveCase> kSaveCases = {
    {"defaults, nothing changed", false, "", {}, {}},
    {"every control changed",
     false,
     "",
     {{PalettedTextureCheck, kClick}, {SharedPaletteCheck, kClick}, {PackedPixelsCheck, kClick},
      {WindowedCheck, kClick}, {CenteredCheck, kClick}, {DirectxCheck, kClick},
      {FixedGammaCheck, kClick}, {SoftResChangeCheck, kClick}, {MouseClipCheck, kClick},
      {FramerateCheck, kClick}, {StatsCheck, kClick}, {FpsCombo, 4}, {ClockCombo, 3},
      {MemCombo, 100}},
     {{"MEM:", "108"}, {"GL_EXT_paletted_texture:", "0"}, {"ZENTRIERT:", "1"},
      {"MAUSGRENZEN:", "1"}, {"GL_EXT_shared_texture_palette:", "0"},
      {"GL_EXT_packed_pixels:", "0"}, {"WINDOWED:", "1"}, {"DIRECTX:", "0"},
      {"SOFTRESCHANGE:", "0"}, {"FESTESGAMMA:", "1"}, {"FPS:", "4"}, {"FRAMERATE:", "0"},
      {"UHRZEIT:", "3"}, {"STATS:", "1"}}},
    {"everything off, smallest memory",
     false,
     "",
     {{PalettedTextureCheck, kClick}, {SharedPaletteCheck, kClick}, {PackedPixelsCheck, kClick},
      {DirectxCheck, kClick}, {SoftResChangeCheck, kClick}, {FramerateCheck, kClick},
      {MemCombo, 0}},
     {{"MEM:", "008"}, {"GL_EXT_paletted_texture:", "0"},
      {"GL_EXT_shared_texture_palette:", "0"}, {"GL_EXT_packed_pixels:", "0"},
      {"DIRECTX:", "0"}, {"SOFTRESCHANGE:", "0"}, {"FRAMERATE:", "0"}}},
    {"item 24 of the memory list is 32 MB", false, "", {{MemCombo, 24}}, {{"MEM:", "032"}}},
    {"the last memory choice counts", false, "", {{MemCombo, 50}, {MemCombo, 3}},
     {{"MEM:", "011"}}},
    {"list choices", false, "", {{FpsCombo, 2}, {ClockCombo, 1}},
     {{"FPS:", "2"}, {"UHRZEIT:", "1"}}},
    {"a box clicked twice", false, "", {{WindowedCheck, kClick}, {WindowedCheck, kClick}}, {}},
    {"clock list without a selection saves 0", true, "UHRZEIT:7\r\n", {}, {}},
    {"loaded values beyond their range", true,
     "WINDOWED:5\r\nFRAMERATE:9\r\nMEM:000\r\nFPS:9\r\n", {},
     {{"MEM:", "008"}, {"WINDOWED:", "1"}, {"FPS:", "4"}}},
    {"loaded MEM 999", true, "MEM:999\r\n", {}, {{"MEM:", "108"}}},
    {"loaded values, then changed", true, "STATS:1\r\nFPS:3\r\nMEM:064\r\n",
     {{StatsCheck, kClick}, {ClockCombo, 2}}, {{"MEM:", "064"}, {"FPS:", "3"}, {"UHRZEIT:", "2"}}},
    {"a longer file is replaced whole", true,
     "WINDOWED:1\r\n; a comment the program does not keep, long enough to outlast the new "
     "file: 0123456789012345678901234567890123456789012345678901234567890123456789012345678901"
     "234567890123456789012345678901234567890123456789012345678901234567890123456789\r\n",
     {}, {{"WINDOWED:", "1"}}},
};

void apply(const Program& program, const Step& step) {
  if (step.item == kClick) {
    clickButton(program, step.control);
  } else {
    chooseItem(program, step.control, step.item);
  }
}

// Saves and checks the file and that the program goes on.
void saveAndExpect(const Program& program, const std::string& expected) {
  CHECK(clickButton(program, SaveButton));
  std::string written;
  CHECK(readFileBytes(program.settingsPath(), written));
  CHECK_BYTES(written, expected);
  CHECK(isRunning(program));
  CHECK(IsWindowVisible(program.window));
  CHECK(directoryEntries(program.directory) == std::vector<std::string>{"tessorn.ini"});
  CHECK(findOwnedDialog(program) == nullptr);
}

// What a failed-save row put in the program's way, kept for its removal.
struct Obstacle {
  const Program& program;
  std::string mounts;  // where obstacles.sh made its mounts, empty without them
  const char* mount;   // the row's mount, or null for an ordinary directory
  HANDLE holder = INVALID_HANDLE_VALUE;

  std::string path(const char* name) const { return program.directory + "\\" + name; }
};

constexpr DWORD kLinuxAnswerTimeoutMs = 10000;

// Wine runs as root here and ignores permissions, so a directory that cannot
// be written is a read-only mount, which only the Linux side can switch:
// obstacles.sh serves requests written as files and answers "ok" or why not.
bool askLinuxSide(const Obstacle& obstacle, const char* action) {
  std::string request = obstacle.mounts + "\\requests\\" + obstacle.mount + "." + action;
  std::string answerPath = request + ".done";
  std::string answer;
  bool answered =
      writeFileBytes(request, "") &&
      waitUntil([&] { return readFileBytes(answerPath, answer); }, kLinuxAnswerTimeoutMs);
  DeleteFileA(answerPath.c_str());
  if (!answered) FAIL("no answer from obstacles.sh to " + request);
  if (answered && answer != "ok\n")
    FAIL("obstacles.sh could not " + std::string(action) + ": " + answer);
  return answered && answer == "ok\n";
}

// Writes a filler file until the disk takes not a single byte more. The
// mount is 64 KiB; more than a MiB means it is not the small mount at all.
bool fillDisk(Obstacle& obstacle) {
  HANDLE filler = CreateFileA(obstacle.path("filler").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (filler == INVALID_HANDLE_VALUE) return false;
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

struct FaultCase {
  const char* name;
  const char* mount;  // the tmpfs mount the row needs, or null
  bool saveFails;
  bool fileRemains;  // tessorn.ini is a file again once the obstacle is gone
  bool (*place)(Obstacle&);
  bool (*remove)(Obstacle&);
};

const FaultCase kFaultCases[] = {
    {"read-only tessorn.ini", nullptr, true, true,
     [](Obstacle& o) {
       return SetFileAttributesA(o.path("tessorn.ini").c_str(), FILE_ATTRIBUTE_READONLY) != 0;
     },
     [](Obstacle& o) {
       return SetFileAttributesA(o.path("tessorn.ini").c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
     }},
    {"tessorn.ini held open by another program", nullptr, true, true,
     [](Obstacle& o) {
       o.holder = CreateFileA(o.path("tessorn.ini").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
       return o.holder != INVALID_HANDLE_VALUE;
     },
     [](Obstacle& o) { return CloseHandle(o.holder) != 0; }},
    {"the directory cannot be written", "unwritable", true, true,
     [](Obstacle& o) { return askLinuxSide(o, "lock"); },
     [](Obstacle& o) { return askLinuxSide(o, "unlock"); }},
    {"the disk is full", "full", true, true, fillDisk,
     [](Obstacle& o) { return DeleteFileA(o.path("filler").c_str()) != 0; }},
    {"tessorn.ini is a directory", nullptr, true, false,
     [](Obstacle& o) {
       return DeleteFileA(o.path("tessorn.ini").c_str()) &&
              CreateDirectoryA(o.path("tessorn.ini").c_str(), nullptr);
     },
     // Fails, and so shows, when the save put anything into the directory.
     [](Obstacle& o) { return RemoveDirectoryA(o.path("tessorn.ini").c_str()) != 0; }},
    {"a temporary file left by an interrupted save is replaced", nullptr, false, true,
     [](Obstacle& o) {
       return writeFileBytes(o.path("tessorn.ini.tmp"), std::string(300, 'X') + "\r\nMEM:");
     },
     [](Obstacle&) { return true; }},
};

const char kFaultCaption[] = "Ein Fehler trat auf.";
const char kFaultText[] = "Die Einstellungen konnten nicht gespeichert werden.";

// Pixels of the box's icon that differ from the system's error icon drawn on
// the same background; -1 when there is no icon to compare.
int iconDifference(HWND iconControl) {
  RECT area;
  GetWindowRect(iconControl, &area);
  ClientPixels shown, expected;
  if (!captureScreen(area, shown)) return -1;
  // The icon's corners are transparent, so the corner shows the background.
  if (!renderIcon(LoadIconA(nullptr, IDI_HAND), shown.width, shown.height, shown.at(0, 0), expected)) {
    return -1;
  }
  int different = 0;
  for (size_t index = 0; index < shown.pixels.size(); ++index) {
    different += shown.pixels[index] != expected.pixels[index];
  }
  return different;
}

void expectFaultBox(HWND dialog) {
  CHECK_BYTES(windowTextBytes(dialog), std::string(kFaultCaption));
  std::vector<std::string> texts;
  std::vector<HWND> buttons;
  HWND icon = nullptr;
  for (HWND child : childWindows(dialog)) {
    if (!IsWindowVisible(child)) continue;
    std::string kind = className(child);
    if (_stricmp(kind.c_str(), "Button") == 0) buttons.push_back(child);
    if (_stricmp(kind.c_str(), "Static") != 0) continue;
    if ((GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      icon = child;
    } else if (!windowTextBytes(child).empty()) {
      texts.push_back(windowTextBytes(child));
    }
  }
  CHECK_EQ(texts.size(), 1);
  if (texts.size() == 1) CHECK_BYTES(texts[0], std::string(kFaultText));
  CHECK_EQ(buttons.size(), 1);  // MB_OK: a single button
  if (buttons.size() == 1) CHECK_EQ(GetDlgCtrlID(buttons[0]), IDOK);
  // MB_ICONERROR: the error icon, not another one.
  if (CHECK(icon != nullptr)) {
    SetForegroundWindow(dialog);
    int difference = -1;
    waitUntil([&] { return (difference = iconDifference(icon)) == 0; }, kReactionTimeoutMs);
    CHECK_EQ(difference, 0);
  }
}

}  // namespace

void testLoad() {
  for (const LoadCase& row : kLoadCases) {
    harness::setCase(std::string("load: ") + row.name);
    Program program;
    std::string file(row.file);
    if (!startProgram(program, row.fileExists ? &file : nullptr)) continue;
    expectShown(program, row.shown);
    harness::setCase(std::string("load: ") + row.name);
    quitWithButton(program);
    // Reading never writes: the file is as it was, and no file appears.
    expectFileIs(program, row.fileExists, file);
  }
}

void testSave() {
  for (const SaveCase& row : kSaveCases) {
    harness::setCase(std::string("save: ") + row.name);
    Program program;
    std::string file(row.file);
    if (!startProgram(program, row.fileExists ? &file : nullptr)) continue;
    for (const Step& step : row.steps) apply(program, step);
    saveAndExpect(program, defaultFileWith(row.saved));
    quitWithButton(program);
  }

  harness::setCase("save: every click writes the file anew");
  Program program;
  if (!startProgram(program)) return;
  saveAndExpect(program, kDefaultFile);
  CHECK(DeleteFileA(program.settingsPath().c_str()));
  saveAndExpect(program, kDefaultFile);
  clickButton(program, WindowedCheck);
  saveAndExpect(program, defaultFileWith({{"WINDOWED:", "1"}}));
  quitWithButton(program);
}

void testSaveFailure() {
  const std::string existing = "WINDOWED:1\r\nSTATS:1\r\n; kept as it is\r\n";
  const std::string afterRetry = defaultFileWith({{"WINDOWED:", "1"}, {"STATS:", "1"}});
  const std::string mounts = windowsPathFromEnvironment("TESSORN_UI_OBSTACLES");
  for (const FaultCase& row : kFaultCases) {
    harness::setCase(std::string("failed save: ") + row.name);
    Program program;
    if (row.mount && mounts.empty()) {
      char reason[512] = "run without tests/ui/obstacles.sh";
      GetEnvironmentVariableA("TESSORN_UI_OBSTACLES_MISSING", reason, sizeof reason);
      harness::skip(std::string("needs a tmpfs mount: ") + reason);
      continue;
    }
    if (row.mount) program.directory = mounts + "\\" + row.mount;
    if (!startProgram(program, &existing)) continue;
    Obstacle obstacle{program, mounts, row.mount};
    if (!CHECK(row.place(obstacle))) {
      row.remove(obstacle);
      continue;
    }

    if (row.saveFails) {
      // The box is modal inside the click, so the click is posted.
      postClick(program, SaveButton);
      HWND dialog = nullptr;
      waitUntil([&] { return (dialog = findOwnedDialog(program)) != nullptr; }, kReactionTimeoutMs);
      if (CHECK(dialog != nullptr)) {
        expectFaultBox(dialog);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        CHECK(waitUntil([&] { return !IsWindow(dialog); }, kReactionTimeoutMs));
      }
      // The program goes on, the old file is intact and nothing is left over.
      CHECK(isRunning(program));
      CHECK(IsWindowVisible(program.window));
      CHECK(row.remove(obstacle));
      expectFileIs(program, row.fileRemains, existing);
      CHECK(
          directoryEntries(program.directory) ==
          (row.fileRemains ? std::vector<std::string>{"tessorn.ini"} : std::vector<std::string>{}));
    }
    // Once the cause is gone (or when there was none), the click saves.
    saveAndExpect(program, afterRetry);
    quitWithButton(program);
  }
}
