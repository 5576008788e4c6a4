// The real program leaving a file in use for the next restart under Wine, on the NT and the 95/98/Me family, and
// the restart carrying it out.
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

TEST(WineRestartDeletion, OnNTAFileInUseAndTheFoldersAboveItAreDeletedAtTheRestart) {
    Planted planted;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
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
    ASSERT_FALSE(HasFatalFailure());
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

TEST(WineRestartDeletion, On98AFileInUseGoesThroughWininitBesideTheLineOfAnotherProgram) {
    Planted planted;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    ASSERT_TRUE(planted.value(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Remove Pelvane.exe", "Version", "win98"));
    for (const char* file : {"\\pelvane32.dll", "\\Keyboards\\zq.pvk", "\\Keyboards\\us.pvk"})
        ASSERT_TRUE(planted.file(folder + file));
    const std::string held = folder + "\\pelvane32.dll", otherProgramsFile = "C:\\OTHERAPP.TMP";
    ASSERT_TRUE(planted.file(otherProgramsFile, "left by another program's update\r\n"));
    PendingAtRestart pending;
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";
    const std::string othersLines = "[rename]\r\n; another program's comment\r\nNUL=" + otherProgramsFile + "\r\nno sign\r\n";
    ASSERT_TRUE(writeFileBytes(wininitPath(), othersLines + "[Other]\r\nkept=1\r\n"));
    const std::string shortHeld = shortPath(held), shortFolder = shortPath(folder);
    ASSERT_FALSE(shortHeld.empty());
    ASSERT_FALSE(shortFolder.empty());
    HeldFile hold(held);
    ASSERT_TRUE(hold.held()) << "could not hold " << held;
    Walk walk;
    walk.held = {held};
    EXPECT_EQ(expectedRemoval(folder, walk), 1);

    const RunResult run = runToSummary(rebootSummary(), MB_OK | MB_ICONEXCLAMATION);
    ASSERT_FALSE(HasFatalFailure());
    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    const FileRemovalPart part = fileRemovalPart(*log);
    ASSERT_TRUE(part.found) << *log;
    EXPECT_EQ(part.lines, walk.lines);
    EXPECT_EQ(part.after, rebootLogEnd);

    // The other program's line stays first; ours follow in short form, the file before its folder.
    const std::optional<std::string> wininit = readFileBytes(wininitPath());
    ASSERT_TRUE(wininit.has_value()) << "no " << wininitPath();
    EXPECT_EQ(*wininit, othersLines + "NUL=" + shortHeld + "\r\nNUL=" + shortFolder + "\r\n[Other]\r\nkept=1\r\n");
    EXPECT_FALSE(pendingOperations().has_value()) << "the 95/98/Me family has no delayed operations";
    EXPECT_EQ(names(folder), Lines{"pelvane32.dll"});

    hold.release();
    ASSERT_EQ(restartWindows(), "");

    EXPECT_FALSE(fileExists(held)) << "the file in use is still there after the restart";
    EXPECT_FALSE(fileExists(otherProgramsFile)) << "the other program's line was not carried out";
    EXPECT_FALSE(fileExists(wininitPath())) << "the restart did not take WININIT.INI";
    EXPECT_EQ(readFileBytes(wininitBackupPath()), wininit) << "the restart worked from another WININIT.INI";
    // Wine carries out a NUL= line with DeleteFile only, so the emptied folder itself may stay.
    EXPECT_EQ(names(folder), Lines{}) << "something is left in " << folder;
    if (folderExists(folder))
        RecordProperty("folder_after_restart", "kept, empty: the restart deletes WININIT.INI entries as files only");
}

TEST(WineRestartDeletion, On98ARenameSectionTooLongToReadWholeIsLeftAsItWasAndTheRefusalLogged) {
    Planted planted;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    ASSERT_TRUE(planted.value(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Remove Pelvane.exe", "Version", "win98"));
    ASSERT_TRUE(planted.file(folder + "\\pelvane32.dll"));
    const std::string held = folder + "\\pelvane32.dll";
    PendingAtRestart pending;
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";
    // More lines of other programs than the program reads at once (32 KB): adding to them could lose some.
    std::string earlier = "[rename]\r\n";
    for (int i = 0; i < 1300; ++i) earlier += "NUL=C:\\TEMP\\GONE" + std::to_string(10000 + i) + ".TMP\r\n";
    ASSERT_TRUE(writeFileBytes(wininitPath(), earlier));
    HeldFile hold(held);
    ASSERT_TRUE(hold.held()) << "could not hold " << held;

    // Neither deleted nor waiting for the restart: the file is left behind, and its folder with it.
    const RunResult run = runToSummary(leftBehindSummary(folder), MB_OK | MB_ICONEXCLAMATION);
    ASSERT_FALSE(HasFatalFailure());
    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    const FileRemovalPart part = fileRemovalPart(*log);
    EXPECT_EQ(part.lines, (Lines{"File " + held + " could not be deleted", "Directory " + folder + " will not be deleted"}));
    EXPECT_EQ(part.after, leftBehindLogEnd);
    EXPECT_EQ(readFileBytes(wininitPath()), earlier);
    EXPECT_FALSE(pendingOperations().has_value());
}

}  // namespace
