// The real program under Wine on folders that fight back: names the ANSI calls convert, strip or take for devices,
// dot names, a folder swapped for a link while it is asked about, a chosen path that names another folder, and
// double-byte names; each run judged after it ends and again after the restart, on both families.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/expected/messages.h"
#include "tests/wine/harness.h"
#include "tests/wine/removal_checks.h"

using namespace harness;
using namespace removal;

namespace {

// Family NT98Mode: the NT family running the program in a 95/98 compatibility mode (Wine's Version=win98), which
// reports 95/98/Me and must be treated as what it is.
enum Family { NT, NT98Mode };
enum class Ends { NoReboot, Reboot, LeftBehind, FolderError };

struct Case {
    std::string name;     // the test's name
    Family family;
    const char* folder;   // UTF-8 Windows path of the folder the run removes; "" for the product's default folder
    std::vector<const char*> entries;  // UTF-8 paths below it, '/' between names; a closing '/' makes a folder
    const char* picked;   // the file chosen in the open-file dialog, typed as wide characters; "" for none
    const char* swapped;  // a folder below that becomes a link to the victim while its question is open; "" for none
    const char* decoy;    // a folder outside holding pelvane32.dll, named by the chosen path's ANSI form; "" for none
    const char* held;     // a file or folder below that another process holds open, sharing no deletion unless
                          // heldSharing says, until the restart (a name "*x.dll" is a library loaded from there)
    Ends ends;            // the summary the run must end with
    std::vector<const char*> logged;  // UTF-8 lines the log must hold, "{F}" standing for the folder
    bool exact;           // every name is plain: the log lines are exactly removal::expectedRemoval's
    const char* comes = "";  // a file made below the folder while the first question is open
    const char* goes = "";   // an entry below the folder deleted while the first question is open
    DWORD heldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const char* swappedAfter = "";  // a folder below that becomes a link to the victim after the run, before the restart
};

// Outside every folder the program removes: what the climbing names and the swapped link lead to.
const char victim[] = "C:\\Pelvane Victim";

const std::vector<const char*> climbing = {
    "pelvane32.dll", "Keyboards/zq.pvk",
    u8"Keyboards/x＼..＼..＼..＼..＼..＼Pelvane Victim＼precious.doc",  // listed as "x\..\..\..\..\..\Pelvane Victim\..."
    u8"Keyboards/y＼..＼..＼..＼..＼..＼Pelvane Victim/inner.pvk"};
const std::vector<const char*> outsideCodePage = {"pelvane32.dll", u8"中文.pvk", u8"Żółw/notes.txt", u8"Zólw/other.txt"};
const std::vector<const char*> strippedEnds = {"pelvane32.dll", "trail.", "trail", "sp ",  "...",
                                               "Keyboards./zq.pvk", "Keyboards/zq.pvk"};
const std::vector<const char*> devices = {"pelvane32.dll", "con", "aux/inner.pvk", "nul.txt", "com1", "lpt1.log"};
const std::vector<const char*> dotNames = {"pelvane32.dll", ".keep", ".settings/user.pvk", "Keyboards/.zq.pvk"};
// Characters no Windows name holds, made on the Unix side: Wine shows them as they are (a control character, a
// real backslash) or as private-use letters that the code page turns back into them.
const std::vector<const char*> reserved = {"pelvane32.dll", "q?x", "c:d", "lt<gt", "st*r", "pi|pe", "qu\"ote", "a\tb",
                                           "x\\..\\..\\..\\..\\Pelvane Victim"};
// A hard link shares its attributes with the victim's file. (A Unix link to a file is left out: Wine lists it as a
// plain file and carries every call on it, deletion included, to its target, which no Windows program can see;
// Windows marks such a link as a reparse point.) The 95/98/Me family has no links.
const std::vector<const char*> hardLink = {"pelvane32.dll", "Keyboards/hard.pvk => Pelvane Victim/Sub/hidden.pvk"};
const std::vector<const char*> swapping = {"pelvane32.dll", "Sub/a.pvk", u8"中文.pvk"};
// Full-width full stops are listed as "." and "..", beside the folder's own; a Unix link that leads nowhere is not
// listed at all.
const std::vector<const char*> convertedDots = {"pelvane32.dll", u8"．", u8"．．/inner.pvk", "Keyboards/zq.pvk"};
const std::vector<const char*> unlisted = {"pelvane32.dll", "Keyboards/zq.pvk", "Keyboards/nowhere -> Pelvane Nowhere"};
const std::vector<const char*> flux = {"pelvane32.dll", "a.pvk", "z.pvk"};
const std::vector<const char*> pickedEntries = {"pelvane32.dll", "Keyboards/zq.pvk"};
const char pickedFolder[] = u8"C:\\Apps\\Żółw\\Pelvane", pickedFile[] = u8"C:\\Apps\\Żółw\\Pelvane\\pelvane32.dll";

const std::vector<Case> hostileCases = {
    {"FullWidthBackslashes", NT, "", climbing, "", "", "", "", Ends::NoReboot, {}, false},
    {"OutsideTheCodePage", NT, "", outsideCodePage, "", "", "", "", Ends::NoReboot, {}, false},
    {"TrailingDotsAndSpaces", NT, "", strippedEnds, "", "", "", "", Ends::NoReboot,
     {"File {F}\\trail. deleted", "File {F}\\trail deleted", "File {F}\\sp  deleted",
      "Directory {F}\\Keyboards. deleted"},
     false},
    {"DeviceNames", NT, "", devices, "", "", "", "", Ends::NoReboot,
     {"File {F}\\con deleted", "File {F}\\aux\\inner.pvk deleted", "File {F}\\lpt1.log deleted"}, false},
    {"DotNames", NT, "", dotNames, "", "", "", "", Ends::NoReboot, {}, true},
    {"ReservedAndControlCharacters", NT, "", reserved, "", "", "", "", Ends::LeftBehind,
     {"Entry {F}\\a?b not deleted: it cannot be reached by its name",
      "Entry {F}\\x\\..\\..\\..\\..\\Pelvane Victim not deleted: it cannot be reached by its name"},
     false},
    {"AnEmptiedFolderHeldOpen", NT, "", {"pelvane32.dll", "Keyboards/zq.pvk"}, "", "", "", "Keyboards", Ends::Reboot,
     {"Directory {F}\\Keyboards will be deleted on the next reboot"}, false},
    {"HardLinkToAFileOutside", NT, "", hardLink, "", "", "", "", Ends::NoReboot, {}, false},
    // Wine follows the link when it is removed and refuses it as not empty; Windows removes the link itself.
    {"SwappedForALinkWhileAsked", NT, "C:\\Pelvane Swap", swapping, "C:\\Pelvane Swap\\pelvane32.dll", "Sub", "", "",
     Ends::LeftBehind, {"Directory {F}\\Sub not deleted: it is not empty"}, false},
    {"ConvertedDotNames", NT, "", convertedDots, "", "", "", "", Ends::NoReboot, {}, false},
    {"UnlistedEntry", NT, "", unlisted, "", "", "", "", Ends::LeftBehind,
     {"Directory {F}\\Keyboards not deleted: it is not empty"}, false},
    {"ComesAndGoesWhileAsked", NT, "C:\\Pelvane Flux", flux, "C:\\Pelvane Flux\\pelvane32.dll", "", "", "",
     Ends::NoReboot, {"File {F}\\z.pvk was already gone", "File {F}\\new.pvk deleted"}, false, "new.pvk", "z.pvk"},
    {"PickedOutsideTheCodePage", NT, pickedFolder, pickedEntries, pickedFile, "", "", "", Ends::FolderError, {}, false},
    // A scanner holds a file open sharing its deletion: deleted, its name stays until it lets go, and its folder
    // waits for the restart. A picked folder's file held without sharing cannot be moved aside, and outside Program
    // Files its path could lead elsewhere by the restart (its subfolder is swapped for a link to the victim after the
    // run): it is left. A loaded library is moved aside, and its folders go at once.
    {"AFileAScannerHolds", NT, "", {"pelvane32.dll", "Keyboards/zq.pvk"}, "", "", "", "Keyboards/zq.pvk", Ends::Reboot,
     {"File {F}\\Keyboards\\zq.pvk deleted",
      "File {F}\\Keyboards\\zq.pvk is held open by another program: it goes when that program lets go of it",
      "Directory {F}\\Keyboards will be deleted on the next reboot"},
     false, "", "", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
    {"AFileInUseWhosePathOthersCouldChange", NT, "C:\\Apps\\R", {"pelvane32.dll", "sub/important.dll"},
     "C:\\Apps\\R\\pelvane32.dll", "", "", "sub\\important.dll", Ends::LeftBehind,
     {"File {F}\\sub\\important.dll not deleted: it is in use, and its path could be changed before a restart"}, false,
     "", "", FILE_SHARE_READ | FILE_SHARE_WRITE, "sub"},
    {"ALoadedLibraryMovedAside", NT, "C:\\Apps\\R", {"pelvane32.dll", "sub/x.txt"}, "C:\\Apps\\R\\pelvane32.dll", "", "",
     "*sub\\loaded.dll", Ends::Reboot,
     {"File {F}\\sub\\loaded.dll moved to C:\\Pelvane Cleanup 1\\1, to be deleted on the next reboot",
      "Directory {F}\\sub deleted", "Directory {F} deleted", "Directory C:\\Pelvane Cleanup 1 will be deleted on the next reboot"},
     false},
    {"PickedOutsideTheCodePageBesideItsAnsiForm", NT, pickedFolder, pickedEntries, pickedFile, "",
     u8"C:\\Apps\\Zólw\\Pelvane", "", Ends::FolderError, {}, false},
};
// The same rows again in a 95/98 compatibility mode, where every line and the summary must be as on the NT family.
std::vector<Case> withCompatibilityMode(std::vector<Case> cases) {
    static const std::set<std::string> again = {
        "FullWidthBackslashes", "OutsideTheCodePage",   "TrailingDotsAndSpaces",  "DeviceNames",
        "DotNames",             "ReservedAndControlCharacters", "SwappedForALinkWhileAsked", "ConvertedDotNames",
        "ComesAndGoesWhileAsked", "PickedOutsideTheCodePage"};
    for (size_t i = 0, count = cases.size(); i < count; ++i) {
        if (!again.count(cases[i].name)) continue;
        Case copy = cases[i];
        copy.name += "98Mode";
        copy.family = NT98Mode;
        cases.push_back(copy);
    }
    return cases;
}
// Run with the Japanese code page 932 (see CMakeLists.txt): 表 ends in the byte 0x5C.
const std::vector<Case> doubleByteCases = {
    {"DoubleByteNames", NT, "", {"pelvane32.dll", u8"一覧表/zq.pvk", u8"一覧表/表/x.pvk"}, "", "", "", "", Ends::NoReboot,
     {u8"Directory {F}\\一覧表\\表 deleted", u8"Directory {F}\\一覧表 deleted"}, true},
};

std::wstring wideOf(const std::string& text, UINT codePage) {
    WCHAR wide[MAX_PATH] = L"";
    MultiByteToWideChar(codePage, 0, text.c_str(), -1, wide, MAX_PATH);
    return wide;
}
std::string narrowOf(const std::wstring& text, UINT codePage) {
    char bytes[MAX_PATH * 3] = "";
    WideCharToMultiByte(codePage, 0, text.c_str(), -1, bytes, sizeof bytes, nullptr, nullptr);
    return bytes;
}
std::string ansiOf(const std::wstring& text) { return narrowOf(text, CP_ACP); }
std::string utf8Of(const std::wstring& text) { return narrowOf(text, CP_UTF8); }
std::string replaced(std::string text, const std::string& what, const std::string& by) {
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + by.size()))
        text.replace(at, what.size(), by);
    return text;
}

// Every entry at and below a folder as the wide calls list it, links not followed: each ANSI path that names it
// (its listed, printable or short name, under each name of the folders above it) with its attributes, and one line
// per entry with its path, attributes and bytes.
struct Tree {
    std::map<std::string, DWORD> named;  // with the entry's attributes
    std::set<std::string> state;
};
void walkTree(const std::wstring& folder, const std::vector<std::string>& namesOfFolder, Tree& tree) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((L"\\\\?\\" + folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName, path = folder + L"\\" + name;
        if (name == L"." || name == L"..") continue;
        const bool directory = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        std::vector<std::string> names;
        std::string printable = ansiOf(name);  // as the log shows a name: control characters as '?'
        for (char& c : printable) c = static_cast<unsigned char>(c) < 0x20 ? '?' : c;
        for (const std::string& above : namesOfFolder) {
            names.push_back(above + "\\" + ansiOf(name));
            if (printable != ansiOf(name)) names.push_back(above + "\\" + printable);
            if (found.cAlternateFileName[0]) names.push_back(above + "\\" + ansiOf(found.cAlternateFileName));
        }
        for (const std::string& each : names) tree.named[each] = found.dwFileAttributes;
        std::string line = utf8Of(path) + " " + std::to_string(found.dwFileAttributes);
        if (!directory) line += " " + literalFileStart(path);
        tree.state.insert(line);
        if (directory && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) walkTree(path, names, tree);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}
Tree treeOf(const std::wstring& root) {
    Tree tree;
    const DWORD attributes = GetFileAttributesW((L"\\\\?\\" + root).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return tree;
    tree.named[ansiOf(root)] = attributes;
    tree.state.insert(utf8Of(root) + " " + std::to_string(attributes));
    walkTree(root, {ansiOf(root)}, tree);
    return tree;
}

// A path for the Unix shell's printf: every byte but letters, digits and . / - _ as an octal escape.
std::string escaped(const std::string& utf8) {
    std::string out;
    char octal[8];
    for (unsigned char byte : utf8) {
        if (isalnum(byte) || strchr("./-_", byte)) {
            out += static_cast<char>(byte);
        } else {
            snprintf(octal, sizeof octal, "\\%03o", byte);
            out += octal;
        }
    }
    return out;
}

// Folders made from the Unix side, where Windows' rules on names do not apply; removed with rm -rf (which never
// follows a link) when the test ends.
class UnixTrees {
public:
    explicit UnixTrees(std::string driveC) : driveC_(std::move(driveC)) {}
    ~UnixTrees() {
        for (const std::string& top : tops_) runUnixCommand("/bin/rm -rf -- \\\"$1\\\"", {driveC_ + "/" + top});
    }
    // Plants files and folders given as UTF-8 paths below C:\ with '/' between names; top is the topmost new one,
    // never C:\ itself.
    bool plant(const std::string& top, const std::vector<std::string>& paths) {
        if (top.empty()) return false;
        tops_.push_back(top);
        std::vector<std::string> arguments = {driveC_};
        for (const std::string& path : paths) arguments.push_back(escaped(path));
        return runUnixCommand("cd \\\"$1\\\" && shift && for e; do p=$(printf \\\"$e\\\"); case $p in */) mkdir -p "
                              "\\\"$p\\\";; *) mkdir -p \\\"${p%/*}\\\" && printf 'planted by the Wine tests\\r\\n' > "
                              "\\\"$p\\\";; esac || exit 1; done",
                              arguments, 10000);
    }
    std::string unixPath(const std::string& belowC) const { return driveC_ + "/" + belowC; }

private:
    std::string driveC_;
    std::vector<std::string> tops_;
};

// "Program Files/Quenderholt/Pelvane" for C:\Program Files\Quenderholt\Pelvane, and the topmost of its folders
// that is not there yet.
std::string belowDriveC(const std::wstring& path) { return replaced(utf8Of(path.substr(3)), "\\", "/"); }
std::string topmostMissing(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3);; at = path.find(L'\\', at + 1)) {
        const std::wstring head = path.substr(0, at);
        if (GetFileAttributesW(head.c_str()) == INVALID_FILE_ATTRIBUTES) return belowDriveC(head);
        if (at == std::wstring::npos) return std::string();
    }
}

// What each kind of log line claims about the path it names; of several lines about one path the last holds. A file
// moved aside ("... moved to X, to be deleted on the next reboot") is gone from its path at once.
enum Claim { Gone, GoneAtRestart, Stays };
const std::vector<std::pair<std::string, Claim>> endings = {
    {" will not be deleted", Stays}, {" not deleted: it cannot be reached by its name", Stays},
    {" not deleted: path too long", Stays}, {" not deleted: it is not empty", Stays}, {" could not be listed", Stays},
    {" could not be deleted", Stays}, {" not deleted: it is in use, and its path could be changed before a restart", Stays},
    {" will be deleted on the next reboot", GoneAtRestart},
    {" is held open by another program: it goes when that program lets go of it", GoneAtRestart},
    {", to be deleted on the next reboot", Gone}, {" was already gone", Gone}, {" deleted", Gone}};
// The folder a run moves what waits for the restart into, at the root of the drive.
const char asideFolder[] = "C:\\Pelvane Cleanup 1";

// Whether what a restart left of a path registered for it is only what Wine's restart cannot remove: no call removes
// a Unix link to a folder. So the path may stay with no file at or below it, only folders and a link.
bool beyondWinesRestart(const Tree& now, const std::string& path) {
    bool link = false;
    for (const auto& [name, attributes] : now.named) {
        if (name != path && name.rfind(path + "\\", 0) != 0) continue;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
        link = link || (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    }
    if (!link) return false;
    ::testing::Test::RecordProperty("left_by_wines_restart", path);
    return true;
}

// Every log line is true of the folder as it is now, the restart's own limits aside; lines about the folder of the
// run's own that holds what was moved aside are true of that folder.
void expectLogTrue(const Lines& lines, const std::string& shown, const Tree& now, bool restarted) {
    std::map<std::string, Claim> claims;
    for (const std::string& line : lines) {
        const size_t space = line.find(' ');
        std::string path;
        Claim claim = Stays;
        for (const auto& [ending, what] : endings) {
            if (!path.empty() || !endsWith(line, ending)) continue;
            path = line.substr(space + 1, line.size() - space - 1 - ending.size());
            path = path.substr(0, path.find(" moved to "));
            claim = what;
        }
        const std::string kind = line.substr(0, space);
        EXPECT_TRUE(!path.empty() && (kind == "File" || kind == "Directory" || kind == "Entry"))
            << "a line of no known kind: " << line;
        EXPECT_TRUE(path == shown || path.rfind(shown + "\\", 0) == 0 || path.rfind(asideFolder, 0) == 0)
            << "a line about something outside: " << line;
        EXPECT_TRUE(claim == Stays || (path + "\\").find("\\..\\") == std::string::npos)
            << "a deletion through a path that climbs: " << line;
        claims[path] = claim;
    }
    for (const auto& [path, claim] : claims) {
        const bool present = path.rfind(asideFolder, 0) == 0 ? GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES
                                                                : now.named.count(path) > 0;
        EXPECT_TRUE(claim != Stays || present) << "the log says it stays, but it is gone: " << path;
        EXPECT_TRUE(claim != Gone || !present) << "the log says it is gone, but it is there: " << path;
        EXPECT_TRUE(claim != GoneAtRestart || !restarted || !present || beyondWinesRestart(now, path))
            << "the log says the restart deletes it, but it is there after the restart: " << path;
    }
}

void PrintTo(const Case& hostile, std::ostream* out) { *out << hostile.name; }

class WineHostileFolder : public ::testing::TestWithParam<Case> {};
class WineHostileFolder932 : public WineHostileFolder {};

void runCase(const Case& hostile) {
    if (folderExists(asideFolder)) removeTree(asideFolder);  // left by an earlier run of the tests that ended early
    Planted planted;
    PendingAtRestart pending;
    ASSERT_TRUE(pending.clean()) << "something is already pending for the next restart";
    if (hostile.family == NT98Mode) {
        ASSERT_TRUE(
            planted.value(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Remove Pelvane.exe", "Version", "win98"));
    }
    const std::wstring folder =
        *hostile.folder ? wideOf(hostile.folder, CP_UTF8) : wideOf(defaultProductFolder(), CP_ACP);
    const std::string shown = ansiOf(folder), driveC = unixPathOf(L"C:\\");
    ASSERT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES) << shown << " is left over from elsewhere";
    ASSERT_FALSE(driveC.empty());
    UnixTrees trees(driveC.back() == '/' ? driveC.substr(0, driveC.size() - 1) : driveC);
    // The victim: a read-only file and a hidden one, which a climbing name or a link would reach.
    ASSERT_TRUE(planted.file(victim + std::string("\\precious.doc"), "precious\r\n"));
    ASSERT_TRUE(planted.file(victim + std::string("\\Sub\\hidden.pvk"), "hidden\r\n"));
    ASSERT_TRUE(setAttributes(victim + std::string("\\precious.doc"), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(setAttributes(victim + std::string("\\Sub\\hidden.pvk"), FILE_ATTRIBUTE_HIDDEN));
    // The entries, "name -> target" making a symbolic link and "name => target" a hard link to a path below C:\.
    std::vector<std::string> paths;
    std::vector<std::vector<std::string>> links;
    for (const char* text : hostile.entries) {
        const std::string entry = text;
        const size_t arrow = entry.find(" -> ") != std::string::npos ? entry.find(" -> ") : entry.find(" => ");
        if (arrow == std::string::npos) paths.push_back(belowDriveC(folder) + "/" + entry);
        else
            links.push_back({entry.substr(arrow + 1, 2) == "->" ? "-s" : "-P", trees.unixPath(entry.substr(arrow + 4)),
                             trees.unixPath(belowDriveC(folder) + "/" + entry.substr(0, arrow))});
    }
    ASSERT_TRUE(trees.plant(topmostMissing(folder), paths));
    for (const std::vector<std::string>& link : links) {
        ASSERT_TRUE(runUnixCommand("mkdir -p \\\"${3%/*}\\\" && /bin/ln $1 -- \\\"$2\\\" \\\"$3\\\" || exit 1", link));
    }
    // A held name beginning with '*' is a library this test loads from there: the system can rename it, not delete it.
    const bool library = *hostile.held == '*';
    const std::string heldPath = *hostile.held ? shown + "\\" + (hostile.held + (library ? 1 : 0)) : "";
    char systemFolder[MAX_PATH] = "";
    GetSystemDirectoryA(systemFolder, MAX_PATH);
    ASSERT_TRUE(!library || CopyFileA((std::string(systemFolder) + "\\version.dll").c_str(), heldPath.c_str(), TRUE));
    HMODULE loaded = library ? LoadLibraryA(heldPath.c_str()) : nullptr;
    HeldFile held(library ? "" : heldPath, hostile.heldSharing);
    ASSERT_TRUE(held.held() || loaded || !*hostile.held);
    const std::wstring decoy = wideOf(hostile.decoy, CP_UTF8);
    if (*hostile.decoy) {
        ASSERT_TRUE(trees.plant(topmostMissing(decoy), {belowDriveC(decoy) + "/pelvane32.dll"}));
    }
    std::vector<std::wstring> outside = {wideOf(victim, CP_ACP)};
    if (*hostile.decoy) outside.push_back(decoy);
    if (hostile.ends == Ends::FolderError) outside.push_back(folder);
    std::map<std::wstring, std::set<std::string>> before;
    for (const std::wstring& root : outside) before[root] = treeOf(root).state;
    Walk walk;
    if (hostile.exact) expectedRemoval(shown, walk);

    RunOptions options;
    std::vector<Step> script = {yes(), ok()};
    if (hostile.ends == Ends::FolderError) {
        script = {yes(), yes(), chooseFileWide(hostile.picked), ok()};
    } else if (*hostile.picked) {
        options.answerEverything = true;
        options.autoFile = ansiOf(wideOf(hostile.picked, CP_UTF8));
    }
    bool swapped = false;
    const std::string swappedPath = shown + "\\" + hostile.swapped;
    if (*hostile.swapped || *hostile.swappedAfter) {
        ASSERT_TRUE(trees.plant("Pelvane Swap Moved", {}));
    }
    if (*hostile.swapped) {
        options.beforeAnswer = [&](HWND, const Sighting& seen) {
            if (seen.text != "Delete directory " + swappedPath + "?") return;
            const std::string moved = trees.unixPath("Pelvane Swap Moved");
            swapped = runUnixCommand("/bin/mv -- \\\"$1\\\" \\\"$2\\\" && /bin/ln -s -- \\\"$3\\\" \\\"$1\\\"",
                                     {unixPathOf(swappedPath), moved, unixPathOf(victim)});
        };
    }
    bool fluxed = false;
    if (*hostile.comes) {
        options.beforeAnswer = [&](HWND, const Sighting& seen) {
            if (fluxed || seen.text.rfind("Delete ", 0) != 0) return;
            fluxed = runUnixCommand("/bin/rm -- \\\"$2\\\" && printf 'came\\r\\n' > \\\"$1\\\"",
                                    {unixPathOf(shown) + "/" + hostile.comes, unixPathOf(shown) + "/" + hostile.goes});
        };
    }
    const RunResult run = runProgram(script, options);

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, hostile.ends == Ends::FolderError ? 4u : 0u) << run.report();
    EXPECT_TRUE(swapped || !*hostile.swapped) << "no folder was swapped for a link while asked about\n" << run.report();
    EXPECT_TRUE(fluxed || !*hostile.comes) << "nothing came or went while a question was open\n" << run.report();
    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    const FileRemovalPart part = fileRemovalPart(*log);
    ASSERT_TRUE(part.found) << *log;
    const std::map<Ends, std::pair<std::string, UINT>> summaries = {
        {Ends::NoReboot, {noRebootSummary(), MB_ICONINFORMATION}},
        {Ends::Reboot, {rebootSummary(), MB_ICONEXCLAMATION}},
        {Ends::LeftBehind, {leftBehindSummary(shown), MB_ICONEXCLAMATION}},
        {Ends::FolderError, {expected::folderStopText, MB_ICONSTOP}}};
    SCOPED_TRACE("the log from its file removal on:\n" + log->substr(part.before.size()));
    ASSERT_FALSE(run.seen.empty());
    expectMessageBox(run.seen.back(), summaries.at(hostile.ends).first, summaries.at(hostile.ends).second);
    Ends shownEnds = hostile.ends;  // the summary the run ended with, whose promise is judged below
    for (const auto& [ends, summary] : summaries)
        if (run.seen.back().text == summary.first) shownEnds = ends;
    EXPECT_TRUE(shownEnds != Ends::FolderError ||
                (part.lines.empty() && part.after == "Application folder error, cleanup aborted."));
    for (const char* line : hostile.logged) {
        const std::string expected = ansiOf(wideOf(replaced(line, "{F}", utf8Of(folder)), CP_UTF8));
        EXPECT_NE(std::find(part.lines.begin(), part.lines.end(), expected), part.lines.end()) << "no " << expected;
    }
    if (hostile.exact) {
        EXPECT_EQ(part.lines, walk.lines);
    }

    // The three facts, after the run and after the restart: nothing outside changed, every log line is true, and
    // the summary's promise holds.
    for (const bool restarted : {false, true}) {
        SCOPED_TRACE(restarted ? "after the restart" : "after the run");
        if (restarted) {
            if (*hostile.swappedAfter) {
                ASSERT_TRUE(runUnixCommand(
                    "/bin/mv -- \\\"$1\\\" \\\"$2\\\" && /bin/ln -s -- \\\"$3\\\" \\\"$1\\\" || exit 1",
                    {unixPathOf(shown + "\\" + hostile.swappedAfter), trees.unixPath("Pelvane Swap Moved"), unixPathOf(victim)}));
            }
            held.release();
            if (loaded) FreeLibrary(loaded);
            loaded = nullptr;
            ASSERT_EQ(restartWindows(), "");
        }
        for (const std::wstring& root : outside)
            EXPECT_EQ(treeOf(root).state, before[root]) << utf8Of(root) << " changed";
        const Tree now = treeOf(folder);
        // Once its subfolder was swapped for a link, the lines about the folder speak of what the swap moved away:
        // the restart must have left that as it was.
        if (restarted && *hostile.swappedAfter)
            EXPECT_TRUE(fileExists("C:\\Pelvane Swap Moved" + std::string(hostile.held + strlen(hostile.swappedAfter))))
                << "the restart deleted what the swap moved away";
        else
            expectLogTrue(part.lines, shown, now, restarted);
        const bool promisedGone = shownEnds == Ends::NoReboot || (shownEnds == Ends::Reboot && restarted);
        EXPECT_TRUE(!promisedGone || now.named.empty() ||
                    (shownEnds == Ends::Reboot && beyondWinesRestart(now, shown)))
            << "the summary says the folder goes, but it is there: " << ::testing::PrintToString(now.state);
        EXPECT_TRUE(shownEnds != Ends::LeftBehind || !restarted || !now.named.empty())
            << "the summary says something stays, but nothing does";
    }
}

TEST_P(WineHostileFolder, TouchesNothingOutsideAndItsLogAndSummaryStayTrue) { runCase(GetParam()); }
TEST_P(WineHostileFolder932, TouchesNothingOutsideAndItsLogAndSummaryStayTrue) {
    ASSERT_EQ(GetACP(), 932u) << "this suite runs under LANG=ja_JP.UTF-8 (the locale must exist)";
    runCase(GetParam());
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }
INSTANTIATE_TEST_SUITE_P(Table, WineHostileFolder, ::testing::ValuesIn(withCompatibilityMode(hostileCases)), caseName);
INSTANTIATE_TEST_SUITE_P(CodePage932, WineHostileFolder932, ::testing::ValuesIn(doubleByteCases), caseName);

}  // namespace
