// Ending the program, real keys, and what the window paints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "checks.h"
#include "probe_client.h"
#include "program.h"

namespace {

constexpr Key shiftKey{VK_LSHIFT, 0x2A, false};
constexpr Key controlKey{VK_LCONTROL, 0x1D, false};
constexpr Key altKey{VK_LMENU, 0x38, false};
constexpr Key f4Key{VK_F4, 0x3E, false};
constexpr Key f5Key{VK_F5, 0x3F, false};
constexpr Key sKey{'S', 0x1F, false};
constexpr Key vKey{'V', 0x2F, false};
constexpr Key endKey{VK_END, 0x4F, true};
constexpr Key downKey{VK_DOWN, 0x50, true};

enum class Way { quitClick, closeFromOutside, altF4 };

struct EndingCase {
    const char* name;
    Way way;
    bool fileExists;
};

const EndingCase endingCases[] = {
    {"Beenden, no file", Way::quitClick, false},
    {"Beenden, existing file", Way::quitClick, true},
    {"WM_CLOSE from another program, no file", Way::closeFromOutside, false},
    {"WM_CLOSE from another program, existing file", Way::closeFromOutside, true},
    {"Alt+F4, no file", Way::altF4, false},
    {"Alt+F4, existing file", Way::altF4, true},
};

// The focus ring, starting where the program puts the focus.
const Control focusRing[] = {
    fpsCombo,           framerateCheck,       clockCombo,         statsCheck,
    memCombo,           palettedTextureCheck, sharedPaletteCheck, packedPixelsCheck,
    windowedCheck,      centeredCheck,        directxCheck,       fixedGammaCheck,
    softResChangeCheck, mouseClipCheck,       saveButton,         quitButton};

std::string FocusName(const Program& program, HWND focus)
{
    for (int index = 0; index < controlCount; ++index) {
        if (program.controls[index] == focus)
            return ControlName(static_cast<Control>(index));
    }
    if (focus == program.window)
        return "the main window";
    char text[32];
    std::snprintf(text, sizeof text, "window %p", static_cast<void*>(focus));
    return text;
}

// Waits for the focus to reach `expected`; reports where it is otherwise.
void ExpectFocus(const Program& program, Control expected, DWORD timeoutMs)
{
    bool reached = WaitUntil([&] { return FocusOf(program) == program[expected]; }, timeoutMs);
    EXPECT_TRUE(reached) << "focus is on " << FocusName(program, FocusOf(program)) << ", expected "
                         << ControlName(expected);
}

// Key messages as another program (or a keyboard driver) could post them,
// with scan codes no keyboard here can type. The program decides by the
// scan code in lParam: Alt (bit 29) with scan code 0x3E quits, scan code
// 0x0F moves the focus; the virtual-key code is not looked at.
struct KeyMessageCase {
    const char* name;
    Control target;  // controlCount: the main window
    UINT message;
    WPARAM virtualKey;
    LPARAM lParam;
    bool quits;
    bool movesFocus;
};

// clang-format off
const KeyMessageCase keyMessageCases[] = {
    {"Alt + scan 3E quits", controlCount, WM_SYSKEYDOWN, 0, 0x203E0001, true, false},
    {"Alt + scan 3E quits from a control", fpsCombo, WM_SYSKEYDOWN, 0, 0x203E0001, true, false},
    {"auto-repeated Alt + scan 3E quits", controlCount, WM_SYSKEYDOWN, 0, 0x603E0001, true, false},
    {"scan 3E without Alt does not quit", controlCount, WM_SYSKEYDOWN, 0, 0x003E0001, false, false},
    {"Alt + scan 3F (F5) does not quit", controlCount, WM_SYSKEYDOWN, VK_F5, 0x203F0001, false, false},
    {"Alt + scan 7E does not quit", controlCount, WM_SYSKEYDOWN, 0, 0x207E0001, false, false},
    {"Alt + scan BE does not quit", fpsCombo, WM_SYSKEYDOWN, 0, 0x20BE0001, false, false},
    {"scan 0F (Tab) moves the focus", fpsCombo, WM_KEYDOWN, VK_TAB, 0x000F0001, false, true},
    {"auto-repeated scan 0F moves the focus", fpsCombo, WM_KEYDOWN, VK_TAB, 0x400F0001, false, true},
    {"scan 0F moves the focus whatever the key code", fpsCombo, WM_KEYDOWN, 'X', 0x000F0001, false, true},
    {"scan 1F (S) keeps the focus", fpsCombo, WM_KEYDOWN, 'S', 0x001F0001, false, false},
    {"scan 2F (V) keeps the focus", fpsCombo, WM_KEYDOWN, 'V', 0x002F0001, false, false},
    {"scan 3F (F5) keeps the focus", fpsCombo, WM_KEYDOWN, VK_F5, 0x003F0001, false, false},
    {"scan 4F (keypad 1) keeps the focus", fpsCombo, WM_KEYDOWN, VK_END, 0x004F0001, false, false},
    {"extended scan 4F (End) keeps the focus", fpsCombo, WM_KEYDOWN, VK_END, 0x014F0001, false, false},
    {"Tab as a key code without its scan code keeps the focus", fpsCombo, WM_KEYDOWN, VK_TAB, 0x00000001, false, false},
};
// clang-format on

struct StillKey {
    const char* name;
    std::vector<Key> chord;
    Control focused;  // where it is typed
    int after;        // the list's item or the box's state after it; -2: unchanged
};

// The focus leaves the control before the window is minimised.
void MinimiseAndRestore(const Program& program)
{
    PostMessageA(program.window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(WaitUntil([&] { return IsIconic(program.window) != 0; }, reactionTimeoutMs));
    EXPECT_TRUE(Restore(program));
}

// As a "minimise all" tool does: no SC_MINIMIZE reaches the window.
void MinimiseFromOutside(const Program& program)
{
    ShowWindowAsync(program.window, SW_MINIMIZE);
    EXPECT_TRUE(WaitUntil([&] { return IsIconic(program.window) != 0; }, reactionTimeoutMs));
    ShowWindowAsync(program.window, SW_RESTORE);
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(program.window); }, reactionTimeoutMs));
}

void ActivateAnotherWindow(const Program& program)
{
    HWND other = CreateWindowExA(0, "STATIC", "another program", WS_OVERLAPPED | WS_VISIBLE, 0, 0,
                                 200, 100, nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(WaitUntil(
        [&] {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
            SetForegroundWindow(other);
            return GetForegroundWindow() == other;
        },
        reactionTimeoutMs));
    EXPECT_TRUE(BringToFront(program));
    DestroyWindow(other);
}

// Ways the window goes away and comes back.
const std::pair<const char*, void (*)(const Program&)> awayCases[] = {
    {"another window", ActivateAnotherWindow},
    {"a minimise and a restore", MinimiseAndRestore},
    {"a minimise and a restore by another program", MinimiseFromOutside},
};

class Ending : public testing::TestWithParam<EndingCase> {};

TEST_P(Ending, EndsCleanlyWithoutSaving)
{
    const EndingCase& row = GetParam();
    const std::string existing = "WINDOWED:1\r\n; not written by the program\r\n";
    Program program;
    ASSERT_TRUE(StartProgram(program, row.fileExists ? &existing : nullptr));
    // A change that a save would carry into the file.
    ClickButton(program, centeredCheck);
    switch (row.way) {
    case Way::quitClick:
        PostClick(program, quitButton);
        break;
    case Way::closeFromOutside:
        PostMessageA(program.window, WM_CLOSE, 0, 0);
        break;
    case Way::altF4:
        EXPECT_TRUE(BringToFront(program));
        PressChord({altKey, f4Key});
        break;
    }
    ExpectCleanExit(program);
    std::vector<std::string> expectedEntries;
    if (row.fileExists)
        expectedEntries.push_back("tessorn.ini");
    EXPECT_EQ(DirectoryEntries(program.directory), expectedEntries);
    ExpectFileIs(program, row.fileExists, existing);
}

INSTANTIATE_TEST_SUITE_P(Ways, Ending, testing::ValuesIn(endingCases), RowName());

TEST(Keys, TabWalksTheFocusRingAndOtherKeysStay)
{
    Program program;
    ASSERT_TRUE(StartProgram(program));
    EXPECT_TRUE(BringToFront(program));
    ExpectFocus(program, fpsCombo, reactionTimeoutMs);
    for (size_t step = 1; step <= std::size(focusRing); ++step) {
        Control next = focusRing[step % std::size(focusRing)];
        SCOPED_TRACE("Tab " + std::to_string(step) + " to " + ControlName(next));
        PressChord({tabKey});
        ExpectFocus(program, next, reactionTimeoutMs);
    }

    {
        SCOPED_TRACE("Tab with modifiers moves forward");
        PressChord({shiftKey, tabKey});
        ExpectFocus(program, framerateCheck, reactionTimeoutMs);
        PressChord({controlKey, tabKey});
        ExpectFocus(program, clockCombo, reactionTimeoutMs);
        PressChord({shiftKey, controlKey, tabKey});
        ExpectFocus(program, statsCheck, reactionTimeoutMs);
    }

    // Back on the first list: these keys must reach the control that has
    // the focus, not move it.
    for (size_t step = 3; step < std::size(focusRing); ++step)
        PressChord({tabKey});
    ExpectFocus(program, fpsCombo, reactionTimeoutMs);
    const StillKey stillKeys[] = {
        {"S", {sKey}, fpsCombo, 0},
        {"V", {vKey}, fpsCombo, 0},
        {"F5", {f5Key}, fpsCombo, 0},
        {"Alt+F5", {altKey, f5Key}, fpsCombo, -2},
        {"Down", {downKey}, fpsCombo, 1},
        {"End", {endKey}, fpsCombo, 4},  // the list's last item
        {"Space", {spaceKey}, framerateCheck, BST_UNCHECKED},
    };
    for (const StillKey& key : stillKeys) {
        SCOPED_TRACE(std::string(key.name) + " keeps the focus and the program");
        if (FocusOf(program) != program[key.focused])
            PressChord({tabKey});
        ExpectFocus(program, key.focused, reactionTimeoutMs);
        PressChord(key.chord);
        EXPECT_TRUE(AwaitInputHandled(program));
        EXPECT_TRUE(IsRunning(program));
        ExpectFocus(program, key.focused, 0);
        int after = key.focused == fpsCombo ? Selection(program, fpsCombo)
                                            : CheckState(program, key.focused);
        if (key.after != -2) {
            EXPECT_EQ(after, key.after);
        }
    }
    {
        SCOPED_TRACE("what the keys chose is saved");
        EXPECT_TRUE(ClickButton(program, saveButton));
        ExpectFileIs(program, true, DefaultFileWith({{"FPS:", "4"}, {"FRAMERATE:", "0"}}));
    }

    {
        SCOPED_TRACE("Tab from the window itself goes to the first list");
        ASSERT_TRUE(FocusMainWindow(program));
        EXPECT_EQ(FocusOf(program), program.window);
        PressChord({tabKey});
        ExpectFocus(program, fpsCombo, reactionTimeoutMs);
    }

    // From the clock list on: the control that had the focus has it again,
    // and real keys go on from there.
    PressChord({tabKey});
    for (size_t had = 2; had < 2 + std::size(awayCases); ++had) {
        const auto& [name, leaveAndComeBack] = awayCases[had - 2];
        SCOPED_TRACE(std::string("the focus comes back after ") + name);
        PressChord({tabKey});
        ExpectFocus(program, focusRing[had], reactionTimeoutMs);
        leaveAndComeBack(program);
        ExpectFocus(program, focusRing[had], reactionTimeoutMs);
    }
    PressChord({tabKey});
    ExpectFocus(program, focusRing[2 + std::size(awayCases)], reactionTimeoutMs);
    QuitWithButton(program);
}

class KeyMessages : public testing::TestWithParam<KeyMessageCase> {};

TEST_P(KeyMessages, QuitOrMoveTheFocusByScanCode)
{
    const KeyMessageCase& row = GetParam();
    Program program;
    ASSERT_TRUE(StartProgram(program));
    ExpectFocus(program, fpsCombo, reactionTimeoutMs);
    HWND target = row.target == controlCount ? program.window : program[row.target];
    PostMessageA(target, row.message, row.virtualKey, row.lParam);
    if (row.quits) {
        ExpectCleanExit(program);
        EXPECT_TRUE(DirectoryEntries(program.directory).empty());
        return;
    }
    EXPECT_TRUE(AwaitInputHandled(program));
    EXPECT_TRUE(IsRunning(program));
    ExpectFocus(program, row.movesFocus ? framerateCheck : fpsCombo, reactionTimeoutMs);
    QuitWithButton(program);
}

INSTANTIATE_TEST_SUITE_P(Messages, KeyMessages, testing::ValuesIn(keyMessageCases), RowName());

std::string Hex(COLORREF colour)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%06lX", static_cast<unsigned long>(colour));
    return text;
}

// What differs from the window as painted in the colours of a scheme, one
// line each; empty when nothing does. The face and the labels' text follow
// the scheme, the frame keeps its own two colours.
std::string PaintFaults(const ClientPixels& pixels, COLORREF face, COLORREF text, int dpi)
{
    if (pixels.width <= 100 || pixels.height <= 100)
        return "client area " + std::to_string(pixels.width) + " x " +
               std::to_string(pixels.height) + "\n";
    const COLORREF dark = RGB(0x40, 0x40, 0x40);
    const COLORREF white = RGB(0xFF, 0xFF, 0xFF);
    const int lineWidth = Scaled(1, dpi);
    std::string faults;

    // The frame: dark along the top and left, white along the right and
    // bottom, where each line stops short of its end point; one ring of
    // one-pixel lines for each pixel the scale makes of one.
    struct Run {
        const char* name;
        int x, y, stepX, stepY, length;
        COLORREF colour;
    };
    for (int inset = 0; inset < lineWidth; ++inset) {
        const int right = pixels.width - 1 - inset;
        const int bottom = pixels.height - 1 - inset;
        const int width = pixels.width - 2 * inset;
        const int height = pixels.height - 2 * inset;
        const Run frame[] = {
            {"left column", inset, inset, 0, 1, height, dark},
            {"top row but its last pixel", inset, inset, 1, 0, width - 1, dark},
            {"top row's last pixel", right, inset, 0, 0, 1, white},
            {"right column", right, inset, 0, 1, height, white},
            {"bottom row but its first pixel", inset + 1, bottom, 1, 0, width - 1, white},
            {"bottom row's first pixel", inset, bottom, 0, 0, 1, dark},
        };
        for (const Run& run : frame) {
            int x = run.x, y = run.y, offenders = 0;
            COLORREF firstOffender = run.colour;
            for (int index = 0; index < run.length; ++index, x += run.stepX, y += run.stepY) {
                if (pixels.At(x, y) != run.colour && offenders++ == 0)
                    firstOffender = pixels.At(x, y);
            }
            if (offenders > 0)
                faults += std::string(run.name) + ", ring " + std::to_string(inset) + ": " +
                          std::to_string(offenders) + " pixels not " + Hex(run.colour) +
                          ", the first " + Hex(firstOffender) + "\n";
        }
    }

    // Away from controls and labels the client area has the button face,
    // also just inside the frame.
    const int right = pixels.width - 1;
    const int bottom = pixels.height - 1;
    const POINT faceSpots[] = {
        {Scaled(50, dpi), Scaled(300, dpi)},  {Scaled(320, dpi), Scaled(60, dpi)},
        {Scaled(345, dpi), Scaled(300, dpi)}, {Scaled(180, dpi), Scaled(430, dpi)},
        {lineWidth + 2, lineWidth + 2},       {right - lineWidth - 2, bottom - lineWidth - 2}};
    for (const POINT& spot : faceSpots) {
        if (pixels.At(spot.x, spot.y) != face)
            faults += "face at (" + std::to_string(spot.x) + "," + std::to_string(spot.y) +
                      ") is " + Hex(pixels.At(spot.x, spot.y)) + ", not " + Hex(face) + "\n";
    }

    // The three labels beside the lists are drawn in the scheme's text colour.
    struct Label {
        const char* text;
        RECT area;
    };
    const Label labels[] = {
        {"Infos anzeigen:", {120, 5, 230, 22}},
        {"Uhr", {140, 55, 170, 72}},
        {"MB Textur-Speicher", {120, 115, 250, 132}},
    };
    // Each starts where it is drawn: its first column of text lies within
    // the letter's own margin of the label's x.
    for (const Label& label : labels) {
        int inText = 0;
        int leftmost = pixels.width;
        for (int y = Scaled(label.area.top, dpi); y < Scaled(label.area.bottom, dpi); ++y) {
            for (int x = Scaled(label.area.left, dpi) - 4; x < Scaled(label.area.right, dpi); ++x) {
                if (pixels.At(x, y) == text) {
                    ++inText;
                    leftmost = std::min(leftmost, x);
                }
            }
        }
        if (inText < 10 || leftmost < Scaled(label.area.left, dpi) ||
            leftmost > Scaled(label.area.left + 1, dpi))
            faults += std::string("label ") + label.text + ": " + std::to_string(inText) +
                      " pixels in " + Hex(text) + ", the leftmost at x " +
                      std::to_string(leftmost) + "\n";
    }
    return faults;
}

void ExpectPainted(const Program& program, COLORREF face, COLORREF text)
{
    EXPECT_TRUE(BringToFront(program));
    SetWindowPos(program.window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RedrawWindow(program.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
    // The repaint is asynchronous, and under load a read may fall between
    // the frame and the labels: read until the whole picture is there or
    // time is up.
    ClientPixels pixels;
    std::string faults;
    WaitUntil(
        [&] {
            faults = CaptureClient(program, pixels)
                         ? PaintFaults(pixels, face, text, EnvironmentDpi())
                         : "the client area could not be read\n";
            return faults.empty();
        },
        reactionTimeoutMs);
    EXPECT_EQ(faults, "");
}

TEST(Paint, FrameFaceAndLabels)
{
    Program program;
    ASSERT_TRUE(StartProgram(program));
    ExpectPainted(program, GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNTEXT));
    QuitWithButton(program);
}

// The user turns high contrast on (or off) with the window open. Only the
// program's own process sees the new colours under Wine, so the probe sets
// them there; later processes would see them too, so they are set back.
TEST(Environment, FollowsAColourSchemeChangedWhileOpen)
{
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF text = GetSysColor(COLOR_BTNTEXT);
    const bool darkFace = GetRValue(face) + GetGValue(face) + GetBValue(face) < 384;
    const COLORREF newFace = darkFace ? RGB(0xF0, 0xF0, 0xF0) : RGB(0, 0, 0);
    const COLORREF newText = darkFace ? RGB(0, 0, 0) : RGB(0xFF, 0xFF, 0xFF);
    Program program;
    ASSERT_TRUE(StartProgram(program));
    if (SetButtonColours(program, newFace, newText)) {
        SCOPED_TRACE("the new scheme");
        ExpectPainted(program, newFace, newText);
    }
    if (SetButtonColours(program, face, text)) {
        SCOPED_TRACE("the scheme set back");
        ExpectPainted(program, face, text);
    }
    QuitWithButton(program);
}

}  // namespace
