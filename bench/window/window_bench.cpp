// What a user feels of the program, in figures: how long its window takes
// to come up next to two plain reference windows, how long a click on
// "Speichern" takes to put the settings file in place, and how much memory
// the running program holds next to the reference with the same controls.
// It prints figures and goals only; nothing here passes or fails.
//
//   window_bench.exe [--rounds N] [--saves N] [--samples]
//                    PROGRAM EMPTY_REFERENCE CONTROLS_REFERENCE [OTHER...]
//
// Every start runs in a fresh, empty working directory, so the program
// finds no settings file and starts from its defaults. The programs take
// turns round by round, and the ratios are taken within each round before
// their median, so that a slow moment of a busy machine falls on both sides
// of a ratio alike. The order turns by one each round: whoever starts just
// after a heavier program's exit would otherwise always pay for it.
// OTHER programs (variants tried while looking for a cost) are started in
// the same rounds and shown in the same table.
// --samples prints every round's start-up times as well.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "default_settings_file.h"
#include "program.h"

namespace {

// A start may take longer here than in the tests: a busy machine is the
// benchmark's normal case.
constexpr DWORD windowTimeoutMs = 15000;
// Polls often: the poll's interval is part of the start-up time measured.
constexpr DWORD windowPollMs = 1;
constexpr DWORD fileTimeoutMs = 2000;
constexpr DWORD settingsFileSize = sizeof defaultSettingsFile - 1;
// Lets the previous program's teardown in Wine and X settle before the
// next start.
constexpr DWORD pauseBetweenStartsMs = 50;

// The program and the references are named by their place on the command line.
enum { realProgram, emptyReference, controlsReference, namedProgramCount };

struct Options {
    // A single start varies by half on a busy machine; with fewer rounds
    // the median ratio wanders by ten percent from one run to the next.
    int rounds = 60;
    int saves = 50;
    bool printSamples = false;
    std::vector<std::string> programs;
};

// The figures of one program over all rounds; startMs has one entry per
// round, in round order.
struct Figures {
    std::string name;
    std::vector<double> startMs;
    std::vector<double> closeMs;
    std::vector<double> peakWorkingSetKiB;
};

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    if (values.size() % 2)
        return values[middle];
    return (values[middle - 1] + values[middle]) / 2;
}

// "C:\x\reference_empty.exe" -> "reference_empty"
std::string ProgramName(const std::string& path)
{
    size_t start = path.find_last_of("\\/:");
    std::string name = start == std::string::npos ? path : path.substr(start + 1);
    size_t length = name.size();
    if (length > 4 && _stricmp(name.c_str() + length - 4, ".exe") == 0)
        name.resize(length - 4);
    return name;
}

// Closes the window as the system would and returns the milliseconds until
// the process ended; negative when it had to be killed.
double CloseAndWait(Program& program)
{
    if (!program.process.hProcess)
        return -1;
    double closeStart = NowMs();
    if (program.window)
        PostMessageA(program.window, WM_CLOSE, 0, 0);
    DWORD exitCode = 0;
    if (WaitForExit(program, exitTimeoutMs, exitCode))
        return NowMs() - closeStart;
    KillProgram(program);
    return -1;
}

// In KiB; negative when the system does not tell.
double PeakWorkingSetKiB(const Program& program)
{
    PROCESS_MEMORY_COUNTERS_EX counters;
    if (!ReadMemory(program, counters) || counters.PeakWorkingSetSize == 0)
        return -1;
    return (double)counters.PeakWorkingSetSize / 1024;
}

// Starts the program in a fresh, empty directory and measures the
// milliseconds from CreateProcess until it waits for input with its window
// visible, then closes it.
bool MeasureOneStart(const std::string& path, Figures& figures, bool keep)
{
    Program program;
    program.path = path;
    double startMs = -1;
    if (LaunchProgram(program) && AwaitWindow(program, nullptr, windowTimeoutMs, windowPollMs))
        startMs = NowMs() - program.launchedAtMs;
    double peakKiB = startMs >= 0 ? PeakWorkingSetKiB(program) : -1;
    double closeMs = CloseAndWait(program);
    if (startMs < 0)
        return false;
    if (keep) {
        figures.startMs.push_back(startMs);
        if (closeMs >= 0)
            figures.closeMs.push_back(closeMs);
        if (peakKiB >= 0)
            figures.peakWorkingSetKiB.push_back(peakKiB);
    }
    return true;
}

// A write time no save can produce, set on the file before each click, so
// that a changed time tells the new file from the old one even when the
// clock does not move between two saves.
const FILETIME oldWriteTime = {0x256D4000u, 0x01BF53EBu};  // 2000-01-01

bool MarkFileOld(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;  // the first save creates it
    bool marked = SetFileTime(file, nullptr, nullptr, &oldWriteTime);
    CloseHandle(file);
    return marked;
}

bool IsNewSettingsFile(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    return data.nFileSizeHigh == 0 && data.nFileSizeLow == settingsFileSize &&
           CompareFileTime(&data.ftLastWriteTime, &oldWriteTime) != 0;
}

// Clicks "Speichern" saves times in one running program; the median of the
// milliseconds from the click until a new file of the default size is in place.
// Negative when a save did not arrive.
double MeasureSaves(const std::string& path, int saves)
{
    Program program;
    program.path = path;
    if (!StartProgram(program)) {
        CloseAndWait(program);
        return -1;
    }
    std::string settingsPath = program.SettingsPath();
    std::vector<double> saveMs;
    for (int save = 0; save < saves; ++save) {
        if (!MarkFileOld(settingsPath)) {
            fprintf(stderr, "cannot mark %s\n", settingsPath.c_str());
            break;
        }
        double clickStart = NowMs();
        // Returns once the window procedure has handled the click, that is
        // after the save; the time-out only guards against an error box.
        if (!ClickButton(program, saveButton)) {
            fprintf(stderr, "the click on \"Speichern\" did not return\n");
            break;
        }
        bool arrived = WaitUntil([&] { return IsNewSettingsFile(settingsPath); }, fileTimeoutMs, 0);
        double elapsed = NowMs() - clickStart;
        if (!arrived) {
            fprintf(stderr, "no new %lu-byte tessorn.ini after the click\n", settingsFileSize);
            break;
        }
        saveMs.push_back(elapsed);
    }
    CloseAndWait(program);
    if ((int)saveMs.size() != saves)
        return -1;
    return Median(saveMs);
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            options.rounds = atoi(argv[++i]);
        else if (strcmp(argv[i], "--saves") == 0 && i + 1 < argc)
            options.saves = atoi(argv[++i]);
        else if (strcmp(argv[i], "--samples") == 0)
            options.printSamples = true;
        else
            options.programs.push_back(argv[i]);
    }
    return options.rounds > 0 && options.saves > 0 &&
           options.programs.size() >= (size_t)namedProgramCount;
}

const char* GoalVerdict(bool met)
{
    return met ? "met" : "NOT met";
}

// The median over the rounds of one program's start-up time divided by
// another's in the same round.
double MedianRatio(const Figures& numerator, const Figures& denominator)
{
    std::vector<double> ratios;
    for (size_t round = 0; round < numerator.startMs.size(); ++round)
        ratios.push_back(numerator.startMs[round] / denominator.startMs[round]);
    return Median(ratios);
}

double Fastest(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

// The middle half of the values, as a measure of how steady they were.
void Quartiles(std::vector<double> values, double& lower, double& upper)
{
    std::sort(values.begin(), values.end());
    lower = values[values.size() / 4];
    upper = values[(values.size() * 3) / 4];
}

void PrintStartFigures(const std::vector<Figures>& all, const Options& options)
{
    if (options.printSamples) {
        printf("start-up per round (ms):\n");
        for (const Figures& figures : all) {
            printf("  %-24s", figures.name.c_str());
            for (double startMs : figures.startMs)
                printf(" %6.1f", startMs);
            printf("\n");
        }
    }
    printf("start-up until the window is visible and waiting for input, over %d rounds:\n",
           options.rounds);
    printf("  %-24s %8s %17s %10s %10s\n", "", "median", "middle half", "fastest", "closing");
    for (const Figures& figures : all) {
        double lower, upper;
        Quartiles(figures.startMs, lower, upper);
        printf("  %-24s %5.1f ms  %6.1f - %6.1f ms %6.1f ms %6.1f ms\n", figures.name.c_str(),
               Median(figures.startMs), lower, upper, Fastest(figures.startMs),
               Median(figures.closeMs));
    }

    const Figures& real = all[realProgram];
    const Figures& empty = all[emptyReference];
    const Figures& controls = all[controlsReference];
    double realToControls = MedianRatio(real, controls);
    printf("start-up ratios, median of the rounds' ratios: real/empty %.3f, real/controls %.3f, "
           "controls/empty %.3f\n",
           MedianRatio(real, empty), realToControls, MedianRatio(controls, empty));
    // The fastest start is the one the rest of the machine disturbed least.
    printf("start-up ratios of the fastest starts: real/empty %.3f, real/controls %.3f, "
           "controls/empty %.3f\n",
           Fastest(real.startMs) / Fastest(empty.startMs),
           Fastest(real.startMs) / Fastest(controls.startMs),
           Fastest(controls.startMs) / Fastest(empty.startMs));
    for (size_t other = namedProgramCount; other < all.size(); ++other)
        printf("  %s/controls %.3f\n", all[other].name.c_str(), MedianRatio(all[other], controls));
    printf("goal start-up <= 1.05 x reference_controls: %s (%.3f)\n",
           GoalVerdict(realToControls <= 1.05), realToControls);
}

void PrintMemoryFigures(const std::vector<Figures>& all)
{
    const Figures& real = all[realProgram];
    const Figures& controls = all[controlsReference];
    if (real.peakWorkingSetKiB.empty() || controls.peakWorkingSetKiB.empty()) {
        printf("peak working set: Wine did not answer GetProcessMemoryInfo for another process\n");
        return;
    }
    double realKiB = Median(real.peakWorkingSetKiB);
    double controlsKiB = Median(controls.peakWorkingSetKiB);
    printf("peak working set once the window is up, median: %s %.0f KiB, %s %.0f KiB, "
           "ratio %.3f\n",
           real.name.c_str(), realKiB, controls.name.c_str(), controlsKiB, realKiB / controlsKiB);
    for (size_t other = namedProgramCount; other < all.size(); ++other)
        if (!all[other].peakWorkingSetKiB.empty())
            printf("  %s %.0f KiB\n", all[other].name.c_str(),
                   Median(all[other].peakWorkingSetKiB));
    printf("goal peak working set <= 1.05 x reference_controls: %s (%.3f)\n",
           GoalVerdict(realKiB <= 1.05 * controlsKiB), realKiB / controlsKiB);
}

}  // namespace

int main(int argc, char** argv)
{
    // Plain line ends in the log, whatever reads it.
    _setmode(_fileno(stdout), _O_BINARY);
    setvbuf(stdout, nullptr, _IONBF, 0);

    Options options;
    if (!ParseOptions(argc, argv, options)) {
        fprintf(stderr, "usage: window_bench.exe [--rounds N] [--saves N] PROGRAM EMPTY_REFERENCE "
                        "CONTROLS_REFERENCE [OTHER...]\n");
        return 2;
    }
    std::vector<Figures> all(options.programs.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i].name = ProgramName(options.programs[i]);

    // Round 0 warms the file cache and Wine's own start-up; it is not counted.
    for (int round = 0; round <= options.rounds; ++round) {
        for (size_t turn = 0; turn < all.size(); ++turn) {
            size_t i = (turn + (size_t)round) % all.size();
            Sleep(pauseBetweenStartsMs);
            if (!MeasureOneStart(options.programs[i], all[i], round > 0))
                return 1;
        }
    }
    PrintStartFigures(all, options);

    double saveMs = MeasureSaves(options.programs[realProgram], options.saves);
    if (saveMs < 0)
        printf("save: could not be measured (see above)\n");
    else
        printf("save: click on \"Speichern\" until the new %lu-byte file is in place, "
               "median of %d: %.2f ms\n",
               settingsFileSize, options.saves, saveMs);

    PrintMemoryFigures(all);
    return 0;
}
