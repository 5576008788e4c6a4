// Fuzzes registry entry texts: whatever the text, no root and nothing outside the named key is deleted (nothing
// through a link), and every opened key is closed.
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "platform/simulated/simulation.h"
#include "registry/registry_cleanup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.c_str();
    sim::reset();
    sim::addValue("HKLM\\SOFTWARE\\Keep", "value", "x");
    sim::addValue("HKCU\\Software\\Keep", "value", "x");
    sim::addValue("HKCR\\.keep", "value", "x");
    sim::addValue("HKLM\\SOFTWARE\\Target\\Below", "v", "x");
    sim::addRegistryLink("HKLM\\SOFTWARE\\Target\\Link", "HKLM\\SOFTWARE\\Keep");
    sim::addRegistryLink("HKCU\\Software\\Way", "HKLM\\SOFTWARE");
    const HKEY root = rootKeyFromPrefix(text.c_str());
    if (root && root != HKEY_CLASSES_ROOT && root != HKEY_CURRENT_USER && root != HKEY_LOCAL_MACHINE) abort();
    const size_t tab = text.find('\t');
    if (tab == std::string::npos)
        deleteRegistryTree(text.c_str(), nullptr);
    else
        deleteRegistryValue(text.substr(0, tab).c_str(), text.substr(tab + 1).c_str(), nullptr);
    if (sim::openKeys() != 0) abort();
    // Each planted key is either still there or was named by the text itself (its own key or a key above it).
    for (const char* key : {"HKLM\\SOFTWARE\\Keep", "HKCU\\Software\\Keep", "HKCR\\.keep", "HKLM\\SOFTWARE\\Target\\Below"}) {
        if (sim::keyExists(key)) continue;
        std::string named = tab == std::string::npos ? text : text.substr(0, tab);
        std::string lowerNamed, lowerKey;
        for (char c : named) lowerNamed += static_cast<char>(tolower(static_cast<unsigned char>(c)));
        for (const char* c = key; *c; ++c) lowerKey += static_cast<char>(tolower(static_cast<unsigned char>(*c)));
        while (!lowerNamed.empty() && lowerNamed.back() == '\\') lowerNamed.pop_back();
        if (lowerNamed.size() <= 5 || lowerKey.compare(0, lowerNamed.size(), lowerNamed) != 0) abort();
    }
    return 0;
}
