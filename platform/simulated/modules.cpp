// The simulated system libraries: loaded by name, their functions found at run time, as older shells lack some.
#include <cstring>

#include "platform/simulated/machine.h"

using namespace sim;

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    if (callFails("LoadLibraryA", {name})) return nullptr;
    if (lowered(name) != "shell32.dll") {
        failWith(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return static_cast<HMODULE>(newHandle(Handle{"", -1, "", 0, false, lowered(name)}));
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    if (callFails("GetProcAddress", {name})) return nullptr;
    const Handle* library = objectOf(module);
    if (!library || library->library != "shell32.dll" || std::strcmp(name, "SHGetSpecialFolderPathA") != 0 ||
        machine().firstShell) {
        failWith(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&SHGetSpecialFolderPathA));
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    callFails("FreeLibrary");  // releasing always takes effect
    const Handle* library = objectOf(module);
    return library && !library->library.empty() && dropHandle(module) ? TRUE : failWith(ERROR_INVALID_HANDLE);
}
