// The simulated system libraries: loaded or found by name, their functions found at run time, as older systems lack
// some (the first shells of 95 and NT4 have no SHGetSpecialFolderPathA, the 95/98/Me family no ntdll and no
// IsWow64Process).
#include <cstring>

#include "platform/simulated/machine.h"

namespace sim {
namespace {

// ntdll, which every process of the NT family has loaded, and kernel32, which every process has: found, never
// loaded, so their handles are no kernel objects.
const HMODULE ntdll = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x7FFF0000));
const HMODULE kernel32 = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x7FFE0000));

template <typename Function>
FARPROC asProcedure(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

}  // namespace
}  // namespace sim

using namespace sim;

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    if (callFails("LoadLibraryA", {name})) return nullptr;
    if (lowered(name) != "shell32.dll") {
        failWith(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return static_cast<HMODULE>(newHandle(Handle{"", -1, "", 0, false, lowered(name)}));
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    // A module loaded in the process is always found: ntdll and kernel32 cannot be made to fail.
    const std::string asked = name ? lowered(name) : "";
    const bool ntdllAsked = asked == "ntdll.dll";
    if (callFails("GetModuleHandleA", {name ? name : "(null)"}) && !ntdllAsked && asked != "kernel32.dll") return nullptr;
    if (ntdllAsked && !machine().ninetyFive) return ntdll;
    if (asked == "kernel32.dll") return kernel32;
    failWith(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    if (callFails("GetProcAddress", {name})) return nullptr;
    if (module == ntdll && std::strcmp(name, "NtDeleteKey") == 0) return asProcedure(&ntDeleteKey);
    if (module == kernel32 && std::strcmp(name, "IsWow64Process") == 0 && !machine().ninetyFive)
        return asProcedure(&IsWow64Process);
    const Handle* library = module == ntdll || module == kernel32 ? nullptr : objectOf(module);
    if (library && library->library == "shell32.dll" && std::strcmp(name, "SHGetSpecialFolderPathA") == 0 &&
        !machine().firstShell)
        return asProcedure(&SHGetSpecialFolderPathA);
    failWith(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    callFails("FreeLibrary");  // releasing always takes effect
    const Handle* library = module == ntdll || module == kernel32 ? nullptr : objectOf(module);
    return library && !library->library.empty() && dropHandle(module) ? TRUE : failWith(ERROR_INVALID_HANDLE);
}

HANDLE WINAPI GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

BOOL WINAPI IsWow64Process(HANDLE process, PBOOL underWow64) {
    if (callFails("IsWow64Process")) return FALSE;
    if (process != GetCurrentProcess()) return failWith(ERROR_INVALID_HANDLE);
    *underWow64 = machine().wow64;
    return TRUE;
}
