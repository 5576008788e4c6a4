// Fuzzes the registration for deletion at restart on the 95/98/Me family: whatever WININIT.INI held, every entry of
// its "rename" section is kept, and an accepted registration adds exactly one "NUL=" line.
#include <stdint.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "files/restart_deletion.h"
#include "platform/simulated/simulation.h"

// The lines of the "rename" section as the profile functions give them.
static std::vector<std::string> renameLines() {
    static char buffer[65536];
    const DWORD used = GetPrivateProfileSectionA("rename", buffer, sizeof buffer, "WININIT.INI");
    std::vector<std::string> lines;
    for (DWORD at = 0; at < used && buffer[at];) {
        lines.push_back(buffer + at);
        at += static_cast<DWORD>(lines.back().size() + 1);
    }
    return lines;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string content(reinterpret_cast<const char*>(data), size);
    content = content.c_str();
    sim::reset();
    sim::setVersion(0xC0000A04);
    sim::addFile("C:\\windows\\WININIT.INI", content);
    sim::addFile("C:\\Program Files\\Quenderholt\\Pelvane\\pelvane32.dll");
    const std::vector<std::string> before = renameLines();
    const bool registered = scheduleDeleteAtRestart("C:\\Program Files\\Quenderholt\\Pelvane\\pelvane32.dll");
    const std::vector<std::string> after = renameLines();
    if (!registered) {
        if (after != before) abort();
        return 0;
    }
    if (after.size() != before.size() + 1 || !std::equal(before.begin(), before.end(), after.begin())) abort();
    if (after.back() != "NUL=C:\\PROGRA~1\\QUENDE~1\\PELVANE\\PELVAN~1.DLL") abort();
    return 0;
}
