// The program under stress: hostile and random settings files, whose window
// must show what the program's own reader built for Linux makes of them
// (case_generator.cpp), and one long run of saves and repaints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <winternl.h>

#include "checks.h"
#include "program.h"

namespace {

// One line of a .cases file; case_generator.cpp describes the fields.
struct GeneratedCase {
    std::string setup;
    std::string file;
    States shown;
    std::string name;
};

// KEY:STATE,... with each key that a control shows, and no other.
bool ReadStates(const std::string& text, States& states)
{
    for (const ControlRow& row : controlRows) {
        size_t at = row.key ? ("," + text).find(std::string(",") + row.key) : 0;
        if (at == std::string::npos)
            return false;
        if (row.key)
            states.push_back({row.control, std::atoi(text.c_str() + at + strlen(row.key))});
    }
    return states.size() == static_cast<size_t>(std::count(text.begin(), text.end(), ',') + 1);
}

bool ReadGeneratedCases(const std::string& directory, const char* group,
                        std::vector<GeneratedCase>& cases)
{
    if (directory.empty()) {
        ADD_FAILURE() << "TESSORN_UI_CASES does not name the generated cases";
        return false;
    }
    std::string list;
    if (!ReadFileBytes(directory + "\\" + group + ".cases", list)) {
        ADD_FAILURE() << "cannot read " << directory << "\\" << group << ".cases";
        return false;
    }
    std::istringstream lines(list);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        GeneratedCase entry;
        std::string states;
        if (!(fields >> entry.setup >> entry.file >> states) || !ReadStates(states, entry.shown) ||
            !std::getline(fields >> std::ws, entry.name)) {
            ADD_FAILURE() << "malformed case line: " << line;
            return false;
        }
        cases.push_back(entry);
    }
    return !cases.empty();
}

// One case on its way: its file in place, its program started.
struct RunningCase {
    const GeneratedCase* entry = nullptr;
    std::string content;
    Program program;
    bool launched = false;
    bool shown = false;
};

// Names the case in each of its failures, with the bytes of its file: a
// disagreement is a fault in reading the file through Win32 or in showing
// it, and these bytes reproduce it.
std::string CaseTrace(const RunningCase& running)
{
    std::string trace = running.entry->name;
    if (!running.content.empty() && running.content.size() <= 4096)
        trace += "\n    tessorn.ini was " + testing::PrintToString(running.content);
    return trace;
}

void PrepareAndLaunch(const std::string& directory, RunningCase& running)
{
    const GeneratedCase& entry = *running.entry;
    if (entry.file != "-" && !ReadFileBytes(directory + "\\" + entry.file, running.content)) {
        ADD_FAILURE() << "cannot read " << entry.file;
        return;
    }

    Program& program = running.program;
    if (!CreateWorkingDirectory(program))
        return;
    const std::string path = program.SettingsPath();
    if (entry.setup == "directory") {
        EXPECT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    } else {
        EXPECT_TRUE(WriteFileBytes(path, running.content));
    }
    running.launched = LaunchProgram(program);
}

// Checks what the window shows and asks the program to quit.
void CheckShownAndQuit(RunningCase& running)
{
    const GeneratedCase& entry = *running.entry;
    if (!running.launched || !AwaitWindow(running.program) || !FindControls(running.program))
        return;
    ExpectShown(running.program, entry.shown);
    if (!IsRunning(running.program)) {
        ADD_FAILURE() << "the program had ended before Beenden was clicked";
        return;
    }
    running.shown = true;
    PostClick(running.program, quitButton);
}

// Checks that the program ended cleanly and left everything as it was.
void CheckEnded(RunningCase& running)
{
    Program& program = running.program;
    if (running.shown)
        ExpectCleanExit(program);
    if (program.directory.empty())
        return;
    const std::string path = program.SettingsPath();
    if (running.entry->setup == "directory") {
        DWORD attributes = GetFileAttributesA(path.c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES &&
                    (attributes & FILE_ATTRIBUTE_DIRECTORY))
            << "tessorn.ini is still a directory";
        EXPECT_TRUE(DirectoryEntries(path).empty());
    } else {
        ExpectFileIs(program, true, running.content);
    }
    EXPECT_EQ(DirectoryEntries(program.directory), std::vector<std::string>{"tessorn.ini"});
}

// Programs start side by side, a few at a time: most of a start is Wine
// loading the program, and both cores can do that.
constexpr size_t casesAtOnce = 6;

// Starts the program on each case's tessorn.ini, checks what it shows, that
// it quits cleanly and that the file is as it was.
void RunGeneratedGroup(const char* group)
{
    std::string directory = WindowsPathFromEnvironment("TESSORN_UI_CASES");
    std::vector<GeneratedCase> cases;
    ASSERT_TRUE(ReadGeneratedCases(directory, group, cases)) << "no " << group << " cases";
    for (size_t first = 0; first < cases.size(); first += casesAtOnce) {
        std::vector<std::unique_ptr<RunningCase>> batch;
        for (size_t index = first; index < std::min(cases.size(), first + casesAtOnce); ++index) {
            batch.push_back(std::make_unique<RunningCase>());
            batch.back()->entry = &cases[index];
        }
        for (auto& running : batch) {
            SCOPED_TRACE(CaseTrace(*running));
            PrepareAndLaunch(directory, *running);
        }
        for (auto& running : batch) {
            SCOPED_TRACE(CaseTrace(*running));
            CheckShownAndQuit(*running);
        }
        for (auto& running : batch) {
            SCOPED_TRACE(CaseTrace(*running));
            CheckEnded(*running);
        }
    }
}

TEST(HostileFiles, TheWindowShowsWhatEachFileHoldsAndTheFileStays)
{
    RunGeneratedGroup("hostile-files");
}

TEST(Differential, TheWindowShowsWhatRandomFilesHold)
{
    RunGeneratedGroup("differential");
}

// The handles of the program's process, counted in the system's list of
// every handle: GetProcessHandleCount reads 0 under Wine, inside the process too.
SIZE_T HandleCount(const Program& program)
{
    struct Entry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX
        void* object;
        ULONG_PTR processId, handle;
        ULONG access;
        USHORT backTrace, type;
        ULONG attributes, reserved;
    };
    const auto extendedHandleList = static_cast<SYSTEM_INFORMATION_CLASS>(64);
    const auto lengthMismatch = static_cast<NTSTATUS>(0xC0000004);
    std::vector<ULONG_PTR> list(4096);  // a count, a reserved word, the entries
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(extendedHandleList, list.data(),
                                              list.size() * sizeof list[0], &needed)) ==
           lengthMismatch)
        list.resize(needed / sizeof list[0] + 1024);
    const Entry* entries = reinterpret_cast<const Entry*>(&list[2]);
    return status != 0 ? 0 : std::count_if(entries, entries + list[0], [&](const Entry& entry) {
        return entry.processId == program.process.dwProcessId;
    });
}

// A figure of the program's process that must not grow with use (0: not
// read), and the growth that counts as flat. Wine counts no GDI or USER
// objects (GetGuiResources reads 0, inside the process too): a GDI object
// leaked per paint shows there only as memory, a leaked window not at all.
// Private bytes read 0 under Wine; on Windows they are the pagefile bytes.
const struct Metric {
    const char* name;
    SIZE_T tolerance;
    SIZE_T (*read)(const Program& program);
} metrics[] = {
    {"handles", 4, HandleCount},
    // A leak of a pen or a brush per paint costs more than this over the
    // 8,000 repaints between the two windows compared.
    {"pagefile bytes", 256 * 1024,
     [](const Program& program) {
         PROCESS_MEMORY_COUNTERS_EX counters;
         return ReadMemory(program, counters) ? counters.PagefileUsage : SIZE_T{0};
     }},
    {"working set bytes", 256 * 1024,
     [](const Program& program) {
         PROCESS_MEMORY_COUNTERS_EX counters;
         return ReadMemory(program, counters) ? counters.WorkingSetSize : SIZE_T{0};
     }},
};

constexpr int rounds = 1000;  // one save each
constexpr int repaintsPerRound = 10;
constexpr int roundsPerSample = 10;  // a sample every 100 repaints
constexpr int samplesPerThousand = 1000 / (repaintsPerRound * roundsPerSample);
constexpr int memItemCount = 101;  // 8 to 108 MB

std::string SavedFileForRound(int round)
{
    char mem[8];
    std::snprintf(mem, sizeof mem, "%03d", round % memItemCount + 8);
    return DefaultFileWith({{"MEM:", mem}});
}

// 1,000 saves and 10,000 repaints in one run. The first thousand repaints
// warm up; the largest sample of the next thousand is compared with the
// largest of the last thousand. A repaint from outside is sent to the
// program and waits for it: under Wine the 10,000 take about 8 s.
TEST(Endurance, SavesAndRepaintsWithoutGrowing)
{
    Program program;
    ASSERT_TRUE(StartProgram(program));
    std::vector<std::vector<SIZE_T>> samples(std::size(metrics));
    DWORD started = GetTickCount();
    int round = 0;
    for (; round < rounds; ++round) {
        ChooseItem(program, memCombo, round % memItemCount);
        if (!ClickButton(program, saveButton)) {
            ADD_FAILURE() << "save " << round + 1 << " did not return";
            break;
        }
        if (round % 100 == 99) {
            std::string saved;
            if (!ReadFileBytes(program.SettingsPath(), saved)) {
                ADD_FAILURE() << "no file after save " << round + 1;
                break;
            }
            EXPECT_EQ(saved, SavedFileForRound(round)) << "after save " << round + 1;
            if (saved != SavedFileForRound(round))
                break;
        }
        for (int repaint = 0; repaint < repaintsPerRound; ++repaint) {
            InvalidateRect(program.window, nullptr, FALSE);
            UpdateWindow(program.window);
        }
        if (round % roundsPerSample == roundsPerSample - 1) {
            for (size_t metric = 0; metric < std::size(metrics); ++metric)
                samples[metric].push_back(metrics[metric].read(program));
        }
    }
    std::printf("endurance: %d saves and %d repaints in %lu ms\n", round, round * repaintsPerRound,
                GetTickCount() - started);
    EXPECT_EQ(round, rounds) << "rounds completed";
    EXPECT_EQ(FindOwnedDialog(program), nullptr) << "a message box is open";
    std::string last;
    EXPECT_TRUE(ReadFileBytes(program.SettingsPath(), last));
    EXPECT_EQ(last, SavedFileForRound(rounds - 1));
    EXPECT_EQ(DirectoryEntries(program.directory), std::vector<std::string>{"tessorn.ini"});

    for (size_t metric = 0; round == rounds && metric < std::size(metrics); ++metric) {
        const std::vector<SIZE_T>& values = samples[metric];
        EXPECT_NE(*std::min_element(values.begin(), values.end()), 0u)
            << metrics[metric].name << " could not be read";
        SIZE_T early = *std::max_element(values.begin() + samplesPerThousand,
                                         values.begin() + 2 * samplesPerThousand);
        SIZE_T late = *std::max_element(values.end() - samplesPerThousand, values.end());
        std::printf("endurance: %s %llu after warm-up, %llu at the end (may grow by %llu)\n",
                    metrics[metric].name, static_cast<unsigned long long>(early),
                    static_cast<unsigned long long>(late),
                    static_cast<unsigned long long>(metrics[metric].tolerance));
        EXPECT_LE(late, early + metrics[metric].tolerance) << metrics[metric].name;
    }
    QuitWithButton(program);
}

}  // namespace
