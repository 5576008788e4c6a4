// The run from the first question to its exit code: every way it can end, its boxes and its log.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/expected/messages.h"
#include "platform/simulated/simulation.h"
#include "tests/host/program.h"

namespace {

using expected::caption;
using expected::firstQuestion;
using expected::stillInstalledQuestion;
using expected::otherUsersNote;
using expected::anotherCopyText;

const char* const uninstallKey = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenderholt Pelvane 6.0";
const char* const header = "Pelvane Cleanup: Thu Jul 03 06:45:02 2003\r\n========================================\r\n\r\n";
class Run : public ::testing::Test {
protected:
    void SetUp() override { sim::reset(); }
};

TEST_F(Run, DecliningTheFirstQuestionEndsAtOnceWithoutALog) {
    sim::answer({IDNO});
    EXPECT_EQ(runProgram(), 0);
    ASSERT_EQ(sim::boxes().size(), 1u);
    EXPECT_EQ(sim::boxes()[0].text, firstQuestion);
    EXPECT_EQ(sim::boxes()[0].caption, caption);
    EXPECT_EQ(sim::boxes()[0].style, 0x24u);
    EXPECT_FALSE(sim::exists(logFile));
    EXPECT_EQ(sim::callsOf("RegOpenKeyExA"), 0);
}

TEST_F(Run, DecliningTheFirstQuestionLeavesAnEarlierLogUntouched) {
    sim::addFile(logFile, "an earlier run\r\n");
    sim::answer({IDNO});
    EXPECT_EQ(runProgram(), 0);
    EXPECT_EQ(sim::fileContent(logFile), "an earlier run\r\n");
}

TEST_F(Run, AFailedFirstBoxCountsAsNo) {
    sim::failFunctionCall("MessageBoxA", 1);
    sim::answer({IDYES});
    EXPECT_EQ(runProgram(), 0);
    EXPECT_FALSE(sim::exists(logFile));
}

// A second copy, or one that cannot tell whether another runs, says so first and ends with code 5 having touched
// nothing: no log, no registry entry, no file, no window.
TEST_F(Run, WhileAnotherCopyRunsNothingIsTouchedAndTheCodeIsFive) {
    // The name in the global namespace, and the plain one where names take no backslash; access is denied when a
    // copy run by another user holds it, which leaves nothing to fall back on.
    const struct {
        const char* why;
        DWORD version;
        const char* heldElsewhere;  // "" for none
        int failedCall;             // the CreateMutexA call that fails; 0 for none
    } cases[] = {
        {"held by another copy", 0x1DB10106, "Global\\Quenderholt Remove Pelvane", 0},
        {"held by another copy on the 95/98/Me family", 0xC0000A04, "Quenderholt Remove Pelvane", 0},
        {"held by a copy of another user", 0x1DB10106, "", 1},
        {"the plain name cannot be made either", 0xC0000A04, "", 2},
    };
    for (const auto& c : cases) {
        const char* why = c.why;
        sim::reset();
        if (c.version & 0x80000000u) sim::useWindows98();
        sim::addFile(logFile, "an earlier run\r\n");
        sim::addFile("C:\\Program Files\\Quenderholt\\Pelvane\\pelvane32.dll");
        sim::addKey(uninstallKey);
        sim::addWindow({"Pelvane50", 0, false});
        if (*c.heldElsewhere) sim::holdMutexElsewhere(c.heldElsewhere);
        if (c.failedCall) sim::failFunctionCall("CreateMutexA", c.failedCall);
        const auto registry = sim::registryDump();
        const auto disk = sim::tree("C:\\");
        sim::answer({IDOK, IDYES, IDYES});
        EXPECT_EQ(runProgram(), 5) << why;
        ASSERT_EQ(sim::boxes().size(), 1u) << why;
        EXPECT_EQ(sim::boxes()[0].text, anotherCopyText) << why;
        EXPECT_EQ(sim::boxes()[0].style, 0x10u) << why;
        EXPECT_EQ(sim::fileContent(logFile), "an earlier run\r\n") << why;
        EXPECT_EQ(sim::registryDump(), registry) << why;
        EXPECT_EQ(sim::tree("C:\\"), disk) << why;
        EXPECT_EQ(sim::windowsOfClass("Pelvane50"), 1) << why;
        EXPECT_EQ(sim::openHandles(), 0) << why;
        EXPECT_EQ(sim::calls().at(0).args, std::vector<std::string>{"Global\\Quenderholt Remove Pelvane"}) << "asked first";
    }
}

TEST_F(Run, StoppingForTheUninstallerEndsWithCodeOneAndItsLine) {
    sim::addKey(uninstallKey);
    sim::answer({IDYES, IDNO});
    EXPECT_EQ(runProgram(), 1);
    ASSERT_EQ(sim::boxes().size(), 2u);
    EXPECT_EQ(sim::boxes()[1].text, stillInstalledQuestion);
    EXPECT_EQ(sim::boxes()[1].style, 0x124u);
    EXPECT_EQ(logText(), std::string(header) + "\r\nCleanup terminated to allow uninstallation first.\r\n\r\n");
    EXPECT_EQ(sim::openKeys(), 0);
    EXPECT_TRUE(sim::keyExists(uninstallKey));
}

TEST_F(Run, TheLogIsStillWhenTheRunEndsWithoutClosingIt) {
    sim::addKey(uninstallKey);
    sim::answer({IDYES, IDNO});
    runProgram();
    EXPECT_EQ(sim::openStreams(), 0);
}

TEST_F(Run, AnUninstallKeyThatCannotBeReadCountsAsUninstalled) {
    sim::addKey(uninstallKey);
    sim::denyAllAccess(uninstallKey);
    sim::answer({IDYES, IDNO});
    EXPECT_EQ(runProgram(), 3);
    EXPECT_NE(sim::boxes()[1].text, stillInstalledQuestion);
}

TEST_F(Run, GoingOnAnywayDeletesTheUninstallKeySoASecondRunDoesNotAsk) {
    sim::addKey(uninstallKey);
    sim::answer({IDYES, IDYES, IDNO});
    EXPECT_EQ(runProgram(), 3);
    EXPECT_FALSE(sim::keyExists(uninstallKey));
    sim::answer({IDYES, IDNO});
    EXPECT_EQ(runProgram(), 3);
    EXPECT_EQ(sim::boxes().size(), 5u);
    EXPECT_NE(sim::boxes()[4].text, stillInstalledQuestion);
}

TEST_F(Run, TheHeaderPadsTheDayWithAZeroAndUsesA24HourClock) {
    struct tm time {};
    time.tm_year = 2026 - 1900;
    time.tm_mon = 11;
    time.tm_mday = 7;
    time.tm_wday = 1;
    time.tm_hour = 23;
    time.tm_min = 5;
    time.tm_sec = 9;
    sim::setLocalTime(time);
    sim::addKey(uninstallKey);
    sim::answer({IDYES, IDNO});
    runProgram();
    EXPECT_EQ(lines(logText())[0], "Pelvane Cleanup: Mon Dec 07 23:05:09 2026");
    EXPECT_EQ(lines(logText())[1], std::string(40, '='));
    EXPECT_EQ(lines(logText())[2], "");
}

TEST_F(Run, EachRunReplacesTheLogOfTheRunBefore) {
    sim::addFile(logFile, std::string(5000, 'x'));
    sim::addKey(uninstallKey);
    sim::answer({IDYES, IDNO});
    runProgram();
    EXPECT_EQ(logText().find('x'), std::string::npos);
    EXPECT_EQ(logText().rfind(header, 0), 0u);
}

TEST_F(Run, WithoutATemporaryFolderTheRunGoesOnUnloggedAndStillSumsUp) {
    sim::setTempPath("");
    sim::addFile("C:\\Program Files\\Quenderholt\\Pelvane\\pelvane32.dll");
    sim::answer({IDYES, IDOK});
    EXPECT_EQ(runProgram(), 0);
    ASSERT_EQ(sim::boxes().size(), 2u);
    EXPECT_EQ(sim::boxes()[1].style, 0x40u);
    EXPECT_EQ(sim::boxes()[1].text,
              std::string("Pelvane cleanup complete. No reboot required.") + expected::noLogPointer + otherUsersNote);
    EXPECT_FALSE(sim::exists("C:\\Program Files\\Quenderholt\\Pelvane"));
    EXPECT_EQ(sim::callsOf("streamOfFile"), 0);
}

// The log is never written through what others put on its way: anything at its name that cannot be deleted by that
// name, or a link put there between the name's deletion and the log's making (it is not followed).
TEST_F(Run, ALogThatCannotBeCreatedIsDoneWithoutAndTheRunGoesOn) {
    const std::function<void()> setups[] = {
        [] { sim::denyWrite("C:\\users\\test\\Temp"); },
        [] {
            sim::addFile(logFile, "an earlier run");
            sim::beforeNextCall("DeleteFileA", [] {
                sim::beforeNextCall("CreateFileA", [] { sim::addLink(logFile, "C:\\windows\\planted.log"); });
            });
        },
        [] { sim::addFolder(logFile); },
        [] {
            sim::addFile(logFile, "held by another program");
            sim::lockFile(logFile);
        },
        [] { sim::failFunction("streamOfFile"); },
    };
    for (const auto& setup : setups) {
        sim::reset();
        setup();
        sim::addFile("C:\\Program Files\\Quenderholt\\Pelvane\\pelvane32.dll");
        const auto elsewhere = sim::tree("C:\\windows");
        sim::answer({IDYES, IDOK});
        EXPECT_EQ(runProgram(), 0);
        EXPECT_TRUE(!sim::exists(logFile) || sim::fileContent(logFile).rfind("Pelvane Cleanup", 0) != 0);
        EXPECT_EQ(sim::tree("C:\\windows"), elsewhere);
        ASSERT_EQ(sim::boxes().size(), 2u);
        EXPECT_NE(sim::boxes()[1].text.find(std::string(expected::noLogPointer) + otherUsersNote), std::string::npos);
        EXPECT_FALSE(sim::exists("C:\\Program Files\\Quenderholt\\Pelvane"));
        EXPECT_EQ(sim::openFileHandles(), 0);
    }
}

// A temporary folder reached through a link (a setting carried over from older systems) gets its log where the link
// leads, held open while the log is made.
TEST_F(Run, ATemporaryFolderReachedThroughALinkGetsItsLogThere) {
    sim::addLink("C:\\users\\test\\Local Settings", "C:\\users\\test\\AppData");
    sim::addFolder("C:\\users\\test\\AppData\\Temp");
    sim::setTempPath("C:\\users\\test\\Local Settings\\Temp\\");
    sim::addKey(uninstallKey);
    sim::answer({IDYES, IDNO});
    EXPECT_EQ(runProgram(), 1);
    EXPECT_EQ(sim::fileContent("C:\\users\\test\\AppData\\Temp\\PelvaneCleanup.log").rfind("Pelvane Cleanup: ", 0), 0u);
    EXPECT_EQ(sim::openFileHandles(), 0);
}

TEST_F(Run, ATemporaryFolderPathThatLeavesNoRoomForTheNameGivesNoLog) {
    const std::string deep = "C:\\" + std::string(245, 't');
    sim::addFolder(deep);
    sim::setTempPath(deep + "\\");
    sim::answer({IDYES, IDNO});
    EXPECT_EQ(runProgram(), 3);
    EXPECT_TRUE(sim::tree(deep).empty());
    EXPECT_EQ(sim::callsOf("streamOfFile"), 0);
}

TEST_F(Run, TheTemporaryFolderIsJoinedWithoutADoubleBackslash) {
    sim::setTempPath("C:\\users\\test\\Temp");
    sim::addKey(uninstallKey);
    sim::answer({IDYES, IDNO});
    runProgram();
    EXPECT_TRUE(sim::exists(logFile));
    for (const sim::Call& call : sim::calls()) {
        if (call.function == "streamOfFile") {
            EXPECT_EQ(call.args[0], logFile);
        }
    }
}

// ---- The three summaries, reached through whole runs.

TEST_F(Run, EverythingRemovedGivesTheInformationSummary) {
    sim::addFile("C:\\Program Files\\Quenderholt\\Pelvane\\pelvane32.dll");
    sim::answer({IDYES, IDOK});
    EXPECT_EQ(runProgram(), 0);
    ASSERT_EQ(sim::boxes().size(), 2u);
    EXPECT_EQ(sim::boxes()[1].text, std::string("Pelvane cleanup complete. No reboot required.\n\n(See ") + logFile +
                                         " for details.)" + otherUsersNote);
    EXPECT_EQ(sim::boxes()[1].style, 0x40u);
    const auto log = lines(logText());
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(log[log.size() - 6], "Directory C:\\Program Files\\Quenderholt\\Pelvane deleted");
    EXPECT_EQ(log[log.size() - 5], "");
    EXPECT_EQ(log[log.size() - 4], "No reboot required, all files deleted successfully");
    EXPECT_EQ(log[log.size() - 3], "");
    EXPECT_EQ(log[log.size() - 2], "Pelvane cleanup completed.");
    EXPECT_EQ(log[log.size() - 1], "");
    EXPECT_EQ(logText().substr(logText().size() - 4), "\r\n\r\n");
}

TEST_F(Run, AFileLeftForTheRestartGivesTheRebootSummary) {
    sim::addFile("C:\\Program Files\\Quenderholt\\Pelvane\\pelvane32.dll");
    sim::lockFile("C:\\Program Files\\Quenderholt\\Pelvane\\pelvane32.dll");
    sim::answer({IDYES, IDOK});
    EXPECT_EQ(runProgram(), 0);
    ASSERT_EQ(sim::boxes().size(), 2u);
    EXPECT_EQ(sim::boxes()[1].text,
              std::string("Not all files could be deleted immediately.\n\nYou MUST reboot before re-installing or "
                          "upgrading Quenderholt Pelvane.\n\n(See ") +
                  logFile + " for details.)" + otherUsersNote);
    EXPECT_EQ(sim::boxes()[1].style, 0x30u);
    EXPECT_NE(logText().find("\r\nReboot required to finish removing files\r\n\r\nPelvane cleanup completed.\r\n\r\n"),
              std::string::npos);
}

TEST_F(Run, AFileKeptByTheUserGivesTheRetainedSummaryNamingTheFolder) {
    sim::addFile("D:\\Elsewhere\\Pelvane\\pelvane32.dll");
    sim::chooseInDialog("D:\\Elsewhere\\Pelvane\\pelvane32.dll");
    sim::answer({IDYES, IDYES, IDNO, IDOK});
    EXPECT_EQ(runProgram(), 0);
    ASSERT_EQ(sim::boxes().size(), 4u);
    EXPECT_EQ(sim::boxes()[3].text,
              std::string("The folder D:\\Elsewhere\\Pelvane will not be deleted, since it contains some files you have "
                          "asked to retain. It should be possible to re-install or upgrade Quenderholt Pelvane "
                          "provided that you reboot first.\n\n(See ") +
                  logFile + " for details.)" + otherUsersNote);
    EXPECT_EQ(sim::boxes()[3].style, 0x30u);
    EXPECT_NE(logText().find("\r\nFiles left undeleted by user\r\n\r\nPelvane cleanup completed.\r\n\r\n"),
              std::string::npos);
    EXPECT_TRUE(sim::exists("D:\\Elsewhere\\Pelvane\\pelvane32.dll"));
}

TEST_F(Run, AFileOrKeyThatStaysWithoutHopeOfTheRestartGivesTheLeftBehindSummary) {
    const std::string folder = "C:\\Program Files\\Quenderholt\\Pelvane";
    for (const bool fileStays : {true, false}) {
        SCOPED_TRACE(fileStays ? "a file neither deleted nor registered" : "a registry key denied to the program");
        sim::reset();
        sim::addFile(folder + "\\pelvane32.dll");
        if (fileStays) {
            sim::lockFile(folder + "\\pelvane32.dll");
            sim::failFunction("MoveFileExA");
        } else {
            sim::addKey("HKCU\\Software\\Quenderholt");
            sim::denyFullAccess("HKCU\\Software\\Quenderholt");
        }
        sim::answer({IDYES, IDOK});
        EXPECT_EQ(runProgram(), 0);
        ASSERT_EQ(sim::boxes().size(), 2u);
        EXPECT_EQ(sim::boxes()[1].text, expected::leftBehindSummaryStart + folder + expected::leftBehindSummaryEnd +
                                            logFile + " for the list.)" + otherUsersNote);
        EXPECT_EQ(sim::boxes()[1].style, 0x30u);
        EXPECT_NE(logText().find(expected::leftBehindLogEnd), std::string::npos);
        EXPECT_EQ(sim::exists(folder), fileStays);
    }
}

TEST_F(Run, TheLogIsClosedBeforeTheSummaryIsShown) {
    sim::addFile("C:\\Program Files\\Quenderholt\\Pelvane\\pelvane32.dll");
    sim::answer({IDYES});  // the summary box is left unanswered: it fails, and the run ends all the same
    EXPECT_EQ(runProgram(), 0);
    const auto& calls = sim::calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2].function, "MessageBoxA");
    EXPECT_EQ(calls.back().function, "CloseHandle") << "only the one-copy mutex is let go after the summary";
    EXPECT_EQ(sim::openStreams(), 0);
    EXPECT_EQ(sim::openHandles(), 0);
}

TEST_F(Run, TheLongestRetainedSummaryFitsItsBuffer) {
    const std::string folder = "C:\\" + std::string(230, 'f');
    const std::string temp = "C:\\" + std::string(236, 't') + "\\";
    sim::addFolder(temp);
    sim::setTempPath(temp);
    sim::addFile(folder + "\\a");
    sim::addFile(folder + "\\pelvane32.dll");
    sim::chooseInDialog(folder + "\\pelvane32.dll");
    sim::answer({IDYES, IDYES, IDNO, IDYES, IDOK});
    EXPECT_EQ(runProgram(), 0);
    const std::string& summary = sim::boxes().back().text;
    EXPECT_NE(summary.find(folder + " will not be deleted"), std::string::npos);
    EXPECT_EQ(summary.substr(summary.size() - 20), std::string(otherUsersNote).substr(strlen(otherUsersNote) - 20));
}

}  // namespace
