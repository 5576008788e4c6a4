// The simulated system modules: the functions the program finds by name at run time.
#include <string.h>

#include "platform/simulated/machine.h"

namespace sim {
namespace {

struct Export {
    const char* module;
    const char* name;
    FARPROC function;
};

template <typename Function>
FARPROC asProcedure(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// Only the NT family has ntdll's registry calls.
const Export exports[] = {
    {"ntdll.dll", "NtDeleteKey", asProcedure(&ntDeleteKey)},
};
const size_t exportCount = sizeof exports / sizeof *exports;

// A module's handle: the place of its first export in the list; null for a module the system does not have.
HMODULE moduleNamed(const char* name) {
    for (size_t i = 0; i < exportCount; ++i)
        if (lstrcmpiA(name, exports[i].module) == 0) return reinterpret_cast<HMODULE>(0x7000 + i);
    return nullptr;
}

}  // namespace
}  // namespace sim

using namespace sim;

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    if (callFails("GetModuleHandleA", {name ? name : "(null)"})) return nullptr;
    const HMODULE module = name && !(machine().version & 0x80000000u) ? moduleNamed(name) : nullptr;
    if (!module) failWith(ERROR_MOD_NOT_FOUND);
    return module;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    if (callFails("GetProcAddress", {name})) return nullptr;
    for (const Export& e : exports)
        if (module && module == moduleNamed(e.module) && strcmp(name, e.name) == 0) return e.function;
    failWith(ERROR_PROC_NOT_FOUND);
    return nullptr;
}
