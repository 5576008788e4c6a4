// Where the system keeps one of its own folders, asked in the way each Windows understands.
#pragma once

// Folders no shell folder identifier names, numbered below the identifiers (which begin at 0) and asked of
// systemFolderPath like them: the temporary folder (with its closing backslash, as the kernel gives it), and the
// 64-bit Program Files and Common Files. On 64-bit Windows the shell answers this 32-bit program's
// CSIDL_PROGRAM_FILES and CSIDL_PROGRAM_FILES_COMMON with the 32-bit folders below Program Files (x86); the 64-bit
// ones are known only where the program runs under WOW64, and nowhere else. commonFiles64 is the lowest of all.
const int temporaryFolder = -1;
const int programFiles64 = -2;
const int commonFiles64 = -3;

// Fills path (MAX_PATH bytes) with the folder of a shell folder identifier (CSIDL_...) or of one of the identifiers
// above; false when no way knows it. The shell answers where it can; the Windows, System, Program Files and Common
// Files folders, which the shells of 95, 98 and NT4 do not know, then come from the kernel and from the values setup
// wrote in the registry.
bool systemFolderPath(int folder, char* path);
