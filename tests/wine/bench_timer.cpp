// pelvane-bench: times one removal under Wine, either the program's own run or the system's "rd /s /q".
#include <stdio.h>
#include <string.h>

#include "tests/wine/harness.h"

// The program (this build's, or the one at path): answered Yes and OK; its work is the time from the first answer
// to the summary appearing.
static int timeProgram(const char* path) {
    harness::RunOptions options;
    if (path) options.program = path;
    options.answerEverything = true;
    options.timeLimitMs = 600000;
    const harness::RunResult run = harness::runProgram({}, options);
    if (!run.ok() || !run.exited || run.exitCode != 0 || run.seen.size() < 2) {
        fprintf(stderr, "%s", run.report().c_str());
        return 1;
    }
    const DWORD work = run.seen.back().seenAtMs - run.seen.front().answeredAtMs;
    printf("work_ms=%lu\n", static_cast<unsigned long>(work));
    return 0;
}

// The system's own removal: cmd /c rd /s /q on the folder, from process start to exit.
static int timeRd(const char* folder) {
    char commandLine[600];
    snprintf(commandLine, sizeof commandLine, "cmd.exe /c rd /s /q \"%s\"", folder);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER frequency, started, ended;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process))
        return 1;
    if (WaitForSingleObject(process.hProcess, 600000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 255);
    QueryPerformanceCounter(&ended);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("work_ms=%lu\n", static_cast<unsigned long>((ended.QuadPart - started.QuadPart) * 1000 / frequency.QuadPart));
    return 0;
}

int main(int argc, char** argv) {
    if ((argc == 2 || argc == 3) && strcmp(argv[1], "program") == 0) return timeProgram(argc == 3 ? argv[2] : nullptr);
    if (argc == 3 && strcmp(argv[1], "rd") == 0) return timeRd(argv[2]);
    fprintf(stderr, "usage: pelvane-bench program [PROGRAM.exe] | pelvane-bench rd FOLDER\n");
    return 2;
}
