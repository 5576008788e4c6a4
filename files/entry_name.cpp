// Which names may go into a path the removal acts on, and whether a path still leads to the entry that was listed.
#include "files/entry_name.h"

#include <string.h>

#include "app/path_characters.h"

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

bool lookUp(const char* path, WIN32_FIND_DATAA* found) {
    const HANDLE search = FindFirstFileA(path, found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

bool isSameEntry(const WIN32_FIND_DATAA& one, const WIN32_FIND_DATAA& other) {
    return one.dwFileAttributes == other.dwFileAttributes &&
           memcmp(&one.ftCreationTime, &other.ftCreationTime, sizeof one.ftCreationTime) == 0 &&
           memcmp(&one.ftLastWriteTime, &other.ftLastWriteTime, sizeof one.ftLastWriteTime) == 0 &&
           one.nFileSizeHigh == other.nFileSizeHigh && one.nFileSizeLow == other.nFileSizeLow &&
           strcmp(one.cFileName, other.cFileName) == 0 && strcmp(one.cAlternateFileName, other.cAlternateFileName) == 0;
}

bool leadsToEntry(const char* path, const WIN32_FIND_DATAA& listed, WIN32_FIND_DATAA* found) {
    return lookUp(path, found) && isSameEntry(listed, *found);
}
