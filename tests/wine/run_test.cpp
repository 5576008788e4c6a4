// The whole run of the real program under Wine: its questions, exit codes, log bytes and what it removes.
#include <gtest/gtest.h>
#include <time.h>

#include <regex>

#include "tests/expected/messages.h"
#include "tests/wine/harness.h"
#include "tests/wine/removal_checks.h"

using namespace harness;
using removal::expectMessageBox;

namespace {

using expected::caption;
using expected::firstQuestion;
using expected::stillInstalledQuestion;
using expected::searchQuestion;
using expected::otherUsersNote;

const char uninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenderholt Pelvane 6.0";
const char runKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Checks the header a log starts with, whose time must lie between the two moments, and returns what follows it.
std::string afterHeader(const std::string& log, time_t before, time_t after) {
    static const std::regex header(
        "^Pelvane Cleanup: (Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
        "([0-9]{2}) ([0-9]{2}):([0-9]{2}):([0-9]{2}) ([0-9]{4})\r\n={40}\r\n\r\n");
    std::smatch match;
    if (!std::regex_search(log, match, header)) {
        ADD_FAILURE() << "the log does not start with the header: \"" << log.substr(0, 90) << "\"";
        return std::string();
    }
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    static const char days[] = "SunMonTueWedThuFriSat";
    struct tm stamp = {};
    stamp.tm_mon = static_cast<int>(std::string(months).find(match[2].str()) / 3);
    stamp.tm_mday = std::stoi(match[3].str());
    stamp.tm_hour = std::stoi(match[4].str());
    stamp.tm_min = std::stoi(match[5].str());
    stamp.tm_sec = std::stoi(match[6].str());
    stamp.tm_year = std::stoi(match[7].str()) - 1900;
    stamp.tm_isdst = -1;
    const time_t written = mktime(&stamp);
    EXPECT_GE(written, before - 1) << "the header's time is before the run: " << match.str();
    EXPECT_LE(written, after + 1) << "the header's time is after the run: " << match.str();
    EXPECT_EQ(std::string(days).substr(stamp.tm_wday * 3, 3), match[1].str()) << "weekday of " << match.str();
    return match.suffix().str();
}

// Every line feed of the log comes right after a carriage return, and no carriage return stands alone.
void expectCrLfLines(const std::string& log) {
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i] == '\n') {
            EXPECT_TRUE(i > 0 && log[i - 1] == '\r') << "bare line feed at byte " << i;
        }
        if (log[i] == '\r') {
            EXPECT_TRUE(i + 1 < log.size() && log[i + 1] == '\n') << "bare carriage return at byte " << i;
        }
    }
}

size_t count(const std::string& text, const std::string& part) {
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

}  // namespace

TEST(WineRun, DecliningTheFirstQuestionTouchesNothing) {
    Planted planted;
    const std::string earlierLog = "Pelvane Cleanup: an earlier run\r\n";
    ASSERT_TRUE(planted.log(earlierLog));
    ASSERT_TRUE(planted.key(HKEY_CURRENT_USER, "Software\\Quenderholt\\Pelvane"));

    const RunResult run = runProgram({no()});

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.seen.size(), 1u) << run.report();
    expectMessageBox(run.seen[0], firstQuestion, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(run.seen[0].defaultButton, IDYES);
    EXPECT_EQ(readLog(), earlierLog) << "the earlier log must be left as it was";
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Software\\Quenderholt\\Pelvane"));
}

// A second copy started while the first one's question is open says so and ends with code 5, without a log of its
// own and without touching the earlier one; the first copy is then answered as usual.
TEST(WineRun, ASecondCopyStartedWhileOneRunsSaysSoAndTouchesNothing) {
    Planted planted;
    const std::string earlierLog = "Pelvane Cleanup: an earlier run\r\n";
    ASSERT_TRUE(planted.log(earlierLog));
    ASSERT_TRUE(planted.key(HKEY_CURRENT_USER, "Software\\Quenderholt\\Pelvane"));

    RunResult second;
    RunOptions options;
    options.beforeAnswer = [&](HWND, const Sighting&) {
        if (!second.started) second = runProgram({ok()});
    };
    const RunResult first = runProgram({no()}, options);

    ASSERT_TRUE(second.ok()) << second.report();
    EXPECT_EQ(second.exitCode, 5u);
    ASSERT_EQ(second.seen.size(), 1u) << second.report();
    expectMessageBox(second.seen[0], expected::anotherCopyText, MB_OK | MB_ICONSTOP);
    ASSERT_TRUE(first.ok()) << first.report();
    EXPECT_EQ(first.exitCode, 0u);
    ASSERT_EQ(first.seen.size(), 1u) << first.report();
    expectMessageBox(first.seen[0], firstQuestion, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(readLog(), earlierLog) << "neither copy may touch the earlier log";
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Software\\Quenderholt\\Pelvane"));
}

TEST(WineRun, StoppingForTheInstalledProductLogsTheHeaderAndTheReasonOnly) {
    Planted planted;
    ASSERT_TRUE(planted.value(HKEY_LOCAL_MACHINE, uninstallKey, "DisplayName", "Quenderholt Pelvane 6.0"));
    ASSERT_TRUE(planted.key(HKEY_CURRENT_USER, "Software\\Quenderholt"));
    // Another name of a file elsewhere, planted at the log's name: the log is made anew, never written through it.
    const std::string victim = "C:\\Pelvane Log Victim.txt", victimBytes = "precious\r\n" + std::string(200, '-');
    ASSERT_TRUE(planted.file(victim, victimBytes));
    DeleteFileA(logPath().c_str());
    ASSERT_TRUE(CreateHardLinkA(logPath().c_str(), victim.c_str(), nullptr)) << GetLastError();

    const time_t before = time(nullptr);
    const RunResult run = runProgram({yes(), no()});
    const time_t after = time(nullptr);

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_EQ(run.seen.size(), 2u) << run.report();
    expectMessageBox(run.seen[1], stillInstalledQuestion, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    EXPECT_EQ(run.seen[1].defaultButton, IDNO);

    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    EXPECT_EQ(afterHeader(*log, before, after), "\r\nCleanup terminated to allow uninstallation first.\r\n\r\n");
    expectCrLfLines(*log);
    EXPECT_EQ(readFileBytes(victim), victimBytes) << "the log was written through another name of " << victim;
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, uninstallKey)) << "nothing may be deleted after the No";
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Software\\Quenderholt"));
}

TEST(WineRun, FullRunRemovesTheDefaultFolderAndTheProductsRegistryEntriesOnly) {
    Planted planted;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    ASSERT_TRUE(planted.file(folder + "\\pelvane32.dll"));
    ASSERT_TRUE(planted.file(folder + "\\pvshell.exe"));
    ASSERT_TRUE(planted.file(folder + "\\Keyboards\\zq.pvk"));
    ASSERT_TRUE(planted.file(folder + "\\Keyboards\\readonly.pvk"));
    ASSERT_TRUE(SetFileAttributesA((folder + "\\Keyboards\\readonly.pvk").c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(planted.value(HKEY_CURRENT_USER, "Software\\Quenderholt\\Pelvane\\6.0", "Layout", "ZQ"));
    ASSERT_TRUE(planted.key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quenderholt\\Pelvane"));
    ASSERT_TRUE(planted.key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\Pelvane.File.Package\\shell"));
    ASSERT_TRUE(planted.value(HKEY_CURRENT_USER, runKey, "pelvane.exe", "C:\\pelvane.exe"));
    ASSERT_TRUE(planted.value(HKEY_CURRENT_USER, runKey, "pelvane-neighbour.exe", "C:\\neighbour.exe"));

    const time_t before = time(nullptr);
    const RunResult run = runProgram({yes(), ok()});
    const time_t after = time(nullptr);

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.seen.size(), 2u) << run.report();
    expectMessageBox(run.seen[1],
                     "Pelvane cleanup complete. No reboot required.\n\n(See " + logPath() + " for details.)" +
                         otherUsersNote,
                     MB_OK | MB_ICONINFORMATION);

    EXPECT_FALSE(folderExists(folder)) << "the product's folder is still there";
    EXPECT_TRUE(folderExists(programFilesFolder() + "\\Quenderholt")) << "the folder above the product's must stay";
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, "Software\\Quenderholt"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quenderholt"));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\Pelvane.File.Package"));
    EXPECT_FALSE(valueExists(HKEY_CURRENT_USER, runKey, "pelvane.exe"));
    EXPECT_EQ(readStringValue(HKEY_CURRENT_USER, runKey, "pelvane-neighbour.exe"), "C:\\neighbour.exe")
        << "a value next to the product's must stay";
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, runKey));

    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    expectCrLfLines(*log);
    const std::string body = afterHeader(*log, before, after);
    const std::string registryHeading = "Pelvane was not running\r\n\r\nRegistry cleanup\r\n----------------\r\n\r\n";
    EXPECT_EQ(body.compare(0, registryHeading.size(), registryHeading), 0) << body;
    const size_t registryEnd = body.find("Searching for ");
    ASSERT_NE(registryEnd, std::string::npos) << body;
    EXPECT_EQ(count(body.substr(0, registryEnd), "\r\n"), 5u + 32u)
        << "one line per registry table entry, and where they were saved:\n" << body;
    const std::string saved = "Registry entries saved to " + tempFolder() + "PelvaneCleanup.reg before deletion\r\n";
    EXPECT_EQ(body.find(saved), registryEnd - saved.size()) << body;
    EXPECT_NE(body.find("Registry key HKCU\\Software\\Quenderholt deleted (with all subkeys)\r\n"), std::string::npos);
    EXPECT_NE(body.find("Registry key HKLM\\SOFTWARE\\Quenderholt deleted (with all subkeys)\r\n"), std::string::npos);
    EXPECT_NE(body.find("Registry value pelvane.exe deleted from key HKCU\\" + std::string(runKey) + "\r\n"),
              std::string::npos);

    const std::string files = body.substr(registryEnd);
    const std::string searching = "Searching for " + folder + "\\pelvane32.dll\r\n\r\nFile removal\r\n------------\r\n\r\n";
    EXPECT_EQ(files.compare(0, searching.size(), searching), 0) << files;
    for (const char* name : {"\\pelvane32.dll", "\\pvshell.exe", "\\Keyboards\\zq.pvk", "\\Keyboards\\readonly.pvk"})
        EXPECT_EQ(count(files, "File " + folder + name + " deleted\r\n"), 1u) << name << " in\n" << files;
    const size_t subfolder = files.find("Directory " + folder + "\\Keyboards deleted\r\n");
    ASSERT_NE(subfolder, std::string::npos) << files;
    EXPECT_LT(files.find("\\Keyboards\\zq.pvk deleted"), subfolder) << "a folder is logged after its contents";
    const std::string ending = "Directory " + folder +
                               " deleted\r\n\r\nNo reboot required, all files deleted successfully\r\n\r\nPelvane "
                               "cleanup completed.\r\n\r\n";
    ASSERT_GE(files.size(), ending.size());
    EXPECT_EQ(files.substr(files.size() - ending.size()), ending) << files;
}

TEST(WineRun, FolderPickedInTheCentredDialogIsRemovedEntryByEntryWithConfirmation) {
    Planted planted;
    ASSERT_FALSE(folderExists(defaultProductFolder())) << defaultProductFolder() << " is left over from elsewhere";
    const std::string folder = "C:\\Pelvane Elsewhere";
    ASSERT_TRUE(planted.file(folder + "\\pelvane32.dll"));

    const RunResult run = runProgram({yes(), yes(), chooseFile(folder + "\\pelvane32.dll"), yes(), ok()});

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.seen.size(), 5u) << run.report();
    expectMessageBox(run.seen[1], searchQuestion, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    const Sighting& dialog = run.seen[2];
    EXPECT_EQ(dialog.kind, WindowKind::FileDialog) << dialog.describe();
    EXPECT_EQ(dialog.caption, "Select any file in the directory to be deleted");
    // Centred by the program's hook for the frame's size at WM_INITDIALOG, which Wine changes afterwards.
    const SIZE atInit = openFileDialogSizeAtInit(0x0208102C);
    EXPECT_EQ(atInit.cx, dialog.frame.right - dialog.frame.left) << "the frame's width stays as it was at init";
    EXPECT_EQ(dialog.frame.left, dialog.screenWidth / 2 - atInit.cx / 2) << dialog.describe();
    EXPECT_EQ(dialog.frame.top, dialog.screenHeight / 2 - atInit.cy / 2)
        << dialog.describe() << ", frame height at init " << atInit.cy;
    expectMessageBox(run.seen[3], "Delete file " + folder + "\\pelvane32.dll?", MB_YESNO | MB_ICONQUESTION);
    expectMessageBox(run.seen[4],
                     "Pelvane cleanup complete. No reboot required.\n\n(See " + logPath() + " for details.)" +
                         otherUsersNote,
                     MB_OK | MB_ICONINFORMATION);
    EXPECT_FALSE(folderExists(folder));
}

TEST(WineRun, CancellingTheDialogStopsWithCode2) {
    Planted planted;
    ASSERT_FALSE(folderExists(defaultProductFolder())) << defaultProductFolder() << " is left over from elsewhere";

    const RunResult run = runProgram({yes(), yes(), cancelDialog(), ok()});

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 2u);
    ASSERT_EQ(run.seen.size(), 4u) << run.report();
    EXPECT_EQ(run.seen[2].kind, WindowKind::FileDialog) << run.seen[2].describe();
    EXPECT_EQ(run.seen[2].caption, "Select any file in the directory to be deleted");
    expectMessageBox(run.seen[3], expected::dialogStopText, MB_OK | MB_ICONSTOP);
    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    const std::string ending = defaultProductFolder() +
                               "\\pelvane32.dll not found\r\n\r\nUnable to identify application folder, cleanup "
                               "aborted.\r\n";
    ASSERT_GE(log->size(), ending.size());
    EXPECT_EQ(log->substr(log->size() - ending.size()), ending) << *log;
    EXPECT_EQ(log->find("File removal"), std::string::npos) << "no removal starts after the cancel:\n" << *log;
}
