// The path that leads to exactly the entry a listing showed, if there is one: the removal never acts through another.
#include "files/entry_address.h"

#include <string.h>

#include "app/join_path.h"
#include "app/path_characters.h"

static const char literalPrefix[] = "\\\\?\\";

const char* shownPath(const char* path) { return strncmp(path, literalPrefix, 4) == 0 ? path + 4 : path; }

// CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9 and their kin, with any extension: they name a device, not a file.
static bool isDeviceName(const char* name) {
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    size_t length = strcspn(name, ".");
    while (length > 0 && name[length - 1] == ' ') --length;
    if (length < 3 || length > 7) return false;
    char base[8];
    for (size_t i = 0; i < length; ++i) base[i] = name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 32) : name[i];
    base[length] = '\0';
    for (const char* device : devices)
        if (strcmp(base, device) == 0) return true;
    // COM and LPT with a digit, superscript ones included (0xB9, 0xB2, 0xB3 in the Western code page).
    return length == 4 && (strncmp(base, "COM", 3) == 0 || strncmp(base, "LPT", 3) == 0) &&
           ((base[3] >= '0' && base[3] <= '9') || strchr("\xB9\xB2\xB3", base[3]));
}

bool isPlainName(const char* name, bool literal) {
    if (!*name) return false;
    for (const char* at = name; *at; at = CharNextA(at))
        if (static_cast<unsigned char>(*at) < 0x20 || strchr("\\/:*?\"<>|", *at)) return false;
    if (literal) return true;
    const char last = *lastCharacter(name);
    return last != '.' && last != ' ' && !isDeviceName(name);
}

static bool isDotName(const char* name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

bool isOwnDotEntry(const WIN32_FIND_DATAA& listed) {
    return isDotName(listed.cFileName) && !listed.cAlternateFileName[0];
}

bool lookUp(const char* path, WIN32_FIND_DATAA* found) {
    const HANDLE search = FindFirstFileA(path, found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

bool isSameEntry(const WIN32_FIND_DATAA& one, const WIN32_FIND_DATAA& other) {
    return one.dwFileAttributes == other.dwFileAttributes && strcmp(one.cFileName, other.cFileName) == 0 &&
           strcmp(one.cAlternateFileName, other.cAlternateFileName) == 0;
}

// Whether path names an entry of the kind listed (a file, a folder, a link), whose attributes as they are now go to
// attributes. A name the code page turned into another entry's name reaches that entry, which is in the folder too.
static bool leadsToEntry(const char* path, const WIN32_FIND_DATAA& listed, DWORD* attributes) {
    const DWORD kind = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    *attributes = GetFileAttributesA(path);
    return *attributes != INVALID_FILE_ATTRIBUTES && ((*attributes ^ listed.dwFileAttributes) & kind) == 0;
}

// Writes folder into address with the "\\?\" prefix, for a drive path that fits.
static bool literalFolder(char* address, const char* folder) {
    const size_t length = strlen(folder);
    if (strncmp(folder, literalPrefix, 4) == 0 || length + 4 >= MAX_PATH || folder[1] != ':' || folder[2] != '\\')
        return false;
    memcpy(address + 4, folder, length + 1);
    for (int i = 0; i < 4; ++i) address[i] = literalPrefix[i];
    return true;
}

Address addressOf(const char* folder, const WIN32_FIND_DATAA& listed, char* path, DWORD* attributes) {
    const char* name = listed.cFileName;
    const char* alias = listed.cAlternateFileName;
    if (!isDotName(name) && isPlainName(name, true)) {
        char literalForm[MAX_PATH];
        if (!joinPath(path, folder, name)) return TooLong;
        if (isPlainName(name, strncmp(folder, literalPrefix, 4) == 0)) {
            if (leadsToEntry(path, listed, attributes)) return Reached;
        } else if (isNtFamily() && literalFolder(literalForm, folder)) {
            if (!joinPath(path, literalForm, name)) return TooLong;
            if (leadsToEntry(path, listed, attributes)) return Reached;
        }
    }
    if (alias[0] && isPlainName(alias, false) && joinPath(path, folder, alias) &&
        leadsToEntry(path, listed, attributes))
        return Reached;
    return NoPath;
}
