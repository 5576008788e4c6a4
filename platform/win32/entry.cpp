// The process's entry point on Windows: no start-up code of the compiler's, WinMain's result to the C runtime's exit.
#include <stdlib.h>

#include "platform/platform.h"

// The program has no static constructors, TLS or command line to prepare; the system's C library (msvcrt) readies
// itself as it is loaded, and its exit flushes and closes every open stream.
extern "C" void WinMainCRTStartup() { exit(WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWDEFAULT)); }
