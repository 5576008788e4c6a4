// Registers a file or folder for deletion at the next restart, by the means of the running Windows family.
#pragma once

// True when the system accepted the registration.
bool scheduleDeleteAtRestart(const char* path);

// Whether this is the NT family of Windows (the 95/98/Me family sets the top bit of the version word).
bool isNtFamily();
