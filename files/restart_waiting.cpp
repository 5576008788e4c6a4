// Leaves for the next restart what cannot be deleted now, so that the restart deletes that very entry.
#include "files/restart_waiting.h"

#include <string.h>

#include "app/join_path.h"
#include "files/restart_deletion.h"
#include "platform/platform.h"

// The folder of this run that holds what was moved aside ("X:\Pelvane Cleanup N"), empty until one is made; how many
// entries it holds; whether making it failed, so that it is not tried for every entry.
static char asideFolder[MAX_PATH];
static int asideCount;
static bool asideRefused;

// A folder only the system and the administrators may change, whatever the drive's root lets others do: a
// self-relative security descriptor whose protected access list (nothing inherited) grants those two, and them alone,
// every right over it and what it will hold.
static const unsigned char onlyAdministrators[] = {
    1, 0, 0x04, 0x90, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0,  // present and protected access list at 20
    2, 0, 52, 0, 2, 0, 0, 0,                                           // the list: 52 bytes, two entries
    0, 3, 20, 0, 0xFF, 0x01, 0x1F, 0x00, 1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0,                 // SYSTEM
    0, 3, 24, 0, 0xFF, 0x01, 0x1F, 0x00, 1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};  // Administrators

// Makes this run's folder at the root of path's drive, a name that was not there before, once; false when the path
// is on no drive letter or no folder could be made.
static bool makeAsideFolder(const char* path) {
    const char* shown = strncmp(path, "\\\\?\\", 4) == 0 ? path + 4 : path;
    if (asideFolder[0]) return asideFolder[0] == shown[0];
    if (asideRefused || shown[1] != ':' || shown[2] != '\\') return false;
    SECURITY_ATTRIBUTES protectedFolder;
    protectedFolder.nLength = sizeof protectedFolder;
    protectedFolder.lpSecurityDescriptor = const_cast<unsigned char*>(onlyAdministrators);
    protectedFolder.bInheritHandle = FALSE;
    for (int number = 1; number < 100; ++number) {
        wsprintfA(asideFolder, "%c:\\Pelvane Cleanup %d", shown[0], number);
        if (CreateDirectoryA(asideFolder, &protectedFolder)) return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    asideFolder[0] = '\0';
    asideRefused = true;
    return false;
}

RestartWay leaveForRestart(const char* path, bool movable, bool inPlaceIsSafe, char* movedTo) {
    if (isNtFamily()) {
        // Registered first, under the name it is to have: a name in the folder of this run, where no one else can
        // make one, so that a move that then fails leaves nothing of anyone's to delete.
        char name[16];
        if (movable && makeAsideFolder(path) && wsprintfA(name, "%d", asideCount + 1) &&
            joinPath(movedTo, asideFolder, name) && scheduleDeleteAtRestart(movedTo) && MoveFileExA(path, movedTo, 0)) {
            ++asideCount;
            return MovedAside;
        }
        if (!inPlaceIsSafe) return Unsafe;
    }
    return scheduleDeleteAtRestart(path) ? RegisteredInPlace : Refused;
}

bool finishSetAside(char* folder, bool* registered) {
    const bool made = asideFolder[0] != '\0';
    if (made) {
        memcpy(folder, asideFolder, sizeof asideFolder);
        *registered = scheduleDeleteAtRestart(asideFolder);
    }
    asideFolder[0] = '\0';
    asideCount = 0;
    asideRefused = false;
    return made;
}
