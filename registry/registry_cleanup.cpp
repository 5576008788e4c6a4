// Deletes the product's registry keys and values, one log line for each entry of the table.
#include "registry/registry_cleanup.h"

#include <string.h>

#include "app/cleanup_log.h"
#include "app/path_characters.h"

// Whether the first five characters of text are prefix, letter case aside; a shorter text ends at a mismatch.
static bool hasPrefix(const char* text, const char* prefix) {
    for (int i = 0; i < 5; ++i) {
        const char a = text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
        if (a != prefix[i]) return false;
    }
    return true;
}

// The roots a key text can name, in the order of their handles from HKEY_CLASSES_ROOT on: the text's prefix, and
// the root's full name as a registry file writes it.
static const char* const roots[3][2] = {
    {"HKCR\\", "HKEY_CLASSES_ROOT"}, {"HKCU\\", "HKEY_CURRENT_USER"}, {"HKLM\\", "HKEY_LOCAL_MACHINE"}};

static const char* rootName(HKEY root) { return roots[reinterpret_cast<ULONG_PTR>(root) & 3][1]; }

HKEY rootKeyFromPrefix(const char* text) {
    const ULONG_PTR first = reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT);
    for (ULONG_PTR i = 0; i < 3; ++i)
        if (hasPrefix(text, roots[i][0])) return reinterpret_cast<HKEY>(first + i);
    return nullptr;
}

// Whether a status says that the key or value is not there (a missing key, or a missing key on its path).
static bool isAbsent(LSTATUS status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND; }

// The program's own statuses beside the system's, which are never negative: a link on the way to a key (or at a key
// that holds a value entry), which is not gone through; and a key opened for deletion that could not be deleted.
const LSTATUS linkOnTheWay = -1, notDeleted = -2;

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

// The one place a key is opened as itself: path below from, one name at a time, each name opened as itself on the
// NT family (95/98/Me have no links and take no option), and isLink set when the key is, or cannot be told from, a
// link. On the way the machine's hive follows its own links (CurrentControlSet), which only administrators make; in
// the hives a user can write (HKCU, and HKCR, which shows the user's classes too) a link on the way would lead out
// of them, so none is gone through: linkOnTheWay. Names on the way are a table text's (at most 255 characters).
static LSTATUS openKey(HKEY from, const char* path, REGSAM access, HKEY* key, bool* isLink) {
    const DWORD asItself = isNtFamily() ? REG_OPTION_OPEN_LINK : 0;
    for (HKEY at = from;; at = *key) {
        const char* end = findCharacter(path, "\\");
        char name[256];
        DWORD option = asItself;
        if (end) {
            memcpy(name, path, static_cast<size_t>(end - path));
            name[end - path] = '\0';
            if (from == HKEY_LOCAL_MACHINE) option = 0;
        }
        const LSTATUS status = RegOpenKeyExA(at, end ? name : path, option, end ? KEY_QUERY_VALUE : access, key);
        if (at != from) RegCloseKey(at);
        if (status != ERROR_SUCCESS) return status;
        *isLink = option && mayBeLink(*key);
        if (!end) return ERROR_SUCCESS;
        if (*isLink) {
            RegCloseKey(*key);
            return linkOnTheWay;
        }
        path = end + 1;
    }
}

// The system's deletion of a key through its own handle (ntdll's NtDeleteKey), which deletes the very key that was
// opened, a link as a link.
typedef LONG(WINAPI* DeleteKeyByHandle)(HKEY key);

// What the deletion of one table key shares as it walks the tree.
struct TreeWalk {
    RegistryBackup* backup;
    // The NT family's ntdll (see isNtFamily), the only one to delete a key through its handle: without it there a key
    // is kept rather than deleted by its name, which would follow a link at it. 95/98/Me have none, and no links.
    HMODULE ntdll;
    DeleteKeyByHandle deleteKey;
    long listingsLeft;  // bounds a key that keeps getting new subkeys
};

const int maxTreeDepth = 64;
const long maxListings = 10000;

// Deletes the key name below parent with every key below it, depth first, each saved as the walk enters it, before
// anything below it goes. Each key is opened as itself, never through a link at its name: a link so opened lists no
// subkeys (it can hold none of its own), so it is deleted as it is, its target never opened, listed or saved. A
// listed name holds no backslash (a name the code page turned into one would be read as a path), so it can lead
// only to a key right below, or nowhere; a subkey that cannot be deleted is passed over, and the key's own deletion
// then fails. Returns the open's status when the key cannot be opened, else whether the key was deleted
// (notDeleted when not).
static LSTATUS deleteTree(HKEY parent, const KeyName* name, TreeWalk* walk, int depth) {
    HKEY key;
    bool isLink;
    const LSTATUS status =
        openKey(parent, name->name, DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &key, &isLink);
    if (status != ERROR_SUCCESS) return status;
    saveKey(walk->backup, key, name, isLink);
    if (depth < maxTreeDepth) {
        char child[512];  // a name of 255 characters, each of up to two bytes in a double-byte code page
        const KeyName below = {name, child};
        for (DWORD index = 0; walk->listingsLeft-- > 0;) {
            DWORD length = sizeof child;
            if (RegEnumKeyExA(key, index, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            if (findCharacter(child, "\\") || deleteTree(key, &below, walk, depth + 1) != ERROR_SUCCESS) ++index;
        }
    }
    const bool deleted = walk->ntdll ? walk->deleteKey && walk->deleteKey(key) == 0
                                     : RegDeleteKeyA(parent, name->name) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (deleted && walk->backup) walk->backup->deleted = true;
    return deleted ? ERROR_SUCCESS : notDeleted;
}

// An entry's key that could not be opened as itself for a change (a link on its way, or no right to) is opened by its
// whole name for reading only, as any program reading it sees it (through links too), only to learn whether the
// entry is there.
static LSTATUS lookUp(HKEY root, const char* keyText, HKEY* key) {
    return RegOpenKeyExA(root, keyText + 5, 0, KEY_QUERY_VALUE, key);
}

bool deleteRegistryValue(const char* keyText, const char* valueName, FILE* log, RegistryBackup* backup) {
    const HKEY root = rootOfKeyText(keyText);
    const KeyName top = {nullptr, rootName(root)}, entry = {&top, keyText + 5};
    HKEY key;
    bool isLink;
    // The key that holds the value is opened as itself: a link there is not the key to change.
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    if (root) status = openKey(root, keyText + 5, KEY_QUERY_VALUE | KEY_SET_VALUE, &key, &isLink);
    if (status == ERROR_SUCCESS && isLink) {
        RegCloseKey(key);
        status = linkOnTheWay;
    }
    const bool deletable = status == ERROR_SUCCESS;
    if (!deletable && !isAbsent(status)) status = lookUp(root, keyText, &key);
    if (isAbsent(status)) {
        writeLog(log, "Registry key %s not found\n", keyText);
        return true;
    }
    // Kept unless found absent or deleted; a key that cannot even be read may hold the value, so it counts as kept.
    const char* const kept = "Registry value %s could not be deleted from key %s\n";
    const char* line = kept;
    if (status == ERROR_SUCCESS) {
        if (isAbsent(RegQueryValueExA(key, valueName, nullptr, nullptr, nullptr, nullptr))) {
            line = "Registry value %s not found in key %s\n";
        } else if (deletable) {
            saveKey(backup, key, &entry, false, valueName);
            if (RegDeleteValueA(key, valueName) == ERROR_SUCCESS) {
                line = "Registry value %s deleted from key %s\n";
                if (backup) backup->deleted = true;
            }
        }
        RegCloseKey(key);
    }
    writeLog(log, line, valueName, keyText);
    return line != kept;
}

bool deleteRegistryTree(const char* keyText, FILE* log, RegistryBackup* backup) {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const FARPROC found = ntdll ? GetProcAddress(ntdll, "NtDeleteKey") : nullptr;
    TreeWalk walk = {backup, ntdll, reinterpret_cast<DeleteKeyByHandle>(reinterpret_cast<void (*)()>(found)),
                     maxListings};
    const HKEY root = rootOfKeyText(keyText);
    const KeyName top = {nullptr, rootName(root)}, entry = {&top, keyText + 5};
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    if (root) status = deleteTree(root, &entry, &walk, 0);
    if (status != ERROR_SUCCESS && status != notDeleted && !isAbsent(status)) {
        HKEY key;
        const LSTATUS look = lookUp(root, keyText, &key);
        if (look == ERROR_SUCCESS) RegCloseKey(key);
        if (isAbsent(look)) status = look;
    }
    const bool gone = status == ERROR_SUCCESS || isAbsent(status);
    writeLog(log,
             status == ERROR_SUCCESS ? "Registry key %s deleted (with all subkeys)\n"
             : gone                  ? "Registry key %s not found\n"
                                     : "Registry key %s could not be deleted\n",
             keyText);
    return gone;
}

bool runRegistryCleanup(FILE* log, const char* logPath) {
    RegistryBackup backup = {};
    backup.logPath = log ? logPath : "";  // beside the log only: without one, no one would learn where it is
    bool allGone = true;
    for (const char* const* entry = registryCleanupTable; *entry; ++entry) {
        const char* tab = strchr(*entry, '\t');
        if (!tab) {
            allGone = deleteRegistryTree(*entry, log, &backup) && allGone;
            continue;
        }
        char keyText[512];
        const size_t keyLength = static_cast<size_t>(tab - *entry);
        if (keyLength >= sizeof keyText) continue;
        memcpy(keyText, *entry, keyLength);
        keyText[keyLength] = '\0';
        allGone = deleteRegistryValue(keyText, tab + 1, log, &backup) && allGone;
    }
    finishBackup(&backup, log);
    return allGone;
}
