// What the window should show and the file should hold: shared by the
// groups that load and save settings.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "program.h"

// The file written from the defaults: fourteen lines in a fixed order.
extern const char* const kDefaultFile;

using Values = std::vector<std::pair<std::string, std::string>>;
// The default file with the values behind some keys replaced.
std::string defaultFileWith(const Values& values);

// The eleven check boxes in creation order; a string of '0'/'1' in this
// order states which of them are ticked.
extern const Control kBoxes[11];

constexpr int kAnyItem = -100;  // a value the program may choose freely

struct Shown {
  std::string_view boxes;
  int fpsItem;
  int clockItem;
  int memItem;  // index in memCombo: megabytes - 8
};

// Checks every box and list against `shown`, naming the control that differs.
void expectShown(const Program& program, const Shown& shown);

// Checks the file the program left: byte for byte, or only absent when
// `exists` is false. Big contents are compared without printing them.
void expectFileIs(const Program& program, bool exists, const std::string& content);
