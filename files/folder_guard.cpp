// The folders the program never removes, and the check that a chosen path leads to the file the user chose.
#include "files/folder_guard.h"

#include <string.h>

#include "app/join_path.h"
#include "app/path_characters.h"
#include "files/entry_address.h"
#include "platform/platform.h"

// Where the path's first name begins, after "X:\" or "\\server\share\"; null when there is no such name.
static const char* firstName(const char* path) {
    if (path[0] && path[1] == ':' && path[2] == '\\') return path[3] ? path + 3 : nullptr;
    if (strncmp(path, "\\\\", 2) != 0) return nullptr;
    const char* share = findCharacter(path + 2, "\\");
    const char* below = share ? findCharacter(share + 1, "\\") : nullptr;
    return below && below[1] ? below + 1 : nullptr;
}

// Whether folder is path itself or a folder above it, letter case aside.
static bool holds(const char* folder, const char* path) {
    const size_t length = strlen(folder);
    char head[MAX_PATH];
    if (length == 0 || strlen(path) < length) return false;
    memcpy(head, path, length);
    head[length] = '\0';
    return lstrcmpiA(head, folder) == 0 && (path[length] == '\0' || path[length] == '\\');
}

// The same, for the paths as given and for their short forms (the temporary folder is often named by the latter).
static bool holdsEitherForm(const char* folder, const char* path) {
    char shortFolder[MAX_PATH], shortPath[MAX_PATH];
    if (holds(folder, path)) return true;
    const DWORD a = GetShortPathNameA(folder, shortFolder, MAX_PATH), b = GetShortPathNameA(path, shortPath, MAX_PATH);
    return a > 0 && a < MAX_PATH && b > 0 && b < MAX_PATH && holds(shortFolder, shortPath);
}

bool isRefusedFolder(const char* folder, bool chosen) {
    // Windows, System, Program Files, Common Files, the profile, My Documents, the desktop, the application data.
    static const int systemFolders[] = {0x24, 0x25, 0x26, 0x2B, 0x28, 0x05, 0x10, 0x1A, 0x1C, 0x23};
    if (!firstName(folder) || *lastCharacter(folder) == '\\') return true;
    if (!chosen) return false;
    char path[MAX_PATH];
    for (const int system : systemFolders)
        // cppcheck-suppress useStlAlgorithm
        if (SHGetSpecialFolderPathA(nullptr, path, system, FALSE) && holdsEitherForm(folder, path)) return true;
    const DWORD length = GetTempPathA(MAX_PATH, path);
    return length > 0 && length < MAX_PATH && holdsEitherForm(folder, path);
}

// Whether the entry found under name is the only one of its folder listed under that name.
static bool isOnlyOneNamed(const char* folder, const char* name, const WIN32_FIND_DATAA& found) {
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA listed;
    if (!joinPath(pattern, folder, "*.*")) return false;
    const HANDLE search = FindFirstFileA(pattern, &listed);
    if (search == INVALID_HANDLE_VALUE) return false;
    int named = 0;
    bool alone = true;
    do {
        if (lstrcmpiA(listed.cFileName, name) != 0) continue;
        ++named;
        alone = alone && isSameEntry(listed, found);
    } while (FindNextFileA(search, &listed));
    FindClose(search);
    return named == 1 && alone;
}

bool leadsToChosenFile(const char* path) {
    const char* name = firstName(path);
    if (!name || findCharacter(path, "*?")) return false;
    char head[MAX_PATH], folder[MAX_PATH];
    for (;;) {
        const char* end = findCharacter(name, "\\");
        const size_t length = end ? static_cast<size_t>(end - path) : strlen(path);
        memcpy(head, path, length);
        head[length] = '\0';
        memcpy(folder, path, static_cast<size_t>(name - path));
        folder[name - path] = '\0';
        WIN32_FIND_DATAA found;
        if (!isPlainName(head + (name - path), false) || !lookUp(head, &found) ||
            lstrcmpiA(found.cFileName, head + (name - path)) != 0 ||
            !isOnlyOneNamed(folder, head + (name - path), found))
            return false;
        if (!end) return true;
        name = end + 1;
    }
}
