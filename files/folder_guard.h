// The folders the program never removes, and the check that a chosen path leads to the file the user chose.
#pragma once

// Whether folder is the root of a drive or share, or one of the system's own folders or a folder above one.
bool isRefusedFolder(const char* folder);

// Whether every name of path, from its root to the chosen file, leads to one entry and that entry alone: a name
// that the code page could not hold comes back as "?" or as another name, and then leads elsewhere or nowhere.
bool leadsToChosenFile(const char* path);
