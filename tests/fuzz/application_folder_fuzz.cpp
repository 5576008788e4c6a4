// Fuzzes the folder derived from a file chosen in the open-file dialog: it is the folder that directly holds the
// chosen file, never a drive or share root, or the run stops with the folder error.
#include <stdint.h>
#include <stdlib.h>

#include <algorithm>
#include <string>

#include "files/application_folder.h"
#include "platform/simulated/simulation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string chosen(reinterpret_cast<const char*>(data), size);
    chosen = chosen.c_str();
    if (chosen.empty() || chosen.size() >= MAX_PATH) return 0;
    sim::reset();
    sim::setProgramFiles("");
    sim::answer({IDYES, IDOK});
    sim::chooseInDialog(chosen);
    char folder[MAX_PATH];
    const int code = locateApplicationFolder(nullptr, folder);
    const size_t slash = chosen.rfind('\\');
    if (code == 0) {
        // The chosen path is the folder, a backslash and the file's own name.
        if (slash == std::string::npos || chosen.substr(0, slash) != folder || !confirmEachDeletion) abort();
        const std::string kept = folder;
        if (kept.empty() || kept.back() == ':') abort();
        if (kept.rfind("\\\\", 0) == 0 && std::count(kept.begin(), kept.end(), '\\') < 4) abort();  // a share root
    } else if (code != 4 && code != 2) {
        abort();
    }
    return 0;
}
