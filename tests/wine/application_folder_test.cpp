// The real program finding the product's folder under Wine: the stops with codes 3 and 4, and the folder a pick gives.
#include <gtest/gtest.h>

#include "tests/expected/messages.h"
#include "tests/wine/harness.h"
#include "tests/wine/removal_checks.h"

using namespace harness;
using namespace removal;

namespace {

// The names and attributes of the entries of the root of drive C:, and the bytes of its files.
std::string driveRootSnapshot() {
    std::string out;
    for (const auto& [name, attributes] : listFolder("C:")) {
        out += name + " " + std::to_string(attributes);
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) out += " " + readFileBytes("C:\\" + name).value_or("(unreadable)");
        out += "\n";
    }
    return out;
}

TEST(WineApplicationFolder, DecliningToSearchForTheFolderStopsWithCode3AndNoFurtherBox) {
    Planted planted;
    ASSERT_FALSE(folderExists(defaultProductFolder())) << defaultProductFolder() << " is left over from elsewhere";

    const RunResult run = runProgram({yes(), no()});

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 3u);
    ASSERT_EQ(run.seen.size(), 2u) << run.report();
    expectMessageBox(run.seen[1], searchQuestion, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    EXPECT_EQ(run.seen[1].defaultButton, IDNO);
    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    EXPECT_TRUE(endsWith(*log, "\r\nSearching for " + defaultProductFolder() +
                                   "\\pelvane32.dll\r\n" + defaultProductFolder() +
                                   "\\pelvane32.dll not found\r\n\r\nCleanup terminated without deleting files.\r\n"))
        << *log;
    EXPECT_EQ(log->find("File removal"), std::string::npos) << *log;
}

TEST(WineApplicationFolder, AFileChosenInTheRootOfADriveIsRefusedWithCode4AndNothingThereIsTouched) {
    Planted planted;
    ASSERT_FALSE(folderExists(defaultProductFolder())) << defaultProductFolder() << " is left over from elsewhere";
    ASSERT_TRUE(planted.file("C:\\pelvane32.dll", "a library in the root\r\n"));
    const std::string rootBefore = driveRootSnapshot();

    const RunResult run = runProgram({yes(), yes(), chooseFile("C:\\pelvane32.dll"), ok()});

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 4u);
    ASSERT_EQ(run.seen.size(), 4u) << run.report();
    EXPECT_EQ(run.seen[2].kind, WindowKind::FileDialog) << run.seen[2].describe();
    expectMessageBox(run.seen[3], expected::folderStopText, MB_OK | MB_ICONSTOP);
    EXPECT_EQ(driveRootSnapshot(), rootBefore);
    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    EXPECT_TRUE(endsWith(*log, defaultProductFolder() +
                                   "\\pelvane32.dll not found\r\n\r\nFile removal\r\n------------\r\n\r\nApplication "
                                   "folder error, cleanup aborted."))
        << "the last line ends without a line feed:\n"
        << *log;
}

TEST(WineApplicationFolder, AFileNamedLikeAFolderAboveItYieldsTheFolderThatHoldsIt) {
    Planted planted;
    ASSERT_FALSE(folderExists(defaultProductFolder())) << defaultProductFolder() << " is left over from elsewhere";
    const std::string above = "C:\\Pelvane Twice", folder = above + "\\pelvane32.dll";
    ASSERT_TRUE(planted.file(folder + "\\pelvane32.dll"));
    ASSERT_TRUE(planted.file(above + "\\keep.txt"));
    PendingAtRestart pending;  // whatever this run leaves for the restart is dropped after the test
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";

    const RunResult run =
        runProgram({yes(), yes(), chooseFile(folder + "\\pelvane32.dll"), yes(), ok()});

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.seen.size(), 5u) << run.report();
    expectMessageBox(run.seen[3], "Delete file " + folder + "\\pelvane32.dll?", MB_YESNO | MB_ICONQUESTION);
    expectMessageBox(run.seen[4], noRebootSummary(), MB_OK | MB_ICONINFORMATION);
    EXPECT_FALSE(folderExists(folder));
    EXPECT_TRUE(fileExists(above + "\\keep.txt"));
    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    const FileRemovalPart part = fileRemovalPart(*log);
    EXPECT_EQ(part.lines, (Lines{"File " + folder + "\\pelvane32.dll deleted", "Directory " + folder + " deleted"}));
}

}  // namespace
