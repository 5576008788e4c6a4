// The fixed table of the product's registry keys and values, and their deletion.
#pragma once

#include <stdio.h>

#include "platform/platform.h"

// Key texts "HKCR\...", "HKCU\..." or "HKLM\...", a value entry as key, tab, value name; ends with a null entry.
extern const char* const registryCleanupTable[];

// Deletes every entry of the table in order, one log line each.
void runRegistryCleanup(FILE* log);

// The root named by the first five characters of text, or null for any other prefix.
HKEY rootKeyFromPrefix(const char* text);

// Deletes one value of a key; true only when it was deleted.
bool deleteRegistryValue(const char* keyText, const char* valueName, FILE* log);

// Deletes a key with everything below it; true only when it was deleted.
bool deleteRegistryTree(const char* keyText, FILE* log);
