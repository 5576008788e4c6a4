// Closes the product's main window, if it is open, before anything is deleted.
#include "instance/running_instance.h"

#include "app/prompt.h"
#include "platform/platform.h"

// How long the product gets to handle WM_CLOSE: as long as Windows itself waits before it calls a window hung.
static const UINT closeMessageTimeoutMs = 5000;

bool closeRunningInstance() {
    const HWND window = FindWindowA("Pelvane50", nullptr);
    if (!window) return false;
    DWORD_PTR result;
    SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, closeMessageTimeoutMs, &result);
    for (int look = 0; look < 10; ++look) {
        Sleep(1000);
        if (!FindWindowA("Pelvane50", nullptr)) return true;
    }
    askUser("Unable to terminate Pelvane, cannot continue!", tellStop);
    endProcess(1);
}
