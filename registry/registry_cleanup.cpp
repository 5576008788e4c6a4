// Deletes the product's registry keys and values, one log line for each entry of the table.
#include "registry/registry_cleanup.h"

#include <string.h>

#include "app/cleanup_log.h"

// Whether the first five characters of text are prefix, letter case aside.
static bool hasPrefix(const char* text, const char* prefix) {
    for (int i = 0; i < 5; ++i) {
        const char a = text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
        if (a != prefix[i]) return false;
    }
    return true;
}

HKEY rootKeyFromPrefix(const char* text) {
    if (strlen(text) < 5) return nullptr;
    if (hasPrefix(text, "HKCR\\")) return HKEY_CLASSES_ROOT;
    if (hasPrefix(text, "HKCU\\")) return HKEY_CURRENT_USER;
    if (hasPrefix(text, "HKLM\\")) return HKEY_LOCAL_MACHINE;
    return nullptr;
}

// Opens the key named by keyText. A text that names no subkey below its root (nothing, or a backslash, after the
// prefix) is never opened and counts as absent, so that a root itself can never be deleted.
static LSTATUS openKey(const char* keyText, REGSAM access, HKEY* root, HKEY* key) {
    *root = rootKeyFromPrefix(keyText);
    if (!*root || keyText[5] == '\0' || keyText[5] == '\\') return ERROR_FILE_NOT_FOUND;
    return RegOpenKeyExA(*root, keyText + 5, 0, access, key);
}

// Whether a status says that the key or value is not there (a missing key, or a missing key on its path).
static bool isAbsent(LSTATUS status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND; }

bool deleteRegistryValue(const char* keyText, const char* valueName, FILE* log) {
    HKEY root, key;
    LSTATUS status = openKey(keyText, KEY_ALL_ACCESS, &root, &key);
    const bool deletable = status == ERROR_SUCCESS;
    // A key that cannot be opened for deletion is opened for reading, only to learn whether the value is there.
    if (!deletable && !isAbsent(status)) status = openKey(keyText, KEY_QUERY_VALUE, &root, &key);
    if (isAbsent(status)) {
        writeLog(log, "Registry key %s not found\n", keyText);
        return true;
    }
    // Kept unless found absent or deleted; a key that cannot even be read may hold the value, so it counts as kept.
    const char* line = "Registry value %s could not be deleted from key %s\n";
    bool gone = false;
    if (status == ERROR_SUCCESS) {
        gone = true;
        if (isAbsent(RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, nullptr)))
            line = "Registry value %s not found in key %s\n";
        else if (deletable && RegDeleteValueA(key, valueName) == ERROR_SUCCESS)
            line = "Registry value %s deleted from key %s\n";
        else
            gone = false;
        RegCloseKey(key);
    }
    writeLog(log, line, valueName, keyText);
    return gone;
}

bool deleteRegistryTree(const char* keyText, FILE* log) {
    HKEY root, key;
    const LSTATUS status = openKey(keyText, KEY_ALL_ACCESS, &root, &key);
    if (isAbsent(status)) {
        writeLog(log, "Registry key %s not found\n", keyText);
        return true;
    }
    if (status == ERROR_SUCCESS) {
        RegCloseKey(key);
        if (SHDeleteKeyA(root, keyText + 5) == ERROR_SUCCESS) {
            writeLog(log, "Registry key %s deleted (with all subkeys)\n", keyText);
            return true;
        }
    }
    writeLog(log, "Registry key %s could not be deleted\n", keyText);
    return false;
}

bool runRegistryCleanup(FILE* log) {
    bool allGone = true;
    for (const char* const* entry = registryCleanupTable; *entry; ++entry) {
        const char* tab = strchr(*entry, '\t');
        if (!tab) {
            allGone = deleteRegistryTree(*entry, log) && allGone;
            continue;
        }
        char keyText[512];
        const size_t keyLength = static_cast<size_t>(tab - *entry);
        if (keyLength >= sizeof keyText) continue;
        memcpy(keyText, *entry, keyLength);
        keyText[keyLength] = '\0';
        allGone = deleteRegistryValue(keyText, tab + 1, log) && allGone;
    }
    return allGone;
}
