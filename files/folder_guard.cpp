// The folders the program never removes, and the check that a chosen path leads to the file the user chose.
#include "files/folder_guard.h"

#include <string.h>

#include "app/join_path.h"
#include "app/path_characters.h"
#include "files/entry_address.h"
#include "files/system_folder.h"
#include "platform/platform.h"

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

// A folder as the NT family knows it whatever its path: its volume's serial number and its index there.
struct Identity {
    DWORD volume, high, low;
};

// The identities of a path's root, of each folder on the way and of the path itself, which is the last; linked when
// one of those below the root is a link (any reparse point).
struct Chain {
    Identity levels[MAX_PATH / 2 + 1];
    int count;
    bool linked;
};

// The identity of what path leads to, links, substituted drives and shares followed to it.
static bool identityOf(const char* path, Identity* identity) {
    const HANDLE opened = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool read = GetFileInformationByHandle(opened, &information) != 0;
    CloseHandle(opened);
    if (read) *identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
    return read;
}

// Reads the chain of path; false when a level cannot be read or the path has no name below its root.
static bool readChain(const char* path, Chain* chain) {
    const char* name = firstName(path);
    char head[MAX_PATH];
    chain->count = 0;
    chain->linked = false;
    if (!name || strlen(path) >= MAX_PATH) return false;
    for (const char* end = name;; end = CharNextA(end)) {
        if (end != name && *end != '\\' && *end) continue;
        const size_t length = static_cast<size_t>(end - path);
        memcpy(head, path, length);
        head[length] = '\0';
        if (chain->count == MAX_PATH / 2 + 1 || !identityOf(head, &chain->levels[chain->count++])) return false;
        chain->linked = chain->linked || (end != name && (GetFileAttributesA(head) & FILE_ATTRIBUTE_REPARSE_POINT));
        if (!*end) return true;
    }
}

static bool holdsIdentity(const Chain& chain, const Identity& identity) {
    for (int i = 0; i < chain.count; ++i) {
        const Identity& level = chain.levels[i];
        if (level.volume == identity.volume && level.high == identity.high && level.low == identity.low) return true;
    }
    return false;
}

static const Identity& itself(const Chain& chain) { return chain.levels[chain.count - 1]; }

// The shell folder identifiers (CSIDL_...) lie below 0x40; Windows answers none above.
static const int lastShellFolder = 0x3F;

bool isRefusedFolder(const char* folder, bool chosen, bool* belowProgramFiles) {
    if (!firstName(folder) || *lastCharacter(folder) == '\\') return true;
    if (!chosen) return false;
    // Compared by identity too on the NT family, where a link, a substituted drive or a share gives a folder other
    // paths; a chosen folder whose identity cannot be read is refused, and so is one reached through a link, whose
    // folders above it on the path are not its own (a link into a folder deep below System, say).
    static Chain chosenChain, systemChain;
    const bool byIdentity = isNtFamily();
    if (byIdentity && (!readChain(folder, &chosenChain) || chosenChain.linked)) return true;
    // Every folder the system knows as its own, each refused with the folders above it: every one the shell answers
    // for (the profiles, the public and common folders, Program Files...), the temporary folder that holds the log,
    // and under WOW64 the 64-bit Program Files and Common Files. Windows, System and the 32-bit System under WOW64
    // are refused with everything below them too.
    char path[MAX_PATH];
    for (int system = commonFiles64; system <= lastShellFolder; ++system) {
        if (!systemFolderPath(system, path)) continue;
        const bool withAllBelow = system == CSIDL_WINDOWS || system == CSIDL_SYSTEM || system == CSIDL_SYSTEMX86;
        const bool known = byIdentity && readChain(path, &systemChain);
        // Whether the system's folder is the chosen one or above it, and whether it is the chosen one or below it.
        const bool above = holdsEitherForm(path, folder) || (known && holdsIdentity(chosenChain, itself(systemChain)));
        if (holdsEitherForm(folder, path) || (known && holdsIdentity(systemChain, itself(chosenChain))) ||
            (withAllBelow && above))
            return true;
        if (system == CSIDL_PROGRAM_FILES || system == CSIDL_PROGRAM_FILESX86 || system == programFiles64)
            *belowProgramFiles = *belowProgramFiles || above;
    }
    return false;
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
