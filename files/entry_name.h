// Which names may go into a path the removal acts on, and whether a path still leads to the entry that was listed.
#pragma once

#include "platform/platform.h"

// Whether name can be joined into a path as it stands: no separator, drive colon, wildcard, quote, angle bracket,
// bar or control character; and, unless the path is taken literally ("\\?\"), no trailing dot or space and no
// device name, which every other path call strips or turns into the device.
bool isPlainName(const char* name, bool literal);

// Whether two records of listings describe one and the same entry: the same names, attributes, times and size.
bool isSameEntry(const WIN32_FIND_DATAA& one, const WIN32_FIND_DATAA& other);

// Whether a path names the very entry that a listing described; found receives what it names.
bool leadsToEntry(const char* path, const WIN32_FIND_DATAA& listed, WIN32_FIND_DATAA* found);

// Looks path up (a path without wildcards); true, with what the listing says of it, when it exists.
bool lookUp(const char* path, WIN32_FIND_DATAA* found);
