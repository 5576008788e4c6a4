// Removes the product's folder depth first, leaving for the next restart what cannot go at once.
#include "files/folder_removal.h"

#include <string.h>

#include "app/cleanup_log.h"
#include "app/join_path.h"
#include "app/prompt.h"
#include "files/application_folder.h"
#include "files/entry_name.h"
#include "files/restart_deletion.h"
#include "platform/platform.h"

static const char literalPrefix[] = "\\\\?\\";
static const DWORD clearedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// A path as the log shows it: without the "\\?\" that makes the NT family take it literally.
static const char* shown(const char* path) { return strncmp(path, literalPrefix, 4) == 0 ? path + 4 : path; }

// The outcome that follows from two, by precedence: LeftBehind over Retained over RebootRequired over AllRemoved.
static RemovalOutcome raise(RemovalOutcome outcome, RemovalOutcome by) { return by > outcome ? by : outcome; }

static bool isGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Registers path for deletion at restart and logs which way it went; kind is "File" or "Directory".
static bool leaveForRestart(const char* kind, const char* path, FILE* log) {
    const bool registered = scheduleDeleteAtRestart(path);
    writeLog(log, registered ? "%s %s will be deleted on the next reboot\n" : "%s %s could not be deleted\n", kind,
             shown(path));
    return registered;
}

// Logs the deletion of one file or link, or leaves it for the restart when it did not go; unchanged is what a
// registration for the restart leaves the outcome at.
static RemovalOutcome settle(const char* kind, const char* path, bool deleted, RemovalOutcome unchanged, FILE* log) {
    if (!deleted && isGone(GetLastError())) {
        writeLog(log, "%s %s was already gone\n", kind, shown(path));
        return AllRemoved;
    }
    if (deleted) {
        writeLog(log, "%s %s deleted\n", kind, shown(path));
        return AllRemoved;
    }
    return leaveForRestart(kind, path, log) ? unchanged : LeftBehind;
}

// Logs an entry that is left where it is, its listed name made printable.
static RemovalOutcome leave(const char* folder, const char* name, const char* why, FILE* log) {
    char printable[MAX_PATH];
    size_t length = 0;
    for (; length < sizeof printable - 1 && name[length]; ++length)
        printable[length] = static_cast<unsigned char>(name[length]) < 0x20 ? '?' : name[length];
    printable[length] = '\0';
    writeLog(log, why, shown(folder), printable);
    return LeftBehind;
}

// Logs a folder that could not be listed: gone already, or left with whatever it holds.
static RemovalOutcome listingFailed(const char* folder, DWORD error, FILE* log) {
    writeLog(log, isGone(error) ? "Directory %s was already gone\n" : "Directory %s could not be listed\n", shown(folder));
    return isGone(error) ? AllRemoved : LeftBehind;
}

// Writes path into address with the "\\?\" prefix, for a drive path that fits.
static bool literalFolder(char* address, const char* folder) {
    const size_t length = strlen(folder);
    if (strncmp(folder, literalPrefix, 4) == 0 || length + 4 >= MAX_PATH || folder[1] != ':' || folder[2] != '\\')
        return false;
    memcpy(address + 4, folder, length + 1);
    for (int i = 0; i < 4; ++i) address[i] = literalPrefix[i];
    return true;
}

enum Address { Reached, TooLong, Unreachable };

// Finds a path that leads to exactly the listed entry: its name as listed, the same taken literally (NT family),
// or its short name. A name whose own path does not fit is never reached through a shorter one.
static Address addressOf(const char* folder, const WIN32_FIND_DATAA& listed, char* path, WIN32_FIND_DATAA* found) {
    const bool literal = strncmp(folder, literalPrefix, 4) == 0;
    char literalForm[MAX_PATH];
    if (isPlainName(listed.cFileName, true) && !joinPath(path, folder, listed.cFileName)) return TooLong;
    if (isPlainName(listed.cFileName, literal)) {
        if (leadsToEntry(path, listed, found)) return Reached;
    } else if (isPlainName(listed.cFileName, true) && isNtFamily() && literalFolder(literalForm, folder)) {
        if (!joinPath(path, literalForm, listed.cFileName)) return TooLong;
        if (leadsToEntry(path, listed, found)) return Reached;
    }
    return listed.cAlternateFileName[0] && isPlainName(listed.cAlternateFileName, false) &&
                   joinPath(path, folder, listed.cAlternateFileName) && leadsToEntry(path, listed, found)
               ? Reached
               : Unreachable;
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
    char path[MAX_PATH];
    WIN32_FIND_DATAA found;
    switch (addressOf(folder, listed, path, &found)) {
        case TooLong:
            return leave(folder, listed.cFileName, "Entry %s\\%s not deleted: path too long\n", log);
        case Unreachable:
            return leave(folder, listed.cFileName, "Entry %s\\%s not deleted: it cannot be reached by its name\n", log);
        case Reached:
            break;
    }
    const char* kind = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "Directory" : "File";
    if (confirmEachDeletion) {
        char question[MAX_PATH + 32];
        wsprintfA(question, "Delete %s %s?", found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "directory" : "file",
                  shown(path));
        if (!askUser(question, askYesNo)) return Retained;
        // Looked at again: while the question was open it may have gone, or been swapped for a link.
        if (!lookUp(path, &found)) {
            writeLog(log, "%s %s was already gone\n", kind, shown(path));
            return AllRemoved;
        }
        kind = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "Directory" : "File";
    }
    const DWORD attributes = found.dwFileAttributes;
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !link) return removeFolderAt(path, attributes, log);
    if (!link && (attributes & clearedAttributes)) {
        // A file with other names is deleted by this name alone; clearing its read-only bit would change them too,
        // and the restart could not delete it without that either.
        if (hasOtherNames(path)) {
            if (!(attributes & FILE_ATTRIBUTE_READONLY) && DeleteFileA(path)) return settle(kind, path, true, AllRemoved, log);
            writeLog(log, "File %s could not be deleted\n", shown(path));
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

// Removes a folder's entries, then the folder; attributes are its own as listed, to be cleared once it is held.
static RemovalOutcome removeFolderAt(const char* folder, DWORD attributes, FILE* log) {
    HANDLE held;
    switch (holdFolder(folder, &held)) {
        case Swapped:
            return settle("Directory", folder, RemoveDirectoryA(folder) != 0, RebootRequired, log);
        case Unopened:
            return listingFailed(folder, GetLastError(), log);
        case Held:
            break;
    }
    if (attributes & clearedAttributes) SetFileAttributesA(folder, attributes & ~clearedAttributes);
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA listed;
    HANDLE search = INVALID_HANDLE_VALUE;
    if (!joinPath(pattern, folder, "*.*"))
        writeLog(log, "Directory %s not deleted: path too long\n", shown(folder));
    else
        search = FindFirstFileA(pattern, &listed);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        return pattern[0] ? listingFailed(folder, error, log) : LeftBehind;
    }
    RemovalOutcome outcome = AllRemoved;
    do {
        if (strcmp(listed.cFileName, ".") != 0 && strcmp(listed.cFileName, "..") != 0)
            outcome = raise(outcome, removeEntry(folder, listed, log));
    } while (FindNextFileA(search, &listed));
    if (GetLastError() != ERROR_NO_MORE_FILES) outcome = listingFailed(folder, ERROR_ACCESS_DENIED, log);
    FindClose(search);
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    switch (outcome) {
        case AllRemoved:
            return settle("Directory", folder, RemoveDirectoryA(folder) != 0, RebootRequired, log);
        case RebootRequired:
            return leaveForRestart("Directory", folder, log) ? RebootRequired : LeftBehind;
        default:
            writeLog(log, "Directory %s will not be deleted\n", shown(folder));
            return outcome;
    }
}

RemovalOutcome removeFolder(const char* folder, FILE* log) { return removeFolderAt(folder, 0, log); }
