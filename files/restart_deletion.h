// Registers a file or folder for deletion at the next restart, by the means of the running Windows family.
#pragma once

// True when the system accepted the registration. The delayed move of the NT family is used wherever the system has
// it; 95/98/Me answer it as not implemented, and there WININIT.INI takes the path.
bool scheduleDeleteAtRestart(const char* path);

// Registers path in WININIT.INI, which 95/98/Me carry out at their start: its short form on a "NUL=" line at the end
// of the "rename" section, every other byte of the file kept. True when the line was written.
bool scheduleThroughWininit(const char* path);
