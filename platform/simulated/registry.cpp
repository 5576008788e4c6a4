// The simulated registry: three roots of keys with values, links, access rights and deletions that can fail.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/simulated/machine.h"

namespace sim {
namespace {

Key* childKey(Key* key, const std::string& name) {
    for (auto& child : key->children)
        if (lstrcmpiA(child->name.c_str(), name.c_str()) == 0) return child.get();
    return nullptr;
}

// "HKLM\SOFTWARE\x" as its root and the subkey text after the prefix.
Key* rootOfText(const std::string& text, std::string* subKey) {
    static const char* const prefixes[] = {"hkcr\\", "hkcu\\", "hklm\\"};
    for (int i = 0; i < 3; ++i) {
        if (lowered(text.substr(0, 5)) == prefixes[i]) {
            *subKey = text.substr(5);
            return machine().roots[i].get();
        }
    }
    throw std::runtime_error("no such simulated root: " + text);
}

Key* existingKey(const std::string& text) {
    std::string subKey;
    Key* key = findKey(rootOfText(text, &subKey), subKey);
    if (!key) throw std::runtime_error("no such simulated key: " + text);
    return key;
}

void dump(const Key* key, const std::string& path, std::vector<std::string>* out) {
    for (const auto& [lower, value] : key->values) {
        const bool text = value.type == REG_SZ && !value.data.empty() && value.data.back() == '\0';
        out->push_back(path + " [" + value.name + "]=" +
                       (text ? value.data.substr(0, value.data.size() - 1)
                             : "type " + std::to_string(value.type) + ":" + value.data));
    }
    for (const auto& child : key->children) {
        const std::string childPath = path + "\\" + child->name;
        out->push_back(childPath + (child->linkTarget.empty() ? "" : " -> " + child->linkTarget));
        dump(child.get(), childPath, out);
    }
}

Key* lookUp(Key* from, const std::string& subKey, bool linkItself, int hops);

// The key a link leads to, as the system follows it (a chain of links included); an ordinary key itself.
Key* target(Key* key, int hops) {
    if (!key || key->linkTarget.empty()) return key;
    std::string subKey;
    Key* root = rootOfText(key->linkTarget, &subKey);
    return hops < 16 ? lookUp(root, subKey, false, hops + 1) : nullptr;
}

// The key a subkey text leads to from a key, as RegOpenKeyExA finds it: every link on the way is followed (a link
// it starts from too, as Wine does), the one at the last name only unless linkItself.
Key* lookUp(Key* from, const std::string& subKey, bool linkItself, int hops) {
    for (const std::string& part : splitPath(subKey)) {
        from = target(from, hops);
        if (!from || !(from = childKey(from, part))) return nullptr;
    }
    return linkItself ? from : target(from, hops);
}

// The key a handle or a root handle stands for.
Key* keyOrRoot(HKEY handle) { return rootOf(handle) ? rootOf(handle) : keyOfHandle(handle); }

// Takes a key out of the registry; it stays in memory, marked deleted, for the handles still open to it.
LSTATUS removeKey(Key* key) {
    if (key->deletionFails) return ERROR_ACCESS_DENIED;
    auto& siblings = key->parent->children;
    auto at = std::find_if(siblings.begin(), siblings.end(), [&](auto& c) { return c.get() == key; });
    std::function<void(Key*)> mark = [&](Key* k) {
        k->deleted = true;
        for (auto& child : k->children) mark(child.get());
    };
    mark(key);
    machine().deletedKeys.push_back(std::move(*at));
    siblings.erase(at);
    Key* parent = key->parent;
    if (parent->keepsGettingSubkeys) {
        auto added = std::make_unique<Key>();
        added->name = "Added " + std::to_string(++parent->subkeysAdded);
        added->parent = parent;
        parent->children.push_back(std::move(added));
    }
    return ERROR_SUCCESS;
}

bool ninetyFiveFamily() { return machine().ninetyFive; }

// Hands out a value's bytes as the registry calls do: its size, and the bytes when there is room for them.
LSTATUS copyData(const Key::Value& value, LPBYTE data, LPDWORD dataLength) {
    const DWORD size = static_cast<DWORD>(value.data.size());
    if (data && size > *dataLength) {
        *dataLength = size;
        return ERROR_MORE_DATA;
    }
    if (data) std::memcpy(data, value.data.data(), size);
    if (dataLength) *dataLength = size;
    return ERROR_SUCCESS;
}

}  // namespace

Key* rootOf(HKEY root) {
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(root);
    if (value >= 0x80000000u && value <= 0x80000002u) return machine().roots[value - 0x80000000u].get();
    return nullptr;
}

Key* findKey(Key* from, const std::string& subKey) {
    // Windows refuses a subkey that begins with a backslash or holds an empty name between two.
    if (!from || (!subKey.empty() && subKey[0] == '\\') || subKey.find("\\\\") != std::string::npos) return nullptr;
    for (const std::string& part : splitPath(subKey)) {
        from = childKey(from, part);
        if (!from) return nullptr;
    }
    return from;
}

Key* keyOfHandle(HKEY key) {
    auto it = machine().keys.find(static_cast<long>(reinterpret_cast<ULONG_PTR>(key)));
    return it == machine().keys.end() ? nullptr : it->second;
}

void addKey(const std::string& text) {
    std::string subKey;
    Key* at = rootOfText(text, &subKey);
    for (const std::string& part : splitPath(subKey)) {
        Key* next = childKey(at, part);
        if (!next) {
            auto key = std::make_unique<Key>();
            key->name = part;
            key->parent = at;
            next = key.get();
            at->children.push_back(std::move(key));
        }
        at = next;
    }
}

void addValue(const std::string& key, const std::string& name, DWORD type, const std::string& bytes) {
    addKey(key);
    existingKey(key)->values[lowered(name)] = Key::Value{name, type, bytes};
}

void addValue(const std::string& key, const std::string& name, const std::string& data) {
    addValue(key, name, REG_SZ, data + '\0');
}

bool keyExists(const std::string& text) {
    std::string subKey;
    return findKey(rootOfText(text, &subKey), subKey) != nullptr;
}

bool valueExists(const std::string& key, const std::string& name) {
    return keyExists(key) && existingKey(key)->values.count(lowered(name)) != 0;
}

void denyFullAccess(const std::string& key) { existingKey(key)->fullAccessDenied = true; }
void denyAllAccess(const std::string& key) { existingKey(key)->allAccessDenied = true; }
void failValueDeletion(const std::string& key, const std::string& name) {
    existingKey(key)->undeletableValues.push_back(lowered(name));
}
void failKeyDeletion(const std::string& key) { existingKey(key)->deletionFails = true; }
void addRegistryLink(const std::string& key, const std::string& target) {
    addKey(key);
    existingKey(key)->linkTarget = target;
}
void setListedKeyName(const std::string& key, const std::string& listed) { existingKey(key)->listedName = listed; }
void keepAddingSubkeys(const std::string& key) { existingKey(key)->keepsGettingSubkeys = true; }

std::vector<std::string> registryDump() {
    static const char* const names[] = {"HKCR", "HKCU", "HKLM"};
    std::vector<std::string> out;
    for (int i = 0; i < 3; ++i) dump(machine().roots[i].get(), names[i], &out);
    return out;
}

int openKeys() { return static_cast<int>(machine().keys.size()); }

}  // namespace sim

using namespace sim;

LSTATUS WINAPI RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    *result = nullptr;
    if (callFails("RegOpenKeyExA", {subKey ? subKey : "(null)"})) return ERROR_ACCESS_DENIED;
    // The 95/98/Me family has no links and refuses every option.
    if (options != 0 && (options != REG_OPTION_OPEN_LINK || ninetyFiveFamily())) return ERROR_INVALID_PARAMETER;
    Key* start = keyOrRoot(root);
    if (!start || !subKey) return ERROR_INVALID_HANDLE;
    if (start->deleted) return ERROR_KEY_DELETED;
    // Windows refuses a subkey that begins with a backslash or holds an empty name between two.
    if (subKey[0] == '\\' || strstr(subKey, "\\\\")) return ERROR_FILE_NOT_FOUND;
    // Under WOW64 the program is shown HKLM\Software's 32-bit branch unless it asks for the 64-bit view.
    std::string asked = subKey;
    const std::string lower = lowered(asked);
    if (machine().wow64 && root == HKEY_LOCAL_MACHINE && !(access & KEY_WOW64_64KEY) &&
        (lower == "software" || lower.rfind("software\\", 0) == 0))
        asked = "Software\\Wow6432Node" + asked.substr(8);
    Key* key = lookUp(start, asked, options == REG_OPTION_OPEN_LINK, 0);
    if (!key) return ERROR_FILE_NOT_FOUND;
    const bool wantsWrite = (access & ~static_cast<REGSAM>(KEY_READ | KEY_WOW64_64KEY)) != 0;
    if (key->allAccessDenied || (wantsWrite && key->fullAccessDenied)) return ERROR_ACCESS_DENIED;
    Machine& m = machine();
    const long id = m.nextKey++;
    m.keys[id] = key;
    *result = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(id));
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY handle, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                                LPDWORD dataLength) {
    if (callFails("RegQueryValueExA", {valueName})) return ERROR_ACCESS_DENIED;
    Key* key = keyOfHandle(handle);
    if (!key || (data && !dataLength)) return ERROR_INVALID_HANDLE;
    if (key->deleted) return ERROR_KEY_DELETED;
    const bool linkValue = !key->linkTarget.empty() && lowered(valueName) == "symboliclinkvalue";
    const auto value = key->values.find(lowered(valueName));
    if (!linkValue && value == key->values.end()) return ERROR_FILE_NOT_FOUND;
    if (type) *type = linkValue ? REG_LINK : value->second.type;
    if (linkValue) return data ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;  // the program asks a link only its type
    return copyData(value->second, data, dataLength);
}

LSTATUS WINAPI RegDeleteValueA(HKEY handle, LPCSTR valueName) {
    if (callFails("RegDeleteValueA", {valueName})) return ERROR_ACCESS_DENIED;
    Key* key = keyOfHandle(handle);
    if (!key) return ERROR_INVALID_HANDLE;
    if (key->deleted) return ERROR_KEY_DELETED;
    const std::string name = lowered(valueName);
    if (!key->values.count(name)) return ERROR_FILE_NOT_FOUND;
    auto& undeletable = key->undeletableValues;
    if (std::find(undeletable.begin(), undeletable.end(), name) != undeletable.end()) return ERROR_ACCESS_DENIED;
    key->values.erase(name);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumValueA(HKEY handle, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD, LPDWORD type,
                             LPBYTE data, LPDWORD dataLength) {
    if (callFails("RegEnumValueA", {std::to_string(index)})) return ERROR_ACCESS_DENIED;
    Key* key = keyOfHandle(handle);
    if (!key || !name || !nameLength || (data && !dataLength)) return ERROR_INVALID_HANDLE;
    if (key->deleted) return ERROR_KEY_DELETED;
    if (index >= key->values.size()) return ERROR_NO_MORE_ITEMS;
    const Key::Value& value = std::next(key->values.begin(), index)->second;
    if (value.name.size() >= *nameLength) return ERROR_MORE_DATA;
    std::memcpy(name, value.name.c_str(), value.name.size() + 1);
    *nameLength = static_cast<DWORD>(value.name.size());
    if (type) *type = value.type;
    return copyData(value, data, dataLength);
}

LSTATUS WINAPI RegCloseKey(HKEY handle) {
    callFails("RegCloseKey");  // closing always takes effect
    return machine().keys.erase(static_cast<long>(reinterpret_cast<ULONG_PTR>(handle))) ? ERROR_SUCCESS
                                                                                          : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY handle, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD, LPSTR, LPDWORD,
                             FILETIME*) {
    if (callFails("RegEnumKeyExA", {std::to_string(index)})) return ERROR_ACCESS_DENIED;
    Key* key = keyOfHandle(handle);
    if (!key) return ERROR_INVALID_HANDLE;
    if (key->deleted) return ERROR_KEY_DELETED;
    if (index >= key->children.size()) return ERROR_NO_MORE_ITEMS;
    const Key& child = *key->children[index];
    const std::string& shown = child.listedName.empty() ? child.name : child.listedName;
    if (shown.size() >= *nameLength) return ERROR_MORE_DATA;
    std::memcpy(name, shown.c_str(), shown.size() + 1);
    *nameLength = static_cast<DWORD>(shown.size());
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY handle, LPCSTR subKey) {
    if (callFails("RegDeleteKeyA", {subKey})) return ERROR_ACCESS_DENIED;
    Key* start = keyOrRoot(handle);
    if (!start || start->deleted) return ERROR_INVALID_HANDLE;
    Key* key = lookUp(start, subKey, false, 0);
    if (!key || !key->parent) return ERROR_FILE_NOT_FOUND;
    // The NT family deletes only a key without subkeys; 95/98/Me deletes the whole tree.
    if (!key->children.empty() && !ninetyFiveFamily()) return ERROR_ACCESS_DENIED;
    return removeKey(key);
}

namespace sim {

LONG ntDeleteKey(HKEY handle) {
    const LONG accessDenied = static_cast<LONG>(0xC0000022), cannotDelete = static_cast<LONG>(0xC0000121);
    if (callFails("NtDeleteKey")) return accessDenied;
    Key* key = keyOfHandle(handle);
    if (!key || !key->parent || key->deleted) return static_cast<LONG>(0xC0000008);  // an invalid handle
    if (!key->children.empty()) return cannotDelete;
    return removeKey(key) == ERROR_SUCCESS ? 0 : accessDenied;
}

}  // namespace sim
