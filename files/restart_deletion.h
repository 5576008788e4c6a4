// Registers a file or folder for deletion at the next restart, by the means of the running Windows family.
#pragma once

// True when the system accepted the registration.
bool scheduleDeleteAtRestart(const char* path);
