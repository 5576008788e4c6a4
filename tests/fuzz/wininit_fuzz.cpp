// Fuzzes the registration for deletion at restart on the 95/98/Me family: whatever WININIT.INI held, every byte of it
// stays, and an accepted registration inserts its "NUL=" line (with a line end before it or the section's heading
// when those are missing) at one place.
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "files/restart_deletion.h"
#include "platform/simulated/simulation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string line = "NUL=C:\\PROGRA~1\\QUENDE~1\\PELVANE\\PELVAN~1.DLL\r\n";
    const std::string before(reinterpret_cast<const char*>(data), size);
    sim::reset();
    sim::useWindows98();
    sim::addFile("C:\\windows\\WININIT.INI", before);
    sim::addFile("C:\\Program Files\\Quenderholt\\Pelvane\\pelvane32.dll");
    const bool registered = scheduleDeleteAtRestart("C:\\Program Files\\Quenderholt\\Pelvane\\pelvane32.dll");
    const std::string after = sim::fileContent("C:\\windows\\WININIT.INI");
    if (sim::openFileHandles() != 0) abort();
    if (!registered) {
        if (after != before) abort();
        return 0;
    }
    const size_t added = after.size() - before.size();
    if (after.size() < before.size() || after.find(line) == std::string::npos) abort();
    if (added != line.size() && added != line.size() + 2 && added != line.size() + 10 && added != line.size() + 12)
        abort();
    size_t same = 0;
    while (same < before.size() && before[same] == after[same]) ++same;
    if (before.compare(same, std::string::npos, after, same + added, std::string::npos) != 0) abort();
    return 0;
}
