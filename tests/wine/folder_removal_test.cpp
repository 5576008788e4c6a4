// The real program removing the product's folder under Wine: protected files, listing order, questions, links.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/wine/harness.h"
#include "tests/wine/removal_checks.h"

using namespace harness;
using namespace removal;

namespace {

Lines sorted(Lines lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

TEST(WineFolderRemoval, TheDefaultFolderGoesEntirelyWithItsProtectedFilesEachFolderAfterItsContents) {
    Planted planted;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    const Lines files = {"pelvane32.dll",
                         "pvshell.exe",
                         "readme.txt",
                         "pvhook.dll",
                         "Keyboards\\zq.pvk",
                         "Keyboards\\locked-down.pvk",
                         "Keyboards\\Layouts\\qwerty.pvl",
                         "Help\\index.htm"};
    for (const std::string& file : files) ASSERT_TRUE(planted.file(folder + "\\" + file));
    ASSERT_TRUE(planted.folder(folder + "\\Empty"));
    ASSERT_TRUE(setAttributes(folder + "\\readme.txt", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(setAttributes(folder + "\\pvhook.dll", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(setAttributes(folder + "\\Keyboards\\locked-down.pvk",
                              FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(setAttributes(folder + "\\Keyboards\\Layouts\\qwerty.pvl", FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(setAttributes(folder + "\\Help\\index.htm", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(setAttributes(folder + "\\Help", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    PendingAtRestart pending;  // whatever this run leaves for the restart is dropped after the test
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";
    Walk walk;
    EXPECT_EQ(expectedRemoval(folder, walk), 0);

    const RunResult run = runToSummary(noRebootSummary(), MB_OK | MB_ICONINFORMATION);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_FALSE(folderExists(folder)) << "the product's folder is still there";
    EXPECT_TRUE(folderExists(programFilesFolder() + "\\Quenderholt")) << "the folder above the product's must stay";

    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    const FileRemovalPart part = fileRemovalPart(*log);
    ASSERT_TRUE(part.found) << *log;
    EXPECT_TRUE(endsWith(part.before, "\r\nSearching for " + folder + "\\pelvane32.dll\r\n")) << part.before;
    EXPECT_EQ(part.before.find("pelvane32.dll not found"), std::string::npos) << part.before;
    EXPECT_EQ(part.after, noRebootLogEnd);
    // In the order Wine lists the entries, each folder after its contents, the product's folder last.
    EXPECT_EQ(part.lines, walk.lines);
    Lines everything;
    for (const std::string& file : files) everything.push_back("File " + folder + "\\" + file + " deleted");
    for (const char* sub : {"\\Keyboards\\Layouts", "\\Keyboards", "\\Help", "\\Empty", ""})
        everything.push_back("Directory " + folder + sub + " deleted");
    EXPECT_EQ(sorted(part.lines), sorted(everything));
    expectFoldersAfterTheirContents(part.lines);
    ASSERT_FALSE(part.lines.empty());
    EXPECT_EQ(part.lines.back(), "Directory " + folder + " deleted");
}

TEST(WineFolderRemoval, InAPickedFolderEveryEntryIsAskedAndWhatTheUserDeclinesStaysWithTheFoldersAboveIt) {
    Planted planted;
    ASSERT_FALSE(folderExists(defaultProductFolder())) << defaultProductFolder() << " is left over from elsewhere";
    const std::string folder = "C:\\Pelvane Picked";
    for (const char* file : {"\\pelvane32.dll", "\\settings.ini", "\\Keyboards\\zq.pvk", "\\Keyboards\\mine.pvk",
                             "\\Keyboards\\old.pvk", "\\Backup\\backup.pvk", "\\Backup\\Deep\\older.pvk"})
        ASSERT_TRUE(planted.file(folder + file));
    ASSERT_TRUE(setAttributes(folder + "\\Keyboards\\mine.pvk", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(planted.file("C:\\Pelvane Picked.old\\pelvane32.dll", "a neighbour with a longer name\r\n"));
    PendingAtRestart pending;  // whatever this run leaves for the restart is dropped after the test
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";
    Walk walk;
    walk.asked = true;
    walk.declined = {folder + "\\Keyboards\\mine.pvk", folder + "\\Backup"};
    EXPECT_EQ(expectedRemoval(folder, walk), 2);
    // The user picks a file that is not the library: the folder that holds it is the one removed.
    std::vector<Step> script = {yes(), yes(), chooseFile(folder + "\\settings.ini")};
    script.insert(script.end(), walk.answers.begin(), walk.answers.end());
    script.push_back(ok());

    const RunResult run = runProgram(script);

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.seen.size(), 3 + walk.questions.size() + 1) << run.report();
    EXPECT_EQ(run.seen[2].kind, WindowKind::FileDialog) << run.seen[2].describe();
    Lines asked;
    for (size_t i = 0; i < walk.questions.size(); ++i) {
        expectMessageBox(run.seen[3 + i], walk.questions[i], MB_YESNO | MB_ICONQUESTION);
        EXPECT_EQ(run.seen[3 + i].defaultButton, IDYES) << run.seen[3 + i].describe();
        asked.push_back(run.seen[3 + i].text);
    }
    // Every entry is asked about once, except what lies in the declined directory.
    EXPECT_EQ(sorted(asked),
              sorted({"Delete file " + folder + "\\pelvane32.dll?", "Delete file " + folder + "\\settings.ini?",
                      "Delete directory " + folder + "\\Keyboards?", "Delete file " + folder + "\\Keyboards\\zq.pvk?",
                      "Delete file " + folder + "\\Keyboards\\mine.pvk?", "Delete file " + folder + "\\Keyboards\\old.pvk?",
                      "Delete directory " + folder + "\\Backup?"}));
    expectMessageBox(run.seen.back(), retainedSummary(folder), MB_OK | MB_ICONEXCLAMATION);

    EXPECT_EQ(readFileBytes(folder + "\\Keyboards\\mine.pvk"), "planted by the Wine tests\r\n");
    EXPECT_TRUE(fileExists(folder + "\\Backup\\backup.pvk"));
    EXPECT_TRUE(fileExists(folder + "\\Backup\\Deep\\older.pvk"));
    for (const char* gone : {"\\pelvane32.dll", "\\settings.ini", "\\Keyboards\\zq.pvk", "\\Keyboards\\old.pvk"})
        EXPECT_FALSE(fileExists(folder + gone)) << gone;
    EXPECT_TRUE(fileExists("C:\\Pelvane Picked.old\\pelvane32.dll"));

    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    const FileRemovalPart part = fileRemovalPart(*log);
    ASSERT_TRUE(part.found) << *log;
    EXPECT_TRUE(endsWith(part.before, defaultProductFolder() + "\\pelvane32.dll not found\r\n")) << part.before;
    EXPECT_EQ(part.after, retainedLogEnd);
    EXPECT_EQ(part.lines, walk.lines);
    EXPECT_EQ(sorted(part.lines),
              sorted({"File " + folder + "\\pelvane32.dll deleted", "File " + folder + "\\settings.ini deleted",
                      "File " + folder + "\\Keyboards\\zq.pvk deleted", "File " + folder + "\\Keyboards\\old.pvk deleted",
                      "Directory " + folder + "\\Keyboards will not be deleted",
                      "Directory " + folder + " will not be deleted"}));
    expectFoldersAfterTheirContents(part.lines);
}

TEST(WineFolderRemoval, ALinkToAFolderOutsideIsRemovedAsALinkAndNothingBehindItIsTouched) {
    Planted planted;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    const std::string target = "C:\\Pelvane Link Target";
    ASSERT_TRUE(planted.file(folder + "\\pelvane32.dll"));
    ASSERT_TRUE(planted.file(target + "\\shared.pvk", "shared keyboard\r\n"));
    ASSERT_TRUE(planted.file(target + "\\Sub\\precious.doc", "precious\r\n"));
    ASSERT_TRUE(setAttributes(target + "\\Sub\\precious.doc", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(setAttributes(target, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    const std::string link = folder + "\\Shared";
    FolderLink made(link, target);
    ASSERT_TRUE(made.made()) << "could not make the link " << link;
    const DWORD linkAttributes = GetFileAttributesA(link.c_str());
    ASSERT_EQ(linkAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        << std::hex << linkAttributes;
    // The target's files with their bytes and attributes, and the target folder's own attributes.
    const auto targetState = [&] {
        std::string state = target + " " + std::to_string(GetFileAttributesA(target.c_str())) + "\n";
        for (const char* file : {"\\shared.pvk", "\\Sub", "\\Sub\\precious.doc"}) {
            const std::string path = target + file;
            state += path + " " + std::to_string(GetFileAttributesA(path.c_str())) + " " +
                     readFileBytes(path).value_or("(no bytes)") + "\n";
        }
        return state;
    };
    const std::string targetBefore = targetState();
    const auto expectTargetUntouched = [&](const char* when) {
        EXPECT_EQ(targetState(), targetBefore) << "the link's target " << when;
    };
    PendingAtRestart pending;
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";

    const RunResult run = runProgram({yes(), ok()});

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 0u);
    expectTargetUntouched("after the run");
    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    const FileRemovalPart part = fileRemovalPart(*log);
    ASSERT_TRUE(part.found) << *log;
    EXPECT_EQ(log->find(link + "\\"), std::string::npos) << "the log names something behind the link:\n" << *log;
    ASSERT_EQ(part.lines.size(), 3u) << *log;
    const std::string removedLine = "Directory " + link + " deleted";
    if (std::find(part.lines.begin(), part.lines.end(), removedLine) != part.lines.end()) {
        // The link itself could be removed at once.
        EXPECT_EQ(sorted(part.lines), sorted({"File " + folder + "\\pelvane32.dll deleted", removedLine,
                                              "Directory " + folder + " deleted"}));
        EXPECT_EQ(part.after, noRebootLogEnd);
        EXPECT_FALSE(folderExists(folder));
        return;
    }
    // Wine follows the link in RemoveDirectoryA and refuses it as not empty, as its restart would: the link stays,
    // and the run says so.
    EXPECT_EQ(part.lines[2], "Directory " + folder + " not deleted: it is not empty");
    EXPECT_EQ(sorted({part.lines[0], part.lines[1]}),
              sorted({"File " + folder + "\\pelvane32.dll deleted", "Directory " + link + " not deleted: it is not empty"}));
    EXPECT_EQ(part.after, leftBehindLogEnd);
    ASSERT_EQ(run.seen.size(), 2u) << run.report();
    expectMessageBox(run.seen[1], leftBehindSummary(folder), MB_OK | MB_ICONEXCLAMATION);
    EXPECT_FALSE(pendingOperations().has_value()) << "something was registered for the restart";
    EXPECT_TRUE(folderExists(link));
}

}  // namespace
