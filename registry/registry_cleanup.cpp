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

// Opens the key named by keyText with full access. A text that names no subkey below its root (nothing, or a
// backslash, after the prefix) is never opened, so that a root itself can never be deleted.
static bool openWithFullAccess(const char* keyText, HKEY* root, HKEY* key) {
    *root = rootKeyFromPrefix(keyText);
    return *root && keyText[5] != '\0' && keyText[5] != '\\' && RegOpenKeyExA(*root, keyText + 5, 0, KEY_ALL_ACCESS, key) == ERROR_SUCCESS;
}

bool deleteRegistryValue(const char* keyText, const char* valueName, FILE* log) {
    HKEY root, key;
    if (!openWithFullAccess(keyText, &root, &key)) {
        writeLog(log, "Registry key %s not found\n", keyText);
        return false;
    }
    DWORD type;
    bool deleted = false;
    if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) {
        writeLog(log, "Registry value %s not found in key %s\n", valueName, keyText);
    } else if (RegDeleteValueA(key, valueName) == ERROR_SUCCESS) {
        writeLog(log, "Registry value %s deleted from key %s\n", valueName, keyText);
        deleted = true;
    } else {
        writeLog(log, "Registry value %s could not be deleted from key %s\n", valueName, keyText);
    }
    RegCloseKey(key);
    return deleted;
}

bool deleteRegistryTree(const char* keyText, FILE* log) {
    HKEY root, key;
    if (!openWithFullAccess(keyText, &root, &key)) {
        writeLog(log, "Registry key %s not found\n", keyText);
        return false;
    }
    RegCloseKey(key);
    if (SHDeleteKeyA(root, keyText + 5) != ERROR_SUCCESS) {
        writeLog(log, "Registry key %s could not be deleted\n", keyText);
        return false;
    }
    writeLog(log, "Registry key %s deleted (with all subkeys)\n", keyText);
    return true;
}

void runRegistryCleanup(FILE* log) {
    for (const char* const* entry = registryCleanupTable; *entry; ++entry) {
        const char* tab = strchr(*entry, '\t');
        if (!tab) {
            deleteRegistryTree(*entry, log);
            continue;
        }
        char keyText[512];
        const size_t keyLength = static_cast<size_t>(tab - *entry);
        if (keyLength >= sizeof keyText) continue;
        memcpy(keyText, *entry, keyLength);
        keyText[keyLength] = '\0';
        deleteRegistryValue(keyText, tab + 1, log);
    }
}
