// Where the system keeps one of its own folders, asked in the way each Windows understands.
#include "files/system_folder.h"

#include "platform/platform.h"

typedef BOOL(WINAPI* ShellFolderPath)(HWND owner, LPSTR path, int folder, BOOL create);

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

// A folder as setup wrote it under HKLM\Software\Microsoft\Windows\CurrentVersion, on every Windows.
static bool askRegistry(const char* name, char* path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return false;
    DWORD type = 0, size = MAX_PATH - 1;
    const LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(path), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return false;
    path[size] = '\0';
    return path[0] != '\0';
}

bool systemFolderPath(int folder, char* path) {
    if (askShell(folder, path)) return true;
    UINT length = 0;
    switch (folder) {
        case CSIDL_WINDOWS:
            length = GetWindowsDirectoryA(path, MAX_PATH);
            break;
        case CSIDL_SYSTEM:
            length = GetSystemDirectoryA(path, MAX_PATH);
            break;
        case CSIDL_PROGRAM_FILES:
            return askRegistry("ProgramFilesDir", path);
        case CSIDL_PROGRAM_FILES_COMMON:
            return askRegistry("CommonFilesDir", path);
    }
    return length > 0 && length < MAX_PATH;
}
