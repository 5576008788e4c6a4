// The cleanup log: one line per action, in PelvaneCleanup.log in the user's temporary folder.
#include "app/cleanup_log.h"

#include <stdarg.h>
#include <string.h>

#include "app/join_path.h"
#include "app/path_characters.h"
#include "platform/platform.h"

void formatLogTime(const struct tm* time, char* text) {
    static const char days[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char months[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int day = time->tm_wday >= 0 && time->tm_wday < 7 ? time->tm_wday : 0;
    const int month = time->tm_mon >= 0 && time->tm_mon < 12 ? time->tm_mon : 0;
    const auto twoDigits = [](int value) { return static_cast<unsigned>(value) % 100u; };
    wsprintfA(text, "%s %s %02u %02u:%02u:%02u %04u\n", days[day], months[month], twoDigits(time->tm_mday),
              twoDigits(time->tm_hour), twoDigits(time->tm_min), twoDigits(time->tm_sec),
              static_cast<unsigned>(time->tm_year + 1900) % 10000u);
}

// Whether every folder of path below its root is a folder and no link: a link or junction there could send the log
// into any folder.
static bool hasPlainFolders(const char* path) {
    char head[MAX_PATH];
    const char* name = firstName(path);
    for (const char* at = name ? findCharacter(name, "\\") : nullptr; at; at = findCharacter(at + 1, "\\")) {
        memcpy(head, path, static_cast<size_t>(at - path));
        head[at - path] = '\0';
        const DWORD attributes = GetFileAttributesA(head);
        if (attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != FILE_ATTRIBUTE_DIRECTORY)
            return false;
    }
    return true;
}

// Makes the log anew at path, never writing through what is already there: others can write in the temporary
// folder, and a second name of another file or a link planted at the log's name would make the log overwrite that
// file. What has the name is deleted, which takes that name alone, and the log is made only where nothing is.
static FILE* createLog(const char* path) {
    if (!hasPlainFolders(path)) return nullptr;
    if (!DeleteFileA(path) && GetLastError() != ERROR_FILE_NOT_FOUND) return nullptr;
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : streamOfFile(file);
}

FILE* openLog(char* logPath) {
    char tempFolder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, tempFolder);
    if (length == 0 || length >= MAX_PATH || !joinPath(logPath, tempFolder, "PelvaneCleanup.log")) {
        logPath[0] = '\0';
        return nullptr;
    }
    FILE* log = createLog(logPath);
    struct tm now;
    currentLocalTime(&now);
    char timeText[26];
    formatLogTime(&now, timeText);
    writeLog(log, "Pelvane Cleanup: %s========================================\n\n", timeText);
    return log;
}

bool closeLog(FILE* log) {
    if (!log) return false;
    const bool written = !ferror(log);
    return fclose(log) == 0 && written;
}

void writeLog(FILE* log, const char* format, ...) {
    if (!log) return;
    va_list args;
    va_start(args, format);
    vfprintf(log, format, args);
    va_end(args);
}
