// Leaves for the next restart what cannot be deleted now, so that the restart deletes that very entry.
#pragma once

// How an entry was left for the restart: moved aside and registered there, or registered where it is; or not at all,
// since its path could be changed before the restart, or since the system refused.
enum RestartWay { MovedAside, RegisteredInPlace, Unsafe, Refused };

// Leaves path, a file or folder that cannot be deleted now, for the restart. The restart deletes by path, as the
// system, before anyone logs on; until then whoever may rename or replace a folder on the path can make it lead
// elsewhere. So on the NT family a movable file is first moved, by a rename on its drive, into a folder made for this
// run at the root of that drive that only administrators and the system may change, and registered there (movedTo
// gets its new path, MAX_PATH bytes). What is not moved is registered where it is only when inPlaceIsSafe: no
// folder on its path can be changed by others. 95/98/Me have no other users: there everything is registered where
// it is.
RestartWay leaveForRestart(const char* path, bool movable, bool inPlaceIsSafe, char* movedTo);

// Registers the folder things were moved aside into, after all of them, so that the restart deletes it last; fills
// folder (MAX_PATH bytes) and returns true when this run made one, whether or not the system took it.
bool finishSetAside(char* folder, bool* registered);
