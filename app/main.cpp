// The program's entry point: one copy at a time, then the cleanup run, whose result is the process exit code.
#include "app/cleanup_run.h"
#include "app/prompt.h"
#include "platform/platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Held for the whole run, so that a second copy cannot interleave the log or delete what this one is deleting;
    // named in the global namespace, so that it holds across the sessions of switched users and remote desktops, or
    // by its plain name where names take no backslash (the 95/98/Me family, NT 4 without terminal services). A mutex
    // that cannot be made counts as held: access is denied when a copy run by another user holds it.
    HANDLE oneCopy = CreateMutexA(nullptr, FALSE, "Global\\Quenderholt Remove Pelvane");
    if (!oneCopy && GetLastError() != ERROR_ACCESS_DENIED)
        oneCopy = CreateMutexA(nullptr, FALSE, "Quenderholt Remove Pelvane");
    if (!oneCopy || GetLastError() == ERROR_ALREADY_EXISTS) {
        if (oneCopy) CloseHandle(oneCopy);
        askUser("Remove Pelvane is already running.\n\nWait until it has finished, then run it again if needed.",
                tellStop);
        return 5;
    }
    const int exitCode = runCleanup();
    CloseHandle(oneCopy);
    return exitCode;
}
