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

// A buffered text-mode stream that writes to file, a handle open for writing, which the stream then owns; null, the
// handle closed, when none can be made.
FILE* streamOfFile(HANDLE file);

// The current local time.
void currentLocalTime(struct tm* out);

// Flushes and closes every open stream, then ends the process with the given exit code.
[[noreturn]] void endProcess(int exitCode);

// Whether this is the NT family, whatever version it reports: a compatibility mode ("Windows 95", "Windows 98/Me")
// makes GetVersion report the 95/98/Me family, but the system keeps its links, rights and delayed moves. Every
// process of the NT family has its ntdll loaded (its loader lives there); 95/98/Me have none.
bool isNtFamily();
