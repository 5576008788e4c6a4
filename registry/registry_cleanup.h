// The fixed table of the product's registry keys and values, and their deletion.
#pragma once

#include <stdio.h>

#include "platform/platform.h"
#include "registry/registry_backup.h"

// Key texts "HKCR\...", "HKCU\..." or "HKLM\...", a value entry as key, tab, value name; ends with a null entry.
extern const char* const registryCleanupTable[];

// Deletes every entry of the table in order, one log line each, having saved it to a registry file beside the log
// (logPath; none when there is no log), and logs where. True when every entry is gone or was not there; false when
// at least one is still there because it could not be deleted.
bool runRegistryCleanup(FILE* log, const char* logPath);

// The root named by the first five characters of text, or null for any other prefix.
HKEY rootKeyFromPrefix(const char* text);

// Deletes one value of a key, saved to backup first (nothing is saved without one). True when it is gone: deleted
// now, or its key or the value was not there. False when it is still there, or may be: the key cannot be opened for
// deletion (or is a link, or is reached only through a link of the user's hive), or not even for reading, or
// deletion failed.
bool deleteRegistryValue(const char* keyText, const char* valueName, FILE* log, RegistryBackup* backup = nullptr);

// Deletes a key with everything below it, a link below it or at it as a link, each key saved to backup as the walk
// enters it (nothing is saved without one). True when it is gone: deleted now, or not there. False when it exists
// but cannot be opened for deletion, is reached only through a link of the user's hive, or it or a key below it
// could not be deleted.
bool deleteRegistryTree(const char* keyText, FILE* log, RegistryBackup* backup = nullptr);
