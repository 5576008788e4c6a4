// The simulated machine's state, its reset, the record of calls and the injection of faults.
#include "platform/simulated/machine.h"

#include <algorithm>
#include <cctype>

namespace sim {

Machine& machine() {
    static Machine state;
    return state;
}

std::string lowered(const std::string& text) {
    std::string result = text;
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

bool isLeadByte(unsigned char byte) {
    return machine().codePage == 932 && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

BOOL failWith(DWORD error) {
    machine().lastError = error;
    return FALSE;
}

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (isLeadByte(static_cast<unsigned char>(c)) && i + 1 < path.size()) {
            part += c;
            part += path[++i];
        } else if (c == '\\') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

bool callFails(const char* function, std::vector<std::string> args) {
    Machine& m = machine();
    if (m.beforeCall && m.beforeCallOf == function) {
        const std::function<void()> action = std::move(m.beforeCall);
        m.beforeCall = nullptr;
        action();
    }
    m.calls.push_back(Call{function, std::move(args)});
    const long number = static_cast<long>(m.calls.size());
    const int nth = ++m.callsByFunction[function];
    bool fails = number == m.failingCallNumber || (m.failingFromCallNumber > 0 && number >= m.failingFromCallNumber) ||
                 std::find(m.failingFunctions.begin(), m.failingFunctions.end(), function) != m.failingFunctions.end();
    for (const auto& f : m.failingFunctionCalls) fails = fails || (f.first == function && f.second == nth);
    if (fails) m.lastError = ERROR_ACCESS_DENIED;
    return fails;
}

void reset() {
    Machine& m = machine();
    closeOpenStreams();
    m = Machine{};
    m.tempPath = "C:\\users\\test\\Temp\\";
    m.programFiles = "C:\\Program Files";
    m.windowsFolder = "C:\\windows";
    m.systemFolder = "C:\\windows\\system32";
    m.version = 0x1DB10106;  // NT family, as Wine reports it
    m.localTime.tm_year = 2003 - 1900;
    m.localTime.tm_mon = 6;
    m.localTime.tm_mday = 3;
    m.localTime.tm_wday = 4;
    m.localTime.tm_hour = 6;
    m.localTime.tm_min = 45;
    m.localTime.tm_sec = 2;
    m.disk = std::make_unique<Node>();
    m.disk->attributes = FILE_ATTRIBUTE_DIRECTORY;
    for (auto& root : m.roots) root = std::make_unique<Key>();
    addFolder("C:\\users\\test\\Temp");
    addFolder("C:\\Program Files");
    addFolder("C:\\windows\\system32");
    m.specialFolders = {{0x24, "C:\\windows"}, {0x25, "C:\\windows\\system32"}, {0x28, "C:\\users\\test"},
                        {0x2B, "C:\\Program Files\\Common Files"}};
}

void failFunction(const std::string& function) { machine().failingFunctions.push_back(function); }
void failFunctionCall(const std::string& function, int nth) {
    machine().failingFunctionCalls.emplace_back(function, nth);
}
void failCallNumber(long k) { machine().failingCallNumber = k; }
void failFromCallNumber(long k) { machine().failingFromCallNumber = k; }
const std::vector<Call>& calls() { return machine().calls; }
long callCount() { return static_cast<long>(machine().calls.size()); }
int callsOf(const std::string& function) {
    auto it = machine().callsByFunction.find(function);
    return it == machine().callsByFunction.end() ? 0 : it->second;
}

void setTempPath(const std::string& path) { machine().tempPath = path; }
void setProgramFiles(const std::string& path) { machine().programFiles = path; }
void setVersion(DWORD version) { machine().version = version; }
void useWindows98() {
    machine().ninetyFive = true;
    machine().version = 0xC0000A04;
}
void useWow64() {
    Machine& m = machine();
    m.wow64 = true;
    m.programFiles = "C:\\Program Files (x86)";
    m.specialFolders[CSIDL_PROGRAM_FILES_COMMON] = "C:\\Program Files (x86)\\Common Files";
    m.specialFolders[CSIDL_SYSTEMX86] = "C:\\windows\\SysWOW64";
    addFolder("C:\\Program Files (x86)\\Common Files");
    addFolder("C:\\windows\\SysWOW64");
    const std::string setupKey = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion";
    addValue(setupKey, "ProgramFilesDir", "C:\\Program Files");
    addValue(setupKey, "CommonFilesDir", "C:\\Program Files\\Common Files");
}
void setCodePage(int codePage) { machine().codePage = codePage; }
void setSpecialFolder(int csidl, const std::string& path) { machine().specialFolders[csidl] = path; }
void useFirstShell() { machine().firstShell = true; }
void whenAsked(std::function<void()> action) { machine().whenAsked = std::move(action); }
void beforeNextCall(const std::string& function, std::function<void()> action) {
    machine().beforeCallOf = function;
    machine().beforeCall = std::move(action);
}
void setLocalTime(const struct tm& time) { machine().localTime = time; }

}  // namespace sim
