// The test interface of the simulated Windows: set up a machine, script the user, inject faults, read back what happened.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sim {

// One platform call as the program made it, with its text arguments.
struct Call {
    std::string function;
    std::vector<std::string> args;
};

// One message box as the program showed it.
struct Box {
    std::string text;
    std::string caption;
    unsigned style;
};

// The settings the open-file dialog was given, copied when it was shown.
struct DialogSeen {
    DWORD structSize = 0;
    bool hasOwner = false;
    std::vector<std::string> filter;  // description, pattern, description, pattern ...
    bool hasCustomFilter = false;
    DWORD filterIndex = 0;
    std::string initialFile;
    DWORD maxFile = 0;
    DWORD maxFileTitle = 0;
    bool hasInitialDir = false;
    std::string title;
    DWORD flags = 0;
    std::string defaultExtension;
    bool hasHook = false;
    bool hookReturnedZero = false;
};

// Raised by endProcess so that a test sees the process end where the program ended it.
struct ProcessExit {
    int code;
};

// A top-level window of another program, found by its class name.
struct WindowSetup {
    std::string className;
    int closesAfterMs = 0;   // after its WM_CLOSE handler has returned: 0 closes at once, -1 never closes
    bool hung = false;       // never answers a sent message
    int asksForMs = 0;       // its WM_CLOSE handler first asks its user this long, answering other messages meanwhile
};

// Starts a fresh machine: empty registry and disk but for C:\users\test\Temp, C:\Program Files and
// C:\windows\system32, NT family, Yes to nothing, no faults, time Thu Jul 03 06:45:02 2003. Every disk entry has an
// identity (a volume serial number and a file index), which a link, a substituted drive or a share to it shares.
void reset();

// ---- Faults: a platform call fails like the real one does.
void failFunction(const std::string& function);        // every call of that function
void failFunctionCall(const std::string& function, int nth);  // its nth call (1-based)
void failCallNumber(long k);                           // the kth platform call of any kind (1-based)
void failFromCallNumber(long k);                       // every platform call from the kth on
const std::vector<Call>& calls();
long callCount();
int callsOf(const std::string& function);

// ---- The user.
void answer(std::vector<int> results);  // the next boxes are answered with these (IDYES, IDNO, IDOK); none left: 0
const std::vector<Box>& boxes();
// The dialog's next answer: this file chosen; made when missing unless made is false (the path as the dialog
// returns it, which may name nothing when the code page could not hold a name).
void chooseInDialog(const std::string& path, bool made = true);
void cancelDialog();                            // the dialog's next answer: cancelled (the default)
const std::vector<DialogSeen>& dialogs();
struct Moved {
    int x, y;
    UINT flags;
};
const std::vector<Moved>& dialogMoves();
void setScreen(int width, int height);
void setDialogFrame(RECT frame);

// ---- Environment.
void setTempPath(const std::string& path);      // "" makes GetTempPathA report no folder
void setProgramFiles(const std::string& path);  // "" makes the look-up fail
void setVersion(DWORD version);                 // the GetVersion word only: an NT machine stays one in any mode
// A machine of the 95/98/Me family: it reports that version and lacks what those systems lack (ntdll, registry links
// and options, folders opened as files, literal paths, delayed moves, namespaces for kernel objects).
void useWindows98();
// 64-bit Windows running the program under WOW64: the shell answers with the 32-bit Program Files (x86), its Common
// Files and SysWOW64; HKLM\Software is its 32-bit branch, HKLM\Software\Wow6432Node, unless the program asks for the
// 64-bit view (KEY_WOW64_64KEY), where setup's values name the 64-bit folders. The registry texts of the tests are
// that 64-bit view.
void useWow64();
void setLocalTime(const struct tm& time);
void setCodePage(int codePage);                   // 932 makes 0x81-0x9F and 0xE0-0xFC lead bytes
void setSpecialFolder(int csidl, const std::string& path);  // "" makes the look-up fail
void useFirstShell();  // the shell of 95 and NT4 before their 4.71 update: no SHGetSpecialFolderPathA at all
void whenAsked(std::function<void()> action);     // done once, as the next message box is shown
// Done once, just before the next call of function: another program acting between two calls of this one.
void beforeNextCall(const std::string& function, std::function<void()> action);

// ---- Disk. Paths are Windows paths; names compare without regard to letter case.
void addFolder(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_DIRECTORY);
void addFile(const std::string& path, const std::string& content = "", DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
void addLink(const std::string& path, const std::string& target);  // a directory reparse point to target
void substituteDrive(const std::string& drive, const std::string& folder);  // "P:" is folder under a second name
void setListedName(const std::string& path, const std::string& listed);  // the name as the code page lists it
void setShortName(const std::string& path, const std::string& shortName);
void replaceByLink(const std::string& path, const std::string& target);  // swapped for a link, as by another program
void giveOtherNames(const std::string& path);  // a second name (hard link) elsewhere shares its attributes
bool exists(const std::string& path);
DWORD attributesOf(const std::string& path);
std::string fileContent(const std::string& path);
std::vector<std::string> tree(const std::string& path);  // every path below, depth first, in listing order
void lockFile(const std::string& path);                 // held open by another program: cannot be deleted
void runAsProgram(const std::string& path);             // a running program or loaded library: renamed, not deleted
void holdSharingDeletion(const std::string& path);      // as a scanner holds it: deleted, it stays listed until...
void letGo(const std::string& path);                    // ...its holder lets go of it, and then it goes
// Carries out the deletions registered with MoveFileExA, in order, by path, as the system does at its start: links on
// the way are followed, and a folder goes only when it is empty.
void restart();
bool hasOwnAccessList(const std::string& path);         // a folder made with a security descriptor of its own
void hideAttributes(const std::string& path);           // its attributes cannot be read
void vanishAfterAttributeRead(const std::string& path); // gone right after its attributes are read
// Removing the link itself fails with error: 18 as Wine answers for a link to an empty folder, 145 for one to a
// folder that holds files.
void failLinkRemoval(const std::string& path, DWORD error = ERROR_NO_MORE_FILES);
void hideFromListing(const std::string& path);  // in its folder, but never listed
void denyWrite(const std::string& folder);               // no file can be created in it
std::vector<std::string> pendingDeletes();               // registered with MoveFileExA for the next restart

// ---- Registry. Key paths start with "HKCR\", "HKCU\" or "HKLM\".
void addKey(const std::string& key);
void addValue(const std::string& key, const std::string& name, const std::string& data = "");  // a REG_SZ
void addValue(const std::string& key, const std::string& name, DWORD type, const std::string& bytes);
bool keyExists(const std::string& key);
bool valueExists(const std::string& key, const std::string& name);
void denyFullAccess(const std::string& key);  // opens for reading only
void denyAllAccess(const std::string& key);   // cannot be opened at all
void failValueDeletion(const std::string& key, const std::string& name);
void failKeyDeletion(const std::string& key);   // the key itself cannot be deleted (its subkeys can)
void addRegistryLink(const std::string& key, const std::string& target);  // a link to a key text, there or not
void setListedKeyName(const std::string& key, const std::string& listed);  // the name as the code page lists it
void keepAddingSubkeys(const std::string& key);  // another program adds a subkey each time one is deleted
// Every key ("key -> target" for a link) and value ("key [name]=data" for a REG_SZ, "key [name]=type N:bytes" for
// any other type).
std::vector<std::string> registryDump();

// ---- Windows of the product and the virtual clock.
void addWindow(const WindowSetup& window);
int windowsOfClass(const std::string& className);
const std::vector<DWORD>& sleeps();
unsigned long clockMs();

// ---- Kernel objects: named mutexes and the threads the program starts. A thread's function runs at once; the
// virtual time at which it returns (by the sends it makes) is when a wait for the thread ends.
void holdMutexElsewhere(const std::string& name);  // another program, such as a second copy, holds this mutex

// ---- Handles and streams the program holds.
int openHandles();  // mutexes and threads
int openKeys();
int openSearches();
int openFileHandles();
int openStreams();
void closeOpenStreams();  // what the C runtime does at process exit
FILE* logStream(const std::string& path);  // a new empty file there, open as a log stream for a test

}  // namespace sim
