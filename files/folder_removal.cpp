// Removes the product's folder depth first, leaving for the next restart what cannot go at once.
#include "files/folder_removal.h"

#include <string.h>

#include "app/cleanup_log.h"
#include "app/join_path.h"
#include "app/prompt.h"
#include "files/application_folder.h"
#include "files/restart_deletion.h"
#include "platform/platform.h"

bool deletePath(const char* path) {
    if (GetFileAttributesA(path) & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryA(path) != 0;
    return DeleteFileA(path) != 0;
}

// The outcome that follows from two, by precedence: Retained over RebootRequired over AllRemoved.
static RemovalOutcome raise(RemovalOutcome outcome, RemovalOutcome by) { return by > outcome ? by : outcome; }

// Registers path for deletion at restart and logs which way it went; kind is "File" or "Directory".
static void leaveForRestart(const char* kind, const char* path, FILE* log) {
    if (scheduleDeleteAtRestart(path))
        writeLog(log, "%s %s will be deleted on the next reboot\n", kind, path);
    else
        writeLog(log, "%s %s could not be deleted\n", kind, path);
}

// Deletes one entry of a folder, or leaves it for the restart; a link to a folder is removed, never followed.
static RemovalOutcome removeEntry(const char* entryPath, DWORD attributes, FILE* log) {
    const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (confirmEachDeletion) {
        char question[MAX_PATH + 32];
        wsprintfA(question, "Delete %s %s?", directory ? "directory" : "file", entryPath);
        if (!askUser(question, askYesNo)) return Retained;
    }
    // A link's attributes are left alone: writing them can reach the folder it points to (Wine does so).
    if (attributes != INVALID_FILE_ATTRIBUTES && !link)
        SetFileAttributesA(entryPath, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                                          FILE_ATTRIBUTE_SYSTEM));
    if (directory && !link) return removeFolder(entryPath, log);
    const char* kind = directory ? "Directory" : "File";
    if (deletePath(entryPath)) {
        writeLog(log, "%s %s deleted\n", kind, entryPath);
        return AllRemoved;
    }
    leaveForRestart(kind, entryPath, log);
    return RebootRequired;
}

RemovalOutcome removeFolder(const char* folder, FILE* log) {
    const size_t length = strlen(folder);
    if (length == 0 || folder[length - 1] == '.') return AllRemoved;
    char pattern[MAX_PATH];
    if (!joinPath(pattern, folder, "*.*")) {
        writeLog(log, "Directory %s not deleted: path too long\n", folder);
        return Retained;
    }
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return AllRemoved;
    RemovalOutcome outcome = AllRemoved;
    do {
        if (found.cFileName[0] == '.') continue;
        char entryPath[MAX_PATH];
        if (!joinPath(entryPath, folder, found.cFileName)) {
            writeLog(log, "Entry %s\\%s not deleted: path too long\n", folder, found.cFileName);
            outcome = Retained;
            continue;
        }
        outcome = raise(outcome, removeEntry(entryPath, GetFileAttributesA(entryPath), log));
    } while (FindNextFileA(search, &found));
    FindClose(search);
    switch (outcome) {
        case AllRemoved:
            if (deletePath(folder))
                writeLog(log, "Directory %s deleted\n", folder);
            else
                leaveForRestart("Directory", folder, log);
            break;
        case RebootRequired:
            leaveForRestart("Directory", folder, log);
            break;
        case Retained:
            writeLog(log, "Directory %s will not be deleted\n", folder);
            break;
    }
    return outcome;
}
