// Closing the running product: the one-second poll, the stop when its window stays, and its place before the registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/expected/messages.h"
#include "app/cleanup_log.h"
#include "instance/running_instance.h"
#include "platform/simulated/simulation.h"
#include "tests/host/program.h"

namespace {

using expected::productStopText;

const char* const header = "Pelvane Cleanup: Thu Jul 03 06:45:02 2003\r\n========================================\r\n\r\n";
const char* const uninstallKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenderholt Pelvane 6.0";
const char* const runKey = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

sim::WindowSetup productWindow(int closesAfterMs, bool hung = false, int asksForMs = 0) {
    return sim::WindowSetup{"Pelvane50", closesAfterMs, hung, asksForMs};
}

// The exit code when closeRunningInstance ends the process; -1 when it returns.
int stopCode() {
    try {
        closeRunningInstance();
        return -1;
    } catch (const sim::ProcessExit& exit) {
        return exit.code;
    }
}

// Some of the product's registry entries, to see that a stopped run leaves them.
void plantProductEntries() {
    sim::addKey(uninstallKey);
    sim::addValue("HKCU\\Software\\Quenderholt\\Pelvane", "Layout", "000105C9");
    sim::addKey("HKCR\\.pvp");
    sim::addValue(runKey, "pelvane.exe", "pelvane.exe");
}

// Where in the record of platform calls a function was first and last called; -1 when never.
long firstCallOf(const std::string& function) {
    const auto& calls = sim::calls();
    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].function == function) return static_cast<long>(i);
    return -1;
}
long lastCallOf(const std::string& function) {
    const auto& calls = sim::calls();
    for (size_t i = calls.size(); i-- > 0;)
        if (calls[i].function == function) return static_cast<long>(i);
    return -1;
}

class RunningInstance : public ::testing::Test {
protected:
    void SetUp() override { sim::reset(); }
};

// ---- The poll.

TEST_F(RunningInstance, WithoutAProductWindowNothingIsSentAndNothingAwaited) {
    EXPECT_FALSE(closeRunningInstance());
    ASSERT_EQ(sim::callsOf("FindWindowA"), 1);
    EXPECT_EQ(sim::calls()[0].args, std::vector<std::string>{"Pelvane50"});
    EXPECT_EQ(sim::callsOf("SendMessageTimeoutA"), 0);
    EXPECT_TRUE(sim::sleeps().empty());
    EXPECT_TRUE(sim::boxes().empty());
}

TEST_F(RunningInstance, AWindowThatClosesAtOnceIsReportedAfterOneWait) {
    sim::addWindow(productWindow(0));
    EXPECT_TRUE(closeRunningInstance());
    EXPECT_EQ(sim::sleeps(), std::vector<DWORD>{1000});
    // WM_CLOSE is sent from a thread of its own, which has returned by the first wait for it: no probe needed.
    EXPECT_EQ(sim::calls().at(2).function + " " + sim::calls()[2].args.at(0), "SendMessageA 0x10");
    EXPECT_EQ(sim::callsOf("SendMessageTimeoutA"), 0);
    EXPECT_EQ(sim::openHandles(), 0);
    EXPECT_EQ(sim::callsOf("FindWindowA"), 2);
    EXPECT_EQ(sim::clockMs(), 1000u);
    EXPECT_EQ(sim::windowsOfClass("Pelvane50"), 0);
    EXPECT_TRUE(sim::boxes().empty());
}

TEST_F(RunningInstance, AWindowIsAwaitedOneSecondAtATime) {
    struct Case {
        int closesAfterMs;
        size_t waits;
    };
    for (const Case& c : {Case{999, 1}, Case{1000, 1}, Case{1001, 2}, Case{3500, 4}, Case{10000, 10}}) {
        sim::reset();
        sim::addWindow(productWindow(c.closesAfterMs));
        EXPECT_TRUE(closeRunningInstance()) << c.closesAfterMs;
        EXPECT_EQ(sim::sleeps(), std::vector<DWORD>(c.waits, 1000)) << c.closesAfterMs;
        EXPECT_EQ(sim::callsOf("SendMessageA"), 1) << c.closesAfterMs;
        EXPECT_TRUE(sim::boxes().empty()) << c.closesAfterMs;
    }
}

TEST_F(RunningInstance, AWindowThatStaysEndsTheProcessAfterTenWaits) {
    for (int closesAfterMs : {-1, 10001}) {
        sim::reset();
        sim::addWindow(productWindow(closesAfterMs));
        EXPECT_EQ(stopCode(), 1) << closesAfterMs;
        EXPECT_EQ(sim::sleeps(), std::vector<DWORD>(10, 1000)) << closesAfterMs;
        EXPECT_EQ(sim::callsOf("FindWindowA"), 11) << closesAfterMs;
        EXPECT_EQ(sim::callsOf("SendMessageA"), 1) << closesAfterMs;
        ASSERT_EQ(sim::boxes().size(), 1u) << closesAfterMs;
        EXPECT_EQ(sim::boxes()[0].text, productStopText);
        EXPECT_EQ(sim::boxes()[0].caption, "Quenderholt Pelvane: Uninstallation Cleanup");
        EXPECT_EQ(sim::boxes()[0].style, 0x10u);
        EXPECT_EQ(sim::calls().back().function, "MessageBoxA");
    }
}

TEST_F(RunningInstance, ASecondProductWindowCountsAsStillRunning) {
    sim::addWindow(productWindow(0));
    sim::addWindow(productWindow(0));
    EXPECT_EQ(stopCode(), 1);
    EXPECT_EQ(sim::callsOf("SendMessageA"), 1);  // only the first window is asked to close
    EXPECT_EQ(sim::sleeps().size(), 10u);
    EXPECT_EQ(sim::windowsOfClass("Pelvane50"), 1);
    ASSERT_EQ(sim::boxes().size(), 1u);
    EXPECT_EQ(sim::boxes()[0].text, productStopText);
}

TEST_F(RunningInstance, AHungWindowIsCutShortByItsFirstUnansweredProbeThenTheSameStop) {
    sim::addWindow(productWindow(0, true));
    EXPECT_EQ(stopCode(), 1);
    EXPECT_EQ(sim::sleeps(), std::vector<DWORD>(10, 1000));
    // One second's wait for the send, a probe that gives up after 5 s, then ten one-second waits.
    EXPECT_EQ(sim::clockMs(), 1000u + 5000u + 10 * 1000u);
    EXPECT_EQ(sim::callsOf("SendMessageTimeoutA"), 1);
    EXPECT_EQ(sim::callsOf("CloseHandle"), 1) << "the thread's handle is closed before the looks";
    ASSERT_EQ(sim::boxes().size(), 1u);
    EXPECT_EQ(sim::boxes()[0].text, productStopText);
    EXPECT_EQ(sim::boxes()[0].style, 0x10u);
}

// A product whose WM_CLOSE handler asks its own user first keeps answering messages: it is waited for in one-second
// slices, each followed by a probe, for as long as it asks; then come the looks as for any other.
TEST_F(RunningInstance, AProductAskingItsUserIsWaitedForAsLongAsItAnswers) {
    struct Case {
        const char* what;
        int asksForMs, closesAfterMs;
        const char* failing;  // a platform function that fails, or ""
        int code;             // -1: closeRunningInstance returned true
        unsigned long clockMs;
        int probes;  // WM_NULL sends
    };
    for (const Case& c : {
             Case{"asks 20 s, then closes", 20000, 0, "", -1, 21000, 19},
             Case{"asks 60 s, then closes", 60000, 0, "", -1, 61000, 59},
             Case{"asks 20 s, closes 2.5 s later", 20000, 2500, "", -1, 23000, 19},
             Case{"asks 20 s, its user keeps it open", 20000, -1, "", 1, 30000, 19},
             Case{"asks 4 s, no thread: the send itself waits", 4000, 0, "CreateThread", -1, 5000, 0},
             Case{"asks 20 s, no thread: the send gives up after 5 s", 20000, 0, "CreateThread", 1, 15000, 0},
             Case{"asks 20 s, the wait fails", 20000, 0, "WaitForSingleObject", 1, 10000, 0},
         }) {
        sim::reset();
        sim::addWindow(productWindow(c.closesAfterMs, false, c.asksForMs));
        if (*c.failing) sim::failFunction(c.failing);
        EXPECT_EQ(stopCode(), c.code) << c.what;
        EXPECT_EQ(sim::clockMs(), c.clockMs) << c.what;
        int probes = 0;
        for (const sim::Call& call : sim::calls())
            probes += call.function == "SendMessageTimeoutA" && call.args == std::vector<std::string>{"0x0"};
        EXPECT_EQ(probes, c.probes) << c.what;
        EXPECT_EQ(sim::callsOf("SendMessageA") + sim::callsOf("SendMessageTimeoutA") - probes, 1) << c.what;
        const bool threadStarted = std::string(c.failing) != "CreateThread";
        EXPECT_EQ(sim::callsOf("CloseHandle"), threadStarted ? 1 : 0) << c.what << ": the thread's handle, every way";
        EXPECT_EQ(sim::boxes().size(), c.code == 1 ? 1u : 0u) << c.what;
    }
}

TEST_F(RunningInstance, AFailedSendIsStillFollowedByTheLooks) {
    sim::addWindow(productWindow(0));
    sim::failFunction("SendMessageA");
    EXPECT_EQ(stopCode(), 1);
    EXPECT_EQ(sim::sleeps().size(), 10u);
}

TEST_F(RunningInstance, TheStopClosesTheLogWithItsHeaderEvenWhenItsBoxFails) {
    char logPath[MAX_PATH];
    ASSERT_NE(openLog(logPath), nullptr);
    sim::addWindow(productWindow(-1));
    sim::failFunction("MessageBoxA");
    EXPECT_EQ(stopCode(), 1);
    EXPECT_EQ(sim::openStreams(), 0);
    EXPECT_EQ(sim::fileContent(logFile), header);
    EXPECT_EQ(sim::boxes().size(), 1u);
}

// ---- Its place in the run.

TEST_F(RunningInstance, ARunWithoutTheProductSaysSoBeforeTheRegistry) {
    sim::answer({IDYES, IDNO});
    EXPECT_EQ(runProgram(), 3);
    EXPECT_EQ(logText().rfind(std::string(header) + "Pelvane was not running\r\n\r\nRegistry cleanup\r\n", 0), 0u);
    EXPECT_TRUE(sim::sleeps().empty());
    EXPECT_EQ(sim::callsOf("SendMessageTimeoutA"), 0);
}

TEST_F(RunningInstance, ARunClosesTheProductBeforeItDeletesAnything) {
    plantProductEntries();
    sim::addWindow(productWindow(3500));
    sim::answer({IDYES, IDYES, IDNO});
    EXPECT_EQ(runProgram(), 3);
    const std::string start =
        std::string(header) + "Pelvane was running and has been terminated\r\n\r\nRegistry cleanup\r\n";
    EXPECT_EQ(logText().rfind(start, 0), 0u);
    EXPECT_EQ(sim::sleeps().size(), 4u);
    ASSERT_GE(firstCallOf("NtDeleteKey"), 0);
    EXPECT_LT(lastCallOf("FindWindowA"), firstCallOf("NtDeleteKey"));
    EXPECT_LT(lastCallOf("FindWindowA"), firstCallOf("RegDeleteValueA"));
    EXPECT_FALSE(sim::keyExists("HKCU\\Software\\Quenderholt"));
    EXPECT_FALSE(sim::valueExists(runKey, "pelvane.exe"));
}

TEST_F(RunningInstance, AProductThatWillNotCloseStopsTheRunBeforeTheRegistry) {
    for (bool hung : {false, true}) {
        sim::reset();
        plantProductEntries();
        sim::addWindow(productWindow(-1, hung));
        const auto before = sim::registryDump();
        sim::answer({IDYES, IDYES, IDYES});
        EXPECT_EQ(runProgram(), 1) << hung;
        ASSERT_EQ(sim::boxes().size(), 3u) << hung;
        EXPECT_EQ(sim::boxes()[2].text, productStopText);
        EXPECT_EQ(sim::boxes()[2].style, 0x10u);
        EXPECT_EQ(logText(), header) << hung;
        EXPECT_EQ(sim::registryDump(), before) << hung;
        EXPECT_EQ(sim::callsOf("RegOpenKeyExA"), 1) << hung;  // the installation probe only
        EXPECT_EQ(sim::callsOf("NtDeleteKey") + sim::callsOf("RegDeleteValueA"), 0) << hung;
        EXPECT_EQ(sim::callsOf("SHGetSpecialFolderPathA"), 0) << hung;
        EXPECT_EQ(sim::openKeys(), 0) << hung;
        EXPECT_EQ(sim::clockMs(), hung ? 16000u : 10000u);
    }
}

}  // namespace
