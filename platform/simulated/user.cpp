// The simulated user and desktop: message boxes, the open-file dialog, other programs' windows, the virtual clock.
#include <cstdarg>
#include <cstring>
#include <stdexcept>

#include "platform/simulated/machine.h"

namespace sim {
namespace {

const ULONG_PTR firstProductWindow = 0x1000;
HWND const dialogFrame = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x2001));
HWND const dialogChild = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x2002));

Window* windowOf(HWND handle) {
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(handle);
    auto& windows = machine().windows;
    if (value < firstProductWindow || value >= firstProductWindow + windows.size()) return nullptr;
    return &windows[value - firstProductWindow];
}

std::vector<std::string> filterList(LPCSTR filter) {
    std::vector<std::string> list;
    if (!filter) return list;
    for (LPCSTR at = filter; *at; at += std::strlen(at) + 1) list.push_back(at);
    return list;
}

}  // namespace

void answer(std::vector<int> results) {
    for (int r : results) machine().answers.push_back(r);
}
const std::vector<Box>& boxes() { return machine().boxes; }
void chooseInDialog(const std::string& path, bool made) { machine().dialogAnswers.emplace_back(path, made); }
void cancelDialog() { machine().dialogAnswers.emplace_back("", false); }
const std::vector<DialogSeen>& dialogs() { return machine().dialogs; }
const std::vector<Moved>& dialogMoves() { return machine().dialogMoves; }
void setScreen(int width, int height) {
    machine().screenWidth = width;
    machine().screenHeight = height;
}
void setDialogFrame(RECT frame) { machine().dialogFrame = frame; }

void addWindow(const WindowSetup& window) { machine().windows.push_back(Window{window, -1, false}); }
int windowsOfClass(const std::string& className) {
    int count = 0;
    for (const Window& w : machine().windows)
        if (!w.gone && w.setup.className == className) ++count;
    return count;
}
const std::vector<DWORD>& sleeps() { return machine().sleeps; }
unsigned long clockMs() { return machine().clockMs; }

void advanceClock(unsigned long ms) {
    Machine& m = machine();
    m.clockMs += ms;
    for (Window& w : m.windows)
        if (w.closesAtMs >= 0 && static_cast<long>(m.clockMs) >= w.closesAtMs) w.gone = true;
}

}  // namespace sim

using namespace sim;

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
    Machine& m = machine();
    m.boxes.push_back(Box{text, caption ? caption : "", style});
    if (m.whenAsked) {
        const std::function<void()> action = std::move(m.whenAsked);
        m.whenAsked = nullptr;
        action();
    }
    if (callFails("MessageBoxA", {text}) || owner) return 0;
    if (m.answers.empty()) return 0;
    const int result = m.answers.front();
    m.answers.pop_front();
    return result;
}

int WINAPI wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    callFails("wsprintfA", {format});
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, 1024, format, args);  // wsprintfA writes at most 1024 bytes
    va_end(args);
    return length < 1024 ? length : 1023;
}

BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA ofn) {
    Machine& m = machine();
    DialogSeen seen;
    seen.structSize = ofn->lStructSize;
    seen.hasOwner = ofn->hwndOwner != nullptr;
    seen.filter = filterList(ofn->lpstrFilter);
    seen.hasCustomFilter = ofn->lpstrCustomFilter != nullptr;
    seen.filterIndex = ofn->nFilterIndex;
    seen.initialFile = ofn->lpstrFile ? ofn->lpstrFile : "";
    seen.maxFile = ofn->nMaxFile;
    seen.maxFileTitle = ofn->nMaxFileTitle;
    seen.hasInitialDir = ofn->lpstrInitialDir != nullptr;
    seen.title = ofn->lpstrTitle ? ofn->lpstrTitle : "";
    seen.flags = ofn->Flags;
    seen.defaultExtension = ofn->lpstrDefExt ? ofn->lpstrDefExt : "";
    seen.hasHook = ofn->lpfnHook != nullptr;
    const bool fails = callFails("GetOpenFileNameA", {seen.initialFile});
    if (!fails && ofn->lStructSize != OPENFILENAME_SIZE_VERSION_400A && ofn->lStructSize != sizeof(OPENFILENAMEA)) {
        m.dialogs.push_back(seen);
        return FALSE;  // CDERR_STRUCTSIZE
    }
    if (!fails && seen.hasHook && (ofn->Flags & OFN_ENABLEHOOK))
        seen.hookReturnedZero = ofn->lpfnHook(dialogChild, WM_INITDIALOG, 0, 0) == 0;
    m.dialogs.push_back(seen);
    if (fails || m.dialogAnswers.empty()) return FALSE;
    const std::string chosen = m.dialogAnswers.front().first;
    const bool made = m.dialogAnswers.front().second;
    m.dialogAnswers.pop_front();
    if (chosen.empty() || chosen.size() + 1 > ofn->nMaxFile) return FALSE;
    if (made && chosen.find('\\') != std::string::npos && !exists(chosen)) addFile(chosen);
    const std::string title = chosen.substr(chosen.rfind('\\') + 1);
    if (ofn->lpstrFileTitle && title.size() + 1 > ofn->nMaxFileTitle) return FALSE;
    std::memcpy(ofn->lpstrFile, chosen.c_str(), chosen.size() + 1);
    if (ofn->lpstrFileTitle) std::memcpy(ofn->lpstrFileTitle, title.c_str(), title.size() + 1);
    return TRUE;
}

HWND WINAPI GetParent(HWND window) {
    callFails("GetParent");
    return window == dialogChild ? dialogFrame : nullptr;
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
    if (callFails("GetWindowRect") || window != dialogFrame) return FALSE;
    *rect = machine().dialogFrame;
    return TRUE;
}

int WINAPI GetSystemMetrics(int index) {
    callFails("GetSystemMetrics");
    if (index == SM_CXSCREEN) return machine().screenWidth;
    if (index == SM_CYSCREEN) return machine().screenHeight;
    return 0;
}

BOOL WINAPI SetWindowPos(HWND window, HWND, int x, int y, int, int, UINT flags) {
    if (callFails("SetWindowPos") || window != dialogFrame) return FALSE;
    machine().dialogMoves.push_back(Moved{x, y, flags});
    return TRUE;
}

HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName) {
    if (callFails("FindWindowA", {className ? className : "(null)"}) || !className || windowName) return nullptr;
    auto& windows = machine().windows;
    for (size_t i = 0; i < windows.size(); ++i)
        if (!windows[i].gone && windows[i].setup.className == className)
            return reinterpret_cast<HWND>(firstProductWindow + i);
    return nullptr;
}

// Delivers WM_CLOSE to an open, answering window: its closing is set going, and the virtual time at which its
// handler returns (after asking its user, if it does) is the result.
static long handleClose(Window* window) {
    const long now = static_cast<long>(machine().clockMs);
    const long returnsAt = now + window->setup.asksForMs;
    if (window->closesAtMs < 0 && window->setup.closesAfterMs >= 0) {
        window->closesAtMs = returnsAt + window->setup.closesAfterMs;
        advanceClock(0);
    }
    return returnsAt;
}

static std::string messageText(UINT message) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", message);
    return text;
}

LRESULT WINAPI SendMessageTimeoutA(HWND handle, UINT message, WPARAM, LPARAM, UINT, UINT timeout, PDWORD_PTR result) {
    if (result) *result = 0;
    if (callFails("SendMessageTimeoutA", {messageText(message)})) return 0;
    Window* window = windowOf(handle);
    if (!window || window->gone) return 0;
    if (window->setup.hung) {
        advanceClock(timeout);
        return 0;
    }
    if (message == WM_CLOSE) {
        const long busyMs = handleClose(window) - static_cast<long>(machine().clockMs);
        if (busyMs > static_cast<long>(timeout)) {
            advanceClock(timeout);  // the send gives up; the handler goes on asking
            return 0;
        }
        advanceClock(static_cast<unsigned long>(busyMs));
    }
    return 1;
}

// Made only from a thread the program started: instead of blocking, it records when it returns.
LRESULT WINAPI SendMessageA(HWND handle, UINT message, WPARAM, LPARAM) {
    Machine& m = machine();
    if (!m.inThread) throw std::logic_error("the simulated SendMessageA is made from a thread of the program only");
    if (callFails("SendMessageA", {messageText(message)})) return 0;
    Window* window = windowOf(handle);
    if (!window || window->gone) return 0;
    if (window->setup.hung)
        m.threadReturnsAtMs = -1;
    else if (message == WM_CLOSE)
        m.threadReturnsAtMs = handleClose(window);
    return 0;
}

void WINAPI Sleep(DWORD milliseconds) {
    callFails("Sleep");
    machine().sleeps.push_back(milliseconds);
    advanceClock(milliseconds);
}
