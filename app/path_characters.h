// Looks at paths character by character: in a double-byte code page the second byte of a character can be 0x5C.
#pragma once

// The last character of text; text itself when it is empty.
const char* lastCharacter(const char* text);

// Where the path's first name begins, after "X:\" or "\\server\share\"; null when there is no such name.
const char* firstName(const char* path);

// The first character of text that is one of the single-byte characters of set; null when there is none.
const char* findCharacter(const char* text, const char* set);
