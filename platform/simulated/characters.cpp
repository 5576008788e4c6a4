// The simulated code page: walking text by characters, and comparing names without regard to letter case.
#include <cctype>

#include "platform/simulated/machine.h"

using namespace sim;

LPSTR WINAPI CharNextA(LPCSTR at) {
    if (!*at) return const_cast<LPSTR>(at);
    return const_cast<LPSTR>(at + (isLeadByte(static_cast<unsigned char>(*at)) && at[1] ? 2 : 1));
}

LPSTR WINAPI CharPrevA(LPCSTR start, LPCSTR at) {
    LPCSTR previous = start;
    for (LPCSTR walk = start; walk < at;) {
        previous = walk;
        walk = CharNextA(walk);
    }
    return const_cast<LPSTR>(previous);
}

int WINAPI lstrcmpiA(LPCSTR one, LPCSTR other) {
    for (;; ++one, ++other) {
        const int a = std::tolower(static_cast<unsigned char>(*one)), b = std::tolower(static_cast<unsigned char>(*other));
        if (a != b || !a) return a - b;
    }
}
