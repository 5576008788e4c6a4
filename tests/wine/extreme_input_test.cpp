// The real program under Wine on extreme input: paths at and past MAX_PATH, deep trees, huge folders, names beyond
// ASCII, protected and dot entries, a log that cannot be written and an uninstall key that cannot be read.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "tests/expected/messages.h"
#include "tests/wine/harness.h"
#include "tests/wine/key_access.h"
#include "tests/wine/removal_checks.h"

using namespace harness;
using namespace removal;

namespace {

using expected::firstQuestion;
using expected::stillInstalledQuestion;

const char uninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenderholt Pelvane 6.0";
Lines sorted(Lines lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

// ---- Paths of any length, through the wide calls and the \\?\ form: Wine's ANSI calls refuse a path of more than
// 260 characters.

std::wstring wide(const std::string& ansi) {
    const int length = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
    std::wstring out(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &out[0], length);
    out.resize(out.size() - 1);
    return out;
}
std::string ansi(const std::wstring& text) {
    const int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(length > 0 ? length : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &out[0], length, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}
std::wstring longForm(const std::string& path) { return L"\\\\?\\" + wide(path); }

// Creates a folder of any length with every missing folder above it.
bool makeFolder(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryW(longForm(path.substr(0, at)).c_str(), nullptr);
    CreateDirectoryW(longForm(path).c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(longForm(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates a file of any path length with the given bytes, and every missing folder above it.
bool makeFile(const std::string& path, const std::string& bytes) {
    if (!makeFolder(path.substr(0, path.find_last_of('\\')))) return false;
    const HANDLE file =
        CreateFileW(longForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return wrote && written == bytes.size();
}

std::string fileBytes(const std::string& path) { return literalFileStart(wide(path)); }

// Every entry below a folder, at any depth and path length, one line each: its path below the folder, its
// attributes, and a file's bytes. Sorted; empty when the folder is not there.
Lines treeBelow(const std::string& folder, const std::string& below = "") {
    Lines out;
    WIN32_FIND_DATAW found;
    const std::string here = below.empty() ? folder : folder + "\\" + below;
    const HANDLE search = FindFirstFileW((longForm(here) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return out;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::string relative = (below.empty() ? "" : below + "\\") + ansi(name);
        const bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        out.push_back(relative + " " + std::to_string(found.dwFileAttributes) +
                      (directory ? "" : " " + fileBytes(folder + "\\" + relative)));
        if (directory) {
            const Lines inside = treeBelow(folder, relative);
            out.insert(out.end(), inside.begin(), inside.end());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return sorted(out);
}

// Deletes a folder with everything in it at any path length, clearing read-only, hidden and system first.
void removeLongTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                removeLongTree(path);
            else if (!DeleteFileW(path.c_str()))
                RemoveDirectoryW(path.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// A folder the test makes, removed with everything in it, whatever the path lengths, when the test ends.
class LongTree {
public:
    explicit LongTree(const std::string& folder) : folder_(folder) {}
    ~LongTree() {
        if (folder_.size() > 3) removeLongTree(longForm(folder_));
    }
    LongTree(const LongTree&) = delete;
    LongTree& operator=(const LongTree&) = delete;

private:
    std::string folder_;
};

// The log's file-removal part; fails the test when there is no log or no such part.
FileRemovalPart removalPartOfLog(std::string* log) {
    const std::optional<std::string> bytes = readLog();
    EXPECT_TRUE(bytes.has_value()) << "no log at " << logPath();
    *log = bytes.value_or("");
    const FileRemovalPart part = fileRemovalPart(*log);
    EXPECT_TRUE(part.found) << log->substr(0, 4000);
    return part;
}

// ---- 1. Paths at and past MAX_PATH.

TEST(WineExtremeInput, PathsThatDoNotFitMaxPathAreNeverActedOnAndKeepTheFoldersAboveThem) {
    Planted planted;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    ASSERT_LT(folder.size(), 190u) << "the lengths below are built on the product's folder";
    LongTree removeAfterwards(folder);
    const std::string neighbour = programFilesFolder() + "\\Quenderholt\\Pelvane Long Neighbour";
    ASSERT_FALSE(folderExists(neighbour));
    LongTree removeNeighbourAfterwards(neighbour);
    const auto name = [](size_t length, const std::string& above, char letter) {
        return above + "\\" + std::string(length - above.size() - 1, letter);
    };
    // A folder of 199 characters holding an entry of exactly 259 (fits), one of 260, a folder of 290 with a file
    // inside, and a folder of 259 whose listing pattern cannot fit. Wine's ANSI calls would still take the path of
    // 260 characters (Windows refuses it): only the program's own limit keeps it from that entry.
    const std::string levels = name(199, folder, 'l');
    const std::string fits = name(259, levels, 'a'), over = name(260, levels, 'b');
    const std::string overFolder = name(290, levels, 'c'), fullFolder = name(259, levels, 'r');
    // A folder of 255 whose pattern takes exactly 259, and one of 256 whose pattern would take 260.
    const std::string patternFits = name(255, folder, 'q'), patternOver = name(256, folder, 'p');
    const std::string deepBehind = patternOver + "\\" + std::string(200, 'z') + "\\deep.txt";  // 466 characters
    ASSERT_EQ(fits.size(), 259u);
    ASSERT_EQ(over.size(), 260u);
    ASSERT_EQ(patternFits.size() + strlen("\\*.*"), 259u);
    for (const std::string& file :
         {folder + "\\pelvane32.dll", fits, over, overFolder + "\\keep.txt", fullFolder + "\\inside.txt",
          patternFits + "\\x", patternOver + "\\y", deepBehind})
        ASSERT_TRUE(makeFile(file, "bytes of " + file.substr(file.size() - 12) + "\r\n")) << file;
    // Beside the product's folder, a neighbour whose name begins like it, with paths just at and far past the limit.
    ASSERT_TRUE(makeFile(name(259, neighbour, 'n'), "neighbour at the limit\r\n"));
    ASSERT_TRUE(makeFile(neighbour + "\\" + std::string(150, 'm') + "\\" + std::string(150, 'm') + "\\far.txt",
                         "neighbour far past the limit\r\n"));
    const Lines neighbourBefore = treeBelow(neighbour);
    PendingAtRestart pending;  // whatever a run leaves for the restart is dropped after the test
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";
    const Lines before = treeBelow(folder);
    Walk walk;
    EXPECT_EQ(expectedRemoval(folder, walk), 3);

    const RunResult run = runToSummary(leftBehindSummary(folder), MB_OK | MB_ICONEXCLAMATION);
    ASSERT_FALSE(HasFatalFailure());
    std::string log;
    const FileRemovalPart part = removalPartOfLog(&log);
    ASSERT_TRUE(part.found);
    EXPECT_EQ(part.after, leftBehindLogEnd);
    EXPECT_EQ(part.lines, walk.lines);
    EXPECT_EQ(sorted(part.lines),
              sorted({"File " + folder + "\\pelvane32.dll deleted", "File " + fits + " deleted",
                      "Entry " + over + " not deleted: path too long",
                      "Entry " + overFolder + " not deleted: path too long",
                      "Directory " + fullFolder + " not deleted: path too long",
                      "Directory " + levels + " not deleted: it is not empty", "File " + patternFits + "\\x deleted",
                      "Directory " + patternFits + " deleted", "Directory " + patternOver + " not deleted: path too long",
                      "Directory " + folder + " not deleted: it is not empty"}));
    expectFoldersAfterTheirContents(part.lines);

    // Exactly the entries that fit went; everything else is there with its bytes and attributes.
    Lines kept;
    const std::set<std::string> gone = {"pelvane32.dll", fits.substr(folder.size() + 1),
                                        patternFits.substr(folder.size() + 1),
                                        patternFits.substr(folder.size() + 1) + "\\x"};
    for (const std::string& line : before)
        if (!gone.count(line.substr(0, line.find(' ')))) kept.push_back(line);
    EXPECT_EQ(treeBelow(folder), kept);
    EXPECT_EQ(treeBelow(neighbour), neighbourBefore);
    EXPECT_FALSE(pendingOperations().has_value()) << "nothing is left for the restart";
}

// ---- 2. A tree a hundred folders deep.

TEST(WineExtremeInput, ATreeAHundredFoldersDeepIsRemovedInnermostFirst) {
    Planted planted;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    ASSERT_TRUE(planted.file(folder + "\\pelvane32.dll"));
    std::vector<std::string> levels;  // levels[k] is the folder k + 1 levels below the product's folder
    std::string path = folder;
    for (int level = 1; level <= 100; ++level) {
        levels.push_back(path += "\\d");
        ASSERT_TRUE(planted.file(path + "\\f" + std::to_string(level) + ".txt")) << path;
    }
    ASSERT_LT(levels.back().size() + strlen("\\*.*"), static_cast<size_t>(MAX_PATH))
        << "the deepest folder's listing must fit MAX_PATH";
    PendingAtRestart pending;  // whatever a run leaves for the restart is dropped after the test
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";
    Walk walk;
    EXPECT_EQ(expectedRemoval(folder, walk), 0);

    const RunResult run = runToSummary(noRebootSummary(), MB_OK | MB_ICONINFORMATION);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_FALSE(folderExists(folder));
    EXPECT_TRUE(folderExists(programFilesFolder() + "\\Quenderholt"));
    std::string log;
    const FileRemovalPart part = removalPartOfLog(&log);
    ASSERT_TRUE(part.found);
    EXPECT_EQ(part.after, noRebootLogEnd);
    EXPECT_EQ(part.lines, walk.lines);
    ASSERT_EQ(part.lines.size(), 202u);
    const auto at = [&](const std::string& line) {
        return std::find(part.lines.begin(), part.lines.end(), line) - part.lines.begin();
    };
    const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(part.lines.size());
    // Each level goes after its file and after the level below it; the product's folder goes last.
    for (size_t k = 0; k < levels.size(); ++k) {
        const std::ptrdiff_t removed = at("Directory " + levels[k] + " deleted");
        ASSERT_LT(removed, count) << levels[k];
        EXPECT_LT(at("File " + levels[k] + "\\f" + std::to_string(k + 1) + ".txt deleted"), removed) << levels[k];
        if (k + 1 < levels.size()) {
            EXPECT_LT(at("Directory " + levels[k + 1] + " deleted"), removed) << levels[k];
        }
    }
    EXPECT_EQ(part.lines.back(), "Directory " + folder + " deleted");
}

// ---- 3. A folder of fifty thousand files.

TEST(WineExtremeInput, AFolderOfFiftyThousandFilesGoesWithOneLineEach) {
    const int fileCount = 50000;
    Planted planted;
    const std::string folder = defaultProductFolder(), data = folder + "\\Data";
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    LongTree removeAfterwards(folder);
    ASSERT_TRUE(makeFile(folder + "\\pelvane32.dll", "library\r\n"));
    ASSERT_TRUE(makeFolder(data));
    const std::string unixData = unixPathOf(data);
    ASSERT_FALSE(unixData.empty());
    // file0.pvk made here, file1.pvk to file49999.pvk made as further names of it in one Unix process: every new
    // file costs this machine's file system 0.1 to 0.5 ms (up to 25 s for all), a new name of a file almost nothing,
    // and making them through Wine costs a search of the growing folder each. To the program they are 50,000 files.
    ASSERT_TRUE(makeFile(data + "\\file0.pvk", "a keyboard\r\n"));
    const DWORD plantStarted = GetTickCount();
    ASSERT_TRUE(runUnixCommand("cd \\\"$1\\\" && /usr/bin/perl -e 'for (1 .. $ARGV[0] - 1) { link(q(file0.pvk), "
                               "qq(file$_.pvk)) or exit 1 }' $2",
                               {unixData, std::to_string(fileCount)}, 30000))
        << "could not make the files in " << unixData;
    RecordProperty("planting_ms", static_cast<int>(GetTickCount() - plantStarted));
    ASSERT_EQ(listFolder(data).size(), static_cast<size_t>(fileCount));
    PendingAtRestart pending;  // whatever a run leaves for the restart is dropped after the test
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";

    RunOptions options;
    options.timeLimitMs = 60000;
    const RunResult run = runProgram({yes(), ok()}, options);
    RecordProperty("run_ms", static_cast<int>(run.elapsedMs));

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.seen.size(), 2u) << run.report();
    expectMessageBox(run.seen[1], noRebootSummary(), MB_OK | MB_ICONINFORMATION);
    EXPECT_FALSE(folderExists(folder));
    std::string log;
    const FileRemovalPart part = removalPartOfLog(&log);
    ASSERT_TRUE(part.found);
    EXPECT_EQ(part.after, noRebootLogEnd);
    ASSERT_EQ(part.lines.size(), static_cast<size_t>(fileCount) + 3);
    // One line for each file, none twice, and the folders after their files.
    Lines expected;
    for (int i = 0; i < fileCount; ++i) expected.push_back("File " + data + "\\file" + std::to_string(i) + ".pvk deleted");
    expected.push_back("File " + folder + "\\pelvane32.dll deleted");
    expected.push_back("Directory " + data + " deleted");
    expected.push_back("Directory " + folder + " deleted");
    const Lines logged = sorted(part.lines);
    expected = sorted(expected);
    const auto differ = std::mismatch(logged.begin(), logged.end(), expected.begin(), expected.end());
    EXPECT_TRUE(differ.first == logged.end() && differ.second == expected.end())
        << "the file lines are not one per file: logged \"" << (differ.first == logged.end() ? "" : *differ.first)
        << "\" where \"" << (differ.second == expected.end() ? "" : *differ.second) << "\" was due";
    const auto dataLine = std::find(part.lines.begin(), part.lines.end(), "Directory " + data + " deleted");
    ASSERT_NE(dataLine, part.lines.end());
    for (auto line = dataLine + 1; line != part.lines.end(); ++line)
        EXPECT_EQ(line->find(data + "\\"), std::string::npos) << *line << " comes after its folder";
    EXPECT_EQ(part.lines.back(), "Directory " + folder + " deleted");
}

// ---- 4. Names beyond ASCII.

TEST(WineExtremeInput, NamesBeyondAsciiAreRemovedAndLoggedInTheAnsiCodePage) {
    Planted planted;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    RecordProperty("ansi_code_page", static_cast<int>(GetACP()));
    // The names in the ANSI code page, as a Windows program of this machine writes them.
    const auto inAnsi = [](const std::wstring& name) {
        BOOL lossy = FALSE;
        char bytes[MAX_PATH] = "";
        const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, bytes, sizeof bytes,
                                               nullptr, &lossy);
        EXPECT_TRUE(length > 0 && !lossy) << "the ANSI code page " << GetACP() << " lacks a letter of a name";
        return std::string(bytes);
    };
    const std::wstring keyboardName = L"Tastatur \u00e9 \u00fc \u00df.pvk", studyName = L"\u00c9tude",
                       innerName = L"\u00e6\u00f8\u00e5.txt", accented = L"\u00e9.txt";
    const std::string keyboard = folder + "\\" + inAnsi(keyboardName), study = folder + "\\" + inAnsi(studyName),
                      inner = study + "\\" + inAnsi(innerName), accent = folder + "\\" + inAnsi(accented),
                      plain = folder + "\\e.txt";
    for (const std::string& file : {folder + "\\pelvane32.dll", keyboard, inner, accent, plain})
        ASSERT_TRUE(planted.file(file)) << file;
    // A neighbour whose name differs from the product's folder only by its accent.
    const std::string neighbour = programFilesFolder() + "\\Quenderholt\\" + inAnsi(L"Pelvan\u00e9");
    ASSERT_TRUE(planted.file(neighbour + "\\pelvane32.dll", "the accented neighbour\r\n"));
    // Wine holds the names as the wide letters they stand for, as Windows does.
    std::set<std::wstring> wideNames;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((wide(folder) + L"\\*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do wideNames.insert(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_EQ(wideNames, (std::set<std::wstring>{L".", L"..", L"pelvane32.dll", keyboardName, studyName, accented,
                                                 L"e.txt"}));
    PendingAtRestart pending;  // whatever a run leaves for the restart is dropped after the test
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";
    Walk walk;
    EXPECT_EQ(expectedRemoval(folder, walk), 0);

    const RunResult run = runToSummary(noRebootSummary(), MB_OK | MB_ICONINFORMATION);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_FALSE(folderExists(folder));
    EXPECT_EQ(readFileBytes(neighbour + "\\pelvane32.dll"), "the accented neighbour\r\n");
    std::string log;
    const FileRemovalPart part = removalPartOfLog(&log);
    ASSERT_TRUE(part.found);
    EXPECT_EQ(part.after, noRebootLogEnd);
    EXPECT_EQ(part.lines, walk.lines);
    for (const std::string& line : {"File " + keyboard + " deleted\r\n", "File " + inner + " deleted\r\n",
                                    "Directory " + study + " deleted\r\n", "File " + accent + " deleted\r\n",
                                    "File " + plain + " deleted\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << "no line \"" << line << "\" in\n" << log;
    // The log holds the ANSI bytes, not the UTF-8 form of the names.
    if (GetACP() != CP_UTF8) {
        char utf8[MAX_PATH] = "";
        WideCharToMultiByte(CP_UTF8, 0, keyboardName.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
        EXPECT_NE(std::string(utf8), inAnsi(keyboardName));
        EXPECT_EQ(log.find(utf8), std::string::npos) << "the log holds a name in UTF-8";
    }
}

// ---- 5. Protected entries, and entries whose names begin with a full stop.

TEST(WineExtremeInput, ProtectedAndDotEntriesAllGo) {
    Planted planted;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    const DWORD all = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const std::string locked = folder + "\\Locked", deeper = locked + "\\Deeper", keyboards = folder + "\\Keyboards";
    const std::string dotFile = folder + "\\.keep", dotFolder = keyboards + "\\.settings";
    for (const std::string& file : {folder + "\\pelvane32.dll", folder + "\\readonly.txt", folder + "\\hidden.txt",
                                    folder + "\\system.txt", locked + "\\inner.pvk", deeper + "\\deepest.pvk",
                                    keyboards + "\\zq.pvk"})
        ASSERT_TRUE(planted.file(file)) << file;
    ASSERT_TRUE(planted.file(dotFile, "a dot file\r\n"));
    ASSERT_TRUE(planted.file(dotFolder + "\\user.pvk", "a file in a dot folder\r\n"));
    ASSERT_TRUE(setAttributes(folder + "\\readonly.txt", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(setAttributes(folder + "\\hidden.txt", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(setAttributes(folder + "\\system.txt", FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(setAttributes(locked + "\\inner.pvk", all));
    ASSERT_TRUE(setAttributes(deeper + "\\deepest.pvk", FILE_ATTRIBUTE_READONLY));
    // Wine keeps hidden and system for a folder but drops read-only when it is set through Windows; a folder
    // whose Unix permissions allow no writing shows as read-only.
    for (const std::string& protectedFolder : {deeper, locked}) {
        ASSERT_TRUE(setAttributes(protectedFolder, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
        ASSERT_TRUE(runUnixCommand("/bin/chmod a-w -- \\\"$1\\\"", {unixPathOf(protectedFolder)}));
        ASSERT_EQ(GetFileAttributesA(protectedFolder.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | all))
            << protectedFolder;
    }
    ASSERT_TRUE(setAttributes(dotFile, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(setAttributes(dotFolder, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM));
    PendingAtRestart pending;  // whatever this run leaves for the restart is dropped after the test
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";
    Walk walk;
    EXPECT_EQ(expectedRemoval(folder, walk), 0);
    EXPECT_TRUE(walk.registered.empty());

    const RunResult run = runToSummary(noRebootSummary(), MB_OK | MB_ICONINFORMATION);
    ASSERT_FALSE(HasFatalFailure());
    std::string log;
    const FileRemovalPart part = removalPartOfLog(&log);
    ASSERT_TRUE(part.found);
    EXPECT_EQ(part.after, noRebootLogEnd);
    EXPECT_EQ(part.lines, walk.lines);
    EXPECT_EQ(sorted(part.lines),
              sorted({"File " + folder + "\\pelvane32.dll deleted", "File " + folder + "\\readonly.txt deleted",
                      "File " + folder + "\\hidden.txt deleted", "File " + folder + "\\system.txt deleted",
                      "File " + locked + "\\inner.pvk deleted", "File " + deeper + "\\deepest.pvk deleted",
                      "Directory " + deeper + " deleted", "Directory " + locked + " deleted",
                      "File " + keyboards + "\\zq.pvk deleted", "File " + dotFile + " deleted",
                      "File " + dotFolder + "\\user.pvk deleted", "Directory " + dotFolder + " deleted",
                      "Directory " + keyboards + " deleted", "Directory " + folder + " deleted"}));
    EXPECT_FALSE(folderExists(folder));
    EXPECT_FALSE(pendingOperations().has_value());
}

// ---- 6. A log that cannot be written.

TEST(WineExtremeInput, WhenTheLogCannotBeCreatedTheRunGoesOnWithoutOneAndWritesNothing) {
    Planted planted;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    ASSERT_TRUE(planted.file(folder + "\\pelvane32.dll"));
    ASSERT_TRUE(planted.file(folder + "\\Keyboards\\zq.pvk"));
    ASSERT_TRUE(planted.value(HKEY_LOCAL_MACHINE, uninstallKey, "DisplayName", "Quenderholt Pelvane 6.0"));
    // A folder in the log's place: the log file cannot be created there.
    ASSERT_TRUE(planted.folder(logPath()));
    std::string temp = tempFolder();
    temp.pop_back();
    const auto tempListing = [&] {
        Lines names;
        for (const auto& [name, attributes] : listFolder(temp))
            names.push_back(name + " " + std::to_string(attributes) + " " +
                            (attributes & FILE_ATTRIBUTE_DIRECTORY ? "" : readFileBytes(temp + "\\" + name).value_or("")));
        return sorted(names);
    };
    const Lines tempBefore = tempListing();
    PendingAtRestart pending;  // whatever a run leaves for the restart is dropped after the test
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";

    // The user stops at the installed-product question: code 1, without a log to leave the reason in.
    const RunResult stopped = runProgram({yes(), no()});

    ASSERT_TRUE(stopped.ok()) << stopped.report();
    EXPECT_EQ(stopped.exitCode, 1u);
    ASSERT_EQ(stopped.seen.size(), 2u) << stopped.report();
    expectMessageBox(stopped.seen[1], stillInstalledQuestion, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    EXPECT_TRUE(folderExists(folder));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, uninstallKey));
    EXPECT_EQ(tempListing(), tempBefore);
    EXPECT_TRUE(listFolder(logPath()).empty()) << "something was written into the log's place";

    // The user goes on: everything is removed, the summary still comes, code 0.
    const RunResult run = runProgram({yes(), yes(), ok()});

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.seen.size(), 3u) << run.report();
    expectMessageBox(run.seen[0], firstQuestion, MB_YESNO | MB_ICONQUESTION);
    expectMessageBox(run.seen[1], stillInstalledQuestion, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    expectMessageBox(run.seen[2],
                     std::string("Pelvane cleanup complete. No reboot required.") + expected::noLogPointer + otherUsersNote,
                     MB_OK | MB_ICONINFORMATION);
    EXPECT_FALSE(folderExists(folder));
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, uninstallKey)) << "the registry stage ran without a log";
    EXPECT_TRUE(folderExists(logPath())) << "the folder in the log's place must stay";
    EXPECT_TRUE(listFolder(logPath()).empty()) << "something was written into the log's place";
    EXPECT_EQ(tempListing(), tempBefore) << "the run wrote something else into the temporary folder";
}

// A temporary folder reached through a link (as "...\\Local Settings\\Temp" is on later systems) gets its log where the
// link leads, made new there.
TEST(WineExtremeInput, ATemporaryFolderReachedThroughALinkGetsItsLogWhereTheLinkLeads) {
    Planted planted;
    const std::string real = "C:\\Pelvane Temp Real", linked = "C:\\Pelvane Temp Link";
    ASSERT_TRUE(planted.folder(real));
    ASSERT_TRUE(planted.value(HKEY_LOCAL_MACHINE, uninstallKey, "DisplayName", "Quenderholt Pelvane 6.0"));
    FolderLink link(linked, real);
    ASSERT_TRUE(link.made());
    char tmp[MAX_PATH] = "", temp[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", tmp, MAX_PATH);
    GetEnvironmentVariableA("TEMP", temp, MAX_PATH);
    SetEnvironmentVariableA("TMP", linked.c_str());
    SetEnvironmentVariableA("TEMP", linked.c_str());
    const RunResult run = runProgram({yes(), no()});
    SetEnvironmentVariableA("TMP", *tmp ? tmp : nullptr);
    SetEnvironmentVariableA("TEMP", *temp ? temp : nullptr);

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 1u);
    const std::optional<std::string> log = readFileBytes(real + "\\PelvaneCleanup.log");
    ASSERT_TRUE(log.has_value()) << "no log where the link leads";
    EXPECT_TRUE(endsWith(*log, "\r\nCleanup terminated to allow uninstallation first.\r\n\r\n")) << *log;
    DeleteFileA((real + "\\PelvaneCleanup.log").c_str());
}

// ---- 7. An uninstall key that cannot be read.

TEST(WineExtremeInput, AnUninstallKeyThatCannotBeReadCountsAsUninstalledAndIsLoggedAsKept) {
    Planted planted;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    ASSERT_TRUE(planted.file(folder + "\\pelvane32.dll"));
    ASSERT_TRUE(planted.value(HKEY_LOCAL_MACHINE, uninstallKey, "DisplayName", "Quenderholt Pelvane 6.0"));
    // Dropped before the planting is removed (locals go in reverse order), so the key can then be deleted.
    keyaccess::AccessList denied(HKEY_LOCAL_MACHINE, uninstallKey, "D:P(D;;KR;;;WD)");  // everyone denied reading
    ASSERT_TRUE(denied.set()) << "could not change the access list of " << uninstallKey;
    HKEY key;
    const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, uninstallKey, 0, KEY_READ, &key);
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    ASSERT_EQ(status, ERROR_ACCESS_DENIED) << "the key can still be read";
    PendingAtRestart pending;  // whatever a run leaves for the restart is dropped after the test
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";

    const RunResult run = runProgram({yes(), ok()});

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 0u);
    // No question about the installed product: the first question, then the summary.
    ASSERT_EQ(run.seen.size(), 2u) << run.report();
    expectMessageBox(run.seen[0], firstQuestion, MB_YESNO | MB_ICONQUESTION);
    // The folder went, but the key stays: the summary says something is left behind.
    expectMessageBox(run.seen[1], leftBehindSummary(folder), MB_OK | MB_ICONEXCLAMATION);
    EXPECT_FALSE(folderExists(folder));
    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    EXPECT_NE(log->find("\r\nRegistry key HKLM\\" + std::string(uninstallKey) + " could not be deleted\r\n"),
              std::string::npos)
        << *log;
    EXPECT_EQ(log->find("Cleanup terminated"), std::string::npos) << *log;

    // The key is still there, whole, once it can be read again.
    denied.restore();
    EXPECT_EQ(readStringValue(HKEY_LOCAL_MACHINE, uninstallKey, "DisplayName"), "Quenderholt Pelvane 6.0");
}

}  // namespace
