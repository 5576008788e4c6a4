// Looks at paths character by character: in a double-byte code page the second byte of a character can be 0x5C.
#include "app/path_characters.h"

#include <string.h>

#include "platform/platform.h"

const char* lastCharacter(const char* text) { return CharPrevA(text, text + strlen(text)); }

const char* findCharacter(const char* text, const char* set) {
    for (const char* at = text; *at; at = CharNextA(at))
        if (strchr(set, *at)) return at;
    return nullptr;
}
