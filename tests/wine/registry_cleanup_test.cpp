// The registry stage of the real program under Wine: all 31 entries planted and deleted, their neighbours kept.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/expected/messages.h"
#include "tests/expected/registry_table.h"
#include "tests/wine/harness.h"
#include "tests/wine/key_access.h"

using namespace harness;
using keyaccess::AccessList;

namespace {

using expected::searchQuestion;

using expected::Entry;
using expected::component;
using expected::explorer;
using expected::uninstall;
using expected::notFound;
using expected::treeDeleted;
using expected::treeKept;
using expected::valueDeleted;
using expected::valueKept;
using expected::valueMissing;
const std::vector<Entry>& table = expected::registryTable;
// Rows are numbered from 1 as in the table; row(n) is its entry.
const Entry& row(size_t n) { return table.at(n - 1); }


std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}
bool startsWith(const std::string& text, const std::string& start) {
    return lower(text).compare(0, start.size(), lower(start)) == 0;
}

// "HKCR\..." texts as handles and subkeys; a bare "HKCR" is the root itself.
HKEY rootOf(const std::string& text) {
    if (startsWith(text, "HKCR")) return HKEY_CLASSES_ROOT;
    if (startsWith(text, "HKCU")) return HKEY_CURRENT_USER;
    return HKEY_LOCAL_MACHINE;
}
std::string subkeyOf(const std::string& text) { return text.size() > 5 ? text.substr(5) : std::string(); }
std::string parentOf(const std::string& text) { return text.substr(0, text.rfind('\\')); }
std::string lastNameOf(const std::string& text) { return text.substr(text.rfind('\\') + 1); }

// ---- Planting.

// Every entry of the table with values and subkeys below it, and neighbours that must outlive it: a value on its
// parent, a sibling named like it with "2" after the name, in the start-up keys other values, a value whose name
// starts with the product's and a subkey named like it, and two keys whose names begin like the product's. Each
// name carries the row number, so that entries Wine shows under two names (HKCR\X, HKLM\SOFTWARE\Classes\X)
// each plant their own.
::testing::AssertionResult plantTable(Planted& planted) {
    auto fail = [](const std::string& what) { return ::testing::AssertionFailure() << "could not plant " << what; };
    for (size_t n = 1; n <= table.size(); ++n) {
        const Entry& e = row(n);
        const std::string tag = "Row" + std::to_string(n);
        const HKEY root = rootOf(e.key);
        const std::string subkey = subkeyOf(e.key);
        if (parentOf(e.key).size() > 4 && !planted.value(root, subkeyOf(parentOf(e.key)), "Neighbour " + tag, "kept"))
            return fail(parentOf(e.key) + " [Neighbour " + tag + "]");
        if (e.value) {
            if (!planted.value(root, subkey, e.value, "C:\\Program Files\\Quenderholt\\Pelvane\\pelvane.exe") ||
                !planted.value(root, subkey, "Other " + tag, "other.exe") ||
                !planted.value(root, subkey, std::string(e.value) + ".bak", "kept") ||
                !planted.value(root, subkey + "\\" + e.value, "Data", "kept"))
                return fail(e.key + " and its neighbours");
        } else {
            if (!planted.value(root, subkey, tag, "planted") ||
                !planted.value(root, subkey + "\\" + tag + "\\Deeper", "Data", "1") ||
                !planted.key(root, subkey + "\\Other " + tag) || !planted.value(root, subkey + "2", tag, "kept"))
                return fail(e.key + " and its neighbours");
        }
    }
    if (!planted.value(HKEY_CURRENT_USER, "Software\\Quenderholt Other\\Settings", "Data", "kept") ||
        !planted.value(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quenderholt Pelvane", "Data", "kept"))
        return fail("the keys named like the product's");
    return ::testing::AssertionSuccess();
}

// ---- Reading the registry around the table.

// A value's data as text: strings as they are, anything else in hexadecimal after its type.
std::string dataText(DWORD type, const std::vector<BYTE>& data, DWORD size) {
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && data[size - 1] == 0) --size;
    if (type == REG_SZ || type == REG_EXPAND_SZ) return std::string(reinterpret_cast<const char*>(data.data()), size);
    std::string text = "type " + std::to_string(type) + ":";
    char hex[4];
    for (DWORD i = 0; i < size; ++i) {
        snprintf(hex, sizeof hex, "%02x", data[i]);
        text += hex;
    }
    return text;
}

// Adds a key's line and one line per value ("key [name]=data") to out. Its subkeys are dumped in full when deep,
// else only named, except that those whose names start with one of the prefixes are dumped in full too.
void dumpKey(const std::string& text, bool deep, const std::set<std::string>& prefixes, std::set<std::string>* out) {
    HKEY key = rootOf(text);
    const std::string subkey = subkeyOf(text);
    if (!subkey.empty() && RegOpenKeyExA(rootOf(text), subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    out->insert(text);
    DWORD longestName = 0, longestData = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName, &longestData,
                     nullptr, nullptr);
    std::vector<char> name(longestName + 2);
    std::vector<BYTE> data(longestData + 2);
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = static_cast<DWORD>(name.size()), dataSize = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueA(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize) != ERROR_SUCCESS)
            break;
        out->insert(text + " [" + std::string(name.data(), nameSize) + "]=" + dataText(type, data, dataSize));
    }
    std::vector<std::string> children;
    char child[256];
    for (DWORD i = 0;; ++i) {
        DWORD childSize = sizeof child;
        if (RegEnumKeyExA(key, i, child, &childSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.emplace_back(child, childSize);
    }
    if (!subkey.empty()) RegCloseKey(key);
    for (const std::string& name : children) {
        bool inFull = deep;
        for (const std::string& prefix : prefixes) inFull = inFull || startsWith(name, prefix);
        if (inFull)
            dumpKey(text + "\\" + name, true, {}, out);
        else
            out->insert(text + "\\" + name);
    }
}

// The registry around the table, one line per key and value: each entry's parent with its values and the names of
// all its subkeys, and in full the subkeys of that parent whose names begin with the entry's own name (the entry,
// and the neighbours named like it). Sorted.
std::vector<std::string> registryAroundTable() {
    std::map<std::string, std::set<std::string>> prefixesOfParent;
    for (const Entry& e : table) prefixesOfParent[parentOf(e.key)].insert(lastNameOf(e.key));
    std::set<std::string> lines;
    for (const auto& [parent, prefixes] : prefixesOfParent) dumpKey(parent, false, prefixes, &lines);
    return std::vector<std::string>(lines.begin(), lines.end());
}

// Whether a dump line belongs to the entry: the key and all below it, or the one value.
bool belongsTo(const std::string& line, const Entry& e) {
    if (e.value) return startsWith(line, e.key + " [" + e.value + "]=");
    return lower(line) == lower(e.key) || startsWith(line, e.key + "\\") || startsWith(line, e.key + " [");
}

// The dump without the lines of the given rows.
std::vector<std::string> without(const std::vector<std::string>& dump, const std::set<size_t>& rows) {
    std::vector<std::string> kept;
    for (const std::string& line : dump) {
        bool target = false;
        for (size_t n : rows) target = target || belongsTo(line, row(n));
        if (!target) kept.push_back(line);
    }
    return kept;
}
// The lines one dump has and the other has not, for a failure message; empty when the two are the same.
std::string differences(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
    const std::set<std::string> want(expected.begin(), expected.end()), have(actual.begin(), actual.end());
    std::string out;
    for (const std::string& line : want)
        if (!have.count(line)) out += "  missing:    " + line + "\n";
    for (const std::string& line : have)
        if (!want.count(line)) out += "  unexpected: " + line + "\n";
    return out;
}
std::set<size_t> allRows() {
    std::set<size_t> rows;
    for (size_t n = 1; n <= table.size(); ++n) rows.insert(n);
    return rows;
}

// ---- What the program logs.

// What the registry stage logs, row by row, on a registry where every entry was planted, as Wine runs it.
// Wine 8 keeps a single key for HKEY_CLASSES_ROOT\X and HKLM\SOFTWARE\Classes\X (it does not merge the user's
// classes into HKEY_CLASSES_ROOT), so rows 15 to 20 find their keys gone with rows 1 to 6 and log "not found".
// HKLM\SYSTEM\CurrentControlSet, by contrast, is a key of its own in Wine (on Windows it is a link to the active
// control set, usually ControlSet001), so row 29 finds and deletes its own planting after row 27 deleted
// ControlSet001's.
std::vector<std::string> linesForPlantedTable() {
    std::vector<std::string> lines;
    std::vector<std::string> gone;  // the keys deleted so far, under Wine's one name for them
    for (const Entry& e : table) {
        if (e.value) {
            lines.push_back(valueDeleted(e));
            continue;
        }
        const std::string name = startsWith(e.key, "HKCR\\") ? "HKLM\\SOFTWARE\\Classes\\" + subkeyOf(e.key) : e.key;
        bool alreadyGone = false;
        for (const std::string& deleted : gone) alreadyGone = alreadyGone || startsWith(name + "\\", deleted + "\\");
        lines.push_back(alreadyGone ? notFound(e) : treeDeleted(e));
        if (!alreadyGone) gone.push_back(name);
    }
    return lines;
}

// The log's lines, split at each carriage return and line feed; a bare line feed or carriage return fails the test.
std::vector<std::string> logLines(const std::string& log) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(log.substr(start, end - start));
    EXPECT_EQ(start, log.size()) << "the log does not end with a line end";
    for (const std::string& line : lines) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    return lines;
}

// Runs the program, answers Yes (also to the question about the still-installed product when its uninstall key is
// there) and declines the folder search: it ends with code 3 right after the registry stage. Returns the 31
// lines under the registry heading and the one naming the saved file when there is one, having checked every line
// around them.
std::vector<std::string> registryLinesOfRun() {
    const bool looksInstalled = keyExists(HKEY_LOCAL_MACHINE, subkeyOf(row(26).key));
    const RunResult run =
        runProgram(looksInstalled ? std::vector<Step>{yes(), yes(), no()} : std::vector<Step>{yes(), no()});
    EXPECT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 3u) << run.report();
    if (!run.seen.empty()) {
        EXPECT_EQ(run.seen.back().text, searchQuestion) << run.report();
    }
    const std::optional<std::string> log = readLog();
    if (!log) {
        ADD_FAILURE() << "no log at " << logPath();
        return {};
    }
    const std::vector<std::string> lines = logLines(*log);
    const std::string library = defaultProductFolder() + "\\pelvane32.dll";
    const std::vector<std::string> before = {
        "", "Pelvane was not running", "", "Registry cleanup", "----------------", ""};
    const std::vector<std::string> after = {"Searching for " + library, library + " not found", "",
                                            "Cleanup terminated without deleting files."};
    const size_t headerLines = 2;  // the time and the row of equals signs
    const size_t registryLines = lines.size() - headerLines - before.size() - after.size();
    if (lines.size() < headerLines + before.size() + after.size() || registryLines < 31 || registryLines > 32) {
        ADD_FAILURE() << "the log has " << lines.size() << " lines:\n" << *log;
        return {};
    }
    EXPECT_EQ(lines[0].rfind("Pelvane Cleanup: ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], std::string(40, '='));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + headerLines, lines.begin() + headerLines + before.size()),
              before);
    EXPECT_EQ(std::vector<std::string>(lines.end() - after.size(), lines.end()), after);
    return std::vector<std::string>(lines.begin() + headerLines + before.size(), lines.end() - after.size());
}

// The line that names the file the deleted entries were saved to, by its name in the temporary folder.
std::string savedTo(const std::string& name) {
    return "Registry entries saved to " + tempFolder() + name + " before deletion";
}

// Compares the registry stage's lines with the expected ones row by row.
void expectLines(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(actual[i], expected[i]) << "row " << i + 1;
}

const char readOnly[] = "D:P(A;;KR;;;WD)";  // everyone may read the key, nobody may change it
// Everyone may read the key, nobody may delete it. (Wine lets the owner of a key delete it when its list only
// leaves out the right to: it grants DELETE with the KR list above.)
const char undeletable[] = "D:P(D;;SD;;;WD)(A;;KR;;;WD)";
const char noAccess[] = "D:P";               // nobody may do anything with the key but its owner set its access

bool underWow64() { BOOL wow64 = FALSE; return IsWow64Process(GetCurrentProcess(), &wow64) && wow64; }

}  // namespace

// Under WOW64 (the WOW64 ring) this 32-bit test plants the table where a 32-bit installer writes; keys of the same
// names in the 64-bit view stay: those of HKLM\SOFTWARE but CTF\TIP and the classes other than CLSID, which it shares.
TEST(WineRegistry, EveryEntryGoesWithAllBelowItNeighboursStayAndASecondRunFindsNothing) {
    Planted planted, planted64(KEY_WOW64_64KEY);
    const auto apart = underWow64() ? std::vector<size_t>{18, 22, 23, 24, 25, 26, 31} : std::vector<size_t>{};
    const auto name64 = [](size_t n) { return std::string(row(n).value ? row(n).value : "In the 64-bit view"); };
    for (size_t n : apart) ASSERT_TRUE(planted64.value(rootOf(row(n).key), subkeyOf(row(n).key), name64(n), "kept"));
    ASSERT_TRUE(plantTable(planted));
    // Wine's view of the two roots the expected lines depend on (see linesForPlantedTable).
    ASSERT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\.pvp\\Row1\\Deeper"));
    ASSERT_TRUE(keyExists(HKEY_CLASSES_ROOT, ".pvp\\Row15\\Deeper"));
    ASSERT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\ControlSet001\\Control\\Keyboard Layouts\\000105C9\\Row29"));
    const std::vector<std::string> before = registryAroundTable();
    for (const Entry& e : table) {
        ASSERT_NE(before, without(before, {static_cast<size_t>(&e - &table[0]) + 1})) << e.key << " was not planted";
    }

    std::vector<std::string> expected = linesForPlantedTable();
    expected.push_back(savedTo("PelvaneCleanup.reg"));
    expectLines(registryLinesOfRun(), expected);
    const std::vector<std::string> after = registryAroundTable();
    EXPECT_EQ(differences(without(before, allRows()), after), "") << "exactly the entries must be gone";
    EXPECT_TRUE(valueExists(HKEY_CURRENT_USER, subkeyOf(row(30).key), "Other Row30"));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, subkeyOf(row(31).key) + "\\pelvane.exe"));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quenderholt2"));
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Software\\Quenderholt Other\\Settings"));
    for (size_t n : apart)
        EXPECT_TRUE(valueExists(rootOf(row(n).key), subkeyOf(row(n).key), name64(n), KEY_WOW64_64KEY)) << "row " << n;

    // A second run finds nothing left: the start-up keys are still there, without the product's value.
    std::vector<std::string> nothingLeft;
    for (const Entry& e : table) nothingLeft.push_back(e.value ? valueMissing(e) : notFound(e));
    expectLines(registryLinesOfRun(), nothingLeft);
    EXPECT_EQ(differences(after, registryAroundTable()), "");
}

TEST(WineRegistry, OnACleanRegistryEveryEntryIsNotFoundAndNothingChanges) {
    Planted planted;
    for (const Entry& e : table) {
        if (e.value) {
            // The canary keeps a value of its own in both start-up keys, so they exist.
            ASSERT_TRUE(keyExists(rootOf(e.key), subkeyOf(e.key))) << e.key;
            ASSERT_FALSE(valueExists(rootOf(e.key), subkeyOf(e.key), e.value)) << e.key << " " << e.value;
        } else {
            ASSERT_FALSE(keyExists(rootOf(e.key), subkeyOf(e.key))) << e.key << " is left over from elsewhere";
        }
    }
    const std::vector<std::string> before = registryAroundTable();

    std::vector<std::string> expected;
    for (const Entry& e : table) expected.push_back(e.value ? valueMissing(e) : notFound(e));
    expectLines(registryLinesOfRun(), expected);
    EXPECT_EQ(differences(before, registryAroundTable()), "");
}

// Keys Wine really denies to the program: one that can only be read and not deleted, or not even read, exists and is
// kept, and its line says it could not be deleted; for a value entry the read-only key shows that the value is there.
TEST(WineRegistry, EntriesWithoutFullAccessAreKeptAndSaySoALockedSubkeyKeepsItsKey) {
    Planted planted;
    ASSERT_TRUE(plantTable(planted));
    const std::vector<std::string> before = registryAroundTable();
    // Made after the planting and dropped before it is removed (locals go in reverse order).
    AccessList classes(HKEY_CLASSES_ROOT, ".pvp", undeletable);                  // rows 1 and 15
    AccessList userBelow(HKEY_CURRENT_USER, "Software\\Quenderholt\\Row14", noAccess);  // row 14
    AccessList machine(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quenderholt", undeletable);  // row 22
    AccessList startup(HKEY_CURRENT_USER, subkeyOf(row(30).key), readOnly);      // row 30
    AccessList machineStartup(HKEY_LOCAL_MACHINE, subkeyOf(row(31).key), noAccess);  // row 31
    ASSERT_TRUE(classes.set() && userBelow.set() && machine.set() && startup.set() && machineStartup.set());

    std::vector<std::string> expected = linesForPlantedTable();
    expected[1 - 1] = treeKept(row(1));
    expected[15 - 1] = treeKept(row(15));  // the same key as row 1's, just as locked
    expected[22 - 1] = treeKept(row(22));
    expected[30 - 1] = valueKept(row(30));  // read-only: the value is seen there and left
    expected[31 - 1] = valueKept(row(31));  // not even readable: the value may be there
    // Wine deletes the subkeys in turn and stops at the first it cannot open; the key and that subkey stay.
    expected[14 - 1] = treeKept(row(14));
    expected.push_back(savedTo("PelvaneCleanup.reg"));
    expectLines(registryLinesOfRun(), expected);

    classes.restore();
    userBelow.restore();
    machine.restore();
    startup.restore();
    machineStartup.restore();
    const std::vector<std::string> after = registryAroundTable();
    std::set<size_t> deleted = allRows();
    for (size_t kept : {1, 14, 15, 22, 30, 31}) deleted.erase(kept);
    EXPECT_EQ(differences(without(without(before, deleted), {14}), without(after, {14})), "")
        << "the locked entries must stay whole, every other entry go, every neighbour stay";
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "Software\\Quenderholt\\Row14\\Deeper"));
    EXPECT_TRUE(valueExists(HKEY_CURRENT_USER, "Software\\Quenderholt", "Row14"));
    EXPECT_TRUE(valueExists(HKEY_CURRENT_USER, subkeyOf(row(30).key), "pelvane.exe"));
    EXPECT_TRUE(valueExists(HKEY_LOCAL_MACHINE, subkeyOf(row(31).key), "pelvane.exe"));
}

// Registry links on the NT family: table keys that are links (to a key of the machine, to one of the user's, to
// none), a link inside a machine-wide tree and one above three keys of the user's hive. Each link of the table goes
// as a link and every target stays as it was (the targets are dumped with the keys named like the product's); the
// link above is not gone through, and the key it leads to keeps its entry "could not be deleted". The links are only
// named in the saved file, which goes to the next name: another name of a file is at the first. The same holds
// when the program runs in a 95/98 compatibility mode (Wine's Version=win98): the system is still of the NT family.
TEST(WineRegistry, LinksGoAsLinksTheirTargetsStayAlsoInA98CompatibilityMode) {
    const std::string machineTarget = "SOFTWARE\\Quenderholt Link Target";
    const std::string userTarget = "Software\\Quenderholt Link Target";
    const std::string programs = subkeyOf(parentOf(row(11).key));
    for (const bool win98 : {false, true}) {
        SCOPED_TRACE(win98 ? "in a 95/98 compatibility mode" : "NT family");
        Planted planted;
        ASSERT_TRUE(planted.value(HKEY_LOCAL_MACHINE, machineTarget + "\\Quenderholt\\Below", "Data", "kept"));
        ASSERT_TRUE(planted.value(HKEY_CURRENT_USER, userTarget + "\\Below", "Data", "kept"));
        ASSERT_TRUE(planted.value(HKEY_LOCAL_MACHINE, subkeyOf(row(22).key) + "\\Pelvane\\6.0", "Data", "planted"));
        ASSERT_TRUE(!win98 ||
                    planted.value(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\Remove Pelvane.exe", "Version", "win98"));
        ASSERT_TRUE(planted.link(HKEY_CURRENT_USER, subkeyOf(row(7).key), HKEY_LOCAL_MACHINE, machineTarget) &&
                    planted.link(HKEY_CURRENT_USER, subkeyOf(row(8).key), HKEY_CURRENT_USER, userTarget + "\\No") &&
                    planted.link(HKEY_CURRENT_USER, subkeyOf(row(14).key), HKEY_CURRENT_USER, userTarget) &&
                    planted.link(HKEY_LOCAL_MACHINE, subkeyOf(row(22).key) + "\\Pelvane\\Out", HKEY_LOCAL_MACHINE,
                                 machineTarget) &&
                    planted.link(HKEY_CURRENT_USER, programs, HKEY_LOCAL_MACHINE, machineTarget));
        ASSERT_TRUE(keyExists(HKEY_CURRENT_USER, subkeyOf(row(11).key) + "\\Below")) << "the link leads there";
        const std::string victim = tempFolder() + "Quenderholt victim.txt";
        ASSERT_TRUE(planted.file(victim, "victim\r\n"));
        ASSERT_TRUE(CreateHardLinkA((tempFolder() + "PelvaneCleanup.reg").c_str(), victim.c_str(), nullptr));
        const std::set<size_t> gone = {7, 8, 14, 22};
        std::vector<std::string> expected;
        for (const Entry& e : table) {
            const size_t n = expected.size() + 1;
            expected.push_back(e.value         ? valueMissing(e)
                               : gone.count(n) ? treeDeleted(e)
                               : n == 11 ? treeKept(e) : notFound(e));
        }
        expected.push_back(savedTo("PelvaneCleanup (2).reg"));
        const std::vector<std::string> before = registryAroundTable();

        expectLines(registryLinesOfRun(), expected);
        EXPECT_EQ(readFileBytes(victim), "victim\r\n");
        const std::string saved = readFileBytes(tempFolder() + "PelvaneCleanup (2).reg").value_or("");
        const std::string out = "; HKEY_LOCAL_MACHINE\\" + subkeyOf(row(22).key) + "\\Pelvane\\Out is a registry link";
        EXPECT_NE(saved.find("\"Data\"=\"planted\"\r\n\r\n" + out), std::string::npos) << saved;
        EXPECT_EQ(saved.find("\"kept\""), std::string::npos) << "nothing of the links' targets is saved";
        EXPECT_EQ(differences(without(before, gone), registryAroundTable()), "") << "exactly the entries must be gone";
        for (size_t n : gone)
            EXPECT_FALSE(keyExists(rootOf(row(n).key), subkeyOf(row(n).key), REG_OPTION_OPEN_LINK)) << "row " << n;
        EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, programs, REG_OPTION_OPEN_LINK)) << "the link above stays";
    }
}

namespace {

// A value as another program may have set it, names and strings in the ANSI code page: a REG_SZ of its text, the
// bytes of any other type; with no name, the key alone.
struct RawValue {
    HKEY root;
    std::string key;
    const char* name;
    DWORD type;
    std::string bytes;
};

// Runs regedit as a user would; true when it ended with code 0.
bool regedit(const std::string& arguments) { return runToItsEnd("", "regedit.exe " + arguments) == 0; }

// Plants the values below table keys and the product's start-up value, runs the program, and imports the file it
// saved with regedit: each table key must come back byte for byte as regedit exports it (in its own wide form), and
// the start-up value with them. A second run before the import saves nothing and keeps the file; a third after it
// saves the same bytes to the next name.
void expectEveryDeletedEntryBack(const std::vector<RawValue>& values, const std::vector<Entry>& keys) {
    Planted planted;
    const std::string exports = tempFolder() + "Quenderholt exports\\", startup = "\"C:\\pelvane.exe\" /tray";
    ASSERT_TRUE(planted.folder(exports) &&
                planted.value(HKEY_CURRENT_USER, subkeyOf(row(30).key), "pelvane.exe", startup));
    for (const RawValue& v : values) {
        ASSERT_TRUE(v.name ? planted.value(v.root, v.key, v.name, v.bytes, v.type) : planted.key(v.root, v.key));
    }
    const auto exported = [&](const std::string& when) {
        std::string all;
        for (const Entry& e : keys) {
            const std::string file = exports + when + std::to_string(&e - keys.data()) + ".reg";
            const std::string root = e.key[3] == 'R' ? "HKEY_CLASSES_ROOT" : e.key[3] == 'U' ? "HKEY_CURRENT_USER"
                                                                                              : "HKEY_LOCAL_MACHINE";
            EXPECT_TRUE(regedit("/e \"" + file + "\" \"" + root + e.key.substr(4) + "\"")) << e.key;
            all += readFileBytes(file).value_or("(no export of " + e.key + ")");
        }
        return all;
    };
    const std::string before = exported("before"), file = tempFolder() + "PelvaneCleanup.reg";

    EXPECT_EQ(registryLinesOfRun().back(), savedTo("PelvaneCleanup.reg"));
    for (const Entry& e : keys) EXPECT_FALSE(keyExists(rootOf(e.key), subkeyOf(e.key))) << e.key;
    EXPECT_FALSE(valueExists(HKEY_CURRENT_USER, subkeyOf(row(30).key), "pelvane.exe"));
    const std::optional<std::string> saved = readFileBytes(file);
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(registryLinesOfRun().size(), table.size());
    EXPECT_EQ(readFileBytes(file), saved);
    ASSERT_TRUE(regedit("/s \"" + file + "\""));
    EXPECT_EQ(exported("after"), before) << *saved;
    EXPECT_EQ(readStringValue(HKEY_CURRENT_USER, subkeyOf(row(30).key), "pelvane.exe"), startup);
    EXPECT_EQ(registryLinesOfRun().back(), savedTo("PelvaneCleanup (2).reg"));
    EXPECT_EQ(readFileBytes(tempFolder() + "PelvaneCleanup (2).reg"), saved);
}

}  // namespace

// Every kind of value: strings with quotes, backslashes and line breaks, DWORDs, binary of 0 and of 300 bytes,
// expandable and multi-strings, a type of no name, default values, an empty key, keys three deep, in each root.
TEST(WineRegistry, TheSavedFileImportedWithRegeditBringsBackEveryDeletedKeyAndValueByteForByte) {
    const std::string tree = subkeyOf(row(14).key), deepest = tree + "\\Sub\\Deeper\\Deepest";
    std::string blob;
    for (int i = 0; i < 300; ++i) blob += static_cast<char>(i * 7);
    expectEveryDeletedEntryBack(
        {{HKEY_CURRENT_USER, tree, "", REG_SZ, "a \"quoted\" C:\\path\\"},
         {HKEY_CURRENT_USER, tree, "Text", REG_SZ, "one\r\ntwo"},
         {HKEY_CURRENT_USER, tree, "Quote\"And\\Backslash", REG_SZ, "x"},
         {HKEY_CURRENT_USER, tree, "Count", REG_DWORD, std::string("\x2a\0\0\0", 4)},
         {HKEY_CURRENT_USER, tree, "Empty", REG_BINARY, ""},
         {HKEY_CURRENT_USER, tree, "Blob", REG_BINARY, blob},
         {HKEY_CURRENT_USER, tree, "Path", REG_EXPAND_SZ, std::string("%SystemRoot%\\pelvane", 21)},
         {HKEY_CURRENT_USER, tree, "List", REG_MULTI_SZ, std::string("a\0b c\0", 7)},
         {HKEY_CURRENT_USER, tree, "Odd", 0x12345, "\x01\x02"},
         {HKEY_CURRENT_USER, tree + "\\Empty", nullptr, 0, ""},
         {HKEY_CURRENT_USER, deepest, "", REG_SZ, "deep"},
         {HKEY_CURRENT_USER, deepest, "v", REG_DWORD, std::string("\1\2\3\4", 4)},
         {HKEY_LOCAL_MACHINE, subkeyOf(row(22).key) + "\\Pelvane", "Version", REG_SZ, "6.0"},
         {HKEY_CLASSES_ROOT, subkeyOf(row(1).key), "", REG_SZ, "Pelvane.File.Package"}},
        {row(1), row(14), row(22)});
}

// Names and strings of the Japanese code page 932, some with a second byte of 0x5C, the backslash.
TEST(WineRegistry932, DoubleByteNamesComeBackFromTheSavedFileByteForByte) {
    ASSERT_EQ(GetACP(), 932u) << "run with LANG=ja_JP.UTF-8";
    const std::string tree = subkeyOf(row(14).key);
    expectEveryDeletedEntryBack(
        {{HKEY_CURRENT_USER, tree + "\\\x95\x5c", "\x93\xfa\x96\x7b", REG_SZ, "\x95\x5c\x8e\xa6\\"},
         {HKEY_CURRENT_USER, tree + "\\\x95\x5c", "\x83\x5c", REG_MULTI_SZ, std::string("\x83\x5c\0\x88\xea\0", 7)},
         {HKEY_CURRENT_USER, tree + "\\\x83\x5c\\\x95\x5c", nullptr, 0, ""}},
        {row(14)});
}
