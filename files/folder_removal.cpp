// Removes the product's folder depth first, leaving for the next restart what cannot go at once.
#include "files/folder_removal.h"

#include <stdlib.h>
#include <string.h>

#include "app/cleanup_log.h"
#include "app/join_path.h"
#include "app/prompt.h"
#include "files/application_folder.h"
#include "files/entry_address.h"
#include "files/folder_record.h"
#include "files/restart_waiting.h"
#include "platform/platform.h"

static const DWORD clearedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// A folder is listed at most this many times: again while it holds what a listing has not yet accounted for.
static const int listingsPerFolder = 4;

// An entry's fate and what it adds to the run's outcome (a file moved aside is gone, yet waits for the restart).
struct Taken {
    Fate fate;
    RemovalOutcome outcome;
};
static const Taken left = {Left, LeftBehind};

static RemovalOutcome raise(RemovalOutcome outcome, RemovalOutcome by) { return by > outcome ? by : outcome; }

static bool isGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

static const char* kindOf(const Seen* seen) { return seen->folder ? "Directory" : "File"; }

// Logs an entry of folder by its listed name, made printable (control characters as '?'); kind is "File",
// "Directory" or "Entry".
static void logListed(const char* line, const char* kind, const char* folder, const char* name, FILE* log) {
    char printable[MAX_PATH];
    size_t length = 0;
    for (; length < sizeof printable - 1 && name[length]; ++length)
        printable[length] = static_cast<unsigned char>(name[length]) < 0x20 ? '?' : name[length];
    printable[length] = '\0';
    writeLog(log, line, kind, shownPath(folder), printable);
}
static const char unreachable[] = "%s %s\\%s not deleted: it cannot be reached by its name\n";

// Leaves what cannot be deleted now for the restart, and logs which way it went; kind is "File" or "Directory".
// movable: a file whose deletion the system refused, as it does for a running program or a loaded library, which can
// still be renamed (one held open without sharing its deletion, refused as a sharing violation, cannot).
static Taken waitForRestart(const char* kind, const char* path, bool movable, FILE* log) {
    char aside[MAX_PATH];
    switch (leaveForRestart(path, movable, protectedPlace, aside)) {
        case MovedAside:
            writeLog(log, "%s %s moved to %s, to be deleted on the next reboot\n", kind, shownPath(path), aside);
            return {Gone, RebootRequired};
        case RegisteredInPlace:
            writeLog(log, "%s %s will be deleted on the next reboot\n", kind, shownPath(path));
            return {Waits, RebootRequired};
        case Unsafe:
            writeLog(log, "%s %s not deleted: it is in use, and its path could be changed before a restart\n", kind,
                     shownPath(path));
            return left;
        case Refused:
            break;
    }
    writeLog(log, "%s %s could not be deleted\n", kind, shownPath(path));
    return left;
}

// Logs the deletion of one file, link or folder, or leaves it for the restart when it did not go. What the system
// refuses as not empty stays: the restart removes only empty folders.
static Taken settle(const char* kind, const char* path, bool deleted, bool isFile, FILE* log) {
    const DWORD error = deleted ? 0 : GetLastError();
    if (deleted || isGone(error)) {
        writeLog(log, deleted ? "%s %s deleted\n" : "%s %s was already gone\n", kind, shownPath(path));
        return {Gone, AllRemoved};
    }
    if (error != ERROR_DIR_NOT_EMPTY) return waitForRestart(kind, path, isFile && error == ERROR_ACCESS_DENIED, log);
    writeLog(log, "%s %s not deleted: it is not empty\n", kind, shownPath(path));
    return left;
}

// Logs a folder that could not be listed: gone already, or left with whatever it holds.
static Taken listingFailed(const char* folder, DWORD error, FILE* log) {
    writeLog(log, isGone(error) ? "Directory %s was already gone\n" : "Directory %s could not be listed\n",
             shownPath(folder));
    return isGone(error) ? Taken{Gone, AllRemoved} : left;
}

static Taken removeFolderAt(const char* folder, DWORD attributes, FILE* log);

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

// Takes one listed entry of a folder: deletes it, leaves it for the restart, or leaves it as the user or the system
// decides; a link is removed, never followed, its attributes untouched. retry: no path reached it when last listed.
static Taken takeEntry(const char* folder, const WIN32_FIND_DATAA& listed, bool retry, FILE* log) {
    char path[MAX_PATH];
    DWORD attributes;
    switch (addressOf(folder, listed, path, &attributes)) {
        case TooLong:
            logListed("%s %s\\%s not deleted: path too long\n", "Entry", folder, listed.cFileName, log);
            return left;
        case NoPath:
            if (!retry) return {Unreached, AllRemoved};
            logListed(unreachable, "Entry", folder, listed.cFileName, log);
            return left;
        case Reached:
            break;
    }
    const char* kind = attributes & FILE_ATTRIBUTE_DIRECTORY ? "Directory" : "File";
    if (confirmEachDeletion) {
        char question[MAX_PATH + 32];
        wsprintfA(question, "Delete %s %s?", attributes & FILE_ATTRIBUTE_DIRECTORY ? "directory" : "file",
                  shownPath(path));
        if (!askUser(question, askYesNo)) return {Declined, Retained};
        // Looked at again: while the question was open it may have gone, or been swapped for a link.
        attributes = GetFileAttributesA(path);
        if (attributes == INVALID_FILE_ATTRIBUTES && !isGone(GetLastError())) {
            logListed(unreachable, "Entry", folder, listed.cFileName, log);
            return left;
        }
        if (attributes == INVALID_FILE_ATTRIBUTES) return settle(kind, path, false, true, log);
        kind = attributes & FILE_ATTRIBUTE_DIRECTORY ? "Directory" : "File";
    }
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder && !link) return removeFolderAt(path, attributes, log);
    if (!link && (attributes & clearedAttributes)) {
        // A file with other names is deleted by this name alone; clearing its read-only bit would change them too,
        // and the restart could not delete it without that either.
        if (hasOtherNames(path)) {
            if (!(attributes & FILE_ATTRIBUTE_READONLY) && DeleteFileA(path)) return settle(kind, path, true, true, log);
            writeLog(log, "File %s could not be deleted\n", shownPath(path));
            return left;
        }
        SetFileAttributesA(path, attributes & ~clearedAttributes);
    }
    return settle(kind, path, isFolder ? RemoveDirectoryA(path) : DeleteFileA(path), !isFolder, log);
}

// Lists folder once, judging each entry against the record: one it has no fate for is taken, and so is one no path
// reached when last listed; one that went yet is listed still waits for the program that holds it open, which is
// said once (unless another entry bears its name: then that one may have gone instead, and this one is taken).
// Returns how many entries it took; or -1, with what came of the folder in failed, when the listing could not be
// made or finished.
static int listOnce(const char* folder, FolderRecord* record, RemovalOutcome* outcome, Taken* failed, FILE* log) {
    char pattern[MAX_PATH];
    WIN32_FIND_DATAA listed;
    if (!joinPath(pattern, folder, "*.*")) {
        writeLog(log, "Directory %s not deleted: path too long\n", shownPath(folder));
        *failed = left;
        return -1;
    }
    const HANDLE search = FindFirstFileA(pattern, &listed);
    if (search == INVALID_HANDLE_VALUE) {
        *failed = listingFailed(folder, GetLastError(), log);
        return -1;
    }
    for (size_t at = 0; at < record->used; at = after(*record, at)) seenAt(*record, at)->shown = false;
    const size_t known = record->used;  // what earlier listings took; what this one adds is new to it
    int taken = 0;
    size_t from = 0;
    do {
        if (isOwnDotEntry(listed)) continue;
        size_t at = find(*record, known, from, listed);
        const bool seenBefore = at < record->used;
        if (seenBefore) {
            Seen* seen = seenAt(*record, at);
            seen->shown = true;
            from = after(*record, at);
            if (seen->fate == Gone && !hasNamesake(*record, at)) {
                logListed("%s %s\\%s is held open by another program: it goes when that program lets go of it\n",
                          kindOf(seen), folder, listed.cFileName, log);
                seen->fate = Waits;
                *outcome = raise(*outcome, RebootRequired);
                continue;
            }
            if (seen->fate != Gone && seen->fate != Unreached) continue;
        } else if (!remember(record, listed, &at)) {
            continue;  // not taken: the folder stays, not empty
        }
        ++taken;
        const Taken result = takeEntry(folder, listed, seenBefore, log);
        seenAt(*record, at)->fate = result.fate;
        *outcome = raise(*outcome, result.outcome);
    } while (FindNextFileA(search, &listed));
    const bool finished = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    if (finished) return taken;
    *failed = listingFailed(folder, ERROR_ACCESS_DENIED, log);
    return -1;
}

// Settles the entries no path reached when last listed: those this listing no longer shows went meanwhile; after the
// last listing, those it shows are left. Returns the fates the record holds, one bit each.
static unsigned judge(const char* folder, const FolderRecord& record, bool last, FILE* log) {
    unsigned fates = 0;
    for (size_t at = 0; at < record.used; at = after(record, at)) {
        Seen* seen = seenAt(record, at);
        if (seen->fate == Unreached && (!seen->shown || last)) {
            logListed(seen->shown ? unreachable : "%s %s\\%s was already gone\n", seen->shown ? "Entry" : kindOf(seen),
                      folder, seen->names, log);
            seen->fate = seen->shown ? Left : Gone;
        }
        fates |= 1u << seen->fate;
    }
    return fates;
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

// What becomes of a folder whose listing showed nothing left to take: gone when it can be removed; waiting for the
// restart when all that stays in it waits too, as the restart removes only empty folders; else left, and why.
static Taken decide(const char* folder, unsigned fates, bool settled, bool last, bool* again, FILE* log) {
    *again = false;
    if (fates & (1u << Declined | 1u << Left)) {
        writeLog(log, (fates & 1u << Declined) ? "Directory %s will not be deleted\n" : "Directory %s not deleted: it is not empty\n",
                 shownPath(folder));
        return (fates & 1u << Declined) ? Taken{Declined, Retained} : left;
    }
    if (!(fates & 1u << Waits)) {
        const bool removed = RemoveDirectoryA(folder) != 0;
        *again = !removed && GetLastError() == ERROR_DIR_NOT_EMPTY && !settled && !last;
        return *again ? left : settle("Directory", folder, removed, false, log);
    }
    if (settled) return waitForRestart("Directory", folder, false, log);
    *again = !last;
    if (last) writeLog(log, "Directory %s not deleted: it is not empty\n", shownPath(folder));
    return left;
}

// Removes a folder's entries, then the folder; attributes are its own as listed, to be cleared once it is held. The
// folder is listed again while a listing took something or left it not accounted for: only what every listing
// has accounted for is vouched for.
static Taken removeFolderAt(const char* folder, DWORD attributes, FILE* log) {
    FolderRecord record = {nullptr, 0, 0};
    RemovalOutcome outcome = AllRemoved;
    Taken result = left;
    for (int listing = 1;; ++listing) {
        HANDLE held;
        const Hold hold = holdFolder(folder, &held);
        if (hold != Held) {
            result = hold == Swapped ? settle("Directory", folder, RemoveDirectoryA(folder) != 0, false, log)
                                     : listingFailed(folder, GetLastError(), log);
            break;
        }
        if (listing == 1 && (attributes & clearedAttributes)) SetFileAttributesA(folder, attributes & ~clearedAttributes);
        const int taken = listOnce(folder, &record, &outcome, &result, log);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        if (taken < 0) break;
        const bool last = listing == listingsPerFolder;
        const unsigned fates = judge(folder, record, last, log);
        if (fates & 1u << Unreached) continue;
        bool again;
        result = decide(folder, fates, listing > 1 && taken == 0, last, &again, log);
        if (!again) break;
    }
    free(record.bytes);
    result.outcome = raise(result.outcome, outcome);
    return result;
}

RemovalOutcome removeFolder(const char* folder, FILE* log) {
    const RemovalOutcome outcome = removeFolderAt(folder, 0, log).outcome;
    char aside[MAX_PATH];
    bool registered = false;
    if (finishSetAside(aside, &registered))
        writeLog(log, registered ? "Directory %s will be deleted on the next reboot\n" : "Directory %s could not be deleted\n",
                 aside);
    return outcome;
}
