// Plants registry keys, values, files and folders for one test, and takes away exactly what it planted.
#include <string.h>

#include "tests/wine/harness.h"

namespace harness {

// Every prefix of a backslash-separated path that ends before a backslash, and the whole path: "A", "A\B", "A\B\C".
static std::vector<std::string> prefixes(const std::string& path) {
    std::vector<std::string> out;
    for (size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
        if (at > 0) out.push_back(path.substr(0, at));
    out.push_back(path);
    return out;
}

static std::string parentOf(const std::string& path) {
    const size_t at = path.find_last_of('\\');
    return at == std::string::npos ? std::string() : path.substr(0, at);
}

Planted::Planted(REGSAM view) : view_(view) { removeLog(); }

Planted::~Planted() { removeAll(); }

bool Planted::key(HKEY root, const std::string& subkey) {
    if (subkey.empty()) return false;
    for (const std::string& above : prefixes(subkey)) {
        if (keyExists(root, above, 0, view_)) continue;
        keys_.push_back({root, above});
        break;
    }
    HKEY key;
    if (RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr, &key, nullptr) != 0)
        return false;
    RegCloseKey(key);
    return true;
}

bool Planted::link(HKEY root, const std::string& subkey, HKEY targetRoot, const std::string& targetSubkey) {
    // The target as the registry names it: the name of the root's Software key ("\REGISTRY\User\<SID>\Software"),
    // its last name replaced.
    typedef LONG(WINAPI * QueryKey)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryKey>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryKey")));
    HKEY key;
    ULONG name[512] = {0}, size = 0;  // KEY_NAME_INFORMATION (3): the name's length in bytes, then the name
    if (RegOpenKeyExA(targetRoot, "Software", 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    const bool named = query && query(key, 3, name, sizeof name, &size) == 0;
    RegCloseKey(key);
    std::wstring target(reinterpret_cast<const wchar_t*>(name + 1), name[0] / sizeof(wchar_t));
    target.resize(target.rfind(L'\\') + 1);
    for (char c : targetSubkey) target += static_cast<wchar_t>(static_cast<unsigned char>(c));
    if (!named || (!parentOf(subkey).empty() && !this->key(root, parentOf(subkey))) ||
        RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    links_.push_back({root, subkey});
    const LONG status = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK,
                                       reinterpret_cast<const BYTE*>(target.data()),
                                       static_cast<DWORD>(target.size() * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool Planted::value(HKEY root, const std::string& subkey, const std::string& name, const std::string& data,
                    DWORD type) {
    if (keyExists(root, subkey, 0, view_)) {
        if (valueExists(root, subkey, name, view_)) return false;
        values_.push_back({root, subkey, name});
    } else if (!key(root, subkey)) {
        return false;
    }
    HKEY key;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_SET_VALUE | view_, &key) != ERROR_SUCCESS) return false;
    const LONG status = RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                                       static_cast<DWORD>(data.size() + (type == REG_SZ)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool Planted::folder(const std::string& path) {
    bool created = false;
    for (const std::string& above : prefixes(path)) {
        if (above.size() <= 2) continue;  // a drive ("C:")
        if (folderExists(above)) continue;
        if (!created) folders_.push_back(above);
        created = true;
        if (!CreateDirectoryA(above.c_str(), nullptr)) return false;
    }
    return folderExists(path);
}

bool Planted::file(const std::string& path, const std::string& bytes) {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const std::string parent = parentOf(path);
    if (folderExists(parent)) files_.push_back(path);
    else if (!folder(parent)) return false;
    return writeFileBytes(path, bytes);
}

bool Planted::log(const std::string& bytes) { return writeFileBytes(logPath(), bytes); }

void Planted::removeAll() {
    typedef LONG(WINAPI * DeleteKey)(HANDLE);
    const auto deleteKey = reinterpret_cast<DeleteKey>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtDeleteKey")));
    for (const Key& link : links_) {
        HKEY key;
        if (!deleteKey || RegOpenKeyExA(link.root, link.subkey.c_str(), REG_OPTION_OPEN_LINK, DELETE, &key) != 0) continue;
        deleteKey(key);
        RegCloseKey(key);
    }
    for (const Value& value : values_) {
        HKEY key;
        if (RegOpenKeyExA(value.root, value.subkey.c_str(), 0, KEY_SET_VALUE | view_, &key) != ERROR_SUCCESS) continue;
        RegDeleteValueA(key, value.name.c_str());
        RegCloseKey(key);
    }
    for (auto key = keys_.rbegin(); key != keys_.rend(); ++key) {
        HKEY opened;  // what is below it and then the key itself, in the view it was planted in
        if (RegOpenKeyExA(key->root, key->subkey.c_str(), 0, KEY_ALL_ACCESS | view_, &opened) == ERROR_SUCCESS) {
            RegDeleteTreeA(opened, nullptr);
            RegCloseKey(opened);
        }
        RegDeleteKeyExA(key->root, key->subkey.c_str(), view_, 0);
    }
    for (const std::string& file : files_) {
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file.c_str());
    }
    for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) removeTree(*folder);
    values_.clear();
    links_.clear();
    keys_.clear();
    files_.clear();
    folders_.clear();
    removeLog();
}

void removeTree(const std::string& folder) {
    if (folder.size() <= 3) return;  // never a drive or its root
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (strcmp(entry.cFileName, ".") == 0 || strcmp(entry.cFileName, "..") == 0) continue;
            const std::string path = folder + "\\" + entry.cFileName;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (!RemoveDirectoryA(path.c_str())) DeleteFileA(path.c_str());  // the link only, never its target
            } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace harness
