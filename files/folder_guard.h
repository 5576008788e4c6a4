// The folders the program never removes, and the check that a chosen path leads to the file the user chose.
#pragma once

// Whether folder is the root of a drive or share; and, when it was chosen by the user, the Windows or System folder
// or a folder below or above one, or another of the system's own folders or a folder above one. Folders are
// compared by their paths, long and short, and on the NT family also by what they are, whatever their path.
// A chosen folder that is not refused lies below a Program Files folder when that folder is on its path, by name or
// (NT family) by identity: *belowProgramFiles says so, and is left alone otherwise.
bool isRefusedFolder(const char* folder, bool chosen, bool* belowProgramFiles);

// Whether every name of path, from its root to the chosen file, leads to one entry and that entry alone: a name
// that the code page could not hold comes back as "?" or as another name, and then leads elsewhere or nowhere.
bool leadsToChosenFile(const char* path);
