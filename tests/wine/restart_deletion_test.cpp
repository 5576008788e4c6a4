// The real program leaving a file in use for the next restart under Wine, on the NT family (in a 95/98 compatibility
// mode too), the program's WININIT.INI writer as 95/98/Me use it, and the restart carrying both out.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/wine/harness.h"
#include "tests/wine/removal_checks.h"

using namespace harness;
using namespace removal;

namespace {

using Operations = std::vector<std::pair<std::string, std::string>>;

Lines names(const std::string& folder) {
    Lines out;
    for (const auto& entry : listFolder(folder)) out.push_back(entry.first);
    return out;
}

// The NT family, also when it runs the program in a 95/98 compatibility mode (Wine's Version=win98): its delayed
// moves hold the file and the folders above it, and WININIT.INI, which it never reads, is not written.
void expectAFileInUseAndTheFoldersAboveItDeletedAtTheRestart(bool win98) {
    Planted planted;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    ASSERT_TRUE(!win98 || planted.value(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Remove Pelvane.exe", "Version", "win98"));
    for (const char* file : {"\\pelvane32.dll", "\\pvshell.exe", "\\Keyboards\\zq.pvk", "\\Keyboards\\in-use.pvk",
                             "\\Keyboards\\Layouts\\qwerty.pvl"})
        ASSERT_TRUE(planted.file(folder + file));
    const std::string keyboards = folder + "\\Keyboards", held = keyboards + "\\in-use.pvk";
    PendingAtRestart pending;
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";
    HeldFile hold(held);
    ASSERT_TRUE(hold.held()) << "could not hold " << held;
    Walk walk;
    walk.held = {held};
    EXPECT_EQ(expectedRemoval(folder, walk), 1);

    const RunResult run = runToSummary(rebootSummary(), MB_OK | MB_ICONEXCLAMATION);
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    const FileRemovalPart part = fileRemovalPart(*log);
    ASSERT_TRUE(part.found) << *log;
    EXPECT_EQ(part.lines, walk.lines);
    EXPECT_EQ(part.after, rebootLogEnd);
    const auto at = [&](const std::string& line) {
        return std::find(part.lines.begin(), part.lines.end(), line) - part.lines.begin();
    };
    const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(part.lines.size());
    EXPECT_LT(at("File " + held + " will be deleted on the next reboot"), at("Directory " + keyboards + " will be deleted on the next reboot"));
    EXPECT_LT(at("Directory " + keyboards + "\\Layouts deleted"), count);
    EXPECT_EQ(at("Directory " + folder + " will be deleted on the next reboot"), count - 1);

    // Only what could not go waits, and the system holds exactly those three paths for the restart.
    EXPECT_EQ(names(folder), Lines{"Keyboards"});
    EXPECT_EQ(names(keyboards), Lines{"in-use.pvk"});
    const auto operations = pendingOperations();
    ASSERT_TRUE(operations.has_value()) << "no PendingFileRenameOperations under HKLM\\" << sessionManagerKey;
    EXPECT_EQ(*operations, (Operations{{"\\??\\" + held, ""}, {"\\??\\" + keyboards, ""}, {"\\??\\" + folder, ""}}));
    EXPECT_FALSE(fileExists(wininitPath())) << "the NT family has no use for WININIT.INI";

    hold.release();
    ASSERT_EQ(restartWindows(), "");

    EXPECT_FALSE(fileExists(held));
    EXPECT_FALSE(folderExists(keyboards));
    EXPECT_FALSE(folderExists(folder)) << "the product's folder is still there after the restart";
    EXPECT_TRUE(folderExists(programFilesFolder() + "\\Quenderholt"));
    EXPECT_FALSE(pendingOperations().has_value());
}

TEST(WineRestartDeletion, OnNTAFileInUseAndTheFoldersAboveItAreDeletedAtTheRestart) {
    expectAFileInUseAndTheFoldersAboveItDeletedAtTheRestart(false);
}
TEST(WineRestartDeletion, InA98CompatibilityModeAFileInUseStillGoesThroughTheDelayedMoves) {
    expectAFileInUseAndTheFoldersAboveItDeletedAtTheRestart(true);
}

// Runs the program's own WININIT.INI writer (wininit-writer.exe, beside the program) on paths; its exit code, or -1
// when it did not run to its end.
int registerThroughWininit(const std::vector<std::string>& paths) {
    const std::string program = programPath().substr(0, programPath().rfind('\\')) + "\\wininit-writer.exe";
    std::string commandLine = "wininit-writer.exe";
    for (const std::string& path : paths) commandLine += " \"" + path + "\"";
    return runToItsEnd(program, commandLine);
}

// 95/98/Me themselves: the program's writer adds its short lines to the "rename" section beside another program's,
// and the restart carries them out (Wine deletes the files and keeps the emptied folder: its NUL= lines delete files
// only, as the system's own WININIT.EXE need not).
TEST(WineRestartDeletion, TheWininitLinesTheProgramWritesAreCarriedOutAtTheRestartBesideAnotherPrograms) {
    Planted planted;
    const std::string folder = "C:\\Pelvane Wininit";
    const std::string held = folder + "\\pelvane32.dll", otherProgramsFile = "C:\\OTHERAPP.TMP";
    ASSERT_TRUE(planted.file(held));
    ASSERT_TRUE(planted.file(otherProgramsFile, "left by another program's update\r\n"));
    PendingAtRestart pending;
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";
    const std::string othersLines = "[rename]\r\n; another program's comment\r\nNUL=" + otherProgramsFile + "\r\nno sign\r\n";
    ASSERT_TRUE(writeFileBytes(wininitPath(), othersLines + "[Other]\r\nkept=1\r\n"));
    const std::string shortHeld = shortPath(held), shortFolder = shortPath(folder);
    ASSERT_FALSE(shortHeld.empty());
    HeldFile hold(held);
    ASSERT_TRUE(hold.held()) << "could not hold " << held;

    EXPECT_EQ(registerThroughWininit({held, folder}), 0);

    // The other program's line stays first; ours follow in short form, the file before its folder.
    const std::optional<std::string> wininit = readFileBytes(wininitPath());
    ASSERT_TRUE(wininit.has_value()) << "no " << wininitPath();
    EXPECT_EQ(*wininit, othersLines + "NUL=" + shortHeld + "\r\nNUL=" + shortFolder + "\r\n[Other]\r\nkept=1\r\n");
    EXPECT_FALSE(pendingOperations().has_value());

    hold.release();
    ASSERT_EQ(restartWindows(), "");

    EXPECT_FALSE(fileExists(held)) << "the file is still there after the restart";
    EXPECT_FALSE(fileExists(otherProgramsFile)) << "the other program's line was not carried out";
    EXPECT_FALSE(fileExists(wininitPath())) << "the restart did not take WININIT.INI";
    EXPECT_EQ(readFileBytes(wininitBackupPath()), wininit) << "the restart worked from another WININIT.INI";
}

TEST(WineRestartDeletion, TheWininitWriterLeavesARenameSectionTooLongToReadWholeAsItWas) {
    Planted planted;
    const std::string file = "C:\\Pelvane Wininit\\pelvane32.dll";
    ASSERT_TRUE(planted.file(file));
    PendingAtRestart pending;
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";
    // More lines of other programs than the writer reads at once (32 KB): adding to them could lose some.
    std::string earlier = "[rename]\r\n";
    for (int i = 0; i < 1300; ++i) earlier += "NUL=C:\\TEMP\\GONE" + std::to_string(10000 + i) + ".TMP\r\n";
    ASSERT_TRUE(writeFileBytes(wininitPath(), earlier));

    EXPECT_EQ(registerThroughWininit({file}), 1);
    EXPECT_EQ(readFileBytes(wininitPath()), earlier);
}

}  // namespace
