// Finding the product's folder: the default place, the open-file dialog, its centring hook and the three stops.
#include <gtest/gtest.h>

#include "tests/expected/messages.h"
#include "files/application_folder.h"
#include "platform/simulated/simulation.h"
#include "tests/host/program.h"

namespace {

using expected::searchQuestion;
using expected::dialogStopText;
using expected::folderStopText;

const char* const testLog = "C:\\users\\test\\Temp\\locate.log";
const char* const candidate = "C:\\Program Files\\Quenderholt\\Pelvane\\pelvane32.dll";
const char* const removalHeading = "\r\nFile removal\r\n------------\r\n\r\n";

// The shells older systems have: the first of 95 and NT4, without SHGetSpecialFolderPathA; and the 4.71 and 4.72
// shells of 98 and of updated 95 and NT4, which know neither the Windows, the System nor the Program Files folder.
enum class Shell { First, Of98 };
void useShell(Shell shell) {
    const char* const setupKey = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion";
    sim::addValue(setupKey, "ProgramFilesDir", "C:\\Program Files");
    sim::addValue(setupKey, "CommonFilesDir", "C:\\Program Files\\Common Files");
    if (shell == Shell::First) {
        sim::useFirstShell();
        return;
    }
    sim::setSpecialFolder(CSIDL_WINDOWS, "");
    sim::setSpecialFolder(CSIDL_SYSTEM, "");
    sim::setProgramFiles("");
}

class Locate : public ::testing::Test {
protected:
    void SetUp() override {
        sim::reset();
        log = sim::logStream(testLog);
        ASSERT_NE(log, nullptr);
    }
    void TearDown() override {
        EXPECT_EQ(sim::openSearches(), 0);
        sim::closeOpenStreams();
    }

    int locate() { return locateApplicationFolder(log, folder); }
    std::string written() {
        sim::closeOpenStreams();
        return sim::fileContent(testLog);
    }
    // Declines nothing: Yes to the question, then the dialog answers with path.
    int locateByDialog(const std::string& path) {
        sim::answer({IDYES, IDOK});
        sim::chooseInDialog(path);
        return locate();
    }

    FILE* log = nullptr;
    char folder[MAX_PATH] = "untouched";
};

TEST_F(Locate, TheLibraryAtItsDefaultPlaceNeedsNoDialogAndNoConfirmations) {
    sim::addFile(candidate);
    confirmEachDeletion = true;
    EXPECT_EQ(locate(), 0);
    EXPECT_STREQ(folder, "C:\\Program Files\\Quenderholt\\Pelvane");
    EXPECT_FALSE(confirmEachDeletion);
    EXPECT_TRUE(sim::boxes().empty());
    EXPECT_TRUE(sim::dialogs().empty());
    EXPECT_EQ(sim::openStreams(), 1);  // the run goes on writing to it
    EXPECT_EQ(written(), std::string("Searching for ") + candidate + "\r\n" + removalHeading);
}

TEST_F(Locate, WhereTheShellDoesNotKnowProgramFilesTheRegistryNamesTheDefaultPlace) {
    for (const Shell shell : {Shell::First, Shell::Of98}) {
        sim::reset();
        log = sim::logStream(testLog);
        useShell(shell);
        sim::addFile(candidate);
        EXPECT_EQ(locate(), 0);
        EXPECT_STREQ(folder, "C:\\Program Files\\Quenderholt\\Pelvane");
        EXPECT_EQ(sim::openHandles(), 0);  // the shell's library released
    }
}

TEST_F(Locate, AProgramFilesPathEndingInABackslashGetsNoSecondOne) {
    sim::setProgramFiles("D:\\");
    sim::addFile("D:\\Quenderholt\\Pelvane\\pelvane32.dll");
    EXPECT_EQ(locate(), 0);
    EXPECT_STREQ(folder, "D:\\Quenderholt\\Pelvane");
    EXPECT_EQ(written(), std::string("Searching for D:\\Quenderholt\\Pelvane\\pelvane32.dll\r\n") + removalHeading);
}

TEST_F(Locate, WithoutAProgramFilesFolderTheNotFoundLineHasAnEmptyPath) {
    sim::setProgramFiles("");
    sim::answer({IDNO});
    EXPECT_EQ(locate(), 3);
    EXPECT_EQ(sim::openStreams(), 0);
    EXPECT_EQ(written(), " not found\r\n\r\nCleanup terminated without deleting files.\r\n");
}

TEST_F(Locate, DecliningTheSearchEndsWithCodeThreeAndNoFurtherBox) {
    sim::addFile("C:\\Program Files\\Quenderholt\\Pelvane\\other.dll");
    sim::answer({IDNO});
    EXPECT_EQ(locate(), 3);
    ASSERT_EQ(sim::boxes().size(), 1u);
    EXPECT_EQ(sim::boxes()[0].text, searchQuestion);
    EXPECT_EQ(sim::boxes()[0].style, 0x124u);
    EXPECT_TRUE(sim::dialogs().empty());
    EXPECT_EQ(sim::openStreams(), 0);
    EXPECT_EQ(written(), std::string("Searching for ") + candidate + "\r\n" + candidate +
                             " not found\r\n\r\nCleanup terminated without deleting files.\r\n");
}

TEST_F(Locate, AQuestionThatFailsToShowCountsAsNo) {
    sim::failFunction("MessageBoxA");
    sim::answer({IDYES});
    EXPECT_EQ(locate(), 3);
    EXPECT_TRUE(sim::dialogs().empty());
}

TEST_F(Locate, ACancelledOrFailedDialogStopsWithCodeTwo) {
    for (const bool dialogFails : {false, true}) {
        SCOPED_TRACE(dialogFails ? "dialog fails" : "dialog cancelled");
        sim::reset();
        log = sim::logStream(testLog);
        if (dialogFails) {
            sim::failFunction("GetOpenFileNameA");
            sim::chooseInDialog(candidate);  // never reached: the dialog does not run
        } else {
            sim::cancelDialog();
        }
        sim::answer({IDYES, IDOK});
        EXPECT_EQ(locate(), 2);
        ASSERT_EQ(sim::boxes().size(), 2u);
        EXPECT_EQ(sim::boxes()[1].text, dialogStopText);
        EXPECT_EQ(sim::boxes()[1].style, 0x10u);
        EXPECT_EQ(sim::openStreams(), 0);
        EXPECT_EQ(written(), std::string("Searching for ") + candidate + "\r\n" + candidate +
                                 " not found\r\n\r\nUnable to identify application folder, cleanup aborted.\r\n");
    }
}

TEST_F(Locate, TheDialogIsSetUpForThePelvaneLibraryAndOffersTheDefaultCandidate) {
    sim::cancelDialog();
    sim::answer({IDYES, IDOK});
    locate();
    ASSERT_EQ(sim::dialogs().size(), 1u);
    const sim::DialogSeen& seen = sim::dialogs()[0];
    EXPECT_EQ(seen.structSize, OPENFILENAME_SIZE_VERSION_400A);
    EXPECT_FALSE(seen.hasOwner);
    EXPECT_EQ(seen.filter, (std::vector<std::string>{"Pelvane Library", "pelvane32.dll", "All Files", "*.*"}));
    EXPECT_FALSE(seen.hasCustomFilter);
    EXPECT_EQ(seen.filterIndex, 1u);
    EXPECT_EQ(seen.initialFile, candidate);
    EXPECT_EQ(seen.maxFile, 260u);
    EXPECT_EQ(seen.maxFileTitle, 254u);
    EXPECT_FALSE(seen.hasInitialDir);
    EXPECT_EQ(seen.title, "Select any file in the directory to be deleted");
    EXPECT_EQ(seen.flags, 0x0208102Cu);
    EXPECT_EQ(seen.defaultExtension, "dll");
    EXPECT_TRUE(seen.hasHook);
    EXPECT_TRUE(seen.hookReturnedZero);
    EXPECT_EQ(sim::dialogMoves().size(), 1u);
}

TEST_F(Locate, WithoutAProgramFilesFolderTheDialogStartsWithAnEmptyName) {
    sim::setProgramFiles("");
    sim::cancelDialog();
    sim::answer({IDYES, IDOK});
    locate();
    ASSERT_EQ(sim::dialogs().size(), 1u);
    EXPECT_EQ(sim::dialogs()[0].initialFile, "");
}

TEST_F(Locate, AChosenFileGivesTheFolderThatHoldsItAndEveryDeletionIsConfirmed) {
    EXPECT_EQ(locateByDialog("D:\\Tools\\Pelvane 6\\pelvane32.dll"), 0);
    EXPECT_STREQ(folder, "D:\\Tools\\Pelvane 6");
    EXPECT_TRUE(confirmEachDeletion);
    EXPECT_EQ(sim::boxes().size(), 1u);
    EXPECT_EQ(sim::openStreams(), 1);
    EXPECT_EQ(written(), std::string("Searching for ") + candidate + "\r\n" + candidate + " not found\r\n" +
                             removalHeading);
}

// Only below Program Files may a path be left for the restart where it is: its folders are the administrators'.
TEST_F(Locate, AChosenFolderBelowAProgramFilesFolderIsAProtectedPlace) {
    const struct {
        const char* chosen;
        bool wow64, protectedPlace;
    } cases[] = {{"C:\\Program Files\\Other\\Pelvane\\a.dll", false, true},
                 {"Q:\\Other\\a.dll", false, true},  // Program Files on a substituted drive, told by identity
                 {"C:\\Program Files.old\\a.dll", false, false},
                 {"D:\\Tools\\Pelvane 6\\a.dll", false, false},
                 {"C:\\Program Files\\Other\\a.dll", true, true},  // the 64-bit one, under WOW64
                 {"C:\\Program Files (x86)\\Other\\a.dll", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        sim::reset();
        log = sim::logStream(testLog);
        if (c.wow64) sim::useWow64();
        sim::substituteDrive("Q:", "C:\\Program Files");
        protectedPlace = !c.protectedPlace;
        EXPECT_EQ(locateByDialog(c.chosen), 0);
        EXPECT_EQ(protectedPlace, c.protectedPlace);
    }
}

TEST_F(Locate, TheFolderIsCutAtTheLastPlaceTheChosenNameOccurs) {
    const struct {
        const char* chosen;
        const char* expected;
    } cases[] = {
        {"D:\\x\\a.dll\\a.dll", "D:\\x\\a.dll"},
        {"D:\\x\\a.dll.old\\a.dll", "D:\\x\\a.dll.old"},
        {"D:\\a.dll\\b\\a.dll", "D:\\a.dll\\b"},
        {"D:\\pelvane32.dll\\pelvane32.dll", "D:\\pelvane32.dll"},
        {"D:\\Any\\readme.txt", "D:\\Any"},  // the "All Files" filter lets any file be chosen
        {"\\\\server\\share\\Pelvane\\pelvane32.dll", "\\\\server\\share\\Pelvane"},
        {"C:\\Program Files\\Quenderholt\\Pelvane\\a.dll", "C:\\Program Files\\Quenderholt\\Pelvane"},  // below it
        {"C:\\users\\test\\Pelvane\\a.dll", "C:\\users\\test\\Pelvane"},  // below the profile
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        sim::reset();
        log = sim::logStream(testLog);
        EXPECT_EQ(locateByDialog(c.chosen), 0);
        EXPECT_STREQ(folder, c.expected);
    }
}

TEST_F(Locate, TheLongestNameTheDialogCanReturnStillCutsCleanly) {
    const std::string name(253, 'n');  // with the leading backslash and the zero: all 256 bytes of the title
    EXPECT_EQ(locateByDialog("D:\\d\\" + name), 0);
    EXPECT_STREQ(folder, "D:\\d");
}

TEST_F(Locate, AFileInTheRootOfADriveOrShareOrASystemFolderLeavesNoFolderAndStopsWithCodeFour) {
    for (const char* chosen :
         {"D:\\pelvane32.dll", "\\\\server\\share\\pelvane32.dll", "\\\\server\\a.dll", "pelvane32.dll",
          "C:\\windows\\a.dll", "C:\\windows\\system32\\a.dll", "C:\\Program Files\\a.dll", "C:\\users\\a.dll",
          "C:\\users\\test\\a.dll", "C:\\users\\test\\Temp\\a.dll", "C:\\Program Files\\Pelvane\\?.dll",
          "D:\\trail.\\a.dll", "D:\\con\\a.dll", "C:\\windows\\Fonts\\a.dll", "C:\\windows\\system32\\drivers\\a.dll",
          "C:\\Program Files\\Common Files\\a.dll", "C:\\users\\Public\\Documents\\a.dll", "C:\\users\\Public\\a.dll",
          // The same folders under other paths, which only their identities tell (NT family).
          "D:\\Link\\Fonts\\a.dll", "D:\\Apps\\Sys\\drivers\\a.dll", "P:\\Fonts\\a.dll", "D:\\Root\\a.dll",
          "D:\\Profiles\\a.dll", "\\\\localhost\\C$\\windows\\system32\\a.dll", "\\\\localhost\\C$\\Program Files\\a.dll",
          // A link into a folder deep below System, whose folders above on the path are not its own.
          "D:\\Deep\\etc\\a.dll"})
    // On the NT family, in a 95/98 compatibility mode, and under WOW64, where the shell names the 32-bit Program
    // Files (x86) and its Common Files and only the registry's 64-bit view the real ones.
    for (const auto machine : {+[] {}, +[] { sim::setVersion(0xC0000A04u); }, &sim::useWow64}) {
        SCOPED_TRACE(chosen);
        sim::reset();
        machine();
        sim::setSpecialFolder(0x2E, "C:\\users\\Public\\Documents");
        log = sim::logStream(testLog);
        for (const auto& [link, target] : {std::pair{"D:\\Link", "C:\\windows"}, {"D:\\Apps\\Sys", "C:\\windows\\system32"},
                                            {"D:\\Root", "C:"}, {"D:\\Profiles", "C:\\users"}, {"\\\\localhost\\C$", "C:"},
                                            {"D:\\Deep", "C:\\windows\\system32\\drivers"}})
            sim::addLink(link, target);
        sim::substituteDrive("P:", "C:\\windows");
        sim::addFolder("C:\\windows\\system32\\drivers\\etc");
        EXPECT_EQ(locateByDialog(chosen), 4);
        ASSERT_EQ(sim::boxes().size(), 2u);
        EXPECT_EQ(sim::boxes()[1].text, folderStopText);
        EXPECT_EQ(sim::boxes()[1].style, 0x10u);
        EXPECT_EQ(sim::openStreams(), 0);
        EXPECT_EQ(sim::openHandles(), 0);
        const std::string text = written();
        const std::string ending = std::string(removalHeading) + "Application folder error, cleanup aborted.";
        ASSERT_GE(text.size(), ending.size());
        EXPECT_EQ(text.substr(text.size() - ending.size()), ending);
    }
}

TEST_F(Locate, WhereTheShellDoesNotKnowThemTheKernelAndTheRegistryNameTheSystemFolders) {
    for (const Shell shell : {Shell::First, Shell::Of98}) {
        for (const char* chosen : {"C:\\windows\\Fonts\\a.dll", "C:\\windows\\system32\\drivers\\a.dll",
                                   "C:\\Program Files\\a.dll", "C:\\Program Files\\Common Files\\a.dll"}) {
            SCOPED_TRACE(chosen);
            sim::reset();
            log = sim::logStream(testLog);
            useShell(shell);
            if (shell == Shell::First) sim::useWindows98();  // the 95 family, which compares paths alone
            EXPECT_EQ(locateByDialog(chosen), 4);
        }
    }
}

TEST_F(Locate, AChosenPathMustLeadToTheChosenFileAndToNoOther) {
    const std::string real = "D:\\Apps\\\xC5\xBB\xC3\xB3\xC5\x82w";  // its listed name is "Z\xF3lw"
    const std::string returned = "D:\\Apps\\Z\xF3lw\\Pelvane\\pelvane32.dll";
    const struct {
        bool converted, plain;
        int code;
    } cases[] = {{true, false, 4}, {true, true, 4}, {false, true, 0}, {false, false, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.converted) + std::to_string(c.plain));
        sim::reset();
        log = sim::logStream(testLog);
        if (c.converted) {
            sim::addFile(real + "\\Pelvane\\pelvane32.dll");
            sim::setListedName(real, "Z\xF3lw");
        }
        if (c.plain) sim::addFile(returned);
        sim::answer({IDYES, IDOK});
        sim::chooseInDialog(returned, false);
        EXPECT_EQ(locate(), c.code);
    }
}

// ---- The hook that centres the dialog.

class Centre : public ::testing::Test {
protected:
    // Learns the window the dialog hands its hook (a child of the dialog frame), then starts a fresh machine.
    void SetUp() override {
        sim::reset();
        static HWND seen = nullptr;
        OPENFILENAMEA settings{};
        settings.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
        settings.Flags = OFN_ENABLEHOOK;
        settings.lpfnHook = [](HWND window, UINT, WPARAM, LPARAM) -> UINT_PTR {
            seen = window;
            return 0;
        };
        GetOpenFileNameA(&settings);
        child = seen;
        ASSERT_NE(child, nullptr);
        sim::reset();
    }
    HWND child = nullptr;
};

TEST_F(Centre, TheFrameIsMovedToTheMiddleHalvingScreenAndFrameSeparately) {
    const struct {
        int screenWidth, screenHeight;
        RECT frame;
        int x, y;
    } cases[] = {
        {1024, 768, {10, 20, 10 + 563, 20 + 419}, 512 - 281, 384 - 209},  // (1024 - 563) / 2 would give 230
        {1023, 767, {0, 0, 600, 400}, 511 - 300, 383 - 200},
        {800, 600, {-50, -70, -50 + 1001, -70 + 701}, 400 - 500, 300 - 350},  // wider than the screen
    };
    for (const auto& c : cases) {
        sim::setScreen(c.screenWidth, c.screenHeight);
        sim::setDialogFrame(c.frame);
        EXPECT_EQ(centreDialogHook(child, WM_INITDIALOG, 0, 0), 0u);
    }
    ASSERT_EQ(sim::dialogMoves().size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sim::dialogMoves()[i].x, cases[i].x);
        EXPECT_EQ(sim::dialogMoves()[i].y, cases[i].y);
        EXPECT_EQ(sim::dialogMoves()[i].flags, 5u);
    }
}

TEST_F(Centre, OnlyTheDialogsOpeningMovesIt) {
    for (UINT message : {0x0001u, 0x0002u, 0x0010u, 0x004Eu, 0x0111u})
        EXPECT_EQ(centreDialogHook(child, message, 0, 0), 0u);
    EXPECT_TRUE(sim::dialogMoves().empty());
    EXPECT_EQ(sim::callsOf("GetParent"), 0);
}

TEST_F(Centre, AFrameThatCannotBeMeasuredStaysWhereItIs) {
    sim::failFunction("GetWindowRect");
    EXPECT_EQ(centreDialogHook(child, WM_INITDIALOG, 0, 0), 0u);
    EXPECT_EQ(centreDialogHook(nullptr, WM_INITDIALOG, 0, 0), 0u);  // no parent at all
    EXPECT_TRUE(sim::dialogMoves().empty());
}

// ---- Whole runs that end at the folder.

// The log of the last run after its 31 registry lines.
std::string afterRegistry() {
    const std::string text = logText();
    const size_t last = text.rfind("\r\nRegistry ");
    if (last == std::string::npos) return "(no registry lines)";
    return text.substr(text.find("\r\n", last + 2) + 2);
}

class LocateRun : public ::testing::Test {
protected:
    void SetUp() override {
        sim::reset();
        sim::addFile("D:\\pelvane32.dll");
        sim::addFile("D:\\keep.txt");
    }
    void TearDown() override { EXPECT_EQ(sim::openSearches(), 0); }
};

TEST_F(LocateRun, DecliningTheSearchEndsTheProgramWithCodeThree) {
    sim::answer({IDYES, IDNO});
    EXPECT_EQ(runProgram(), 3);
    EXPECT_EQ(sim::boxes().size(), 2u);
    EXPECT_EQ(afterRegistry(), std::string("Searching for ") + candidate + "\r\n" + candidate +
                                   " not found\r\n\r\nCleanup terminated without deleting files.\r\n");
}

TEST_F(LocateRun, ACancelledDialogEndsTheProgramWithCodeTwo) {
    sim::cancelDialog();
    sim::answer({IDYES, IDYES, IDOK});
    EXPECT_EQ(runProgram(), 2);
    ASSERT_EQ(sim::boxes().size(), 3u);
    EXPECT_EQ(sim::boxes()[2].text, dialogStopText);
    EXPECT_EQ(afterRegistry(), std::string("Searching for ") + candidate + "\r\n" + candidate +
                                   " not found\r\n\r\nUnable to identify application folder, cleanup aborted.\r\n");
}

TEST_F(LocateRun, AFileInADrivesRootEndsTheProgramWithCodeFourTouchingNothing) {
    sim::chooseInDialog("D:\\pelvane32.dll");
    sim::answer({IDYES, IDYES, IDOK, IDYES, IDYES});
    EXPECT_EQ(runProgram(), 4);
    ASSERT_EQ(sim::boxes().size(), 3u);
    EXPECT_EQ(sim::boxes()[2].text, folderStopText);
    EXPECT_EQ(afterRegistry(), std::string("Searching for ") + candidate + "\r\n" + candidate + " not found\r\n" +
                                   removalHeading + "Application folder error, cleanup aborted.");
    EXPECT_EQ(sim::tree("D:"), (std::vector<std::string>{"D:\\pelvane32.dll", "D:\\keep.txt"}));
    EXPECT_EQ(sim::callsOf("RemoveDirectoryA") + sim::callsOf("SetFileAttributesA"), 0);
    EXPECT_EQ(sim::callsOf("DeleteFileA"), 1);  // the log's name, before the log is made anew
}

TEST_F(LocateRun, TheLibraryAtItsDefaultPlaceIsRemovedWithoutAQuestion) {
    sim::addFile(candidate);
    sim::addFile("C:\\Program Files\\Quenderholt\\Pelvane\\data\\words.dat");
    sim::answer({IDYES, IDOK});
    EXPECT_EQ(runProgram(), 0);
    EXPECT_EQ(sim::boxes().size(), 2u);
    EXPECT_TRUE(sim::dialogs().empty());
    EXPECT_EQ(afterRegistry(),
              std::string("Searching for ") + candidate + "\r\n" + removalHeading + "File " + candidate +
                  " deleted\r\n"
                  "File C:\\Program Files\\Quenderholt\\Pelvane\\data\\words.dat deleted\r\n"
                  "Directory C:\\Program Files\\Quenderholt\\Pelvane\\data deleted\r\n"
                  "Directory C:\\Program Files\\Quenderholt\\Pelvane deleted\r\n"
                  "\r\nNo reboot required, all files deleted successfully\r\n\r\nPelvane cleanup completed.\r\n\r\n");
    EXPECT_TRUE(sim::exists("C:\\Program Files\\Quenderholt"));
}

}  // namespace
