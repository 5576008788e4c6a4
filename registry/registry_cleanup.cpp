// Deletes the product's registry keys and values, one log line for each entry of the table.
#include "registry/registry_cleanup.h"

#include <string.h>

#include "app/cleanup_log.h"
#include "app/path_characters.h"

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

// Whether a status says that the key or value is not there (a missing key, or a missing key on its path).
static bool isAbsent(LSTATUS status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND; }

// The option that opens a registry link itself rather than its target. Only the NT family has links; the
// 95/98/Me family refuses any option.
static DWORD openLinkOption() { return isNtFamily() ? REG_OPTION_OPEN_LINK : 0; }

// Whether a key opened as itself is, or cannot be told from, a registry link: its SymbolicLinkValue is a REG_LINK.
static bool mayBeLink(HKEY key) {
    DWORD type = REG_LINK;
    return !isAbsent(RegQueryValueExA(key, "SymbolicLinkValue", nullptr, &type, nullptr, nullptr)) && type == REG_LINK;
}

// The root of a key text whose every name is one a key can have (not empty, at most 255 characters); null for any
// other text, which names no key, so that a root itself is never opened.
static HKEY rootOfKeyText(const char* keyText) {
    const HKEY root = rootKeyFromPrefix(keyText);
    for (const char* name = keyText + 5; root;) {
        const char* end = findCharacter(name, "\\");
        const size_t length = end ? static_cast<size_t>(end - name) : strlen(name);
        if (length == 0 || length > 255) return nullptr;
        if (!end) return root;
        name = end + 1;
    }
    return nullptr;
}

// Opens the key above the last name of subKey, one name at a time from root, and points lastName at that name. The
// machine's hive is changed only by administrators, and its own links (CurrentControlSet) are followed on the way;
// in the hives a user can write (HKCU, and HKCR, which shows the user's classes too) a link on the way would lead
// out of them, so none is followed: it stops the walk as ERROR_ACCESS_DENIED. On success the caller closes parent
// unless it is the root.
static LSTATUS openParent(HKEY root, const char* subKey, DWORD openLink, HKEY* parent, const char** lastName) {
    const DWORD option = root == HKEY_LOCAL_MACHINE ? 0 : openLink;
    *parent = root;
    for (const char* name = subKey;;) {
        const char* end = findCharacter(name, "\\");
        if (!end) {
            *lastName = name;
            return ERROR_SUCCESS;
        }
        char part[256];
        memcpy(part, name, static_cast<size_t>(end - name));
        part[end - name] = '\0';
        HKEY next = nullptr;
        LSTATUS status = RegOpenKeyExA(*parent, part, option, KEY_QUERY_VALUE, &next);
        if (status == ERROR_SUCCESS && option && mayBeLink(next)) {
            RegCloseKey(next);
            status = ERROR_ACCESS_DENIED;
        }
        if (*parent != root) RegCloseKey(*parent);
        *parent = status == ERROR_SUCCESS ? next : root;
        if (status != ERROR_SUCCESS) return status;
        name = end + 1;
    }
}

// The system's deletion of a key through its own handle (ntdll's NtDeleteKey), which deletes the very key that was
// opened, a link as a link.
typedef LONG(WINAPI* DeleteKeyByHandle)(HKEY key);

// What the deletion of one table key shares as it walks the tree.
struct TreeWalk {
    DWORD openLink;
    DeleteKeyByHandle deleteKey;  // looked up when first needed (the 95/98/Me family deletes by name instead)
    long listingsLeft;            // bounds a key that keeps getting new subkeys
};

const int maxTreeDepth = 64;
const long maxListings = 10000;

// Deletes the key name below parent with every key below it, depth first. Each key is opened as itself, never
// through a link at its name: a link so opened lists no subkeys (it can hold none of its own), so it is deleted as
// it is, its target never opened or listed. A listed name holds no backslash (a name the code page turned into one
// would be read as a path), so it can lead only to a key right below, or nowhere; a subkey that cannot be deleted
// is passed over, and the key's own deletion then fails. Returns the open's status when the key cannot be opened,
// else whether the key was deleted.
static LSTATUS deleteTree(HKEY parent, const char* name, TreeWalk* walk, int depth) {
    HKEY key;
    const REGSAM access = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;
    const LSTATUS status = RegOpenKeyExA(parent, name, walk->openLink, access, &key);
    if (status != ERROR_SUCCESS) return status;
    if (depth < maxTreeDepth) {
        char child[512];  // a name of 255 characters, each of up to two bytes in a double-byte code page
        for (DWORD index = 0; walk->listingsLeft-- > 0;) {
            DWORD length = sizeof child;
            if (RegEnumKeyExA(key, index, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            if (findCharacter(child, "\\") || deleteTree(key, child, walk, depth + 1) != ERROR_SUCCESS) ++index;
        }
    }
    if (walk->openLink && !walk->deleteKey) {
        // Only ntdll deletes a key through its handle; without it a key is kept rather than deleted by its name,
        // which would follow a link there.
        const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        const FARPROC found = ntdll ? GetProcAddress(ntdll, "NtDeleteKey") : nullptr;
        walk->deleteKey = reinterpret_cast<DeleteKeyByHandle>(reinterpret_cast<void (*)()>(found));
    }
    const bool deleted = walk->openLink ? walk->deleteKey && walk->deleteKey(key) == 0
                                        : RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
    RegCloseKey(key);
    return deleted ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

bool deleteRegistryValue(const char* keyText, const char* valueName, FILE* log) {
    const DWORD openLink = openLinkOption();
    const HKEY root = rootOfKeyText(keyText);
    HKEY parent, key;
    const char* lastName;
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    if (root) status = openParent(root, keyText + 5, openLink, &parent, &lastName);
    if (status == ERROR_SUCCESS) {
        // The key that holds the value is opened as itself: a link there is not the key to change.
        status = RegOpenKeyExA(parent, lastName, openLink, KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
        if (parent != root) RegCloseKey(parent);
        if (status == ERROR_SUCCESS && openLink && mayBeLink(key)) {
            RegCloseKey(key);
            status = ERROR_ACCESS_DENIED;
        }
    }
    const bool deletable = status == ERROR_SUCCESS;
    // A key that cannot be opened for deletion is opened by its whole name for reading, as any program reading it
    // sees it (through a link too), only to learn whether the value is there.
    if (!deletable && !isAbsent(status)) status = RegOpenKeyExA(root, keyText + 5, 0, KEY_QUERY_VALUE, &key);
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
    TreeWalk walk = {openLinkOption(), nullptr, maxListings};
    const HKEY root = rootOfKeyText(keyText);
    HKEY parent, key;
    // Looked for first by its whole name, read only, its last name not followed: whatever the way, a key text that
    // leads to no key names nothing there.
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    if (root) status = RegOpenKeyExA(root, keyText + 5, walk.openLink, KEY_QUERY_VALUE, &key);
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    const char* lastName;
    if (!isAbsent(status)) status = openParent(root, keyText + 5, walk.openLink, &parent, &lastName);
    if (status == ERROR_SUCCESS) {
        status = deleteTree(parent, lastName, &walk, 0);
        if (parent != root) RegCloseKey(parent);
    }
    if (isAbsent(status)) {
        writeLog(log, "Registry key %s not found\n", keyText);
        return true;
    }
    if (status == ERROR_SUCCESS) {
        writeLog(log, "Registry key %s deleted (with all subkeys)\n", keyText);
        return true;
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
