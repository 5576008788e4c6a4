// Looks at paths character by character: in a double-byte code page the second byte of a character can be 0x5C.
#include "app/path_characters.h"

#include <string.h>

#include "platform/platform.h"

const char* lastCharacter(const char* text) { return CharPrevA(text, text + strlen(text)); }

const char* firstName(const char* path) {
    if (path[0] && path[1] == ':' && path[2] == '\\') return path[3] ? path + 3 : nullptr;
    if (strncmp(path, "\\\\", 2) != 0) return nullptr;
    const char* share = findCharacter(path + 2, "\\");
    const char* below = share ? findCharacter(share + 1, "\\") : nullptr;
    return below && below[1] ? below + 1 : nullptr;
}

const char* findCharacter(const char* text, const char* set) {
    for (const char* at = text; *at; at = CharNextA(at))
        if (strchr(set, *at)) return at;
    return nullptr;
}
