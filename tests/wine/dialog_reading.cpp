// Reads a dialog window of another process: its text, buttons, default button, icon and place on the screen.
#include <stdio.h>

#include "tests/wine/harness.h"

namespace harness {

// The message box's controls as Wine lays them out: the text and the icon are static controls with these IDs.
const int messageTextId = 0xFFFF;
const int messageIconId = 0x440;

// Waits up to two seconds for the answer, and does not give up on a window whose thread looks hung: a box comes up
// before its modal loop reads the queue, and a program that has not read it for five seconds (one that waited for
// the product to close, say) counts as hung to Wine until then.
std::string windowText(HWND window) {
    char text[4096] = "";
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 2000,
                             &length))
        return std::string();
    return std::string(text, length < sizeof text ? length : sizeof text - 1);
}

// The 32-bit pixels of a rectangle of the screen, as a top-down image.
static std::vector<DWORD> screenPixels(const RECT& area) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    std::vector<DWORD> pixels;
    if (width <= 0 || height <= 0) return pixels;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
        GdiFlush();
        pixels.assign(static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + width * height);
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// A system icon drawn at the given size over a plain background, as a top-down image.
static std::vector<DWORD> drawnIcon(LPCSTR icon, DWORD background, int width, int height) {
    std::vector<DWORD> pixels;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        DWORD* out = static_cast<DWORD*>(bits);
        for (int i = 0; i < width * height; ++i) out[i] = background;
        DrawIconEx(memory, 0, 0, LoadIconA(nullptr, icon), width, height, 0, nullptr, DI_NORMAL);
        GdiFlush();
        pixels.assign(out, out + width * height);
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// The icon handle of another process cannot be read here (GetIconInfo fails on it), so the icon is recognised by
// its pixels: the shown icon must equal one of the system icons drawn the same size over the same background.
static int readIcon(HWND dialog) {
    HWND control = GetDlgItem(dialog, messageIconId);
    if (!control || !IsWindowVisible(control)) return 0;
    RECT area;
    if (!GetWindowRect(control, &area)) return -1;
    const std::vector<DWORD> shown = screenPixels(area);
    if (shown.empty()) return -1;
    const int width = area.right - area.left, height = area.bottom - area.top;
    const struct { LPCSTR icon; int style; } candidates[] = {
        {IDI_HAND, MB_ICONSTOP}, {IDI_QUESTION, MB_ICONQUESTION},
        {IDI_EXCLAMATION, MB_ICONEXCLAMATION}, {IDI_ASTERISK, MB_ICONINFORMATION}};
    for (const auto& candidate : candidates) {
        const std::vector<DWORD> drawn = drawnIcon(candidate.icon, shown[0], width, height);
        bool same = drawn.size() == shown.size();
        for (size_t i = 0; same && i < drawn.size(); ++i) same = (drawn[i] & 0xFFFFFF) == (shown[i] & 0xFFFFFF);
        if (same) return candidate.style;
    }
    return -1;
}

Sighting readDialog(HWND dialog) {
    Sighting seen;
    seen.caption = windowText(dialog);
    GetWindowRect(dialog, &seen.frame);
    seen.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    seen.screenHeight = GetSystemMetrics(SM_CYSCREEN);
    seen.hasYes = GetDlgItem(dialog, IDYES) != nullptr;
    seen.hasNo = GetDlgItem(dialog, IDNO) != nullptr;
    seen.hasOk = GetDlgItem(dialog, IDOK) != nullptr;
    seen.hasCancel = GetDlgItem(dialog, IDCANCEL) != nullptr;
    for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
        HWND button = GetDlgItem(dialog, id);
        if (button && (GetWindowLongA(button, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON) seen.defaultButton = id;
    }
    if (GetDlgItem(dialog, fileNameBoxId)) {
        seen.kind = WindowKind::FileDialog;
    } else if (HWND text = GetDlgItem(dialog, messageTextId)) {
        seen.kind = WindowKind::MessageBox;
        seen.text = windowText(text);
        seen.icon = readIcon(dialog);
    } else {
        // A dialog of some other kind: keep the texts of its static controls, to show what it was.
        EnumChildWindows(
            dialog,
            [](HWND child, LPARAM into) CALLBACK -> BOOL {
                char name[16] = "";
                GetClassNameA(child, name, sizeof name);
                if (lstrcmpiA(name, "Static") == 0) {
                    std::string& text = *reinterpret_cast<std::string*>(into);
                    const std::string part = windowText(child);
                    if (!part.empty()) text += (text.empty() ? "" : " | ") + part;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&seen.text));
    }
    return seen;
}

UINT Sighting::style() const {
    if (kind != WindowKind::MessageBox || icon < 0) return 0xFFFFFFFF;
    UINT buttons;
    int second;  // the button that MB_DEFBUTTON2 makes the default
    if (hasYes && hasNo && hasCancel) { buttons = MB_YESNOCANCEL; second = IDNO; }
    else if (hasYes && hasNo) { buttons = MB_YESNO; second = IDNO; }
    else if (hasOk && hasCancel) { buttons = MB_OKCANCEL; second = IDCANCEL; }
    else if (hasOk) { buttons = MB_OK; second = 0; }
    else return 0xFFFFFFFF;
    const UINT secondIsDefault = second != 0 && defaultButton == second ? MB_DEFBUTTON2 : 0;
    return buttons | static_cast<UINT>(icon) | secondIsDefault;
}

static std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out;
}

std::string Sighting::describe() const {
    char line[256];
    switch (kind) {
        case WindowKind::MessageBox:
            snprintf(line, sizeof line, "message box, style 0x%X, caption \"", style());
            return line + escaped(caption) + "\", text \"" + escaped(text) + "\"";
        case WindowKind::FileDialog:
            snprintf(line, sizeof line, "open-file dialog at (%ld,%ld)-(%ld,%ld) on a %dx%d screen, caption \"",
                     frame.left, frame.top, frame.right, frame.bottom, screenWidth, screenHeight);
            return line + escaped(caption) + "\"";
        case WindowKind::OtherDialog:
            break;
    }
    return "other dialog, caption \"" + escaped(caption) + "\", texts \"" + escaped(text) + "\"";
}

}  // namespace harness
