// Runs the whole program against the simulated Windows, as the system would start and end it.
#pragma once

#include <string>
#include <vector>

// The program's exit code: WinMain's result, or the code it ended the process with; open streams are then
// flushed and closed as the C runtime does at exit.
int runProgram();

// The log of the last run, with its CR LF line ends.
std::string logText();

// Splits text at "\r\n" into lines.
std::vector<std::string> lines(const std::string& text);

extern const char* const logFile;
