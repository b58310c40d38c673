// Ending the program, real keys, and what the window paints.
#include <cstdio>
#include <string>
#include <vector>

#include "harness.h"
#include "program.h"
#include "ui_tests.h"

namespace {

// Keys by virtual-key code and scan code (set 1), which is what the program
// looks at in lParam.
constexpr Key kTab{VK_TAB, 0x0F, false};
constexpr Key kShift{VK_LSHIFT, 0x2A, false};
constexpr Key kControl{VK_LCONTROL, 0x1D, false};
constexpr Key kAlt{VK_LMENU, 0x38, false};
constexpr Key kF4{VK_F4, 0x3E, false};
constexpr Key kF5{VK_F5, 0x3F, false};
constexpr Key kS{'S', 0x1F, false};
constexpr Key kV{'V', 0x2F, false};
constexpr Key kEnd{VK_END, 0x4F, true};

enum class Ending { QuitButton, CloseFromOutside, AltF4 };

struct EndingCase {
  const char* name;
  Ending ending;
  bool fileExists;
};

const EndingCase kEndingCases[] = {
    {"Beenden, no file", Ending::QuitButton, false},
    {"Beenden, existing file", Ending::QuitButton, true},
    {"WM_CLOSE from another program, no file", Ending::CloseFromOutside, false},
    {"WM_CLOSE from another program, existing file", Ending::CloseFromOutside, true},
    {"Alt+F4, no file", Ending::AltF4, false},
    {"Alt+F4, existing file", Ending::AltF4, true},
};

// The focus ring, starting where the program puts the focus.
const Control kFocusRing[] = {FpsCombo,         FramerateCheck,     ClockCombo,    StatsCheck,
                              MemCombo,         PalettedTextureCheck, SharedPaletteCheck,
                              PackedPixelsCheck, WindowedCheck,     CenteredCheck, DirectxCheck,
                              FixedGammaCheck,  SoftResChangeCheck, MouseClipCheck, SaveButton,
                              QuitButton};

std::string focusName(const Program& program, HWND focus) {
  for (int index = 0; index < ControlCount; ++index) {
    if (program.controls[index] == focus) return controlName(static_cast<Control>(index));
  }
  if (focus == program.window) return "the main window";
  char text[32];
  std::snprintf(text, sizeof text, "window %p", static_cast<void*>(focus));
  return text;
}

// Waits for the focus to reach `expected`; reports where it is otherwise.
bool expectFocus(const Program& program, Control expected, DWORD timeoutMs) {
  bool reached = waitUntil([&] { return focusOf(program) == program[expected]; }, timeoutMs);
  if (!reached) {
    FAIL(std::string("focus is on ") + focusName(program, focusOf(program)) + ", expected " +
         controlName(expected));
  } else {
    CHECK(reached);
  }
  return reached;
}

// Key messages as another program (or a keyboard driver) could post them,
// with scan codes no keyboard here can type. The program decides by the
// scan code in lParam: Alt (bit 29) with scan code 0x3E quits, scan code
// 0x0F moves the focus; the virtual-key code is not looked at.
struct KeyMessageCase {
  const char* name;
  Control target;  // ControlCount: the main window
  UINT message;
  WPARAM virtualKey;
  LPARAM lParam;
  bool quits;
  bool movesFocus;
};

const KeyMessageCase kKeyMessageCases[] = {
    {"Alt + scan 3E quits", ControlCount, WM_SYSKEYDOWN, 0, 0x203E0001, true, false},
    {"Alt + scan 3E quits from a control", FpsCombo, WM_SYSKEYDOWN, 0, 0x203E0001, true, false},
    {"auto-repeated Alt + scan 3E quits", ControlCount, WM_SYSKEYDOWN, 0, 0x603E0001, true, false},
    {"scan 3E without Alt does not quit", ControlCount, WM_SYSKEYDOWN, 0, 0x003E0001, false, false},
    {"Alt + scan 3F (F5) does not quit", ControlCount, WM_SYSKEYDOWN, VK_F5, 0x203F0001, false, false},
    {"Alt + scan 7E does not quit", ControlCount, WM_SYSKEYDOWN, 0, 0x207E0001, false, false},
    {"Alt + scan BE does not quit", FpsCombo, WM_SYSKEYDOWN, 0, 0x20BE0001, false, false},
    {"scan 0F (Tab) moves the focus", FpsCombo, WM_KEYDOWN, VK_TAB, 0x000F0001, false, true},
    {"auto-repeated scan 0F moves the focus", FpsCombo, WM_KEYDOWN, VK_TAB, 0x400F0001, false, true},
    {"scan 0F moves the focus whatever the key code", FpsCombo, WM_KEYDOWN, 'X', 0x000F0001, false, true},
    {"scan 1F (S) keeps the focus", FpsCombo, WM_KEYDOWN, 'S', 0x001F0001, false, false},
    {"scan 2F (V) keeps the focus", FpsCombo, WM_KEYDOWN, 'V', 0x002F0001, false, false},
    {"scan 3F (F5) keeps the focus", FpsCombo, WM_KEYDOWN, VK_F5, 0x003F0001, false, false},
    {"scan 4F (keypad 1) keeps the focus", FpsCombo, WM_KEYDOWN, VK_END, 0x004F0001, false, false},
    {"extended scan 4F (End) keeps the focus", FpsCombo, WM_KEYDOWN, VK_END, 0x014F0001, false, false},
    {"Tab as a key code without its scan code keeps the focus", FpsCombo, WM_KEYDOWN, VK_TAB, 0x00000001, false, false},
};

struct StillKey {
  const char* name;
  std::vector<Key> chord;
  int fpsItemAfter;  // what the focused list shows after the key, -2: unchanged
};

}  // namespace

void testEnding() {
  const std::string existing = "WINDOWED:1\r\n; not written by the program\r\n";
  for (const EndingCase& row : kEndingCases) {
    harness::setCase(std::string("ending: ") + row.name);
    Program program;
    if (!startProgram(program, row.fileExists ? &existing : nullptr)) continue;
    // A change that a save would carry into the file.
    clickButton(program, CenteredCheck);
    switch (row.ending) {
      case Ending::QuitButton:
        postClick(program, QuitButton);
        break;
      case Ending::CloseFromOutside:
        PostMessageA(program.window, WM_CLOSE, 0, 0);
        break;
      case Ending::AltF4:
        CHECK(bringToFront(program));
        pressChord({kAlt, kF4});
        break;
    }
    expectCleanExit(program);
    std::vector<std::string> expectedEntries;
    if (row.fileExists) expectedEntries.push_back("tessorn.ini");
    CHECK(directoryEntries(program.directory) == expectedEntries);
    std::string after;
    if (row.fileExists && CHECK(readFileBytes(program.settingsPath(), after))) {
      CHECK_BYTES(after, existing);
    }
  }
}

void testKeys() {
  harness::setCase("keys: Tab walks the focus ring");
  Program program;
  if (!startProgram(program)) return;
  CHECK(bringToFront(program));
  expectFocus(program, FpsCombo, kReactionTimeoutMs);
  for (size_t step = 1; step <= std::size(kFocusRing); ++step) {
    Control next = kFocusRing[step % std::size(kFocusRing)];
    harness::setCase(std::string("keys: Tab ") + std::to_string(step) + " to " + controlName(next));
    pressChord({kTab});
    expectFocus(program, next, kReactionTimeoutMs);
  }

  harness::setCase("keys: Tab with modifiers moves forward");
  pressChord({kShift, kTab});
  expectFocus(program, FramerateCheck, kReactionTimeoutMs);
  pressChord({kControl, kTab});
  expectFocus(program, ClockCombo, kReactionTimeoutMs);
  pressChord({kShift, kControl, kTab});
  expectFocus(program, StatsCheck, kReactionTimeoutMs);

  // Back on the first list: these keys must reach it, not move the focus.
  for (size_t step = 3; step < std::size(kFocusRing); ++step) pressChord({kTab});
  harness::setCase("keys: back on fpsCombo");
  expectFocus(program, FpsCombo, kReactionTimeoutMs);
  const StillKey stillKeys[] = {
      {"S", {kS}, 0},
      {"V", {kV}, 0},
      {"F5", {kF5}, 0},
      {"Alt+F5", {kAlt, kF5}, -2},
      {"End", {kEnd}, 4},  // the list takes it and selects its last item
  };
  for (const StillKey& key : stillKeys) {
    harness::setCase(std::string("keys: ") + key.name + " keeps the focus and the program");
    pressChord(key.chord);
    Sleep(kSettleMs);
    CHECK(isRunning(program));
    expectFocus(program, FpsCombo, 0);
    if (key.fpsItemAfter != -2) CHECK_EQ(selection(program, FpsCombo), key.fpsItemAfter);
  }
  harness::setCase("keys");
  quitWithButton(program);
}

void testKeyMessages() {
  for (const KeyMessageCase& row : kKeyMessageCases) {
    harness::setCase(std::string("key message: ") + row.name);
    Program program;
    if (!startProgram(program)) continue;
    expectFocus(program, FpsCombo, kReactionTimeoutMs);
    HWND target = row.target == ControlCount ? program.window : program[row.target];
    PostMessageA(target, row.message, row.virtualKey, row.lParam);
    if (row.quits) {
      expectCleanExit(program);
      CHECK(directoryEntries(program.directory).empty());
      continue;
    }
    Sleep(kSettleMs);
    CHECK(isRunning(program));
    expectFocus(program, row.movesFocus ? FramerateCheck : FpsCombo, kReactionTimeoutMs);
    quitWithButton(program);
  }
}

void testPaint() {
  harness::setCase("paint");
  Program program;
  if (!startProgram(program)) return;
  CHECK(bringToFront(program));
  SetWindowPos(program.window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  RedrawWindow(program.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);

  const COLORREF dark = RGB(0x40, 0x40, 0x40);
  const COLORREF white = RGB(0xFF, 0xFF, 0xFF);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  ClientPixels pixels;
  // The repaint is asynchronous: read until the frame is there or time is up.
  waitUntil(
      [&] {
        return captureClient(program, pixels) && pixels.width > 2 && pixels.height > 2 &&
               pixels.at(0, 0) == dark && pixels.at(pixels.width - 1, pixels.height - 1) == white;
      },
      kReactionTimeoutMs);
  if (!CHECK(pixels.width > 100 && pixels.height > 100)) return;
  const int right = pixels.width - 1;
  const int bottom = pixels.height - 1;

  // The one-pixel frame: dark along the top and left, white along the
  // right and bottom, where each line stops short of its end point.
  struct Run {
    const char* name;
    int x, y, stepX, stepY, length;
    COLORREF colour;
  };
  const Run frame[] = {
      {"left column", 0, 0, 0, 1, pixels.height, dark},
      {"top row but its last pixel", 0, 0, 1, 0, pixels.width - 1, dark},
      {"top row's last pixel", right, 0, 0, 0, 1, white},
      {"right column", right, 0, 0, 1, pixels.height, white},
      {"bottom row but its first pixel", 1, bottom, 1, 0, pixels.width - 1, white},
      {"bottom row's first pixel", 0, bottom, 0, 0, 1, dark},
  };
  for (const Run& run : frame) {
    harness::setCase(std::string("paint: ") + run.name);
    int x = run.x, y = run.y, offenders = 0;
    COLORREF firstOffender = run.colour;
    for (int index = 0; index < run.length; ++index, x += run.stepX, y += run.stepY) {
      if (pixels.at(x, y) != run.colour && offenders++ == 0) firstOffender = pixels.at(x, y);
    }
    CHECK_EQ(offenders, 0);
    CHECK_EQ(firstOffender, run.colour);
  }

  // Away from controls and labels the client area has the button face.
  const POINT faceSpots[] = {{50, 300}, {320, 60}, {345, 300}, {180, 430}, {3, 3}, {right - 3, bottom - 3}};
  for (const POINT& spot : faceSpots) {
    harness::setCase("paint: face at (" + std::to_string(spot.x) + "," + std::to_string(spot.y) + ")");
    CHECK_EQ(pixels.at(spot.x, spot.y), face);
  }

  // The three labels beside the lists are drawn in black.
  struct Label {
    const char* text;
    RECT area;
  };
  const Label labels[] = {
      {"Infos anzeigen:", {120, 5, 230, 22}},
      {"Uhr", {140, 55, 170, 72}},
      {"MB Textur-Speicher", {120, 115, 250, 132}},
  };
  for (const Label& label : labels) {
    harness::setCase(std::string("paint: label ") + label.text);
    int black = 0;
    for (int y = label.area.top; y < label.area.bottom; ++y) {
      for (int x = label.area.left; x < label.area.right; ++x) black += pixels.at(x, y) == 0;
    }
    CHECK(black >= 10);
  }
  harness::setCase("paint");
  quitWithButton(program);
}
