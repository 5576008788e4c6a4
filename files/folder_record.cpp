// One folder's entries as the walk has taken them, by listed and short name, judged against each new listing.
#include "files/folder_record.h"

#include <stdlib.h>
#include <string.h>

static const char* aliasOf(const Seen* seen) { return seen->names + strlen(seen->names) + 1; }

size_t after(const FolderRecord& record, size_t at) {
    const Seen* seen = seenAt(record, at);
    return static_cast<size_t>(aliasOf(seen) - record.bytes) + strlen(aliasOf(seen)) + 1;
}

bool remember(FolderRecord* record, const WIN32_FIND_DATAA& listed, size_t* at) {
    const size_t name = strlen(listed.cFileName) + 1, alias = strlen(listed.cAlternateFileName) + 1;
    const size_t size = offsetof(Seen, names) + name + alias;
    if (!record->bytes || record->used + size > record->room) {
        char* grown = static_cast<char*>(realloc(record->bytes, 2 * (record->room + size)));
        if (!grown) return false;
        record->bytes = grown;
        record->room = 2 * (record->room + size);
    }
    *at = record->used;
    Seen* seen = seenAt(*record, *at);
    seen->fate = Unreached;
    seen->shown = true;
    seen->folder = (listed.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    memcpy(seen->names, listed.cFileName, name);
    memcpy(seen->names + name, listed.cAlternateFileName, alias);
    record->used += size;
    return true;
}

static bool holds(const FolderRecord& record, size_t at, const WIN32_FIND_DATAA& listed) {
    const Seen* seen = seenAt(record, at);
    return strcmp(seen->names, listed.cFileName) == 0 && strcmp(aliasOf(seen), listed.cAlternateFileName) == 0;
}

size_t find(const FolderRecord& record, size_t known, size_t from, const WIN32_FIND_DATAA& listed) {
    if (from < known && holds(record, from, listed)) return from;
    for (size_t at = 0; at < known; at = after(record, at))
        if (holds(record, at, listed)) return at;
    return record.used;
}

bool hasNamesake(const FolderRecord& record, size_t of) {
    for (size_t at = 0; at < record.used; at = after(record, at))
        if (at != of && lstrcmpiA(seenAt(record, at)->names, seenAt(record, of)->names) == 0) return true;
    return false;
}
