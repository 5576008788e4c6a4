// One folder's entries as the walk has taken them, by listed and short name, judged against each new listing.
#pragma once

#include <stddef.h>

#include "platform/platform.h"

// What came of an entry, as its folder sees it: gone from it; waiting in it for the restart or for the program that
// holds it; kept by the user; left for good; or not yet reached by any path, which the next listing settles.
enum Fate : unsigned char { Gone, Waits, Declined, Left, Unreached };

// An entry of the record: its fate, whether the listing being read shows it, whether it is a folder, then its listed
// and short names, each with its terminating zero.
struct Seen {
    Fate fate;
    bool shown, folder;
    char names[1];
};

// The entries one after another; it grows with the folder.
struct FolderRecord {
    char* bytes;
    size_t used, room;
};

inline Seen* seenAt(const FolderRecord& record, size_t at) { return reinterpret_cast<Seen*>(record.bytes + at); }

// Where the entry after the one at `at` begins.
size_t after(const FolderRecord& record, size_t at);

// Adds a listed entry, shown by this listing and not yet reached, and gives its place; false when no room could be
// had (the entry is then neither remembered nor taken, and its folder stays, not empty).
bool remember(FolderRecord* record, const WIN32_FIND_DATAA& listed, size_t* at);

// Where the first `known` bytes of the record hold the listed entry, looked for first at `from`, right after the last
// one found (listings keep their order); record.used when they hold none.
size_t find(const FolderRecord& record, size_t known, size_t from, const WIN32_FIND_DATAA& listed);

// Whether another entry is listed under the same name as the one at `of`, letter case aside: the code page turned
// one of them into the other's name, and a path by that name may have led to either.
bool hasNamesake(const FolderRecord& record, size_t of);
