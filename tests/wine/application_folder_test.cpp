// The real program finding the product's folder under Wine: the stops with codes 3 and 4, the folders refused, and
// the folder a pick gives.
#include <gtest/gtest.h>

#include "tests/expected/messages.h"
#include "tests/wine/harness.h"
#include "tests/wine/removal_checks.h"

using namespace harness;
using namespace removal;

namespace {

// The names and attributes of the entries of a folder, and the bytes of its files.
std::string folderSnapshot(const std::string& folder) {
    std::string out;
    for (const auto& [name, attributes] : listFolder(folder)) {
        out += name + " " + std::to_string(attributes);
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) out += " " + readFileBytes(folder + "\\" + name).value_or("(unreadable)");
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

// A file chosen in a folder the program never removes: where it is, the path it is chosen by, and the second name
// ("C:\\x", a link; "P:", a drive letter) made for a folder on the way; in a 95/98 compatibility mode, where the
// system is still of the NT family and a link into the Windows folder must still be found out. The WOW64 ring's own
// rows: there the shell names the 32-bit Program Files (x86) and its Common Files, and the registry's 64-bit view alone
// the real ones (elsewhere the (x86) rows fail).
struct Refused {
    const char *name, *planted, *chosen, *other, *otherOf;
    bool win98;
};
void PrintTo(const Refused& refused, std::ostream* out) { *out << refused.name; }
const char fonts[] = "C:\\windows\\Fonts\\pelvane32.dll", drivers[] = "C:\\windows\\system32\\drivers\\pelvane32.dll",
           publicDocuments[] = "C:\\users\\Public\\Documents\\pelvane32.dll";
const Refused refusedFolders[] = {
    {"RootOfADrive", "C:\\pelvane32.dll", "C:\\pelvane32.dll", "", "", false},
    {"BelowWindowsInItsFonts", fonts, fonts, "", "", false},
    {"BelowSystemInItsDrivers", drivers, drivers, "", "", false},
    {"SystemThroughALinkAboveIt", drivers, "C:\\Pelvane Link\\system32\\drivers\\pelvane32.dll", "C:\\Pelvane Link",
     "C:\\windows", false},
    {"ProgramFilesThroughALink", "C:\\Program Files\\pelvane32.dll", "C:\\Pelvane Link\\pelvane32.dll",
     "C:\\Pelvane Link", "C:\\Program Files", false},
    {"WindowsOnASubstitutedDrive", fonts, "P:\\Fonts\\pelvane32.dll", "P:", "C:\\windows", false},
    {"SystemThroughALinkIntoIt", drivers, "C:\\Pelvane Link\\pelvane32.dll", "C:\\Pelvane Link",
     "C:\\windows\\system32\\drivers", false},
    {"BelowWindowsInItsFontsIn98Mode", fonts, fonts, "", "", true},
    {"SystemThroughALinkIntoItIn98Mode", drivers, "C:\\Pelvane Link\\pelvane32.dll", "C:\\Pelvane Link",
     "C:\\windows\\system32\\drivers", true},
    {"PublicDocuments", publicDocuments, publicDocuments, "", "", false},
};
const char files64[] = "C:\\Program Files\\pelvane32.dll", common64[] = "C:\\Program Files\\Common Files\\pelvane32.dll",
           files32[] = "C:\\Program Files (x86)\\pelvane32.dll",
           common32[] = "C:\\Program Files (x86)\\Common Files\\pelvane32.dll";
const Refused refusedUnderWow64[] = {{"ProgramFiles", files64, files64, "", "", false},
                                     {"CommonFiles", common64, common64, "", "", false},
                                     {"ProgramFilesX86", files32, files32, "", "", false},
                                     {"CommonFilesX86", common32, common32, "", "", false}};
class WineRefusedFolder : public ::testing::TestWithParam<Refused> {};

TEST_P(WineRefusedFolder, IsRefusedWithCode4AndNothingThereIsTouched) {
    const Refused& refused = GetParam();
    Planted planted;
    ASSERT_FALSE(folderExists(defaultProductFolder())) << defaultProductFolder() << " is left over from elsewhere";
    ASSERT_TRUE(!refused.win98 ||
                planted.value(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Remove Pelvane.exe", "Version", "win98"));
    ASSERT_TRUE(planted.file(refused.planted, "a library in a folder never removed\r\n"));
    FolderLink other(refused.other, refused.otherOf);
    ASSERT_TRUE(other.made() || !*refused.other) << refused.other;
    const std::string folder = std::string(refused.planted).substr(0, std::string(refused.planted).rfind('\\'));
    const std::string rootBefore = folderSnapshot(folder);

    const RunResult run = runProgram({yes(), yes(), chooseFile(refused.chosen), ok()});

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 4u);
    ASSERT_EQ(run.seen.size(), 4u) << run.report();
    EXPECT_EQ(run.seen[2].kind, WindowKind::FileDialog) << run.seen[2].describe();
    expectMessageBox(run.seen[3], expected::folderStopText, MB_OK | MB_ICONSTOP);
    EXPECT_EQ(folderSnapshot(folder), rootBefore);
    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    EXPECT_TRUE(endsWith(*log, defaultProductFolder() +
                                   "\\pelvane32.dll not found\r\n\r\nFile removal\r\n------------\r\n\r\nApplication "
                                   "folder error, cleanup aborted."))
        << "the last line ends without a line feed:\n"
        << *log;
}

std::string refusedName(const ::testing::TestParamInfo<Refused>& info) { return info.param.name; }
INSTANTIATE_TEST_SUITE_P(Table, WineRefusedFolder, ::testing::ValuesIn(refusedFolders), refusedName);
INSTANTIATE_TEST_SUITE_P(Wow64, WineRefusedFolder, ::testing::ValuesIn(refusedUnderWow64), refusedName);

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
