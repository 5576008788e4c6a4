// What the Wine tests of the file stages share: the summaries, the log's file-removal part, held files, links, restarts.
#pragma once

#include <gtest/gtest.h>
#include <string.h>
#include <windows.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/expected/messages.h"
#include "tests/wine/harness.h"

namespace removal {

using expected::caption;
using expected::searchQuestion;
using expected::otherUsersNote;
using expected::fileDialogTitle;

using harness::Sighting;
using Lines = std::vector<std::string>;

inline const char fileRemovalHeading[] = "\r\nFile removal\r\n------------\r\n\r\n";

// The three summaries, note included, as the program shows them for this machine's log.
inline std::string noRebootSummary() {
    return "Pelvane cleanup complete. No reboot required.\n\n(See " + harness::logPath() + " for details.)" +
           otherUsersNote;
}
inline std::string rebootSummary() {
    return "Not all files could be deleted immediately.\n\nYou MUST reboot before re-installing or upgrading "
           "Quenderholt Pelvane.\n\n(See " +
           harness::logPath() + " for details.)" + otherUsersNote;
}
inline std::string retainedSummary(const std::string& folder) {
    return "The folder " + folder +
           " will not be deleted, since it contains some files you have asked to retain. It should be possible to "
           "re-install or upgrade Quenderholt Pelvane provided that you reboot first.\n\n(See " +
           harness::logPath() + " for details.)" + otherUsersNote;
}
inline std::string leftBehindSummary(const std::string& folder) {
    return expected::leftBehindSummaryStart + folder + expected::leftBehindSummaryEnd + harness::logPath() +
           " for the list.)" + otherUsersNote;
}
// What the log says after the file lines, for each summary.
inline const char noRebootLogEnd[] =
    "\r\nNo reboot required, all files deleted successfully\r\n\r\nPelvane cleanup completed.\r\n\r\n";
inline const char rebootLogEnd[] = "\r\nReboot required to finish removing files\r\n\r\nPelvane cleanup completed.\r\n\r\n";
inline const char retainedLogEnd[] = "\r\nFiles left undeleted by user\r\n\r\nPelvane cleanup completed.\r\n\r\n";
using expected::leftBehindLogEnd;

inline void expectMessageBox(const Sighting& seen, const std::string& text, UINT style) {
    EXPECT_EQ(seen.kind, harness::WindowKind::MessageBox) << seen.describe();
    EXPECT_EQ(seen.caption, caption);
    EXPECT_EQ(seen.text, text);
    EXPECT_EQ(seen.style(), style) << seen.describe();
}

// Runs the program answering Yes to its first question and OK to its summary, and checks that it ended by itself
// with exit code 0 after that summary. The caller stops on a fatal failure here with ASSERT_FALSE(HasFatalFailure()).
inline harness::RunResult runToSummary(const std::string& summary, UINT style) {
    const harness::RunResult run = harness::runProgram({harness::yes(), harness::ok()});
    [&] {
        ASSERT_TRUE(run.ok()) << run.report();
        EXPECT_EQ(run.exitCode, 0u);
        ASSERT_EQ(run.seen.size(), 2u) << run.report();
        expectMessageBox(run.seen[1], summary, style);
    }();
    return run;
}

inline bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The log cut at the file-removal heading: what comes before it, the file lines after it up to the first empty
// line (without their line ends), and everything from that empty line on.
struct FileRemovalPart {
    bool found = false;
    std::string before;
    Lines lines;
    std::string after;
};

inline FileRemovalPart fileRemovalPart(const std::string& log) {
    FileRemovalPart part;
    const size_t heading = log.find(fileRemovalHeading);
    if (heading == std::string::npos) return part;
    part.found = true;
    part.before = log.substr(0, heading);
    size_t at = heading + sizeof fileRemovalHeading - 1;
    for (;;) {
        const size_t end = log.find("\r\n", at);
        if (end == std::string::npos || end == at) break;
        part.lines.push_back(log.substr(at, end - at));
        at = end + 2;
    }
    part.after = log.substr(at);
    return part;
}

// Every "Directory X ..." line comes after each line about a path inside X.
inline void expectFoldersAfterTheirContents(const Lines& lines) {
    const auto pathOf = [](const std::string& line) {
        const size_t start = line.find(' ') + 1;
        for (const char* tail : {" deleted", " will be deleted on the next reboot", " will not be deleted",
                                 " not deleted: it is not empty"})
            if (endsWith(line, tail)) return line.substr(start, line.size() - start - strlen(tail));
        return line.substr(start);
    };
    for (size_t folder = 0; folder < lines.size(); ++folder) {
        if (lines[folder].rfind("Directory ", 0) != 0) continue;
        const std::string inside = pathOf(lines[folder]) + "\\";
        for (size_t other = folder + 1; other < lines.size(); ++other)
            EXPECT_NE(pathOf(lines[other]).rfind(inside, 0), 0u)
                << "\"" << lines[other] << "\" is logged after its folder: \"" << lines[folder] << "\"";
    }
}

// The names of a folder's entries in the order FindFirstFileA / FindNextFileA list them here, with attributes;
// "." and ".." left out.
inline std::vector<std::pair<std::string, DWORD>> listFolder(const std::string& folder) {
    std::vector<std::pair<std::string, DWORD>> entries;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") entries.push_back({name, found.dwFileAttributes});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return entries;
}

// What a run that removes folder depth first must ask and log, in the order this machine lists the entries:
// the user declines the paths in `declined` (when asked), the files in `held` cannot be deleted at once, and
// everything else goes. Each folder comes after its contents. An entry whose full path does not fit MAX_PATH is
// left and logged as too long, and so is a folder whose listing pattern does not fit; either keeps the folders
// above it. Returns the outcome: 0 all removed, 1 reboot required, 2 retained, 3 something left behind.
struct Walk {
    std::set<std::string> declined, held;
    bool asked = false;
    Lines questions;                    // "Delete file X?" / "Delete directory X?", in order
    std::vector<harness::Step> answers;  // Yes or No for each question
    Lines lines;                        // the log lines
    Lines registered;                   // the paths registered for deletion at the restart, in order
};

namespace detail {
// The walk of one folder; *stays tells whether the folder is still there when its removal is done, *declined whether
// the user declined something in it.
inline int walkFolder(const std::string& folder, Walk& walk, bool* stays, bool* declined) {
    *stays = true;
    *declined = false;
    if (folder.size() + strlen("\\*.*") >= MAX_PATH) {
        walk.lines.push_back("Directory " + folder + " not deleted: path too long");
        return 3;
    }
    int outcome = 0;
    bool somethingStays = false;
    for (const auto& [name, attributes] : listFolder(folder)) {
        const std::string path = folder + "\\" + name;
        if (path.size() >= MAX_PATH) {
            walk.lines.push_back("Entry " + path + " not deleted: path too long");
            outcome = 3;
            continue;
        }
        const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (walk.asked) {
            walk.questions.push_back(std::string("Delete ") + (directory ? "directory " : "file ") + path + "?");
            const bool no = walk.declined.count(path) > 0;
            walk.answers.push_back(no ? harness::no() : harness::yes());
            if (no) {
                outcome = std::max(outcome, 2);
                *declined = true;
                continue;
            }
        }
        if (directory) {
            bool childStays = false, childDeclined = false;
            outcome = std::max(outcome, walkFolder(path, walk, &childStays, &childDeclined));
            somethingStays = somethingStays || childStays;
            *declined = *declined || childDeclined;
        } else if (walk.held.count(path)) {
            walk.lines.push_back("File " + path + " will be deleted on the next reboot");
            walk.registered.push_back(path);
            outcome = std::max(outcome, 1);
        } else {
            walk.lines.push_back("File " + path + " deleted");
        }
    }
    if (outcome >= 2) {
        walk.lines.push_back("Directory " + folder + (*declined ? " will not be deleted" : " not deleted: it is not empty"));
    } else if (outcome == 1 || somethingStays) {
        walk.lines.push_back("Directory " + folder + " will be deleted on the next reboot");
        walk.registered.push_back(folder);
    } else {
        walk.lines.push_back("Directory " + folder + " deleted");
        *stays = false;
    }
    return outcome;
}
}  // namespace detail

inline int expectedRemoval(const std::string& folder, Walk& walk) {
    bool stays = false, declined = false;
    return detail::walkFolder(folder, walk, &stays, &declined);
}

// Sets a file's or folder's attributes and checks that they stuck (Wine keeps hidden and system apart from Unix).
inline bool setAttributes(const std::string& path, DWORD attributes) {
    if (!SetFileAttributesA(path.c_str(), attributes)) return false;
    const DWORD now = GetFileAttributesA(path.c_str());
    return now != INVALID_FILE_ATTRIBUTES && (now & attributes) == attributes;
}

// The short (8.3) form of an existing path, as the system gives it; empty when it cannot.
inline std::string shortPath(const std::string& path) {
    char buffer[MAX_PATH];
    const DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

// A file or folder held open by this process, sharing only what `sharing` allows (nothing unless told), so that no
// other process can delete it, until released.
class HeldFile {
public:
    explicit HeldFile(const std::string& path, DWORD sharing = 0)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                              nullptr)) {}
    ~HeldFile() { release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool held() const { return handle_ != INVALID_HANDLE_VALUE; }
    void release() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

inline const char sessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";

// The delayed operations of the NT family (PendingFileRenameOperations) as pairs of source and target, the
// target empty for a deletion; nothing when the value is not there.
inline std::optional<std::vector<std::pair<std::string, std::string>>> pendingOperations() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sessionManagerKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0, size = 0;
    std::vector<char> data;
    LONG status = RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        data.resize(size + 2);
        status = RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return std::nullopt;
    data.resize(size);
    data.push_back('\0');
    data.push_back('\0');
    std::vector<std::pair<std::string, std::string>> operations;
    for (size_t at = 0; at < size && data[at] != '\0';) {
        const std::string source = data.data() + at;
        at += source.size() + 1;
        const std::string target = at < data.size() ? data.data() + at : "";
        at += target.size() + 1;
        operations.push_back({source, target});
    }
    return operations;
}

inline std::string windowsFolder() {
    char folder[MAX_PATH] = "";
    const UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    return length > 0 && length < sizeof folder ? folder : "";
}
inline std::string wininitPath() { return windowsFolder() + "\\WININIT.INI"; }
inline std::string wininitBackupPath() { return windowsFolder() + "\\wininit.bak"; }

// Keeps what this machine will do at its next start (the delayed operations and WININIT.INI) apart from each test:
// clean() tells whether there was nothing pending when the test began; at the end whatever the test left pending
// is dropped, and WININIT.INI and its backup are put back as they were.
class PendingAtRestart {
public:
    PendingAtRestart()
        : hadOperations_(pendingOperations().has_value()),
          wininit_(harness::readFileBytes(wininitPath())),
          backup_(harness::readFileBytes(wininitBackupPath())) {}
    ~PendingAtRestart() {
        if (!hadOperations_) {
            HKEY key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sessionManagerKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                RegDeleteValueA(key, "PendingFileRenameOperations");
                RegCloseKey(key);
            }
        }
        restore(wininitPath(), wininit_);
        restore(wininitBackupPath(), backup_);
    }
    PendingAtRestart(const PendingAtRestart&) = delete;
    PendingAtRestart& operator=(const PendingAtRestart&) = delete;

    bool clean() const { return !hadOperations_ && !wininit_; }

private:
    static void restore(const std::string& path, const std::optional<std::string>& bytes) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (bytes) harness::writeFileBytes(path, *bytes);
        else DeleteFileA(path.c_str());
    }
    bool hadOperations_;
    std::optional<std::string> wininit_, backup_;
};

// Wine's restart: runs "wineboot -r", which carries out WININIT.INI and then the delayed operations exactly as a
// system start does, without ending the running processes. Empty when it ran and ended well, else what went wrong.
inline std::string restartWindows() {
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, sizeof system);
    const int code = harness::runToItsEnd(std::string(system) + "\\wineboot.exe", "wineboot.exe -r");
    if (code == -1) return "wineboot -r did not start, or did not end within 60 s";
    return code == 0 ? "" : "wineboot -r ended with code " + std::to_string(code);
}

// The Unix path of an existing Windows path, through Wine's own mapping; empty when there is none.
inline std::string unixPathOf(const WCHAR* path) {
    typedef char*(CDECL * UnixName)(const WCHAR*);
    const auto toUnix = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* name = toUnix ? toUnix(path) : nullptr;
    if (!name) return std::string();
    std::string out = name;
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}
inline std::string unixPathOf(const std::string& path) {
    WCHAR wide[MAX_PATH];
    return MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) ? unixPathOf(wide) : std::string();
}

// Runs a shell command of the machine's own Unix (Wine starts Unix programs from their path on drive Z:) with
// the arguments as $1, $2...; a Windows command line quotes each argument and writes \" for a quote inside one.
// Wine gives no handle to wait on for a Unix process, so the command touches a marker file last and this waits up
// to waitMs (five seconds unless told) for it. True when the command ran to its end.
inline bool runUnixCommand(const std::string& script, const std::vector<std::string>& arguments,
                           DWORD waitMs = 5000) {
    std::string folder = harness::tempFolder();
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    const std::string marker = folder + "\\pelvane-unix-command.done", unixFolder = unixPathOf(folder);
    if (unixFolder.empty()) return false;
    DeleteFileA(marker.c_str());
    std::string commandLine = "sh -c \"" + script + "; : > \\\"$0\\\"\" \"" + unixFolder + "/pelvane-unix-command.done\"";
    for (const std::string& argument : arguments) commandLine += " \"" + argument + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA("Z:\\bin\\sh", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    bool done = false;
    for (ULONGLONG until = GetTickCount64() + waitMs; !done && GetTickCount64() < until; Sleep(20))
        done = GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
    DeleteFileA(marker.c_str());
    return done;
}

// A Unix symbolic link to a folder, made with ln -s inside the prefix: Windows programs see a folder with the
// reparse-point bit; or, for a drive letter ("P:"), a link in the prefix's dosdevices folder, which makes the folder
// a drive as a substituted drive is. Removed again (the link only, with rm, even when its target is gone) when it
// goes out of scope.
class FolderLink {
public:
    FolderLink(const std::string& link, const std::string& target) {
        const bool drive = link.size() == 2 && link[1] == ':';
        const size_t cut = drive ? unixPathOf("C:\\").rfind("/c:") : link.find_last_of('\\');
        if (cut == std::string::npos) return;
        const std::string parent = drive ? unixPathOf("C:\\").substr(0, cut) : unixPathOf(link.substr(0, cut));
        const std::string to = unixPathOf(target);
        if (parent.empty() || to.empty()) return;
        unixLink_ = parent + "/" + (drive ? std::string{static_cast<char>(tolower(link[0])), ':'} : link.substr(cut + 1));
        made_ = runUnixCommand("/bin/ln -s -- \\\"$1\\\" \\\"$2\\\"", {to, unixLink_}) &&
                GetFileAttributesA((drive ? link + "\\" : link).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    ~FolderLink() {
        if (!unixLink_.empty()) runUnixCommand("/bin/rm -f -- \\\"$1\\\"", {unixLink_});
    }
    FolderLink(const FolderLink&) = delete;
    FolderLink& operator=(const FolderLink&) = delete;
    bool made() const { return made_; }

private:
    std::string unixLink_;
    bool made_ = false;
};

}  // namespace removal
