// Registering files and folders for deletion at the next restart, on the NT family and through WININIT.INI.
#include <gtest/gtest.h>

#include "files/restart_deletion.h"
#include "platform/simulated/simulation.h"
#include "tests/host/program.h"

namespace {

const char* const wininit = "C:\\windows\\WININIT.INI";
const char* const library = "C:\\Program Files\\Quenderholt\\Pelvane\\pelvane32.dll";
const char* const folder = "C:\\Program Files\\Quenderholt\\Pelvane";

class RestartDeletion : public ::testing::Test {
protected:
    void SetUp() override {
        sim::reset();
        sim::addFile(library);
    }
};

TEST_F(RestartDeletion, OnNTFilesAndFoldersGoToTheDelayedMoveList) {
    EXPECT_TRUE(scheduleDeleteAtRestart(library));
    EXPECT_TRUE(scheduleDeleteAtRestart(folder));
    EXPECT_EQ(sim::pendingDeletes(), (std::vector<std::string>{library, folder}));
    ASSERT_EQ(sim::callsOf("MoveFileExA"), 2);
    for (const sim::Call& call : sim::calls()) {
        if (call.function == "MoveFileExA") {
            EXPECT_EQ(call.args[1] + " " + call.args[2], "(null) 4");
        }
    }
    EXPECT_EQ(sim::callsOf("GetShortPathNameA"), 0);
    EXPECT_FALSE(sim::exists(wininit));
}

TEST_F(RestartDeletion, ARefusedDelayedMoveIsReported) {
    sim::failFunction("MoveFileExA");
    EXPECT_FALSE(scheduleDeleteAtRestart(library));
}

// What the system can do decides, never the version it reports: a compatibility mode makes the NT family report
// 95/98/Me, and its delayed moves still work while WININIT.INI is never read there.
TEST_F(RestartDeletion, TheDelayedMoveIsUsedWhereverItWorksWhateverTheVersionSays) {
    sim::setVersion(0xC0000A04);
    EXPECT_TRUE(scheduleDeleteAtRestart(library));
    EXPECT_EQ(sim::pendingDeletes(), std::vector<std::string>{library});
    EXPECT_FALSE(sim::exists(wininit));
    sim::useWindows98();
    EXPECT_TRUE(scheduleDeleteAtRestart(library));
    EXPECT_EQ(sim::pendingDeletes().size(), 1u);
    EXPECT_TRUE(sim::exists(wininit));
}

TEST_F(RestartDeletion, On98EachPathGetsItsOwnShortLineAndEveryOtherLineIsKept) {
    sim::useWindows98();
    const std::string rename = "[rename]\r\nNUL=C:\\OTHER.TMP\r\n; a comment\r\nC:\\NEW.DLL=C:\\OLD.DLL\r\nno equals sign\r\n";
    const std::string ours = "NUL=C:\\PROGRA~1\\QUENDE~1\\PELVANE\\PELVAN~1.DLL\r\nNUL=C:\\PROGRA~1\\QUENDE~1\\PELVANE\r\n";
    const struct {
        std::string before, after;
    } files[] = {
        {"[boot]\r\nx=1\r\n" + rename + "  [Tail]\r\ny=2", "[boot]\r\nx=1\r\n" + rename + ours + "  [Tail]\r\ny=2"},
        {"[boot]\nx=1\n  [RENAME] ; ours\nNUL=C:\\A", "[boot]\nx=1\n  [RENAME] ; ours\nNUL=C:\\A\r\n" + ours},
        {"[boot]\r\nx=1", "[boot]\r\nx=1\r\n[rename]\r\n" + ours},
    };
    for (const auto& file : files) {
        sim::addFile(wininit, file.before);
        EXPECT_TRUE(scheduleDeleteAtRestart(library));
        EXPECT_TRUE(scheduleDeleteAtRestart(folder));
        EXPECT_EQ(sim::fileContent(wininit), file.after);
    }
    EXPECT_EQ(sim::openFileHandles(), 0);
}

TEST_F(RestartDeletion, On98AMissingWininitIsCreatedWithTheSection) {
    sim::useWindows98();
    EXPECT_TRUE(scheduleDeleteAtRestart(library));
    EXPECT_EQ(sim::fileContent(wininit), "[rename]\r\nNUL=C:\\PROGRA~1\\QUENDE~1\\PELVANE\\PELVAN~1.DLL\r\n");
    EXPECT_TRUE(sim::pendingDeletes().empty());
}

TEST_F(RestartDeletion, On98NothingIsWrittenWhenTheShortPathCannotBeHad) {
    sim::useWindows98();
    const std::string before = "[rename]\r\nNUL=C:\\OTHER.TMP\r\n";
    sim::addFile(wininit, before);
    EXPECT_FALSE(scheduleDeleteAtRestart("C:\\Program Files\\gone.dll"));
    sim::failFunction("GetShortPathNameA");
    EXPECT_FALSE(scheduleDeleteAtRestart(library));
    EXPECT_EQ(sim::callsOf("WriteFile"), 0);
    EXPECT_EQ(sim::fileContent(wininit), before);
}

TEST_F(RestartDeletion, On98ASectionTooLongToReadWholeIsLeftAlone) {
    sim::useWindows98();
    std::string full = "[rename]\r\n";
    for (int i = 0; i < 1300; ++i) full += "NUL=C:\\TEMP\\FILE" + std::to_string(10000 + i) + ".TMP\r\n";
    sim::addFile(wininit, full);
    EXPECT_FALSE(scheduleDeleteAtRestart(library));
    EXPECT_EQ(sim::callsOf("WriteFile"), 0);
    EXPECT_EQ(sim::fileContent(wininit), full);
}

TEST_F(RestartDeletion, On98AFileThatCannotBeReadOrWrittenWholeIsReported) {
    for (const char* refused : {"GetWindowsDirectoryA", "CreateFileA", "ReadFile", "WriteFile"}) {
        sim::reset();
        sim::addFile(library);
        sim::useWindows98();
        sim::addFile(wininit, "[rename]\r\nNUL=C:\\OTHER.TMP\r\n");
        sim::failFunctionCall(refused, sim::callsOf(refused) + 1);
        EXPECT_FALSE(scheduleDeleteAtRestart(library)) << refused;
        EXPECT_EQ(sim::openFileHandles(), 0) << refused;
    }
}

TEST_F(RestartDeletion, AWhole98RunLeavesTheLockedLibraryAndItsFolderToWininit) {
    sim::useWindows98();
    sim::lockFile(library);
    sim::addFile(wininit, "[rename]\r\nNUL=C:\\OTHER.TMP\r\n");
    sim::answer({IDYES, IDOK});
    EXPECT_EQ(runProgram(), 0);
    EXPECT_EQ(sim::boxes().back().style, 0x30u);
    EXPECT_EQ(sim::fileContent(wininit), "[rename]\r\nNUL=C:\\OTHER.TMP\r\nNUL=C:\\PROGRA~1\\QUENDE~1\\PELVANE\\PELVAN~1.DLL\r\n"
                                         "NUL=C:\\PROGRA~1\\QUENDE~1\\PELVANE\r\n");
    EXPECT_NE(logText().find(std::string("File ") + library + " will be deleted on the next reboot\r\nDirectory " +
                             folder + " will be deleted on the next reboot\r\n\r\nReboot required"),
              std::string::npos);
}

}  // namespace
