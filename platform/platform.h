// The program's only door to the operating system: the Win32 names it calls, bound to Windows or to the simulation.
#pragma once

#include <stdio.h>
#include <time.h>

#ifdef PELVANE_SIMULATED_PLATFORM
#include "platform/simulated/win32_api.h"
#else
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#endif

// The few process services the program takes from the C runtime, behind the same door so that tests can watch them.

// Opens the cleanup log for writing in text mode ("w"); null when it cannot be created.
FILE* openLogStream(const char* path);

// The current local time.
void currentLocalTime(struct tm* out);

// Flushes and closes every open stream, then ends the process with the given exit code.
[[noreturn]] void endProcess(int exitCode);
