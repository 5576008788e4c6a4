// The cleanup log: one line per action, in PelvaneCleanup.log in the user's temporary folder.
#pragma once

#include <stdio.h>
#include <time.h>

// Fills logPath (MAX_PATH bytes), makes the log anew there and writes its header. Null when the platform names no
// temporary folder or the file cannot be made; the run then goes on unlogged.
FILE* openLog(char* logPath);

// Closes the log; true when there was one and everything written reached it.
bool closeLog(FILE* log);

// Makes a new file at path and opens it as a text stream, never writing through anything at its name (a file,
// another name of one, a link, which is not followed); null when something is there or it cannot be made.
FILE* createExclusively(const char* path);

// Writes one printf-style entry to the log; nothing when there is none.
void writeLog(FILE* log, const char* format, ...) __attribute__((format(printf, 2, 3)));

// "Www Mmm DD hh:mm:ss YYYY\n" into text (at least 26 bytes).
void formatLogTime(const struct tm* time, char* text);
