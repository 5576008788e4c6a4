// pelvane-standin: stands in for the running product: a window of its class "Pelvane50", and a holder of open files.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char usage[] =
    "usage: pelvane-standin [--no-window] [--ignore-close] [--hold PATH]... [--ready PATH] [--quit-when PATH]\n"
    "                       [--time-limit SECONDS]\n"
    "  (default)          shows a top-level window of class \"Pelvane50\", titled \"Pelvane\", and ends when the\n"
    "                     window is closed (WM_CLOSE destroys it, as the product's own window does)\n"
    "  --no-window        shows no window: only holds the --hold files\n"
    "  --ignore-close     the window ignores WM_CLOSE and stays (a product that will not close)\n"
    "  --hold PATH        keeps PATH open without sharing while it runs, so that no one can delete it\n"
    "  --ready PATH       writes PATH once the window is up and every file is held\n"
    "  --quit-when PATH   ends as soon as PATH exists (looked for every 100 ms)\n"
    "  --time-limit S     ends after S seconds whatever happens (default 120)\n"
    "Prints one line for each thing it does. Exit status 0 when it ended by WM_CLOSE, --quit-when or with\n"
    "--no-window at its time limit; 1 when its window was still open at the time limit; 2 for a wrong\n"
    "command line or a file it could not hold.\n";

static const UINT_PTR quitPollTimer = 1;
static const UINT_PTR timeLimitTimer = 2;
static bool ignoreClose = false;
static bool closedByMessage = false;

static void say(const char* format, const char* text) {
    printf("pelvane-standin: ");
    printf(format, text);
    printf("\n");
    fflush(stdout);
}

static LRESULT CALLBACK productWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            if (ignoreClose) {
                say("%s", "received WM_CLOSE and ignores it");
                return 0;
            }
            say("%s", "received WM_CLOSE, closing");
            closedByMessage = true;
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int main(int argc, char** argv) {
    const char* holdPaths[16];
    int holdCount = 0;
    const char* readyPath = nullptr;
    const char* quitPath = nullptr;
    bool withWindow = true;
    int timeLimitSeconds = 120;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            fputs(usage, stdout);
            return 0;
        } else if (strcmp(argv[i], "--no-window") == 0) {
            withWindow = false;
        } else if (strcmp(argv[i], "--ignore-close") == 0) {
            ignoreClose = true;
        } else if (i + 1 < argc && strcmp(argv[i], "--hold") == 0 && holdCount < 16) {
            holdPaths[holdCount++] = argv[++i];
        } else if (i + 1 < argc && strcmp(argv[i], "--ready") == 0) {
            readyPath = argv[++i];
        } else if (i + 1 < argc && strcmp(argv[i], "--quit-when") == 0) {
            quitPath = argv[++i];
        } else if (i + 1 < argc && strcmp(argv[i], "--time-limit") == 0 && atoi(argv[i + 1]) > 0) {
            timeLimitSeconds = atoi(argv[++i]);
        } else {
            fprintf(stderr, "pelvane-standin: unknown option or missing value: %s\n%s", argv[i], usage);
            return 2;
        }
    }

    HANDLE held[16];
    for (int i = 0; i < holdCount; ++i) {
        held[i] = CreateFileA(holdPaths[i], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held[i] == INVALID_HANDLE_VALUE) {
            fprintf(stderr, "pelvane-standin: cannot open %s (error %lu)\n", holdPaths[i], GetLastError());
            for (int j = 0; j < i; ++j) CloseHandle(held[j]);
            return 2;
        }
        say("holds %s open, shared with no one", holdPaths[i]);
    }

    HWND window = nullptr;
    if (withWindow) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = productWindow;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = "Pelvane50";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, "Pelvane50", "Pelvane", WS_OVERLAPPEDWINDOW, 40, 40, 320, 120, nullptr, nullptr,
                                 windowClass.hInstance, nullptr);
        if (!window) {
            fprintf(stderr, "pelvane-standin: cannot create the window (error %lu)\n", GetLastError());
            for (int i = 0; i < holdCount; ++i) CloseHandle(held[i]);
            return 2;
        }
        ShowWindow(window, SW_SHOWNOACTIVATE);
        say("%s", ignoreClose ? "shows a Pelvane50 window that will not close" : "shows a Pelvane50 window");
    }

    // Thread timers: they arrive even when there is no window.
    SetTimer(nullptr, quitPollTimer, 100, nullptr);
    SetTimer(nullptr, timeLimitTimer, static_cast<UINT>(timeLimitSeconds) * 1000, nullptr);
    if (readyPath) {
        FILE* ready = fopen(readyPath, "w");
        if (ready) fclose(ready);
    }

    int status = 0;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == WM_TIMER) {
            if (message.wParam == timeLimitTimer) {
                say("%s", "reached its time limit");
                status = window && IsWindow(window) ? 1 : 0;
                break;
            }
            if (quitPath && GetFileAttributesA(quitPath) != INVALID_FILE_ATTRIBUTES) {
                say("%s", "was told to quit");
                break;
            }
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (window && IsWindow(window)) DestroyWindow(window);
    for (int i = 0; i < holdCount; ++i) {
        CloseHandle(held[i]);
        say("released %s", holdPaths[i]);
    }
    if (closedByMessage) say("%s", "ended after its window was closed");
    return status;
}
