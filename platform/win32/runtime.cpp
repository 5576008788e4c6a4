// The process services on Windows: the C runtime's own streams, clock and exit.
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>

#include "platform/platform.h"

FILE* streamOfFile(HANDLE file) {
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_TEXT);
    if (descriptor == -1) {
        CloseHandle(file);
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, "w");
    if (!stream) _close(descriptor);
    return stream;
}

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
