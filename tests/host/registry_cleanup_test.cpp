// The registry stage: every table entry deleted or reported in one exact log line, and nothing else touched.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/expected/registry_table.h"
#include "platform/simulated/simulation.h"
#include "registry/registry_cleanup.h"
#include "tests/host/program.h"

namespace {

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

// The key above an entry; for a key right below a root, the root itself ("HKCR\\").
std::string parentOf(const std::string& key) {
    const size_t last = key.rfind('\\');
    return last == 4 ? key.substr(0, 5) : key.substr(0, last);
}
bool startsWith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }


// Every entry present, with values and subkeys below its keys, and the neighbours that must outlive it: a value on
// every parent, a sibling whose name starts with the entry's name, other start-up values and a subkey named like one.
void plantEverything() {
    for (const Entry& e : table) {
        sim::addValue(parentOf(e.key), "Neighbour", "kept");
        if (e.value) {
            sim::addValue(e.key, e.value, "C:\\Program Files\\Quenderholt\\Pelvane\\pelvane.exe");
            sim::addValue(e.key, "Other", "other.exe");
            sim::addValue(e.key, std::string(e.value) + ".bak", "kept");
            sim::addKey(e.key + "\\" + e.value);
        } else {
            sim::addValue(e.key, "", "default");
            sim::addValue(e.key + "\\Sub\\Deeper", "Data", "1");
            sim::addKey(e.key + "\\Other");
            sim::addValue(e.key + "2", "Data", "kept");
        }
    }
    sim::addValue("HKLM\\SOFTWARE\\Quenderholt2", "Data", "kept");
    sim::addKey("HKCU\\Software\\Quenderholt Other\\Settings");
}

// Whether a line of sim::registryDump belongs to a table entry: the value's line, or the key's own lines (its values,
// a link's target) and every line below it.
bool isTarget(const std::string& line) {
    for (const Entry& e : table) {
        if (line.compare(0, e.key.size(), e.key) != 0) continue;
        const std::string rest = line.substr(e.key.size());
        if (e.value ? startsWith(rest, std::string(" [") + e.value + "]=")
                    : rest.empty() || startsWith(rest, "\\") || startsWith(rest, " [") || startsWith(rest, " -> "))
            return true;
    }
    return false;
}

std::vector<std::string> withoutTargets(std::vector<std::string> dump) {
    dump.erase(std::remove_if(dump.begin(), dump.end(), isTarget), dump.end());
    return dump;
}

// A log in memory for calling the stage on its own.
class MemoryLog {
public:
    MemoryLog() : stream_(open_memstream(&buffer_, &size_)) {}
    ~MemoryLog() {
        fclose(stream_);
        free(buffer_);
    }
    MemoryLog(const MemoryLog&) = delete;
    MemoryLog& operator=(const MemoryLog&) = delete;
    FILE* stream() { return stream_; }
    std::vector<std::string> lines() {
        fflush(stream_);
        std::vector<std::string> result;
        const std::string text(buffer_, size_);
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            result.push_back(text.substr(start, end - start));
        EXPECT_EQ(start, text.size()) << "a line without its line feed";
        return result;
    }

private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    FILE* stream_;
};

// Runs the whole program up to the folder question, declines it, and returns the lines under the registry heading:
// one per entry, then the line that names the file the deleted entries were saved to, when there is one.
std::vector<std::string> registryLinesOfRun() {
    const bool looksInstalled = sim::keyExists(uninstall + "Quenderholt Pelvane 6.0");
    sim::answer(looksInstalled ? std::vector<int>{IDYES, IDYES, IDNO} : std::vector<int>{IDYES, IDNO});
    EXPECT_EQ(runProgram(), 3);
    const std::vector<std::string> log = lines(logText());
    const auto heading = std::find(log.begin(), log.end(), "Registry cleanup");
    EXPECT_NE(heading, log.end());
    if (heading == log.end() || log.end() - heading < 3 + 32) return {};
    EXPECT_EQ(heading[-1], "");
    EXPECT_EQ(heading[1], "----------------");
    EXPECT_EQ(heading[2], "");
    const int count = heading[3 + 31].rfind("Searching for ", 0) == 0 ? 31 : 32;
    EXPECT_EQ(heading[3 + count], "Searching for C:\\Program Files\\Quenderholt\\Pelvane\\pelvane32.dll");
    return std::vector<std::string>(heading + 3, heading + 3 + count);
}

const char* const savedFile = "C:\\users\\test\\Temp\\PelvaneCleanup.reg";
std::string savedTo(const std::string& file) { return "Registry entries saved to " + file + " before deletion"; }

class RegistryCleanup : public ::testing::Test {
protected:
    void SetUp() override { sim::reset(); }
};

// ---- The whole table in whole runs.

TEST_F(RegistryCleanup, OnACleanRegistryEveryEntryIsNotFoundInTableOrder) {
    std::vector<std::string> expected;
    for (const Entry& e : table) expected.push_back(notFound(e));
    EXPECT_EQ(registryLinesOfRun(), expected);
    EXPECT_TRUE(sim::registryDump().empty());
    EXPECT_EQ(sim::callsOf("NtDeleteKey"), 0);
    EXPECT_EQ(sim::callsOf("RegDeleteValueA"), 0);
    // After the installation probe, one open per entry: every key text is walked name by name from the first.
    std::vector<std::string> opened;
    for (const sim::Call& call : sim::calls())
        if (call.function == "RegOpenKeyExA") opened.push_back(call.args[0]);
    ASSERT_EQ(opened.size(), 32u);
    for (size_t i = 0; i < table.size(); ++i) {
        const std::string& key = table[i].key;
        EXPECT_EQ(opened[i + 1], key.substr(5, key.find('\\', 5) - 5));
    }
}

TEST_F(RegistryCleanup, AStartupKeyWithoutTheProductsValueIsReportedAndKept) {
    for (const Entry& e : table)
        if (e.value) sim::addValue(e.key, "Other", "other.exe");
    const auto before = sim::registryDump();
    const auto log = registryLinesOfRun();
    ASSERT_EQ(log.size(), 31u);
    EXPECT_EQ(log[29], valueMissing(table[29]));
    EXPECT_EQ(log[30], valueMissing(table[30]));
    EXPECT_EQ(sim::registryDump(), before);
    EXPECT_EQ(sim::callsOf("RegDeleteValueA"), 0);
    EXPECT_EQ(sim::openKeys(), 0);
}

TEST_F(RegistryCleanup, EveryEntryIsDeletedWithWhatIsBelowItAndNothingElseChanges) {
    plantEverything();
    const auto before = sim::registryDump();
    std::vector<std::string> expected;
    for (const Entry& e : table) expected.push_back(e.value ? valueDeleted(e) : treeDeleted(e));
    expected.push_back(savedTo(savedFile));
    EXPECT_EQ(registryLinesOfRun(), expected);
    EXPECT_EQ(sim::registryDump(), withoutTargets(before));
    EXPECT_EQ(sim::openKeys(), 0);
    EXPECT_TRUE(sim::valueExists(table[29].key, "Other"));
    EXPECT_TRUE(sim::keyExists(table[30].key + "\\pelvane.exe"));
    EXPECT_TRUE(sim::keyExists("HKLM\\SOFTWARE\\Quenderholt2"));
    EXPECT_TRUE(sim::keyExists("HKCU\\Software\\Quenderholt Other\\Settings"));
}

TEST_F(RegistryCleanup, ASecondRunFindsNothingLeftAndChangesNothing) {
    plantEverything();
    registryLinesOfRun();
    const auto afterFirst = sim::registryDump();
    std::vector<std::string> expected;
    for (const Entry& e : table) expected.push_back(e.value ? valueMissing(e) : notFound(e));
    EXPECT_EQ(registryLinesOfRun(), expected);
    EXPECT_EQ(sim::registryDump(), afterFirst);
}

// An entry that exists but cannot be opened for deletion is kept and says so; only an absent one is "not found".
TEST_F(RegistryCleanup, EachFailureIsOneLineAndTheWalkGoesOn) {
    plantEverything();
    sim::denyFullAccess(table[0].key);
    sim::denyAllAccess(table[13].key);
    sim::failKeyDeletion(table[21].key + "\\Sub\\Deeper");
    sim::denyFullAccess(table[29].key);
    sim::failValueDeletion(table[30].key, "pelvane.exe");
    const auto before = sim::registryDump();
    std::vector<std::string> expected;
    for (const Entry& e : table) expected.push_back(e.value ? valueDeleted(e) : treeDeleted(e));
    expected[0] = treeKept(table[0]);
    expected[13] = treeKept(table[13]);
    expected[21] = treeKept(table[21]);
    expected[29] = valueKept(table[29]);
    expected[30] = valueKept(table[30]);
    expected.push_back(savedTo(savedFile));
    EXPECT_EQ(registryLinesOfRun(), expected);
    EXPECT_EQ(sim::openKeys(), 0);
    for (int kept : {0, 13, 21}) EXPECT_TRUE(sim::keyExists(table[kept].key + "\\Sub\\Deeper")) << table[kept].key;
    EXPECT_TRUE(sim::valueExists(table[29].key, "pelvane.exe"));
    EXPECT_TRUE(sim::valueExists(table[30].key, "pelvane.exe"));
    EXPECT_FALSE(sim::keyExists(table[1].key));
    EXPECT_EQ(withoutTargets(sim::registryDump()), withoutTargets(before));
}

// ---- The file the deleted entries are saved to.

// The forms of values a Wine test cannot show (its regedit imports every other as it should), a link and names with
// control characters, which are never written as they stand; each key is saved as the walk enters it, and the file
// is on the disk before each entry's first deletion.
TEST_F(RegistryCleanup, EveryDeletedEntryIsSavedFirstAsRegeditWritesIt) {
    const std::string tree = table[13].key;
    std::string blob, atTreeDeletion, atValueDeletion;
    for (char byte = 0; byte < 40; ++byte) blob += byte;
    sim::addValue(tree + "\\Sub\\Deeper\\Deepest", "v", "w");
    sim::addValue(tree, "", "a \"quoted\" C:\\path\\");
    sim::addValue(tree, "Blob", REG_BINARY, blob);
    sim::addValue(tree, "Count", REG_DWORD, std::string("\x2a\0\0\0", 4));
    sim::addValue(tree, "Line\nbreak", "x");
    sim::addValue(tree, "NoZero", REG_SZ, "ab");
    sim::addValue(tree, "Text", REG_SZ, std::string("one\r\ntwo\0", 9));
    sim::addKey(tree + "\\Empty");
    sim::addValue(tree + "\\Bad\rKey", "v", "w");
    sim::addRegistryLink(tree + "\\Out", "HKLM\\SOFTWARE\\Victim");
    sim::addValue("HKLM\\SOFTWARE\\Victim", "v", "w");
    sim::addValue(table[29].key, "pelvane.exe", "pelvane.exe /start");
    sim::beforeNextCall("NtDeleteKey", [&] {
        atTreeDeletion = sim::fileContent(savedFile);
        sim::beforeNextCall("RegDeleteValueA", [&] { atValueDeletion = sim::fileContent(savedFile); });
    });
    EXPECT_EQ(registryLinesOfRun().back(), savedTo(savedFile));
    const std::string file = sim::fileContent(savedFile);
    const std::string key = "HKEY_CURRENT_USER\\Software\\Quenderholt", control = " has a control character, not saved";
    EXPECT_EQ(lines(file), (std::vector<std::string>{
        "REGEDIT4", "", "[" + key + "]", "@=\"a \\\"quoted\\\" C:\\\\path\\\\\"",
        "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\",
        "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27", "\"Count\"=dword:0000002a",
        "; " + key + " value \"Line?break\"" + control, "\"NoZero\"=hex(1):61,62",
        "\"Text\"=hex(1):6f,6e,65,0d,0a,74,77,6f,00", "", "[" + key + "\\Sub]", "", "[" + key + "\\Sub\\Deeper]", "",
        "[" + key + "\\Sub\\Deeper\\Deepest]", "\"v\"=\"w\"", "", "[" + key + "\\Empty]", "",
        "; " + key + "\\Bad?Key" + control, "; " + key + "\\Out is a registry link, not saved",
        "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]",
        "\"pelvane.exe\"=\"pelvane.exe /start\"", ""}));
    EXPECT_EQ(atTreeDeletion, file.substr(0, file.find("[" + key + "\\Empty]")));
    EXPECT_EQ(atValueDeletion, file);
    EXPECT_TRUE(sim::valueExists("HKLM\\SOFTWARE\\Victim", "v"));

    // An entry found but kept leaves no file.
    sim::reset();
    sim::addValue(tree, "v", "w");
    sim::failKeyDeletion(tree);
    EXPECT_EQ(registryLinesOfRun().size(), 31u);
    EXPECT_FALSE(sim::exists(savedFile));
}

// ---- Single entries.

// Each operation says whether its entry is gone (deleted, or not there) and logs one line; an entry that is, or may
// be, still there returns false. A key that cannot be opened for deletion is opened for reading to learn whether
// the value is there; one that cannot even be read may hold it.
TEST_F(RegistryCleanup, EachOperationSaysWhetherItsEntryIsGone) {
    const std::string key = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const Entry run{key, "pelvane.exe"}, tree{"HKCU\\Software\\Quenderholt", nullptr};
    enum Plant { Nothing, KeyOnly, KeyAndValue };
    struct Case {
        const char* what;
        Plant plant;
        void (*deny)(const std::string&);  // applied to both keys, or null
        bool deletionFails;
        bool valueGone, treeGone;
        std::string valueLine, treeLine;
    };
    for (const Case& c : {
             Case{"present", KeyAndValue, nullptr, false, true, true, valueDeleted(run), treeDeleted(tree)},
             Case{"absent", Nothing, nullptr, false, true, true, notFound(run), notFound(tree)},
             Case{"key without the value", KeyOnly, nullptr, false, true, true, valueMissing(run), treeDeleted(tree)},
             Case{"deletion fails", KeyAndValue, nullptr, true, false, false, valueKept(run), treeKept(tree)},
             Case{"read-only", KeyAndValue, sim::denyFullAccess, false, false, false, valueKept(run), treeKept(tree)},
             Case{"read-only, no value", KeyOnly, sim::denyFullAccess, false, true, false, valueMissing(run),
                  treeKept(tree)},
             Case{"unreadable", KeyAndValue, sim::denyAllAccess, false, false, false, valueKept(run), treeKept(tree)},
             Case{"unreadable, no value", KeyOnly, sim::denyAllAccess, false, false, false, valueKept(run),
                  treeKept(tree)},
         }) {
        sim::reset();
        if (c.plant != Nothing) {
            sim::addKey(run.key);
            sim::addValue(tree.key + "\\Pelvane", "Layout", "x");
        }
        if (c.plant == KeyAndValue) sim::addValue(run.key, run.value, "pelvane.exe");
        if (c.deny) {
            c.deny(run.key);
            c.deny(tree.key);
        }
        if (c.deletionFails) {
            sim::failValueDeletion(run.key, run.value);
            sim::failKeyDeletion(tree.key);
        }
        const auto before = sim::registryDump();
        MemoryLog log;
        EXPECT_EQ(deleteRegistryValue(run.key.c_str(), run.value, log.stream()), c.valueGone) << c.what;
        EXPECT_EQ(deleteRegistryTree(tree.key.c_str(), log.stream()), c.treeGone) << c.what;
        EXPECT_EQ(log.lines(), (std::vector<std::string>{c.valueLine, c.treeLine})) << c.what;
        EXPECT_EQ(sim::valueExists(run.key, run.value), c.plant == KeyAndValue && !c.valueGone) << c.what;
        EXPECT_EQ(sim::keyExists(tree.key), c.plant != Nothing && !c.treeGone) << c.what;
        if (c.deny) {
            EXPECT_EQ(sim::registryDump(), before) << c.what;
        }
        EXPECT_EQ(sim::openKeys(), 0) << c.what;
    }
}

TEST_F(RegistryCleanup, RootPrefixesIgnoreLetterCaseAndSelectTheirOwnRoot) {
    EXPECT_EQ(rootKeyFromPrefix("hkcr\\x"), HKEY_CLASSES_ROOT);
    EXPECT_EQ(rootKeyFromPrefix("Hkcu\\x"), HKEY_CURRENT_USER);
    EXPECT_EQ(rootKeyFromPrefix("hKlM\\x"), HKEY_LOCAL_MACHINE);
    for (const char* root : {"HKCR", "HKCU", "HKLM"}) sim::addValue(std::string(root) + "\\Same\\Below", "v", root);
    sim::addValue("HKCU\\Run", "pelvane.exe");
    sim::addValue("HKLM\\Run", "pelvane.exe");
    MemoryLog log;
    EXPECT_TRUE(deleteRegistryTree("hklm\\same", log.stream()));
    EXPECT_TRUE(deleteRegistryValue("hkcu\\run", "pelvane.exe", log.stream()));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Registry key hklm\\same deleted (with all subkeys)",
                                                     "Registry value pelvane.exe deleted from key hkcu\\run"}));
    EXPECT_FALSE(sim::keyExists("HKLM\\Same"));
    EXPECT_TRUE(sim::keyExists("HKCR\\Same\\Below"));
    EXPECT_TRUE(sim::keyExists("HKCU\\Same\\Below"));
    EXPECT_FALSE(sim::valueExists("HKCU\\Run", "pelvane.exe"));
    EXPECT_TRUE(sim::valueExists("HKLM\\Run", "pelvane.exe"));
}

TEST_F(RegistryCleanup, AnyOtherPrefixNamesNoRootAndIsNotFound) {
    sim::addValue("HKCU\\Software\\Quenderholt", "pelvane.exe");
    const auto before = sim::registryDump();
    MemoryLog log;
    std::vector<std::string> expected;
    for (const char* text : {"HKU\\Software\\Quenderholt", "HKCU/Software\\Quenderholt", "HKCUSoftware\\Quenderholt",
                             " HKCU\\Software\\Quenderholt", "HKEY_CURRENT_USER\\Software\\Quenderholt", "HKC", ""}) {
        EXPECT_EQ(rootKeyFromPrefix(text), nullptr) << text;
        EXPECT_TRUE(deleteRegistryTree(text, log.stream())) << "counts as absent: " << text;
        EXPECT_TRUE(deleteRegistryValue(text, "pelvane.exe", log.stream())) << "counts as absent: " << text;
        expected.push_back(std::string("Registry key ") + text + " not found");
        expected.push_back(expected.back());
    }
    EXPECT_EQ(log.lines(), expected);
    EXPECT_EQ(sim::registryDump(), before);
    EXPECT_EQ(sim::callsOf("NtDeleteKey"), 0);
}

TEST_F(RegistryCleanup, APrefixWithNothingOrABackslashAfterItNeverDeletesARoot) {
    sim::addValue("HKCR\\.txt", "", "txtfile");
    sim::addValue("HKCU\\Software\\Other", "v", "kept");
    sim::addValue("HKLM\\SOFTWARE\\Other", "v", "kept");
    const auto before = sim::registryDump();
    MemoryLog log;
    for (const char* text : {"HKCR\\", "hkcu\\", "HKLM\\", "HKCU\\\\", "HKLM\\\\SOFTWARE"})
        EXPECT_TRUE(deleteRegistryTree(text, log.stream())) << "counts as absent: " << text;
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Registry key HKCR\\ not found", "Registry key hkcu\\ not found",
                                                     "Registry key HKLM\\ not found", "Registry key HKCU\\\\ not found",
                                                     "Registry key HKLM\\\\SOFTWARE not found"}));
    EXPECT_EQ(sim::registryDump(), before);
    EXPECT_EQ(sim::callsOf("NtDeleteKey"), 0);
    EXPECT_EQ(sim::callsOf("RegOpenKeyExA"), 0);
}

// ---- Links, and walks that must stay inside and end.

// One entry over registry links and hostile trees: only the keys in `touched` (with all below them) may change, and
// they go when the entry does; every other key, the targets of links above all, stays as it was.
TEST_F(RegistryCleanup, LinksGoAsLinksTheirTargetsStayAndEveryWalkStaysInsideAndEnds) {
    const std::string programs = explorer + "MenuOrder\\Start Menu\\Programs", victim = "HKLM\\SOFTWARE\\Victim";
    const Entry user{programs + "\\Quenderholt", nullptr}, tree{"HKLM\\SOFTWARE\\Quenderholt", nullptr};
    const std::string lossy = tree.key + "\\a\xEF\xBC\xBC" "Quenderholt";
    const std::string layout = "HKLM\\SYSTEM\\ControlSet001\\Control\\Keyboard Layouts\\000105C9";
    std::string deep = tree.key;
    for (int i = 0; i < 70; ++i) deep += "\\d";
    struct Case {
        std::function<void()> plant;
        const Entry& entry;
        std::string line;
        std::vector<std::string> touched;
        DWORD version = 0x1DB10106;  // NT family; with the top bit, the same in a 95/98 compatibility mode
        bool windows98 = false;      // 95/98/Me itself
    };
    for (const Case& c : std::vector<Case>{
             {[&] { sim::addRegistryLink(user.key, "HKCU\\Software\\Victim"); }, user, treeDeleted(user), {user.key}},
             {[&] { sim::addRegistryLink(user.key, victim); }, user, treeDeleted(user), {user.key}},
             {[&] { sim::addRegistryLink(user.key, victim + "\\Missing"); }, user, treeDeleted(user), {user.key}},
             {[&] { sim::addRegistryLink(tree.key + "\\Sub\\Out", victim); }, tree, treeDeleted(tree), {tree.key}},
             // A link on the way in the user's hive is not gone through; the system's own in the machine's is.
             {[&] { sim::addRegistryLink(programs, victim); }, user, treeKept(user), {}},
             {[&] { sim::addRegistryLink(programs, victim + "\\Below"); }, user, notFound(user), {}},
             {[&] { sim::addRegistryLink(table[29].key, victim); }, table[29], valueKept(table[29]), {}},
             {[&] {
                  sim::addKey(layout + "\\Sub");
                  sim::addRegistryLink("HKLM\\SYSTEM\\CurrentControlSet", "HKLM\\SYSTEM\\ControlSet001");
              }, table[28], treeDeleted(table[28]), {layout}},
             // Listed names that lead nowhere, or out through a link; a tree that keeps growing, or goes too deep.
             {[&] { sim::setListedKeyName(tree.key + "\\Sub", "Sob"); }, tree, treeKept(tree), {tree.key}},
             {[&] {
                  sim::addKey(lossy);  // listed before the link
                  sim::addRegistryLink(tree.key + "\\a", victim);
                  sim::setListedKeyName(lossy, "a\\Quenderholt");
              }, tree, treeKept(tree), {tree.key}},
             {[&] { sim::keepAddingSubkeys(tree.key + "\\Sub"); }, tree, treeKept(tree), {tree.key}},
             {[&] { sim::addKey(deep); }, tree, treeKept(tree), {tree.key}},
             {[] {}, tree, treeDeleted(tree), {tree.key}, 0xC0000A04, true},  // 95/98/Me: no links, no option
             // The NT family in a 95/98 compatibility mode keeps its links, and they go as links.
             {[&] { sim::addRegistryLink(tree.key + "\\Sub\\Out", victim); }, tree, treeDeleted(tree), {tree.key}, 0xC0000A04},
             {[&] { sim::addRegistryLink(table[29].key, victim); }, table[29], valueKept(table[29]), {}, 0xC0000A04},
         }) {
        sim::reset();
        sim::setVersion(c.version);
        if (c.windows98) sim::useWindows98();
        sim::addValue(victim + "\\Quenderholt\\Below", "v", "x");
        sim::addValue(victim, "pelvane.exe", "x");
        sim::addValue("HKCU\\Software\\Victim\\Below", "v", "x");
        sim::addValue(tree.key + "\\Sub\\Deeper", "v", "x");
        c.plant();
        SCOPED_TRACE(c.line);
        auto untouched = [&](std::vector<std::string> dump) {
            for (const std::string& key : c.touched)
                dump.erase(std::remove_if(dump.begin(), dump.end(), [&](const std::string& line) {
                    return line == key || startsWith(line, key + "\\") || startsWith(line, key + " ");
                }), dump.end());
            return dump;
        };
        const auto before = untouched(sim::registryDump());
        MemoryLog log;
        const bool gone = c.entry.value ? deleteRegistryValue(c.entry.key.c_str(), c.entry.value, log.stream())
                                        : deleteRegistryTree(c.entry.key.c_str(), log.stream());
        EXPECT_EQ(log.lines(), std::vector<std::string>{c.line});
        EXPECT_EQ(gone, c.line == treeDeleted(c.entry) || c.line == notFound(c.entry));
        EXPECT_EQ(untouched(sim::registryDump()), before);
        for (const std::string& key : c.touched) EXPECT_EQ(sim::keyExists(key), !gone) << key;
        EXPECT_EQ(sim::openKeys(), 0);
    }
}

// ---- Faults of the platform.

TEST_F(RegistryCleanup, AFailingPlatformCallGivesItsOwnLine) {
    const std::string saved = savedTo(savedFile);
    struct Case {
        const char* function;
        std::string tree, value;  // the lines for table[0] and table[29]
        bool allGone;             // what the stage returns
        std::string savedLine;
    };
    for (const Case& c : {Case{"RegOpenKeyExA", treeKept(table[0]), valueKept(table[29]), false, ""},
                          // A key on the way that cannot be told from a link is not gone through.
                          Case{"RegQueryValueExA", treeDeleted(table[0]), valueKept(table[29]), false, saved},
                          Case{"RegDeleteValueA", treeDeleted(table[0]), valueKept(table[29]), false, saved},
                          Case{"NtDeleteKey", treeKept(table[0]), valueDeleted(table[29]), false, saved},
                          Case{"RegCloseKey", treeDeleted(table[0]), valueDeleted(table[29]), true, saved},
                          // Values that cannot be read, a file that cannot be made: the entries go all the same.
                          Case{"RegEnumValueA", treeDeleted(table[0]), valueDeleted(table[29]), true, saved},
                          Case{"CreateFileA", treeDeleted(table[0]), valueDeleted(table[29]), true,
                               "Registry entries could not be saved: " + std::string(savedFile) +
                                   " could not be written"}}) {
        sim::reset();
        plantEverything();
        sim::failFunction(c.function);
        MemoryLog log;
        EXPECT_EQ(runRegistryCleanup(log.stream(), logFile), c.allGone) << c.function;
        const auto lines = log.lines();
        ASSERT_EQ(lines.size(), c.savedLine.empty() ? 31u : 32u) << c.function;
        EXPECT_EQ(lines[0], c.tree) << c.function;
        EXPECT_EQ(lines[29], c.value) << c.function;
        EXPECT_EQ(lines.back(), c.savedLine.empty() ? lines[30] : c.savedLine) << c.function;
        EXPECT_EQ(sim::openKeys(), 0) << c.function;
    }
}

// Checks a log of the stage over a fully planted registry against the registry it left: every line is true ("deleted"
// exactly when the entry is gone, "could not be deleted" when it stays), and nothing but entries has changed.
void expectLogMatchesRegistry(const std::vector<std::string>& log, const std::vector<std::string>& outsideBefore,
                              const std::string& what) {
    ASSERT_EQ(log.size(), table.size()) << what;
    for (size_t i = 0; i < table.size(); ++i) {
        const Entry& e = table[i];
        if (e.value) {
            const bool gone = !sim::valueExists(e.key, e.value);
            EXPECT_EQ(log[i] == valueDeleted(e), gone) << what << ": " << log[i];
            if (!gone) {
                EXPECT_EQ(log[i], valueKept(e)) << what << ": every entry was planted, so none is \"not found\"";
            }
        } else {
            const bool gone = !sim::keyExists(e.key);
            EXPECT_EQ(log[i] == treeDeleted(e), gone) << what << ": " << log[i];
            if (!gone) {
                EXPECT_EQ(log[i], treeKept(e)) << what << ": every entry was planted, so none is \"not found\"";
            }
        }
    }
    EXPECT_EQ(withoutTargets(sim::registryDump()), outsideBefore) << what;
    EXPECT_EQ(sim::openKeys(), 0) << what;
}

TEST_F(RegistryCleanup, UnderAFaultAtAnyCallEveryEntryIsLoggedTrulyAndEveryKeyClosed) {
    plantEverything();
    const auto outsideBefore = withoutTargets(sim::registryDump());
    {
        MemoryLog log;
        runRegistryCleanup(log.stream(), "");
    }
    const long stageCalls = sim::callCount();
    ASSERT_GT(stageCalls, 90);
    for (long k = 1; k <= stageCalls; ++k) {
        for (bool fromThereOn : {false, true}) {
            sim::reset();
            plantEverything();
            if (fromThereOn)
                sim::failFromCallNumber(k);
            else
                sim::failCallNumber(k);
            MemoryLog log;
            const bool allGone = runRegistryCleanup(log.stream(), "");
            const auto lines = log.lines();
            const std::string what = std::string(fromThereOn ? "from call " : "at call ") + std::to_string(k);
            expectLogMatchesRegistry(lines, outsideBefore, what);
            const bool anyKept = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
                return line.find(" could not be deleted") != std::string::npos;
            });
            EXPECT_EQ(allGone, !anyKept) << what;
            const long deleted = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                return line.find(" deleted ") != std::string::npos;
            });
            if (!fromThereOn) {
                EXPECT_GE(deleted, 30) << what << ": one fault costs at most one entry";
            }
        }
    }
}

}  // namespace
