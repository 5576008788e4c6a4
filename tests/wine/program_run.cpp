// Runs the real program in its own process and answers its message boxes and open-file dialog from a script.
#include <stdio.h>

#include <algorithm>

#include "tests/wine/harness.h"

namespace harness {

const DWORD pollMs = 50;
const DWORD iconSettleMs = 1500;  // how long a new box may take to paint its icon

Step yes() { return {Action::Yes, ""}; }
Step no() { return {Action::No, ""}; }
Step ok() { return {Action::Ok, ""}; }
Step chooseFile(const std::string& path) { return {Action::ChooseFile, path}; }
Step chooseFileWide(const std::string& utf8Path) { return {Action::ChooseFile, utf8Path, true}; }
Step cancelDialog() { return {Action::CancelDialog, ""}; }

std::string describe(const Step& step) {
    switch (step.action) {
        case Action::Yes: return "Yes";
        case Action::No: return "No";
        case Action::Ok: return "OK";
        case Action::ChooseFile: return "choose " + step.path;
        case Action::CancelDialog: return "Cancel";
    }
    return "?";
}

// The visible top-level dialog windows of one process.
static std::vector<HWND> dialogsOf(DWORD processId) {
    struct Search { DWORD processId; std::vector<HWND> found; } search = {processId, {}};
    EnumWindows(
        [](HWND window, LPARAM into) CALLBACK -> BOOL {
            Search& search = *reinterpret_cast<Search*>(into);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            char name[16] = "";
            GetClassNameA(window, name, sizeof name);
            if (owner == search.processId && lstrcmpA(name, "#32770") == 0 && IsWindowVisible(window))
                search.found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

static ULONGLONG now() { return GetTickCount64(); }

// Waits up to ms, or until the process ends, while handling this thread's messages: a window of the test's own
// (a stand-in for the product's main window, say) must answer what the program sends it.
static void pumpMessages(HANDLE process, DWORD ms) {
    const ULONGLONG until = now() + ms;
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        const ULONGLONG at = now();
        if (at >= until) return;
        const DWORD wait = static_cast<DWORD>(until - at);
        if (MsgWaitForMultipleObjects(1, &process, FALSE, wait, QS_ALLINPUT) == WAIT_OBJECT_0) return;
    }
}

// Carries out one step on a dialog; empty on success, else why it could not be done.
static std::string act(HWND dialog, const Sighting& seen, const Step& step) {
    const bool box = seen.kind == WindowKind::MessageBox;
    const bool fileDialog = seen.kind == WindowKind::FileDialog;
    int button = 0;
    switch (step.action) {
        case Action::Yes: button = box && seen.hasYes ? IDYES : 0; break;
        case Action::No: button = box && seen.hasNo ? IDNO : 0; break;
        case Action::Ok: button = box && seen.hasOk ? IDOK : 0; break;
        case Action::CancelDialog: button = fileDialog && seen.hasCancel ? IDCANCEL : 0; break;
        case Action::ChooseFile:
            if (!fileDialog || !seen.hasOk) break;
            {
                HWND nameBox = GetDlgItem(dialog, fileNameBoxId);
                DWORD_PTR result = 0;
                if (step.typedWide) {
                    WCHAR wide[MAX_PATH] = L"", typed[MAX_PATH] = L"";
                    if (!MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, step.path.c_str(), -1, wide, MAX_PATH) ||
                        !SendMessageTimeoutW(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide), SMTO_ABORTIFHUNG,
                                             5000, &result) ||
                        !SendMessageTimeoutW(nameBox, WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(typed),
                                             SMTO_ABORTIFHUNG, 5000, &result) ||
                        lstrcmpW(typed, wide) != 0)
                        return "could not type the wide path into the file-name box";
                } else {
                    if (!SendMessageTimeoutA(nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(step.path.c_str()),
                                             SMTO_ABORTIFHUNG, 5000, &result))
                        return "could not type the path into the file-name box";
                    if (windowText(nameBox) != step.path)
                        return "the file-name box reads \"" + windowText(nameBox) + "\" after typing the path";
                }
            }
            button = IDOK;
            break;
    }
    if (button == 0) return "the script's next step, " + describe(step) + ", does not fit this dialog";
    // Posted, not sent: a click may open a further modal box inside the program before its handler returns.
    if (!PostMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0)) return "could not click the button";
    return std::string();
}

RunResult runProgram(const std::vector<Step>& script, const RunOptions& options) {
    RunResult run;
    const ULONGLONG start = now();
    std::string commandLine = "\"" + options.program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(options.program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        char why[64];
        snprintf(why, sizeof why, " (error %lu)", GetLastError());
        run.failure = "could not start " + options.program + why;
        return run;
    }
    run.started = true;
    std::vector<HWND> handled;
    size_t next = 0;
    while (run.failure.empty()) {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
            run.exited = true;
            break;
        }
        if (now() - start > options.timeLimitMs) {
            std::string waiting = "time limit of " + std::to_string(options.timeLimitMs) + " ms passed";
            if (!options.answerEverything && next < script.size())
                waiting += " while waiting for the dialog to answer with " + describe(script[next]);
            for (HWND open : dialogsOf(process.dwProcessId)) waiting += "; still open: " + readDialog(open).describe();
            run.failure = waiting;
            break;
        }
        for (HWND dialog : dialogsOf(process.dwProcessId)) {
            if (std::find(handled.begin(), handled.end(), dialog) != handled.end()) continue;
            handled.push_back(dialog);
            const DWORD seenAt = static_cast<DWORD>(now() - start);
            Sighting seen = readDialog(dialog);
            for (ULONGLONG since = now(); seen.kind == WindowKind::MessageBox && seen.icon < 0 &&
                                          now() - since < iconSettleMs;) {
                pumpMessages(process.hProcess, pollMs);
                seen = readDialog(dialog);
            }
            Step step;
            if (options.answerEverything) {
                if (seen.kind == WindowKind::MessageBox) step = seen.hasYes ? yes() : ok();
                else if (seen.kind == WindowKind::FileDialog)
                    step = options.autoFile.empty() ? cancelDialog() : chooseFile(options.autoFile);
                else run.failure = "a dialog the harness cannot answer: " + seen.describe();
            } else if (next < script.size()) {
                step = script[next++];
            } else {
                run.failure = "a dialog the script did not expect: " + seen.describe();
            }
            if (run.failure.empty() && options.beforeAnswer) options.beforeAnswer(dialog, seen);
            if (run.failure.empty()) {
                const std::string problem = act(dialog, seen, step);
                if (problem.empty()) {
                    seen.answer = describe(step);
                    seen.answeredAtMs = static_cast<DWORD>(now() - start);
                } else {
                    run.failure = problem + ": " + seen.describe();
                }
            }
            seen.seenAtMs = seenAt;
            run.seen.push_back(seen);
            if (!run.failure.empty()) break;
        }
        if (!run.failure.empty()) break;
        if (options.duringRun) options.duringRun(static_cast<DWORD>(now() - start));
        pumpMessages(process.hProcess, pollMs);
    }
    if (run.exited) {
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        if (!options.answerEverything && next < script.size()) {
            std::string missing;
            for (size_t i = next; i < script.size(); ++i) missing += (missing.empty() ? "" : ", ") + describe(script[i]);
            run.failure = "the program ended with exit code " + std::to_string(run.exitCode) +
                          " while the script still expected dialogs to answer with: " + missing;
        }
    } else {
        TerminateProcess(process.hProcess, 255);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.elapsedMs = static_cast<DWORD>(now() - start);
    return run;
}

std::string RunResult::report() const {
    std::string out = started ? "" : "the program did not start\n";
    if (exited) out += "the program exited with code " + std::to_string(exitCode);
    else if (started) out += "the program did not exit by itself and was ended";
    out += " after " + std::to_string(elapsedMs) + " ms\n";
    for (size_t i = 0; i < seen.size(); ++i) {
        out += "  " + std::to_string(i + 1) + ". at " + std::to_string(seen[i].seenAtMs) + " ms: " + seen[i].describe();
        out += seen[i].answer.empty() ? " (not answered)\n" : " -> " + seen[i].answer + "\n";
    }
    if (!failure.empty()) out += "FAILED: " + failure + "\n";
    return out;
}

}  // namespace harness
