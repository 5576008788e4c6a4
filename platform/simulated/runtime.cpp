// The simulated process services: the system's own folders, the clock, log streams, process exit.
#include <algorithm>
#include <cstring>

#include "platform/simulated/machine.h"

namespace sim {
namespace {

// A text-mode stream into a file of the simulated disk: every "\n" lands as "\r\n".
struct Cookie {
    std::string path;
    FILE* stream;
};

ssize_t writeToDisk(void* cookie, const char* data, size_t size) {
    Node* file = findNode(static_cast<Cookie*>(cookie)->path);
    if (file && !file->isFolder()) {
        for (size_t i = 0; i < size; ++i) {
            if (data[i] == '\n') file->content += '\r';
            file->content += data[i];
        }
    }
    return static_cast<ssize_t>(size);
}

int closeCookie(void* cookie) {
    auto* c = static_cast<Cookie*>(cookie);
    auto& streams = machine().streams;
    streams.erase(std::remove(streams.begin(), streams.end(), c->stream), streams.end());
    delete c;
    return 0;
}

}  // namespace

int openStreams() { return static_cast<int>(machine().streams.size()); }

FILE* logStream(const std::string& path) {
    addFile(path);
    return streamOfFile(newHandle(Handle{"", -1, path}));
}

void closeOpenStreams() {
    const std::vector<FILE*> open = machine().streams;
    for (FILE* stream : open) fclose(stream);
}

}  // namespace sim

using namespace sim;

// Copies a folder the system names into buffer, as the kernel's calls do: its length, or the size needed; 0 when
// there is none.
static DWORD answerFolder(const char* function, const std::string& path, LPSTR buffer, DWORD bufferLength) {
    if (callFails(function) || path.empty()) return 0;
    if (path.size() + 1 > bufferLength) return static_cast<DWORD>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

DWORD WINAPI GetTempPathA(DWORD bufferLength, LPSTR buffer) {
    return answerFolder("GetTempPathA", machine().tempPath, buffer, bufferLength);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT bufferLength) {
    return answerFolder("GetWindowsDirectoryA", machine().windowsFolder, buffer, bufferLength);
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT bufferLength) {
    return answerFolder("GetSystemDirectoryA", machine().systemFolder, buffer, bufferLength);
}

BOOL WINAPI SHGetSpecialFolderPathA(HWND owner, LPSTR path, int folder, BOOL create) {
    const auto known = machine().specialFolders.find(folder);
    const std::string found = folder == CSIDL_PROGRAM_FILES ? machine().programFiles
                              : known == machine().specialFolders.end() ? ""
                                                                         : known->second;
    if (callFails("SHGetSpecialFolderPathA") || owner || create || found.empty()) return FALSE;
    std::strncpy(path, found.c_str(), MAX_PATH - 1);
    path[MAX_PATH - 1] = '\0';
    return TRUE;
}

FILE* streamOfFile(HANDLE file) {
    const Handle* opened = objectOf(file);
    const std::string path = opened ? opened->path : "";
    const bool fails = callFails("streamOfFile", {path});
    CloseHandle(file);  // the stream writes to the file by its path from here on
    if (fails || path.empty()) return nullptr;
    cookie_io_functions_t io{nullptr, writeToDisk, nullptr, closeCookie};
    auto* cookie = new Cookie{path, nullptr};
    FILE* stream = fopencookie(cookie, "w", io);
    if (!stream) {
        delete cookie;
        return nullptr;
    }
    cookie->stream = stream;
    machine().streams.push_back(stream);
    return stream;
}

void currentLocalTime(struct tm* out) { *out = machine().localTime; }

void endProcess(int exitCode) {
    closeOpenStreams();
    closeOpenHandles();
    throw ProcessExit{exitCode};
}
