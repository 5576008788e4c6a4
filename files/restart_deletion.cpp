// Registers a file or folder for deletion at the next restart, by the means of the running Windows family.
#include "files/restart_deletion.h"

#include <string.h>

#include "app/join_path.h"
#include "platform/platform.h"

// WININIT.INI as read, whole; a longer one is left alone.
static char wininit[32768];

// Whether text, up to end, begins with "[rename]", letter case aside.
static bool isRenameHeading(const char* text, const char* end) {
    static const char heading[] = "[rename]";
    if (end - text < 8) return false;
    for (int i = 0; i < 8; ++i)
        if ((text[i] >= 'A' && text[i] <= 'Z' ? text[i] + 32 : text[i]) != heading[i]) return false;
    return true;
}

// Where the "rename" section of text ends: at the line that begins the next section, or at the end of the text;
// null when there is no such section.
static const char* renameSectionEnd(const char* text, const char* end) {
    const char* section = nullptr;
    for (const char* line = text; line < end;) {
        const char* at = line;
        while (at < end && (*at == ' ' || *at == '\t')) ++at;
        if (at < end && *at == '[') {
            if (section) return line;
            if (isRenameHeading(at, end)) section = at;
        }
        const char* lineEnd = static_cast<const char*>(memchr(line, '\n', static_cast<size_t>(end - line)));
        line = lineEnd ? lineEnd + 1 : end;
    }
    return section ? end : nullptr;
}

// Adds a "NUL=path" line at the end of the "rename" section of WININIT.INI in the Windows folder, the section made
// when there is none; the file is edited as text, so that every byte of it already there stays, comments and lines
// of other programs included.
static bool addWininitDeletion(const char* shortPath) {
    char windows[MAX_PATH], path[MAX_PATH], line[MAX_PATH + 24];
    const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !joinPath(path, windows, "WININIT.INI")) return false;
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, "WININIT.INI");  // a copy the system holds goes to disk first
    DWORD used = 0, written = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const BOOL read = ReadFile(file, wininit, sizeof wininit, &used, nullptr);
        CloseHandle(file);
        if (!read || used == sizeof wininit) return false;
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        return false;
    }
    const char* end = wininit + used;
    const char* sectionEnd = renameSectionEnd(wininit, end);
    const char* at = sectionEnd ? sectionEnd : end;
    const bool lineOpen = at == end && used > 0 && end[-1] != '\n';
    const DWORD lineLength = static_cast<DWORD>(wsprintfA(line, "%s%sNUL=%s\r\n", lineOpen ? "\r\n" : "",
                                                          sectionEnd ? "" : "[rename]\r\n", shortPath));
    const DWORD before = static_cast<DWORD>(at - wininit), after = static_cast<DWORD>(end - at);
    file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool whole = WriteFile(file, wininit, before, &written, nullptr) && written == before;
    whole = whole && WriteFile(file, line, lineLength, &written, nullptr) && written == lineLength;
    whole = whole && WriteFile(file, at, after, &written, nullptr) && written == after;
    return CloseHandle(file) && whole;
}

bool scheduleDeleteAtRestart(const char* path) {
    if (MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return true;
    return GetLastError() == ERROR_CALL_NOT_IMPLEMENTED && scheduleThroughWininit(path);
}

bool scheduleThroughWininit(const char* path) {
    char shortPath[MAX_PATH];
    const DWORD length = GetShortPathNameA(path, shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH && addWininitDeletion(shortPath);
}
