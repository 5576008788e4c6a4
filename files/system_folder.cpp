// Where the system keeps one of its own folders, asked in the way each Windows understands.
#include "files/system_folder.h"

#include "platform/platform.h"

typedef BOOL(WINAPI* ShellFolderPath)(HWND owner, LPSTR path, int folder, BOOL create);
typedef BOOL(WINAPI* Wow64Question)(HANDLE process, PBOOL underWow64);

// The shell's answer, its function found at run time: the shells of 95 and NT4 before their 4.71 update lack it,
// and a program that imported it would not even load there.
static bool askShell(int folder, char* path) {
    const HMODULE shell = LoadLibraryA("shell32.dll");
    if (!shell) return false;
    const auto ask = reinterpret_cast<ShellFolderPath>(
        reinterpret_cast<void*>(GetProcAddress(shell, "SHGetSpecialFolderPathA")));
    const bool found = ask && ask(nullptr, path, folder, FALSE);
    FreeLibrary(shell);
    return found;
}

// Whether this 32-bit program runs on 64-bit Windows, under WOW64. The kernel's answer is found at run time: systems
// before XP SP2 lack it, and run no 32-bit program under WOW64.
static bool underWow64() {
    const auto ask = reinterpret_cast<Wow64Question>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    return ask && ask(GetCurrentProcess(), &wow64) && wow64;
}

// A folder as setup wrote it under HKLM\Software\Microsoft\Windows\CurrentVersion, on every Windows; in the 64-bit
// view of the registry with KEY_WOW64_64KEY, where a 32-bit program is otherwise shown the 32-bit one.
static bool askRegistry(const char* name, REGSAM view, char* path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_QUERY_VALUE | view,
                      &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = MAX_PATH - 1;
    const LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(path), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return false;
    path[size] = '\0';
    return path[0] != '\0';
}

bool systemFolderPath(int folder, char* path) {
    // Only real identifiers go to the shell: it takes the bits above the lowest byte for flags (0x8000 creates).
    if (folder >= 0 && askShell(folder, path)) return true;
    DWORD length = 0;
    switch (folder) {
        case temporaryFolder:
            length = GetTempPathA(MAX_PATH, path);
            break;
        case CSIDL_WINDOWS:
            length = GetWindowsDirectoryA(path, MAX_PATH);
            break;
        case CSIDL_SYSTEM:
            length = GetSystemDirectoryA(path, MAX_PATH);
            break;
        case CSIDL_PROGRAM_FILES:
            return askRegistry("ProgramFilesDir", 0, path);
        case CSIDL_PROGRAM_FILES_COMMON:
            return askRegistry("CommonFilesDir", 0, path);
        // The 64-bit view's own values: every 64-bit Windows has them there (ProgramW6432Dir and CommonW6432Dir
        // came only with Windows 7, and Wine has neither).
        case programFiles64:
            return underWow64() && askRegistry("ProgramFilesDir", KEY_WOW64_64KEY, path);
        case commonFiles64:
            return underWow64() && askRegistry("CommonFilesDir", KEY_WOW64_64KEY, path);
    }
    return length > 0 && length < MAX_PATH;
}
