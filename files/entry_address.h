// The path that leads to exactly the entry a listing showed, if there is one: the removal never acts through another.
#pragma once

#include "platform/platform.h"

// Reached: path leads to the listed entry. TooLong: its own path would not fit, and no shorter one is taken for it.
// NoPath: no path leads to it now; whether it went, or is there but cannot be reached, the folder's next listing tells.
enum Address { Reached, TooLong, NoPath };

// Finds the path of a listed entry of folder: its name as listed, the same taken literally ("\\?\", NT family), or
// its short name; each is looked up again and must lead to an entry of the kind listed, whose attributes as they are
// now go to attributes. A name the code page turned into "." or ".." is reached by its short name alone.
Address addressOf(const char* folder, const WIN32_FIND_DATAA& listed, char* path, DWORD* attributes);

// Whether a listed "." or ".." is the folder's own: a name the code page turned into one has a short name.
bool isOwnDotEntry(const WIN32_FIND_DATAA& listed);

// A path as the log shows it: without the "\\?\" that makes the NT family take it literally.
const char* shownPath(const char* path);

// Whether name can be joined into a path as it stands: no separator, drive colon, wildcard, quote, angle bracket,
// bar or control character; and, unless the path is taken literally, no trailing dot or space and no device name,
// which every other path call strips or turns into the device.
bool isPlainName(const char* name, bool literal);

// Whether two records of listings describe one and the same entry: the same names and attributes. Times are never
// compared: Wine reports a folder's creation time as the time it last changed.
bool isSameEntry(const WIN32_FIND_DATAA& one, const WIN32_FIND_DATAA& other);

// Looks path up (a path without wildcards); true, with what the listing says of it, when it exists.
bool lookUp(const char* path, WIN32_FIND_DATAA* found);
