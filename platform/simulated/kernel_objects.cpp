// The simulated kernel objects: named mutexes, threads on the virtual clock, their handles and the last error.
#include <stdexcept>

#include "platform/simulated/machine.h"

namespace sim {
namespace {

const ULONG_PTR firstHandle = 0x3000;

long idOf(HANDLE handle) { return static_cast<long>(reinterpret_cast<ULONG_PTR>(handle) - firstHandle); }

}  // namespace

HANDLE newHandle(const Handle& object) {
    Machine& m = machine();
    const long id = m.nextHandle++;
    m.handles[id] = object;
    return reinterpret_cast<HANDLE>(firstHandle + static_cast<ULONG_PTR>(id));
}

Handle* objectOf(HANDLE handle) {
    auto it = machine().handles.find(idOf(handle));
    return it == machine().handles.end() ? nullptr : &it->second;
}

bool dropHandle(HANDLE handle) { return machine().handles.erase(idOf(handle)) > 0; }

void holdMutexElsewhere(const std::string& name) { machine().mutexesElsewhere.push_back(name); }
int openHandles() { return static_cast<int>(machine().handles.size()); }
void closeOpenHandles() { machine().handles.clear(); }

}  // namespace sim

using namespace sim;

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
    Machine& m = machine();
    if (callFails("CreateMutexA", {name ? name : "(null)"})) {
        m.lastError = ERROR_ACCESS_DENIED;  // as when a copy run by another user holds it
        return nullptr;
    }
    if (name && std::string(name).find('\\') != std::string::npos && m.ninetyFive) {
        m.lastError = ERROR_INVALID_NAME;  // the 95/98/Me family has no namespaces for kernel objects
        return nullptr;
    }
    bool exists = false;
    if (name) {
        for (const std::string& held : m.mutexesElsewhere) exists = exists || held == name;
        for (const auto& object : m.handles) exists = exists || object.second.mutexName == name;
    }
    m.lastError = exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    return newHandle(Handle{name ? name : "", -1, ""});
}

DWORD WINAPI GetLastError(void) {
    const DWORD error = machine().lastError;
    callFails("GetLastError");  // it cannot fail: it reports what the call before it set
    machine().lastError = error;
    return error;
}

void WINAPI SetLastError(DWORD error) { machine().lastError = error; }

BOOL WINAPI CloseHandle(HANDLE handle) {
    callFails("CloseHandle");  // closing always takes effect
    return dropHandle(handle) ? TRUE : FALSE;
}

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, void* parameter, DWORD,
                           LPDWORD threadId) {
    Machine& m = machine();
    if (callFails("CreateThread")) return nullptr;
    if (!threadId && m.ninetyFive) return nullptr;  // the 95/98/Me family wants a place for the id
    if (m.inThread) throw std::logic_error("the simulated threads do not start threads");
    m.inThread = true;
    m.threadReturnsAtMs = static_cast<long>(m.clockMs);
    start(parameter);
    m.inThread = false;
    if (threadId) *threadId = 0x100 + static_cast<DWORD>(m.nextHandle);
    return newHandle(Handle{"", m.threadReturnsAtMs, ""});
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    Machine& m = machine();
    if (callFails("WaitForSingleObject")) return WAIT_FAILED;
    const Handle* object = objectOf(handle);
    if (!object) return WAIT_FAILED;
    if (!object->mutexName.empty()) return WAIT_OBJECT_0;
    const long now = static_cast<long>(m.clockMs);
    if (object->returnsAtMs >= 0 && object->returnsAtMs <= now + static_cast<long>(milliseconds)) {
        if (object->returnsAtMs > now) advanceClock(static_cast<unsigned long>(object->returnsAtMs - now));
        return WAIT_OBJECT_0;
    }
    advanceClock(milliseconds);
    return WAIT_TIMEOUT;
}
