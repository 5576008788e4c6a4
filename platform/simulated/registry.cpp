// The simulated registry: three roots of keys with values, access rights and deletions that can fail.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/simulated/machine.h"

namespace sim {
namespace {

Key* childKey(Key* key, const std::string& name) {
    const std::string wanted = lowered(name);
    for (auto& child : key->children)
        if (lowered(child->name) == wanted) return child.get();
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
    for (const auto& value : key->values) out->push_back(path + " [" + key->valueNames.at(value.first) + "]=" + value.second);
    for (const auto& child : key->children) {
        const std::string childPath = path + "\\" + child->name;
        out->push_back(childPath);
        dump(child.get(), childPath, out);
    }
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

void addValue(const std::string& key, const std::string& name, const std::string& data) {
    addKey(key);
    Key* k = existingKey(key);
    k->values[lowered(name)] = data;
    k->valueNames[lowered(name)] = name;
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
void failTreeDeletion(const std::string& key) { existingKey(key)->treeDeletionFails = true; }

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
    if (options != 0 || !subKey) return ERROR_INVALID_HANDLE;
    Key* start = rootOf(root);
    if (!start) return ERROR_INVALID_HANDLE;
    Key* key = findKey(start, subKey);
    if (!key) return ERROR_FILE_NOT_FOUND;
    const bool wantsWrite = (access & ~static_cast<REGSAM>(KEY_READ)) != 0;
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
    const auto value = key->values.find(lowered(valueName));
    if (value == key->values.end()) return ERROR_FILE_NOT_FOUND;
    if (type) *type = REG_SZ;
    const DWORD size = static_cast<DWORD>(value->second.size() + 1);
    if (data && size > *dataLength) {
        *dataLength = size;
        return ERROR_MORE_DATA;
    }
    if (data) std::memcpy(data, value->second.c_str(), size);
    if (dataLength) *dataLength = size;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueA(HKEY handle, LPCSTR valueName) {
    if (callFails("RegDeleteValueA", {valueName})) return ERROR_ACCESS_DENIED;
    Key* key = keyOfHandle(handle);
    if (!key) return ERROR_INVALID_HANDLE;
    const std::string name = lowered(valueName);
    if (!key->values.count(name)) return ERROR_FILE_NOT_FOUND;
    auto& undeletable = key->undeletableValues;
    if (std::find(undeletable.begin(), undeletable.end(), name) != undeletable.end()) return ERROR_ACCESS_DENIED;
    key->values.erase(name);
    key->valueNames.erase(name);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY handle) {
    callFails("RegCloseKey");  // closing always takes effect
    return machine().keys.erase(static_cast<long>(reinterpret_cast<ULONG_PTR>(handle))) ? ERROR_SUCCESS
                                                                                          : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI SHDeleteKeyA(HKEY root, LPCSTR subKey) {
    if (callFails("SHDeleteKeyA", {subKey})) return ERROR_ACCESS_DENIED;
    Key* key = findKey(rootOf(root), subKey);
    if (!key || !key->parent) return ERROR_FILE_NOT_FOUND;
    if (key->treeDeletionFails) return ERROR_ACCESS_DENIED;
    auto& siblings = key->parent->children;
    siblings.erase(std::find_if(siblings.begin(), siblings.end(), [&](auto& c) { return c.get() == key; }));
    return ERROR_SUCCESS;
}
