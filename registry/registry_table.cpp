// The registry keys and values the product, its packages and its file associations leave behind.
#include "registry/registry_cleanup.h"

const char* const registryCleanupTable[] = {
    "HKCR\\.pvp",
    "HKCR\\.pvx",
    "HKCR\\Applications\\pvshell.exe",
    "HKCR\\CLSID\\{3C5E91A7-2D4B-4F08-A6E3-5B17C9D204F6}",
    "HKCR\\Pelvane.File.Keyboard",
    "HKCR\\Pelvane.File.Package",
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.pvn",
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.pvp",
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.pvx",
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.pvw",
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs\\Quenderholt",
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs\\Quenderholt "
    "Pelvane",
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs\\Quenderholt "
    "Pelvane for VORSA",
    "HKCU\\Software\\Quenderholt",
    "HKLM\\SOFTWARE\\Classes\\.pvp",
    "HKLM\\SOFTWARE\\Classes\\.pvx",
    "HKLM\\SOFTWARE\\Classes\\Applications\\pvshell.exe",
    "HKLM\\SOFTWARE\\Classes\\CLSID\\{3C5E91A7-2D4B-4F08-A6E3-5B17C9D204F6}",
    "HKLM\\SOFTWARE\\Classes\\Pelvane.File.Keyboard",
    "HKLM\\SOFTWARE\\Classes\\Pelvane.File.Package",
    "HKLM\\SOFTWARE\\Microsoft\\CTF\\TIP\\{3C5E91A7-2D4B-4F08-A6E3-5B17C9D204F6}",
    "HKLM\\SOFTWARE\\Quenderholt",
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelvane Package Keyboard ZQ Beta 0.1 Win98",
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelvane Package pvtip",
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelvane Package richtext",
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenderholt Pelvane 6.0",
    "HKLM\\SYSTEM\\ControlSet001\\Control\\Keyboard Layouts\\000105C9",
    "HKLM\\SYSTEM\\ControlSet003\\Control\\Keyboard Layouts\\000105C9",
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts\\000105C9",
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\tpelvane.exe",
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\tpelvane.exe",
    nullptr,
};
