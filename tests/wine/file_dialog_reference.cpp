// Measures this platform's open-file dialog frame as a hook sees it at WM_INITDIALOG, by showing one in this process.
#include "tests/wine/harness.h"

#include <commdlg.h>

namespace harness {

static RECT frameAtInit;

static UINT_PTR CALLBACK measuringHook(HWND child, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        const HWND frame = GetParent(child);
        GetWindowRect(frame, &frameAtInit);
        PostMessageA(frame, WM_COMMAND, IDCANCEL, 0);  // handled once the dialog's own loop runs
    }
    return 0;
}

SIZE openFileDialogSizeAtInit(DWORD flags) {
    char file[MAX_PATH] = "";
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.lpstrFilter = "All Files\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrTitle = "Measuring the open-file dialog";
    dialog.Flags = flags | OFN_ENABLEHOOK | OFN_EXPLORER;
    dialog.lpfnHook = measuringHook;
    frameAtInit = RECT{0, 0, 0, 0};
    GetOpenFileNameA(&dialog);
    return SIZE{frameAtInit.right - frameAtInit.left, frameAtInit.bottom - frameAtInit.top};
}

}  // namespace harness
