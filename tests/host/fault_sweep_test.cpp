// Whole runs with one platform call failing, then every call from one on: the program must stay sound each time.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>

#include "platform/simulated/simulation.h"
#include "tests/host/program.h"

namespace {

const char* const folder = "C:\\Program Files\\Quenderholt\\Pelvane";
const char* const uninstallKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenderholt Pelvane 6.0";

// What lies next to the targets and must come through every run unchanged.
void plantCanary() {
    sim::addFile("C:\\Program Files\\Quenderholt\\Pelvane2\\keep.txt", "keep");
    sim::addFile("C:\\Program Files\\Quenderholt\\keep.dll", "keep");
    sim::addFile("D:\\Other\\pelvane32.dll.bak", "keep");
    sim::addValue("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "other.exe", "keep");
    sim::addValue("HKLM\\SOFTWARE\\Quenderholt2\\Quenderholt", "keep", "keep");
    sim::addKey("HKLM\\SOFTWARE\\Classes\\.pvq");
}

std::vector<std::string> canary() {
    std::vector<std::string> seen = sim::tree("C:\\Program Files\\Quenderholt\\Pelvane2");
    for (const char* path : {"C:\\Program Files\\Quenderholt\\keep.dll", "D:\\Other\\pelvane32.dll.bak"})
        seen.push_back(std::string(path) + (sim::exists(path) ? "=" + sim::fileContent(path) : " gone"));
    for (const std::string& entry : sim::registryDump())
        if ((entry.find("Quenderholt2") != std::string::npos || entry.find("other.exe") != std::string::npos ||
             entry.find(".pvq") != std::string::npos) && entry.find(" -> ") == std::string::npos)
            seen.push_back(entry);
    return seen;
}

void plantInstallation() {
    sim::addFile(std::string(folder) + "\\pelvane32.dll", "library");
    sim::addFile(std::string(folder) + "\\pelvane.exe", "program", FILE_ATTRIBUTE_READONLY);
    sim::addFile(std::string(folder) + "\\Keyboards\\zq.pvk", "", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    sim::addFile(std::string(folder) + "\\Keyboards\\.settings", "");
    sim::addFolder(std::string(folder) + "\\Empty");
    sim::addKey("HKCR\\.pvp");
    sim::addKey("HKLM\\SOFTWARE\\Quenderholt\\Pelvane\\6.0");
    sim::addValue("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "pelvane.exe", "pelvane.exe");
    sim::addKey("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.pvx\\OpenWithList");
}

struct Scenario {
    const char* name;
    std::function<void()> setUp;
};

const std::vector<Scenario>& scenarios() {
    static const std::vector<Scenario> all = {
        {"default place", [] { plantInstallation(); }},
        {"still installed", [] {
             plantInstallation();
             sim::addKey(uninstallKey);
         }},
        {"dialog", [] {
             sim::addFile("D:\\Moved\\Pelvane\\pelvane32.dll");
             sim::addFile("D:\\Moved\\Pelvane\\Sub\\a.txt");
             sim::chooseInDialog("D:\\Moved\\Pelvane\\pelvane32.dll");
         }},
        {"dialog, 95 family with the shell it first came with", [] {
             sim::useWindows98();
             sim::useFirstShell();
             sim::addValue("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", "C:\\Program Files");
             sim::addFile("D:\\Moved\\Pelvane\\pelvane32.dll");
             sim::chooseInDialog("D:\\Moved\\Pelvane\\pelvane32.dll");
         }},
        {"hostile names and a link", [] {
             plantInstallation();
             // Listed as "x\..\..\..\keep.dll", which joined to Keyboards names a file of the canary.
             const std::string climbing = std::string(folder) + "\\Keyboards\\x\xEF\xBC\xBC..\xEF\xBC\xBC..\xEF\xBC\xBC..\xEF\xBC\xBCkeep.dll";
             sim::addFile(climbing);
             sim::setListedName("\\\\?\\" + climbing, "x\\..\\..\\..\\keep.dll");
             sim::setShortName("\\\\?\\" + climbing, "X__~1.DLL");
             sim::addFile(std::string(folder) + "\\trail.");
             sim::addLink(std::string(folder) + "\\Keyboards\\other", "D:\\Other");
             // Registry links to the canary: inside a table tree, and above rows 11 to 13.
             sim::addRegistryLink("HKLM\\SOFTWARE\\Quenderholt\\Pelvane\\Elsewhere", "HKLM\\SOFTWARE\\Quenderholt2");
             sim::addRegistryLink(
                 "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs",
                 "HKLM\\SOFTWARE\\Quenderholt2");
         }},
        {"product running", [] {
             plantInstallation();
             sim::addWindow({"Pelvane50", 2500, false});
         }},
        {"product asking its user before it closes", [] {
             plantInstallation();
             sim::addWindow({"Pelvane50", 0, false, 20000});
         }},
        {"locked files, NT family", [] {
             plantInstallation();
             sim::lockFile(std::string(folder) + "\\pelvane32.dll");
         }},
        {"locked files, 95 family", [] {
             plantInstallation();
             sim::lockFile(std::string(folder) + "\\pelvane32.dll");
             sim::useWindows98();
             sim::addFile("C:\\windows\\WININIT.INI", "[rename]\r\nNUL=C:\\OTHER\\OLD.TMP\r\n");
         }},
    };
    return all;
}

// The ending a log must have for each exit code, when the run got as far as opening it.
bool endsAsItShould(const std::string& log, int code) {
    auto endsWith = [&](const std::string& tail) {
        return log.size() >= tail.size() && log.compare(log.size() - tail.size(), tail.size(), tail) == 0;
    };
    switch (code) {
        case 0: return endsWith("\r\nPelvane cleanup completed.\r\n\r\n");
        case 1: return endsWith("\r\nCleanup terminated to allow uninstallation first.\r\n\r\n") ||
                       endsWith("========================================\r\n\r\n");
        case 2: return endsWith("\r\nUnable to identify application folder, cleanup aborted.\r\n");
        case 3: return endsWith("\r\nCleanup terminated without deleting files.\r\n");
        case 4: return endsWith("\r\nApplication folder error, cleanup aborted.");
    }
    return false;
}

struct Sweep {
    long runs = 0;
    std::set<std::string> failedFunctions;
};

// One run with the faults set up by inject; checks everything a sound run must leave behind.
void runWithFault(const Scenario& scenario, const std::function<void()>& inject, const std::string& label,
                  Sweep* sweep) {
    sim::reset();
    sim::addFile("C:\\users\\test\\Temp\\PelvaneCleanup.log", "earlier\r\n");
    plantCanary();
    scenario.setUp();
    sim::answer(std::vector<int>(40, IDYES));
    const std::vector<std::string> before = canary();
    inject();
    int code;
    bool ended = false;
    try {
        code = WinMain(nullptr, nullptr, nullptr, 0);
    } catch (const sim::ProcessExit& exit) {
        code = exit.code;
        ended = true;
    }
    SCOPED_TRACE(std::string(scenario.name) + ", " + label);
    ++sweep->runs;
    EXPECT_GE(code, 0);
    EXPECT_LE(code, 5);
    EXPECT_EQ(sim::openKeys(), 0);
    EXPECT_EQ(sim::openSearches(), 0);
    EXPECT_EQ(sim::openHandles(), 0);
    if (!ended && code != 1) {
        EXPECT_EQ(sim::openStreams(), 0) << "the log was left open";
    }
    sim::closeOpenStreams();
    EXPECT_EQ(canary(), before) << "something next to the targets changed";
    const std::string log = logText();
    if (code == 5) {
        // Another copy may be running: nothing but the one-copy check and its box, the earlier log as it was.
        for (const sim::Call& call : sim::calls()) {
            EXPECT_TRUE(call.function == "CreateMutexA" || call.function == "GetLastError" ||
                        call.function == "CloseHandle" || call.function == "MessageBoxA")
                << call.function;
        }
        EXPECT_EQ(log, "earlier\r\n");
    } else if (log != "earlier\r\n" && log != "(no log)" && !log.empty()) {
        EXPECT_EQ(log.rfind("Pelvane Cleanup: ", 0), 0u) << log;
        for (size_t at = log.find('\n'); at != std::string::npos; at = log.find('\n', at + 1))
            ASSERT_TRUE(at > 0 && log[at - 1] == '\r') << "a bare line feed in the log";
        EXPECT_TRUE(endsAsItShould(log, code)) << "exit code " << code << ", log:\n" << log;
    }
}

TEST(FaultSweep, EveryPlatformCallFailingOnceAndFromThenOnLeavesASoundRun) {
    Sweep sweep;
    long failurePoints = 0;
    for (const Scenario& scenario : scenarios()) {
        sim::reset();
        plantCanary();
        scenario.setUp();
        sim::answer(std::vector<int>(40, IDYES));
        runProgram();
        const std::vector<sim::Call> clean = sim::calls();
        ASSERT_GT(clean.size(), 20u) << scenario.name;
        for (long k = 1; k <= static_cast<long>(clean.size()); ++k) {
            sweep.failedFunctions.insert(clean[k - 1].function);
            runWithFault(scenario, [k] { sim::failCallNumber(k); }, "call " + std::to_string(k) + " fails", &sweep);
            runWithFault(scenario, [k] { sim::failFromCallNumber(k); }, "calls from " + std::to_string(k) + " fail",
                         &sweep);
            ++failurePoints;
            if (HasFatalFailure()) return;
        }
    }
    std::printf("fault sweep: %ld runs over %ld failure points in %zu scenarios, %zu kinds of call failed\n",
                sweep.runs, failurePoints, scenarios().size(), sweep.failedFunctions.size());
    if (FILE* report = std::fopen("fault-sweep.txt", "w")) {
        std::fprintf(report, "fault sweep: %ld runs over %ld failure points in %zu scenarios, %zu kinds of call failed\n",
                     sweep.runs, failurePoints, scenarios().size(), sweep.failedFunctions.size());
        std::fclose(report);
    }
}

}  // namespace
