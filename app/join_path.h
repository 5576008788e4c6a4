// Joins a folder and a name into a path of at most MAX_PATH - 1 characters.
#pragma once

// Writes folder, one backslash unless folder already ends in one, and name into destination (MAX_PATH bytes).
// Fails, leaving destination empty, when folder is empty or the result would not fit.
bool joinPath(char* destination, const char* folder, const char* name);
