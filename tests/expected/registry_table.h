// What the tests of both rings expect of the program: its registry table written out again, so that a slip in the
// program's own copy shows up.
#pragma once

#include <string>
#include <vector>

namespace expected {

struct Entry {
    std::string key;
    const char* value;  // null for a whole key
};
inline const std::string explorer = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
inline const std::string uninstall = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
inline const std::string component = "{3C5E91A7-2D4B-4F08-A6E3-5B17C9D204F6}";
// The 31 entries in the order the program handles them.
inline const std::vector<Entry> registryTable = {
    {"HKCR\\.pvp", nullptr},
    {"HKCR\\.pvx", nullptr},
    {"HKCR\\Applications\\pvshell.exe", nullptr},
    {"HKCR\\CLSID\\" + component, nullptr},
    {"HKCR\\Pelvane.File.Keyboard", nullptr},
    {"HKCR\\Pelvane.File.Package", nullptr},
    {explorer + "FileExts\\.pvn", nullptr},
    {explorer + "FileExts\\.pvp", nullptr},
    {explorer + "FileExts\\.pvx", nullptr},
    {explorer + "FileExts\\.pvw", nullptr},
    {explorer + "MenuOrder\\Start Menu\\Programs\\Quenderholt", nullptr},
    {explorer + "MenuOrder\\Start Menu\\Programs\\Quenderholt Pelvane", nullptr},
    {explorer + "MenuOrder\\Start Menu\\Programs\\Quenderholt Pelvane for VORSA", nullptr},
    {"HKCU\\Software\\Quenderholt", nullptr},
    {"HKLM\\SOFTWARE\\Classes\\.pvp", nullptr},
    {"HKLM\\SOFTWARE\\Classes\\.pvx", nullptr},
    {"HKLM\\SOFTWARE\\Classes\\Applications\\pvshell.exe", nullptr},
    {"HKLM\\SOFTWARE\\Classes\\CLSID\\" + component, nullptr},
    {"HKLM\\SOFTWARE\\Classes\\Pelvane.File.Keyboard", nullptr},
    {"HKLM\\SOFTWARE\\Classes\\Pelvane.File.Package", nullptr},
    {"HKLM\\SOFTWARE\\Microsoft\\CTF\\TIP\\" + component, nullptr},
    {"HKLM\\SOFTWARE\\Quenderholt", nullptr},
    {uninstall + "Pelvane Package Keyboard ZQ Beta 0.1 Win98", nullptr},
    {uninstall + "Pelvane Package pvtip", nullptr},
    {uninstall + "Pelvane Package richtext", nullptr},
    {uninstall + "Quenderholt Pelvane 6.0", nullptr},
    {"HKLM\\SYSTEM\\ControlSet001\\Control\\Keyboard Layouts\\000105C9", nullptr},
    {"HKLM\\SYSTEM\\ControlSet003\\Control\\Keyboard Layouts\\000105C9", nullptr},
    {"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts\\000105C9", nullptr},
    {"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "pelvane.exe"},
    {"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "pelvane.exe"},
};

// The log line the program writes for an entry, by what became of it.
inline std::string notFound(const Entry& e) { return "Registry key " + e.key + " not found"; }
inline std::string treeDeleted(const Entry& e) { return "Registry key " + e.key + " deleted (with all subkeys)"; }
inline std::string treeKept(const Entry& e) { return "Registry key " + e.key + " could not be deleted"; }
inline std::string valueDeleted(const Entry& e) {
    return std::string("Registry value ") + e.value + " deleted from key " + e.key;
}
inline std::string valueMissing(const Entry& e) {
    return std::string("Registry value ") + e.value + " not found in key " + e.key;
}
inline std::string valueKept(const Entry& e) {
    return std::string("Registry value ") + e.value + " could not be deleted from key " + e.key;
}

}  // namespace expected
