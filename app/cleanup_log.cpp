// The cleanup log: one line per action, in PelvaneCleanup.log in the user's temporary folder.
#include "app/cleanup_log.h"

#include <stdarg.h>
#include <string.h>

#include "app/join_path.h"
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

FILE* createExclusively(const char* path) {
    // On the NT family a link at the name would otherwise be followed, and the file it points to made.
    const DWORD asItself = isNtFamily() ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | asItself, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : streamOfFile(file);
}

FILE* openLog(char* logPath) {
    char tempFolder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, tempFolder);
    if (length == 0 || length >= MAX_PATH || !joinPath(logPath, tempFolder, "PelvaneCleanup.log")) {
        logPath[0] = '\0';
        return nullptr;
    }
    // The temporary folder is held open while the log is made (NT family): open without sharing its deletion, it
    // cannot be renamed or replaced, nor can a folder above it; once made, the open log keeps it so. Others can
    // write in it: what has the log's name is deleted, which takes that name alone (another name of a file
    // elsewhere, a link), and the log is made only where nothing is.
    FILE* log = nullptr;
    const HANDLE held = isNtFamily() ? CreateFileA(tempFolder, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                                     : nullptr;
    if (held != INVALID_HANDLE_VALUE && (DeleteFileA(logPath) || GetLastError() == ERROR_FILE_NOT_FOUND))
        log = createExclusively(logPath);
    if (held && held != INVALID_HANDLE_VALUE) CloseHandle(held);
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
