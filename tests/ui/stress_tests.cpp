// The program under stress: hostile and random settings files whose expected
// state comes from the native parser (case_generator.cpp), and one long run
// of saves and repaints.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "expected_state.h"
#include "harness.h"
#include "program.h"
#include "ui_tests.h"

namespace {

// One line of a .cases file; case_generator.cpp describes the fields.
struct GeneratedCase {
  std::string setup;
  unsigned repeat = 1;
  std::string file;
  std::string boxes;
  int fpsItem = 0;
  int clockItem = 0;
  int memItem = 0;
  std::string name;
};

bool readGeneratedCases(const std::string& directory, const char* group,
                        std::vector<GeneratedCase>& cases) {
  if (directory.empty()) {
    FAIL("TESSORN_UI_CASES does not name the generated cases");
    return false;
  }
  std::string list;
  if (!readFileBytes(directory + "\\" + group + ".cases", list)) {
    FAIL("cannot read " + directory + "\\" + group + ".cases");
    return false;
  }
  size_t start = 0;
  for (size_t end; (end = list.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = list.substr(start, end - start);
    GeneratedCase entry;
    char setup[16], file[64], boxes[16];
    int nameStart = 0;
    if (std::sscanf(line.c_str(), "%15s %u %63s %15s %d %d %d %n", setup, &entry.repeat, file,
                    boxes, &entry.fpsItem, &entry.clockItem, &entry.memItem, &nameStart) != 7 ||
        std::string(boxes).size() != std::size(kBoxes)) {
      FAIL("malformed case line: " + line);
      return false;
    }
    entry.setup = setup;
    entry.file = file;
    entry.boxes = boxes;
    entry.name = line.substr(static_cast<size_t>(nameStart));
    cases.push_back(entry);
  }
  return !cases.empty();
}

// One case on its way: its file in place, its program started.
struct RunningCase {
  const GeneratedCase* entry = nullptr;
  std::string content;
  Program program;
  HANDLE holder = INVALID_HANDLE_VALUE;
  bool launched = false;
  bool shown = false;
  int failures = 0;
};

// Runs `step` as part of the case, counting the case's failures.
template <typename Step>
void asPartOf(const char* group, RunningCase& running, Step step) {
  harness::setCase(std::string(group) + ": " + running.entry->name);
  int before = harness::failureCount();
  step();
  running.failures += harness::failureCount() - before;
}

void prepareAndLaunch(const std::string& directory, RunningCase& running) {
  const GeneratedCase& entry = *running.entry;
  std::string unit;
  if (entry.file != "-" && !readFileBytes(directory + "\\" + entry.file, unit)) {
    FAIL("cannot read " + entry.file);
    return;
  }
  running.content.reserve(unit.size() * entry.repeat);
  for (unsigned copy = 0; copy < entry.repeat; ++copy) running.content += unit;

  Program& program = running.program;
  if (!createWorkingDirectory(program)) return;
  const std::string path = program.settingsPath();
  if (entry.setup == "directory") {
    CHECK(CreateDirectoryA(path.c_str(), nullptr));
  } else {
    CHECK(writeFileBytes(path, running.content));
  }
  if (entry.setup == "held") {
    running.holder = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(running.holder != INVALID_HANDLE_VALUE);
  }
  running.launched = launchProgram(program);
}

// Checks what the window shows and asks the program to quit.
void checkShownAndQuit(RunningCase& running) {
  const GeneratedCase& entry = *running.entry;
  if (!running.launched || !awaitWindow(running.program)) return;
  expectShown(running.program, {entry.boxes, entry.fpsItem, entry.clockItem, entry.memItem});
  if (!isRunning(running.program)) {
    FAIL("the program had ended before Beenden was clicked");
    return;
  }
  running.shown = true;
  postClick(running.program, QuitButton);
}

// Checks that the program ended cleanly and left everything as it was.
void checkEnded(RunningCase& running) {
  Program& program = running.program;
  if (running.shown) expectCleanExit(program);
  if (running.holder != INVALID_HANDLE_VALUE) CloseHandle(running.holder);
  if (program.directory.empty()) return;
  const std::string path = program.settingsPath();
  if (running.entry->setup == "directory") {
    DWORD attributes = GetFileAttributesA(path.c_str());
    CHECK(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    CHECK(directoryEntries(path).empty());
  } else {
    expectFileIs(program, true, running.content);
  }
  CHECK(directoryEntries(program.directory) == std::vector<std::string>{"tessorn.ini"});
}

// Programs start side by side, a few at a time: most of a start is Wine
// loading the program, and both cores can do that.
constexpr size_t kCasesAtOnce = 6;

// Starts the program on each case's tessorn.ini, checks what it shows, that
// it quits cleanly and that the file is as it was.
void runGeneratedGroup(const char* group) {
  std::string directory = windowsPathFromEnvironment("TESSORN_UI_CASES");
  std::vector<GeneratedCase> cases;
  if (!readGeneratedCases(directory, group, cases)) return;
  for (size_t first = 0; first < cases.size(); first += kCasesAtOnce) {
    std::vector<std::unique_ptr<RunningCase>> batch;
    for (size_t index = first; index < std::min(cases.size(), first + kCasesAtOnce); ++index) {
      batch.push_back(std::make_unique<RunningCase>());
      batch.back()->entry = &cases[index];
    }
    for (auto& running : batch)
      asPartOf(group, *running, [&] { prepareAndLaunch(directory, *running); });
    for (auto& running : batch) asPartOf(group, *running, [&] { checkShownAndQuit(*running); });
    for (auto& running : batch) {
      asPartOf(group, *running, [&] { checkEnded(*running); });
      // A disagreement is a fault in the program or in the native parser:
      // these bytes reproduce it.
      if (running->failures > 0 && running->content.size() <= 4096) {
        std::printf("    tessorn.ini was \"%s\"\n", harness::escape(running->content).c_str());
      }
    }
  }
}

// A figure of the program's process that must not grow with use, and the
// growth that counts as flat.
struct Metric {
  const char* name;
  SIZE_T tolerance;
  bool (*read)(HANDLE process, SIZE_T& value);
};

bool readMemory(HANDLE process, PROCESS_MEMORY_COUNTERS_EX& counters) {
  counters = {};
  counters.cb = sizeof counters;
  return GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters) != 0;
}

// A figure a system does not keep reads as 0 (Wine's GDI and handle counts).
const Metric kMetrics[] = {
    {"GDI objects", 2,
     [](HANDLE process, SIZE_T& value) {
       return (value = GetGuiResources(process, GR_GDIOBJECTS)) != 0;
     }},
    {"USER objects", 2,
     [](HANDLE process, SIZE_T& value) {
       return (value = GetGuiResources(process, GR_USEROBJECTS)) != 0;
     }},
    {"handles", 4,
     [](HANDLE process, SIZE_T& value) {
       DWORD count = 0;
       bool ok = GetProcessHandleCount(process, &count) && count != 0;
       value = count;
       return ok;
     }},
    // Memory in bytes: a leak of a pen or a brush per paint costs more than
    // this over the 8,000 repaints between the two windows compared.
    {"private bytes", 256 * 1024,
     [](HANDLE process, SIZE_T& value) {
       PROCESS_MEMORY_COUNTERS_EX counters;
       return readMemory(process, counters) && (value = counters.PrivateUsage) != 0;
     }},
    {"pagefile bytes", 256 * 1024,
     [](HANDLE process, SIZE_T& value) {
       PROCESS_MEMORY_COUNTERS_EX counters;
       return readMemory(process, counters) && (value = counters.PagefileUsage) != 0;
     }},
    {"working set bytes", 256 * 1024,
     [](HANDLE process, SIZE_T& value) {
       PROCESS_MEMORY_COUNTERS_EX counters;
       return readMemory(process, counters) && (value = counters.WorkingSetSize) != 0;
     }},
};

constexpr int kRounds = 1000;  // one save each
constexpr int kRepaintsPerRound = 10;
constexpr int kRoundsPerSample = 10;  // a sample every 100 repaints
constexpr int kSamplesPerThousand = 1000 / (kRepaintsPerRound * kRoundsPerSample);
constexpr int kMemItems = 101;  // 8 to 108 MB

std::string savedFileForRound(int round) {
  char mem[8];
  std::snprintf(mem, sizeof mem, "%03d", round % kMemItems + 8);
  return defaultFileWith({{"MEM:", mem}});
}

}  // namespace

void testHostileFiles() { runGeneratedGroup("hostile-files"); }

void testDifferential() { runGeneratedGroup("differential"); }

// 1,000 saves and 10,000 repaints in one run. The first thousand repaints
// warm up; the largest sample of the next thousand is compared with the
// largest of the last thousand. A repaint from outside is sent to the
// program and waits for it: under Wine the 10,000 take about 8 s.
void testEndurance() {
  harness::setCase("endurance");
  Program program;
  if (!startProgram(program)) return;
  std::vector<std::vector<SIZE_T>> samples(std::size(kMetrics));
  std::vector<bool> answered(std::size(kMetrics), true);
  DWORD started = GetTickCount();
  int round = 0;
  for (; round < kRounds; ++round) {
    chooseItem(program, MemCombo, round % kMemItems);
    if (!clickButton(program, SaveButton)) {
      FAIL("save " + std::to_string(round + 1) + " did not return");
      break;
    }
    if (round % 100 == 99) {
      std::string saved;
      if (!CHECK(readFileBytes(program.settingsPath(), saved)) ||
          !CHECK_BYTES(saved, savedFileForRound(round))) {
        break;
      }
    }
    for (int repaint = 0; repaint < kRepaintsPerRound; ++repaint) {
      InvalidateRect(program.window, nullptr, FALSE);
      UpdateWindow(program.window);
    }
    if (round % kRoundsPerSample == kRoundsPerSample - 1) {
      for (size_t metric = 0; metric < std::size(kMetrics); ++metric) {
        SIZE_T value = 0;
        answered[metric] =
            kMetrics[metric].read(program.process.hProcess, value) && answered[metric];
        samples[metric].push_back(value);
      }
    }
  }
  std::printf("endurance: %d saves and %d repaints in %lu ms\n", round, round * kRepaintsPerRound,
              GetTickCount() - started);
  bool completed = CHECK_EQ(round, kRounds);
  CHECK(findOwnedDialog(program) == nullptr);
  std::string last;
  CHECK(readFileBytes(program.settingsPath(), last));
  CHECK_BYTES(last, savedFileForRound(kRounds - 1));
  CHECK(directoryEntries(program.directory) == std::vector<std::string>{"tessorn.ini"});

  for (size_t metric = 0; completed && metric < std::size(kMetrics); ++metric) {
    harness::setCase(std::string("endurance: ") + kMetrics[metric].name);
    const std::vector<SIZE_T>& values = samples[metric];
    if (!answered[metric]) {
      harness::skip("this system does not report it for another process");
      continue;
    }
    SIZE_T early = *std::max_element(values.begin() + kSamplesPerThousand,
                                     values.begin() + 2 * kSamplesPerThousand);
    SIZE_T late = *std::max_element(values.end() - kSamplesPerThousand, values.end());
    std::printf("endurance: %s %llu after warm-up, %llu at the end (may grow by %llu)\n",
                kMetrics[metric].name, static_cast<unsigned long long>(early),
                static_cast<unsigned long long>(late),
                static_cast<unsigned long long>(kMetrics[metric].tolerance));
    CHECK(late <= early + kMetrics[metric].tolerance);
  }
  harness::setCase("endurance");
  quitWithButton(program);
}
