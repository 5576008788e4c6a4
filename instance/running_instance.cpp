// Closes the product's main window, if it is open, before anything is deleted.
#include "instance/running_instance.h"

#include "app/prompt.h"
#include "platform/platform.h"

// How long a window may take to answer before it counts as hung: as long as Windows itself waits.
static const UINT answerTimeoutMs = 5000;

// Whether the window handled the message within the time limit: false when it is hung, gone, or the send failed.
static bool answers(HWND window, UINT message) {
    DWORD_PTR result;
    return SendMessageTimeoutA(window, message, 0, 0, SMTO_ABORTIFHUNG, answerTimeoutMs, &result) != 0;
}

// Asks the window to close and returns once its WM_CLOSE handler has, however long it asks its own user.
static DWORD WINAPI sendClose(void* window) {
    SendMessageA(static_cast<HWND>(window), WM_CLOSE, 0, 0);
    return 0;
}

bool closeRunningInstance() {
    const HWND window = FindWindowA("Pelvane50", nullptr);
    if (!window) return false;
    // The request is sent from a thread of its own, so that a product still answering messages is waited for (the
    // time-out flag meant for that, SMTO_NOTIMEOUTIFNOTHUNG, is not honoured everywhere); the wait ends when its
    // handler has returned, or once a second passes and the window is hung or gone.
    DWORD threadId;  // the 95/98/Me family refuses to start a thread without a place for its id
    const HANDLE sender = CreateThread(nullptr, 0, sendClose, window, 0, &threadId);
    if (sender) {
        while (WaitForSingleObject(sender, 1000) == WAIT_TIMEOUT && answers(window, WM_NULL)) {
        }
        CloseHandle(sender);  // a sender stuck on a hung window stays blocked until the process ends
    } else {
        answers(window, WM_CLOSE);
    }
    for (int look = 0; look < 10; ++look) {
        Sleep(1000);
        if (!FindWindowA("Pelvane50", nullptr)) return true;
    }
    askUser("Unable to terminate Pelvane, cannot continue!", tellStop);
    endProcess(1);
}
