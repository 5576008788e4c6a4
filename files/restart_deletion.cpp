// Registers a file or folder for deletion at the next restart, by the means of the running Windows family.
#include "files/restart_deletion.h"

#include <string.h>

#include "platform/platform.h"

// The whole "rename" section of WININIT.INI, as the profile functions pass it: lines ended by zeros, then a zero.
static char renameSection[32768];

// Adds a "NUL=path" line to the "rename" section of WININIT.INI, keeping every line already there.
static bool addWininitDeletion(const char* shortPath) {
    const DWORD used = GetPrivateProfileSectionA("rename", renameSection, sizeof renameSection, "WININIT.INI");
    const size_t line = 4 + strlen(shortPath) + 1;
    if (used >= sizeof renameSection - 2 || used + line + 1 > sizeof renameSection) return false;
    memcpy(renameSection + used, "NUL=", 4);
    memcpy(renameSection + used + 4, shortPath, line - 4);
    renameSection[used + line] = '\0';
    return WritePrivateProfileSectionA("rename", renameSection, "WININIT.INI") != 0;
}

bool isNtFamily() { return (GetVersion() & 0x80000000u) == 0; }

bool scheduleDeleteAtRestart(const char* path) {
    if (isNtFamily()) return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    char shortPath[MAX_PATH];
    const DWORD length = GetShortPathNameA(path, shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH && addWininitDeletion(shortPath);
}
