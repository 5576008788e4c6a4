// The state of the simulated machine, shared by the files that simulate each group of calls.
#pragma once

#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/simulated/simulation.h"

namespace sim {

// A file or folder on the simulated disk; a folder keeps its entries in listing order.
struct Node {
    std::string name;       // the real name, which paths are matched against
    std::string listedName; // what a listing shows when the code page cannot hold the real name ("" when it can)
    std::string shortName;  // the 8.3 alias, "" when there is none
    DWORD serial = 0;       // its creation time, which tells entries with the same listed name apart
    DWORD names = 1;        // how many names (hard links) the file has
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    std::string content;
    std::string linkTarget;
    std::list<std::unique_ptr<Node>> children;
    std::map<std::string, Node*> byName;  // lower-case name -> child, for large folders
    std::map<std::string, Node*> byShortName;
    Node* parent = nullptr;
    std::list<std::unique_ptr<Node>>::iterator place;  // where the parent keeps it
    bool locked = false;        // held open by another program without sharing: it can be neither deleted nor renamed
    bool runsAsProgram = false; // a running program or a loaded library: it cannot be deleted, only renamed
    bool heldSharingDeletion = false;  // its holder shares deletion: once deleted it stays listed until let go
    bool deletePending = false;        // deleted while so held: listed, but nothing reaches it
    bool ownAccessList = false; // a folder made with a security descriptor of its own
    bool attributesHidden = false;
    bool vanishAfterRead = false;
    DWORD linkRemovalError = 0;  // what removing the link itself fails with; 0 when it goes
    bool unlisted = false;       // never shown by a listing, as Wine does with a link that leads nowhere
    bool writeDenied = false;
    bool isFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

// A registry key with its values and subkeys, or a registry link (NT family) with the key text it leads to.
struct Key {
    std::string name;
    std::string listedName;  // what a listing shows when the code page cannot hold the name ("" when it can)
    std::string linkTarget;  // a link: "HKxx\..." of its target, which need not exist; "" for an ordinary key
    struct Value {
        std::string name;  // as written
        DWORD type;
        std::string data;  // its bytes, a string's terminating zero included
    };
    std::map<std::string, Value> values;  // lower-case name -> value
    std::vector<std::unique_ptr<Key>> children;
    Key* parent = nullptr;
    bool fullAccessDenied = false;
    bool allAccessDenied = false;
    bool deletionFails = false;
    bool deleted = false;       // taken out of the registry; kept for the handles still open to it
    bool keepsGettingSubkeys = false;  // another program adds a subkey each time one is deleted
    int subkeysAdded = 0;
    std::vector<std::string> undeletableValues;  // lower-case names
};

struct Window {
    WindowSetup setup;
    long closesAtMs = -1;  // virtual time at which it is gone; -1 while open
    bool gone = false;
};

// A kernel object the program holds a handle to: a named mutex, a thread it started, a file or folder it opened,
// or a library it loaded.
struct Handle {
    std::string mutexName;  // empty for the others
    long returnsAtMs = -1;  // a thread: the virtual time at which its function has returned; -1 never
    std::string path;       // a folder or file: the path it was opened by
    size_t offset = 0;      // a file: where the next read begins
    bool followsLinks = false;  // a folder or file: opened as what a link at the path leads to
    std::string library = "";   // a library: its name, lower case
};

struct Search {
    std::vector<WIN32_FIND_DATAA> entries;
    size_t next = 0;
};

struct Machine {
    std::vector<Call> calls;
    std::map<std::string, int> callsByFunction;
    std::vector<std::string> failingFunctions;
    std::vector<std::pair<std::string, int>> failingFunctionCalls;
    long failingCallNumber = 0;
    long failingFromCallNumber = 0;

    std::deque<int> answers;
    std::vector<Box> boxes;
    std::deque<std::pair<std::string, bool>> dialogAnswers;  // the path ("" cancels), whether it is made if missing
    std::vector<DialogSeen> dialogs;
    std::vector<Moved> dialogMoves;
    int screenWidth = 1024;
    int screenHeight = 768;
    RECT dialogFrame = {10, 20, 10 + 563, 20 + 419};

    std::string tempPath;
    std::string programFiles;
    std::string windowsFolder;
    std::string systemFolder;
    bool firstShell = false;  // the shell of 95 and NT4 before their 4.71 update
    DWORD version = 0;
    bool ninetyFive = false;  // a machine of the 95/98/Me family itself, not the NT family reporting its version
    bool wow64 = false;       // 64-bit Windows, running the program under WOW64
    struct tm localTime {};

    std::unique_ptr<Node> disk;  // holds the drives as folders ("C:")
    std::vector<std::string> pending;
    std::map<long, Search> searches;
    long nextSearch = 1;

    std::unique_ptr<Key> roots[3];  // HKCR, HKCU, HKLM
    std::map<long, Key*> keys;
    long nextKey = 1;
    std::vector<std::unique_ptr<Key>> deletedKeys;

    std::map<long, Handle> handles;
    long nextHandle = 1;
    std::vector<std::string> mutexesElsewhere;  // names held by other programs
    DWORD lastError = 0;
    bool inThread = false;     // while the function of a thread the program started runs
    long threadReturnsAtMs = 0;  // when that function returns, by the sends it made

    std::vector<Window> windows;
    std::vector<DWORD> sleeps;
    unsigned long clockMs = 0;

    std::vector<FILE*> streams;

    int codePage = 1252;
    DWORD nextSerial = 1;
    std::map<int, std::string> specialFolders;
    std::function<void()> whenAsked;
    std::string beforeCallOf;  // the function before whose next call beforeCall is done
    std::function<void()> beforeCall;
};

Machine& machine();

// A new handle to object, and the object behind a handle (null when it is not open).
HANDLE newHandle(const Handle& object);
Handle* objectOf(HANDLE handle);
// Closes a handle; false when it was not open.
bool dropHandle(HANDLE handle);

// Records a call and says whether it must fail by the faults set up (with access denied as its last error).
bool callFails(const char* function, std::vector<std::string> args = {});

// Names compare without regard to letter case, as on Windows.
std::string lowered(const std::string& text);
// Splits at backslashes, by characters of the machine's code page.
std::vector<std::string> splitPath(const std::string& path);
// Whether byte starts a double-byte character in the machine's code page.
bool isLeadByte(unsigned char byte);
// Sets the last error and returns false, for the calls that fail by themselves.
BOOL failWith(DWORD error);

// Disk look-ups as the system resolves a path: "\\?\" paths as they stand; others with "." and ".." resolved,
// trailing dots and spaces stripped from each name and none when a name is a device. Names match the real name
// or the short one. Follows directory links on the way, but not at the last name.
Node* findNode(const std::string& path);
void removeNode(Node* node);

// Registry look-ups on "HKxx\sub\key" text or a root handle and a subkey.
Key* rootOf(HKEY root);
Key* findKey(Key* from, const std::string& subKey);
Key* keyOfHandle(HKEY key);
// The system's deletion of a key through its handle (ntdll's NtDeleteKey), found with GetProcAddress.
LONG ntDeleteKey(HKEY key);

// The simulated windows of other programs expire as the virtual clock advances.
void advanceClock(unsigned long ms);

// What the system does with the program's handles as its process ends: closes them, releasing its mutexes.
void closeOpenHandles();

}  // namespace sim
