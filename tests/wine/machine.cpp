// Where the program and its log are on the machine, and plain reads of the registry and of files.
#include "tests/wine/harness.h"

#include <shlobj.h>

#ifndef PELVANE_PROGRAM_UNIX_PATH
#error "PELVANE_PROGRAM_UNIX_PATH must name the Remove Pelvane.exe of this build"
#endif

namespace harness {

std::string programPath() {
    const char* unixPath = PELVANE_PROGRAM_UNIX_PATH;
    // Wine's own mapping of a Unix path to a drive path, when it is there; otherwise drive Z:, Wine's view of /.
    typedef WCHAR*(CDECL * DosName)(const char*);
    const auto toDos = reinterpret_cast<DosName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (toDos) {
        if (WCHAR* wide = toDos(unixPath)) {
            char path[MAX_PATH * 2];
            const int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, path, sizeof path, nullptr, nullptr);
            HeapFree(GetProcessHeap(), 0, wide);
            if (length > 0) return path;
        }
    }
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string tempFolder() {
    char folder[MAX_PATH] = "";
    const DWORD length = GetTempPathA(sizeof folder, folder);
    return length > 0 && length < sizeof folder ? std::string(folder, length) : std::string();
}

std::string logPath() { return tempFolder() + "PelvaneCleanup.log"; }

std::string programFilesFolder() {
    char folder[MAX_PATH] = "";
    return SHGetSpecialFolderPathA(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE) ? folder : "";
}

std::string defaultProductFolder() { return programFilesFolder() + "\\Quenderholt\\Pelvane"; }

int runToItsEnd(const std::string& program, std::string commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program.empty() ? nullptr : program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process))
        return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        TerminateProcess(process.hProcess, 255);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

bool keyExists(HKEY root, const std::string& subkey, DWORD options, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(root, subkey.c_str(), options, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool valueExists(HKEY root, const std::string& subkey, const std::string& name, REGSAM view) {
    HKEY key;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    const bool found = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

std::optional<std::string> readStringValue(HKEY root, const std::string& subkey, const std::string& name) {
    HKEY key;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    char data[4096];
    DWORD size = sizeof data - 1, type = 0;
    const LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    data[size] = '\0';
    return std::string(data);
}

bool fileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool folderExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string literalFileStart(const std::wstring& path) {
    const HANDLE file = CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "(unreadable)";
    std::string bytes(4096, '\0');
    DWORD read = 0;
    ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes.substr(0, read);
}

std::optional<std::string> readFileBytes(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    bool failed = false;
    for (;;) {
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            failed = true;
            break;
        }
        if (got == 0) break;
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    if (failed) return std::nullopt;
    return bytes;
}

bool writeFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool done = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                      written == bytes.size();
    return CloseHandle(file) && done;
}

std::optional<std::string> readLog() { return readFileBytes(logPath()); }

void removeLog() {
    const std::string path = logPath();
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((tempFolder() + "PelvaneCleanup*.reg").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do DeleteFileA((tempFolder() + found.cFileName).c_str());
    while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace harness
