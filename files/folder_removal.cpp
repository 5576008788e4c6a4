// Removes the product's folder depth first, leaving for the next restart what cannot go at once.
#include "files/folder_removal.h"

#include <string.h>

#include "app/cleanup_log.h"
#include "app/join_path.h"
#include "app/prompt.h"
#include "files/application_folder.h"
#include "files/entry_address.h"
#include "files/restart_deletion.h"
#include "platform/platform.h"

static const DWORD clearedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// A folder is listed again when something it did not list keeps it from going, this many times in all at most.
static const int listingsPerFolder = 4;

// The entries left for the restart in the folders being removed, innermost last, by their listed and short names:
// listed again, a folder tells them from entries it did not show before. Beyond this room a folder that holds such
// entries cannot be vouched for, and is left.
static struct {
    char name[MAX_PATH];
    char alias[14];
} leftForRestart[64];
static int leftCount;

// The outcome that follows from two, by precedence: LeftBehind over Retained over RebootRequired over AllRemoved.
static RemovalOutcome raise(RemovalOutcome outcome, RemovalOutcome by) { return by > outcome ? by : outcome; }

static bool isGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Whether one of the entries from first on that were left for the restart is the listed one.
static bool isLeftForRestart(int first, const WIN32_FIND_DATAA& listed) {
    for (int i = first; i < leftCount; ++i)
        if (strcmp(leftForRestart[i].name, listed.cFileName) == 0 &&
            strcmp(leftForRestart[i].alias, listed.cAlternateFileName) == 0)
            return true;
    return false;
}

// Registers path for deletion at restart and logs which way it went; kind is "File" or "Directory".
static bool leaveForRestart(const char* kind, const char* path, FILE* log) {
    const bool registered = scheduleDeleteAtRestart(path);
    writeLog(log, registered ? "%s %s will be deleted on the next reboot\n" : "%s %s could not be deleted\n", kind,
             shownPath(path));
    return registered;
}

// Logs the deletion of one file, link or folder, or leaves it for the restart when it did not go; unchanged is what
// a registration for the restart leaves the outcome at. What the system refuses as not empty stays: the restart
// removes only empty folders.
static RemovalOutcome settle(const char* kind, const char* path, bool deleted, RemovalOutcome unchanged, FILE* log) {
    const DWORD error = deleted ? 0 : GetLastError();
    if (deleted || isGone(error)) {
        writeLog(log, deleted ? "%s %s deleted\n" : "%s %s was already gone\n", kind, shownPath(path));
        return AllRemoved;
    }
    if (error == ERROR_DIR_NOT_EMPTY) {
        writeLog(log, "%s %s not deleted: it is not empty\n", kind, shownPath(path));
        return LeftBehind;
    }
    return leaveForRestart(kind, path, log) ? unchanged : LeftBehind;
}

// Logs an entry of folder by its listed name, made printable (control characters as '?'); returns outcome.
static RemovalOutcome logListed(const char* line, const char* folder, const char* name, RemovalOutcome outcome,
                                FILE* log) {
    char printable[MAX_PATH];
    size_t length = 0;
    for (; length < sizeof printable - 1 && name[length]; ++length)
        printable[length] = static_cast<unsigned char>(name[length]) < 0x20 ? '?' : name[length];
    printable[length] = '\0';
    writeLog(log, line, shownPath(folder), printable);
    return outcome;
}

// Logs a folder that could not be listed: gone already, or left with whatever it holds.
static RemovalOutcome listingFailed(const char* folder, DWORD error, FILE* log) {
    writeLog(log, isGone(error) ? "Directory %s was already gone\n" : "Directory %s could not be listed\n",
             shownPath(folder));
    return isGone(error) ? AllRemoved : LeftBehind;
}

static RemovalOutcome removeFolderAt(const char* folder, DWORD attributes, FILE* log);

// Whether the file at path has other names (hard links), which share its attributes wherever they are (NT family).
static bool hasOtherNames(const char* path) {
    if (!isNtFamily()) return false;
    const HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION opened;
    const bool shared = GetFileInformationByHandle(file, &opened) && opened.nNumberOfLinks > 1;
    CloseHandle(file);
    return shared;
}

// Deletes one listed entry of a folder, or leaves it; a link is removed, never followed, its attributes untouched.
static RemovalOutcome removeEntry(const char* folder, const WIN32_FIND_DATAA& listed, FILE* log) {
    static const char unreachable[] = "Entry %s\\%s not deleted: it cannot be reached by its name\n";
    char path[MAX_PATH];
    DWORD attributes;
    const char* name = listed.cFileName;
    switch (addressOf(folder, listed, path, &attributes)) {
        case TooLong:
            return logListed("Entry %s\\%s not deleted: path too long\n", folder, name, LeftBehind, log);
        case Unreachable:
            return logListed(unreachable, folder, name, LeftBehind, log);
        case Gone:
            return logListed(listed.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "Directory %s\\%s was already gone\n"
                                                                                : "File %s\\%s was already gone\n",
                             folder, name, AllRemoved, log);
        case Reached:
            break;
    }
    const char* kind = attributes & FILE_ATTRIBUTE_DIRECTORY ? "Directory" : "File";
    if (confirmEachDeletion) {
        char question[MAX_PATH + 32];
        wsprintfA(question, "Delete %s %s?", attributes & FILE_ATTRIBUTE_DIRECTORY ? "directory" : "file",
                  shownPath(path));
        if (!askUser(question, askYesNo)) return Retained;
        // Looked at again: while the question was open it may have gone, or been swapped for a link.
        attributes = GetFileAttributesA(path);
        if (attributes == INVALID_FILE_ATTRIBUTES && !isGone(GetLastError()))
            return logListed(unreachable, folder, name, LeftBehind, log);
        if (attributes == INVALID_FILE_ATTRIBUTES) return settle(kind, path, false, AllRemoved, log);
        kind = attributes & FILE_ATTRIBUTE_DIRECTORY ? "Directory" : "File";
    }
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !link) return removeFolderAt(path, attributes, log);
    if (!link && (attributes & clearedAttributes)) {
        // A file with other names is deleted by this name alone; clearing its read-only bit would change them too,
        // and the restart could not delete it without that either.
        if (hasOtherNames(path)) {
            if (!(attributes & FILE_ATTRIBUTE_READONLY) && DeleteFileA(path)) return settle(kind, path, true, AllRemoved, log);
            writeLog(log, "File %s could not be deleted\n", shownPath(path));
            return LeftBehind;
        }
        SetFileAttributesA(path, attributes & ~clearedAttributes);
    }
    const bool deleted = attributes & FILE_ATTRIBUTE_DIRECTORY ? RemoveDirectoryA(path) : DeleteFileA(path);
    return settle(kind, path, deleted, RebootRequired, log);
}

enum Hold { Held, Swapped, Unopened };

// Holds a folder open while it is listed (NT family), so that it cannot be swapped for a link meanwhile; Swapped
// when the folder, as opened, is a link after all.
static Hold holdFolder(const char* folder, HANDLE* held) {
    *held = INVALID_HANDLE_VALUE;
    if (!isNtFamily()) return Held;
    *held = CreateFileA(folder, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (*held == INVALID_HANDLE_VALUE) return Unopened;
    BY_HANDLE_FILE_INFORMATION opened;
    if (!GetFileInformationByHandle(*held, &opened)) {
        CloseHandle(*held);
        *held = INVALID_HANDLE_VALUE;
        return Unopened;
    }
    // A system that follows the link on opening shows it only on the path.
    if (!((opened.dwFileAttributes | GetFileAttributesA(folder)) & FILE_ATTRIBUTE_REPARSE_POINT)) return Held;
    CloseHandle(*held);
    *held = INVALID_HANDLE_VALUE;
    return Swapped;
}

// Lists folder once and removes each entry it shows but the folder's own and those left for the restart from first
// on; fresh counts the entries taken, full tells that one more could not be remembered. False, with the outcome
// set, when the listing could not be made or finished.
static bool removeListed(const char* folder, int first, RemovalOutcome* outcome, int* fresh, bool* full, FILE* log) {
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA listed;
    if (!joinPath(pattern, folder, "*.*")) {
        writeLog(log, "Directory %s not deleted: path too long\n", shownPath(folder));
        *outcome = LeftBehind;
        return false;
    }
    const HANDLE search = FindFirstFileA(pattern, &listed);
    if (search == INVALID_HANDLE_VALUE) {
        *outcome = raise(*outcome, listingFailed(folder, GetLastError(), log));
        return false;
    }
    do {
        if (isOwnDotEntry(listed) || isLeftForRestart(first, listed)) continue;
        ++*fresh;
        const RemovalOutcome entry = removeEntry(folder, listed, log);
        *outcome = raise(*outcome, entry);
        if (entry != RebootRequired) continue;
        if (leftCount == sizeof leftForRestart / sizeof *leftForRestart) {
            *full = true;
            continue;
        }
        memcpy(leftForRestart[leftCount].name, listed.cFileName, sizeof listed.cFileName);
        memcpy(leftForRestart[leftCount++].alias, listed.cAlternateFileName, sizeof listed.cAlternateFileName);
    } while (FindNextFileA(search, &listed));
    const bool finished = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    if (!finished) *outcome = listingFailed(folder, ERROR_ACCESS_DENIED, log);
    return true;
}

// Removes a folder's entries, then the folder; attributes are its own as listed, to be cleared once it is held. The
// folder is listed again while it holds entries that no listing showed before, and is registered for the restart
// only when everything still in it is.
static RemovalOutcome emptyAndRemove(const char* folder, DWORD attributes, FILE* log) {
    const int first = leftCount;
    bool full = false;
    RemovalOutcome outcome = AllRemoved;
    for (int listing = 0;; ++listing) {
        HANDLE held;
        switch (holdFolder(folder, &held)) {
            case Swapped:
                return raise(outcome, settle("Directory", folder, RemoveDirectoryA(folder) != 0, RebootRequired, log));
            case Unopened:
                return raise(outcome, listingFailed(folder, GetLastError(), log));
            case Held:
                break;
        }
        if (listing == 0 && (attributes & clearedAttributes))
            SetFileAttributesA(folder, attributes & ~clearedAttributes);
        int fresh = 0;
        const bool listed = removeListed(folder, first, &outcome, &fresh, &full, log);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        if (!listed) return outcome;
        const bool settled = listing > 0 && fresh == 0, last = settled || listing + 1 == listingsPerFolder;
        if (outcome >= Retained || full) break;
        if (outcome == RebootRequired) {
            if (settled) return leaveForRestart("Directory", folder, log) ? RebootRequired : LeftBehind;
            if (last) break;
            continue;
        }
        const bool removed = RemoveDirectoryA(folder) != 0;
        if (removed || last || GetLastError() != ERROR_DIR_NOT_EMPTY)
            return settle("Directory", folder, removed, RebootRequired, log);
    }
    const bool kept = outcome >= Retained;
    writeLog(log, kept ? "Directory %s will not be deleted\n" : "Directory %s not deleted: it is not empty\n",
             shownPath(folder));
    return kept ? outcome : LeftBehind;
}

// Removes a folder, then forgets the entries of it that were left for the restart.
static RemovalOutcome removeFolderAt(const char* folder, DWORD attributes, FILE* log) {
    const int first = leftCount;
    const RemovalOutcome outcome = emptyAndRemove(folder, attributes, log);
    leftCount = first;
    return outcome;
}

RemovalOutcome removeFolder(const char* folder, FILE* log) { return removeFolderAt(folder, 0, log); }
