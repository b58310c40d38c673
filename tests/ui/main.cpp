// UI driver: runs tessorn-config.exe under the same wineserver and checks it
// from outside. Usage: tessorn-ui-tests PROGRAM.exe [GROUP...]
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "harness.h"
#include "program.h"
#include "ui_tests.h"

namespace {

struct Group {
  const char* name;
  void (*run)();
};

const Group kGroups[] = {
    {"window", testWindow},         {"controls", testControls}, {"lists", testLists},
    {"load", testLoad},             {"save", testSave},         {"save-failure", testSaveFailure},
    {"ending", testEnding},         {"keys", testKeys},         {"key-messages", testKeyMessages},
    {"paint", testPaint},           {"hostile-files", testHostileFiles},
    {"differential", testDifferential}, {"endurance", testEndurance},
};

void runGroup(const Group& group) {
  std::printf("[%s]\n", group.name);
  std::fflush(stdout);
  harness::setCase(group.name);
  group.run();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PROGRAM.exe [GROUP...]\ngroups:", argv[0]);
    for (const Group& group : kGroups) std::fprintf(stderr, " %s", group.name);
    std::fprintf(stderr, "\n");
    return 2;
  }
  // Plain LF line ends, so the summary is alone on its line for any reader.
  _setmode(_fileno(stdout), _O_BINARY);
  programPath = argv[1];
  for (char& c : programPath) c = c == '/' ? '\\' : c;

  harness::setCase("setup");
  if (GetFileAttributesA(programPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
    FAIL("program not found: " + programPath);
  } else if (argc == 2) {
    for (const Group& group : kGroups) runGroup(group);
  } else {
    for (int index = 2; index < argc; ++index) {
      const Group* chosen = nullptr;
      for (const Group& group : kGroups) chosen = argv[index] == std::string(group.name) ? &group : chosen;
      if (chosen) {
        runGroup(*chosen);
      } else {
        FAIL(std::string("no such group: ") + argv[index]);
      }
    }
  }
  return harness::finish() == 0 ? 0 : 1;
}
