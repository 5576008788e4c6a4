// The process services on Windows: the C runtime's own streams, clock and exit.
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"

FILE* openLogStream(const char* path) { return fopen(path, "w"); }

void currentLocalTime(struct tm* out) {
    const time_t now = time(nullptr);
    const struct tm* local = localtime(&now);
    if (local)
        *out = *local;
    else
        memset(out, 0, sizeof *out);
}

void endProcess(int exitCode) {
    _fcloseall();
    exit(exitCode);
}
