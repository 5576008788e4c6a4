// pelvane-driver: runs Remove Pelvane once under Wine, answers its dialogs, and prints what it saw and the exit code.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tests/wine/harness.h"

static const char usage[] =
    "usage: pelvane-driver [--answers LIST] [--file PATH] [--program PATH] [--out FILE] [--time-limit SECONDS]\n"
    "                      [--pause-dir DIR]\n"
    "  --answers LIST   the answers in order, separated by commas: yes, no, ok, cancel (the open-file dialog),\n"
    "                   file (choose the --file path in the open-file dialog) or file:PATH.\n"
    "                   Without it every box is answered Yes (OK when it has no Yes button), and the open-file\n"
    "                   dialog with the --file path (cancelled when there is none).\n"
    "  --file PATH      the Windows path to choose in the open-file dialog\n"
    "  --program PATH   the program to run (default: the Remove Pelvane.exe of this build)\n"
    "  --out FILE       write the report to FILE instead of the standard output\n"
    "  --time-limit S   end the program and fail after S seconds (default 60)\n"
    "  --pause-dir DIR  before answering dialog N (counted from 1), bring it to the front, write DIR\\N.request\n"
    "                   (its screen rectangle \"left top right bottom\" on the first line, then what it is) and\n"
    "                   wait up to 30 seconds for DIR\\N.done to exist: time to take a picture of it\n"
    "Exit status: 0 when every dialog was answered as asked and the program ended by itself, 1 when not,\n"
    "2 for a wrong command line.\n";

// Parses one answer of --answers; false when it is not one.
static bool parseAnswer(const std::string& word, const std::string& file, harness::Step& step) {
    std::string lower = word;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    if (lower == "yes") step = harness::yes();
    else if (lower == "no") step = harness::no();
    else if (lower == "ok") step = harness::ok();
    else if (lower == "cancel") step = harness::cancelDialog();
    else if (lower == "file" && !file.empty()) step = harness::chooseFile(file);
    else if (lower.compare(0, 5, "file:") == 0 && word.size() > 5) step = harness::chooseFile(word.substr(5));
    else return false;
    return true;
}

// Tells whoever watches pauseDir that dialog number `index` is up, and waits (bounded) until they are done with it.
static void pauseAt(const std::string& pauseDir, unsigned index, HWND dialog, const harness::Sighting& seen) {
    // In front of every other window, as the user would see it.
    SetForegroundWindow(dialog);
    const std::string base = pauseDir + "\\" + std::to_string(index);
    char rectangle[96];
    snprintf(rectangle, sizeof rectangle, "%ld %ld %ld %ld\n", seen.frame.left, seen.frame.top, seen.frame.right,
             seen.frame.bottom);
    // Written under another name first, so that the watcher never reads half a request.
    if (!harness::writeFileBytes(base + ".part", rectangle + seen.describe() + "\n") ||
        !MoveFileA((base + ".part").c_str(), (base + ".request").c_str())) {
        fprintf(stderr, "pelvane-driver: cannot write %s.request\n", base.c_str());
        return;
    }
    const DWORD start = GetTickCount();
    while (GetFileAttributesA((base + ".done").c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > 30000) {
            fprintf(stderr, "pelvane-driver: no %s.done after 30 seconds; answering anyway\n", base.c_str());
            return;
        }
        Sleep(50);
    }
}

int main(int argc, char** argv) {
    std::string answers, file, out;
    bool scripted = false;
    harness::RunOptions options;
    options.timeLimitMs = 60000;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            fputs(usage, stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            fprintf(stderr, "pelvane-driver: %s needs a value\n%s", option.c_str(), usage);
            return 2;
        }
        const std::string value = argv[++i];
        if (option == "--answers") {
            answers = value;
            scripted = true;
        } else if (option == "--file") {
            file = value;
        } else if (option == "--program") {
            options.program = value;
        } else if (option == "--out") {
            out = value;
        } else if (option == "--pause-dir") {
            const std::string pauseDir = value;
            options.beforeAnswer = [pauseDir, count = 0u](HWND dialog, const harness::Sighting& seen) mutable {
                pauseAt(pauseDir, ++count, dialog, seen);
            };
        } else if (option == "--time-limit" && atoi(value.c_str()) > 0) {
            options.timeLimitMs = static_cast<DWORD>(atoi(value.c_str())) * 1000;
        } else {
            fprintf(stderr, "pelvane-driver: unknown option or value: %s %s\n%s", option.c_str(), value.c_str(), usage);
            return 2;
        }
    }
    std::vector<harness::Step> script;
    if (scripted) {
        size_t start = 0;
        while (start <= answers.size()) {
            size_t end = answers.find(',', start);
            if (end == std::string::npos) end = answers.size();
            harness::Step step;
            if (!parseAnswer(answers.substr(start, end - start), file, step)) {
                fprintf(stderr, "pelvane-driver: not an answer: \"%s\"\n%s", answers.substr(start, end - start).c_str(),
                        usage);
                return 2;
            }
            script.push_back(step);
            start = end + 1;
        }
    } else {
        options.answerEverything = true;
        options.autoFile = file;
    }

    const harness::RunResult run = harness::runProgram(script, options);

    FILE* report = out.empty() ? stdout : fopen(out.c_str(), "w");
    if (!report) {
        fprintf(stderr, "pelvane-driver: cannot write %s\n", out.c_str());
        report = stdout;
    }
    fprintf(report, "program: %s\n", options.program.c_str());
    for (size_t i = 0; i < run.seen.size(); ++i) {
        const harness::Sighting& seen = run.seen[i];
        fprintf(report, "dialog %u at %lu ms: %s\n", static_cast<unsigned>(i + 1), seen.seenAtMs, seen.describe().c_str());
        if (seen.answer.empty()) fprintf(report, "  not answered\n");
        else fprintf(report, "  answered at %lu ms: %s\n", seen.answeredAtMs, seen.answer.c_str());
    }
    if (run.exited) fprintf(report, "exit code: %lu after %lu ms\n", run.exitCode, run.elapsedMs);
    else fprintf(report, "exit code: none (the program did not end by itself)\n");
    if (!run.ok()) fprintf(report, "FAILED: %s\n", run.failure.c_str());
    if (report != stdout) fclose(report);
    return run.ok() && run.exited ? 0 : 1;
}
