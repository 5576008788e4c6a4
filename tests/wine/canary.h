// A canary around every Wine test: files and registry entries beside the program's targets that must never change.
#pragma once

#include <string>

namespace harness {

// Plants the canary before a test (replacing any left from a killed run).
void plantCanary();
// Everything the canary holds, file bytes, attributes, keys and values, as one text to compare.
std::string canarySnapshot();
// Removes the canary after a test.
void removeCanary();

}  // namespace harness
