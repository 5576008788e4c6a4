// The simulated system libraries: loaded or found by name, their functions found at run time, as older systems lack
// some (the first shells of 95 and NT4 have no SHGetSpecialFolderPathA, the 95/98/Me family no ntdll).
#include <cstring>

#include "platform/simulated/machine.h"

namespace sim {
namespace {

// ntdll, which every process of the NT family has loaded: found, never loaded, so its handle is no kernel object.
const HMODULE ntdll = reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(0x7FFF0000));

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
    // A module loaded in the process is always found: ntdll cannot be made to fail.
    const bool ntdllAsked = name && lowered(name) == "ntdll.dll";
    if (callFails("GetModuleHandleA", {name ? name : "(null)"}) && !ntdllAsked) return nullptr;
    if (ntdllAsked && !machine().ninetyFive) return ntdll;
    failWith(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    if (callFails("GetProcAddress", {name})) return nullptr;
    if (module == ntdll && std::strcmp(name, "NtDeleteKey") == 0) return asProcedure(&ntDeleteKey);
    const Handle* library = module == ntdll ? nullptr : objectOf(module);
    if (library && library->library == "shell32.dll" && std::strcmp(name, "SHGetSpecialFolderPathA") == 0 &&
        !machine().firstShell)
        return asProcedure(&SHGetSpecialFolderPathA);
    failWith(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    callFails("FreeLibrary");  // releasing always takes effect
    const Handle* library = module == ntdll ? nullptr : objectOf(module);
    return library && !library->library.empty() && dropHandle(module) ? TRUE : failWith(ERROR_INVALID_HANDLE);
}
