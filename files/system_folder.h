// Where the system keeps one of its own folders, asked in the way each Windows understands.
#pragma once

// Fills path (MAX_PATH bytes) with the folder of a shell folder identifier (CSIDL_...); false when no way knows it.
// The shell answers where it can; the Windows, System, Program Files and Common Files folders, which the shells of
// 95, 98 and NT4 do not know, then come from the kernel and from the values setup wrote in the registry.
bool systemFolderPath(int folder, char* path);
