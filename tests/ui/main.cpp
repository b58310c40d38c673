// UI tests: start tessorn-config.exe under the same wineserver and check it
// from outside.
//   tessorn-ui-tests [--gtest_filter=GROUP...] PROGRAM.exe
// Exits with 77 when some rows could not run here and nothing failed, so
// that CTest reports the group as skipped, not passed.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "program.h"

namespace {

constexpr int exitSkipped = 77;

void FailTest(const std::string& message)
{
    ADD_FAILURE() << message;
}

}  // namespace

int main(int argc, char** argv)
{
    // Plain LF line ends, whatever reads the output.
    _setmode(_fileno(stdout), _O_BINARY);
    // Each line out as it is written: a group stopped at its time limit
    // shows how far it got.
    setvbuf(stdout, nullptr, _IONBF, 0);
    // A crash of the driver ends the run at once instead of waiting in a
    // debugger until CTest's time-out.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s [GoogleTest options] PROGRAM.exe\n", argv[0]);
        return 2;
    }
    programPath = argv[1];
    for (char& c : programPath)
        c = c == '/' ? '\\' : c;
    if (GetFileAttributesA(programPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "program not found: %s\n", programPath.c_str());
        return 1;
    }
    SetFailureHandler(FailTest);

    int status = RUN_ALL_TESTS();
    const testing::UnitTest& run = *testing::UnitTest::GetInstance();
    if (run.test_to_run_count() == 0) {
        std::fprintf(stderr, "no test matches the filter\n");
        return 1;
    }
    if (status == 0 && run.skipped_test_count() > 0)
        return exitSkipped;
    return status;
}
