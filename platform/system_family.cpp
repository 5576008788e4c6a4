// Which family of Windows runs the program, judged by what the system is rather than by the version it reports.
#include "platform/platform.h"

bool isNtFamily() { return GetModuleHandleA("ntdll.dll") != nullptr; }
