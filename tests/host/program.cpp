// Runs the whole program against the simulated Windows, as the system would start and end it.
#include "tests/host/program.h"

#include "platform/simulated/simulation.h"

const char* const logFile = "C:\\users\\test\\Temp\\PelvaneCleanup.log";

int runProgram() {
    int code;
    try {
        code = WinMain(nullptr, nullptr, nullptr, 0);
    } catch (const sim::ProcessExit& exit) {
        code = exit.code;
    }
    sim::closeOpenStreams();
    return code;
}

std::string logText() { return sim::exists(logFile) ? sim::fileContent(logFile) : std::string("(no log)"); }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        result.push_back(text.substr(start, end - start));
    if (start < text.size()) result.push_back(text.substr(start));
    return result;
}
