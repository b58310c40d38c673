// Checks the groups of UI tests share: what the window should show, what the
// file should hold, and how the program should end.
#ifndef TESSORN_UI_CHECKS_H
#define TESSORN_UI_CHECKS_H

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "program.h"

// Keys by virtual-key code and scan code (set 1), which is what the program
// looks at in lParam.
constexpr Key tabKey{VK_TAB, 0x0F, false};
constexpr Key spaceKey{VK_SPACE, 0x39, false};
constexpr Key enterKey{VK_RETURN, 0x1C, false};

using Values = std::vector<std::pair<std::string, std::string>>;
// The file written from the defaults with the values behind some keys
// replaced.
std::string DefaultFileWith(const Values& values);

// The eleven check boxes in creation order; a string of '0'/'1' in this
// order states which of them are ticked.
extern const Control checkBoxes[11];

struct Shown {
    std::string_view boxes;
    int fpsItem;
    int clockItem;
    int memItem;  // index in memCombo: megabytes - 8
};

// Checks every box and list against `shown`, naming the control that differs.
void ExpectShown(const Program& program, const Shown& shown);

// Checks the file the program left: byte for byte, or only absent when
// `exists` is false. Big contents are compared without printing them.
void ExpectFileIs(const Program& program, bool exists, const std::string& content);

// Checks that the process ends by itself, soon, with exit code 0.
void ExpectCleanExit(Program& program);
// Ends the program with "Beenden" and checks its exit.
void QuitWithButton(Program& program);

// The display scale the tests run at (the prefix's, named by CTest in
// TESSORN_UI_DPI; 96 when not named), and a length given for 96 dpi at a
// scale, rounded as the program rounds it.
int EnvironmentNumber(const char* variable, int fallback);
int EnvironmentDpi();
int Scaled(int length, int dpi);

// Every control's place and size (a list's with its drop-down) at a scale,
// under every code page; closed, they lie apart within the client area.
void ExpectControlPlaces(const Program& program, int dpi);

// A table row's name as GoogleTest takes it in a test's name: letters and
// digits, one underscore for each run of anything else.
std::string TestName(std::string_view text);

// Names each row's test after the row's `name`.
struct RowName {
    template <typename Row> std::string operator()(const testing::TestParamInfo<Row>& info) const
    {
        return TestName(info.param.name);
    }
};

#endif
