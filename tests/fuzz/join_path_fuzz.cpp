// Fuzzes joinPath: the result always fits its buffer and is exactly folder, one separator and name, or empty.
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "app/join_path.h"
#include "platform/platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('|');
    if (split == std::string::npos) return 0;
    const std::string folder = input.substr(0, split).c_str();  // up to the first zero, as C text
    const std::string name = input.substr(split + 1).c_str();
    char joined[MAX_PATH + 16];
    std::fill(joined, joined + sizeof joined, '#');
    const bool fitted = joinPath(joined, folder.c_str(), name.c_str());
    for (size_t i = MAX_PATH; i < sizeof joined; ++i)
        if (joined[i] != '#') abort();  // wrote past its buffer
    if (!fitted) {
        if (joined[0] != '\0') abort();
        return 0;
    }
    const std::string expected = folder + (folder.back() == '\\' ? "" : "\\") + name;
    if (folder.empty() || expected != joined || expected.size() >= MAX_PATH) abort();
    return 0;
}
