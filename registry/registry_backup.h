// The registry file every deleted entry is saved to first, in the form regedit imports on both families (REGEDIT4).
#pragma once

#include <stdio.h>

#include "platform/platform.h"

// What one run saves: the file beside the log, made when the first entry is saved.
struct RegistryBackup {
    const char* logPath;  // the run's log, whose folder and name the file takes; "" when there is none
    FILE* file;
    bool tried;    // making the file was tried: file is null when it could not be made
    bool deleted;  // something of the table was deleted
    char path[MAX_PATH + 16];
};

// A key's name as the chain of names from its root: the first link holds the root's full name.
struct KeyName {
    const KeyName* above;
    const char* name;
};

// Saves a key as the walk enters it, before anything below it goes: its name and every value, or with value that one
// value only, on the disk when it returns. A comment names it instead when it is a link (or cannot be told from one)
// or its name cannot be written safely, and names what of it cannot be read.
void saveKey(RegistryBackup* backup, HKEY key, const KeyName* name, bool isLink, const char* value = nullptr);

// Closes the file and logs where the deleted entries were saved, or that they could not be. A run that deleted
// nothing keeps no file and logs nothing.
void finishBackup(RegistryBackup* backup, FILE* log);
