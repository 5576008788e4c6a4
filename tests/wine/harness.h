// The Wine test harness: runs the real Remove Pelvane, answers its boxes like a user, and plants and reads what it works on.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace harness {

// ---- Where things are on the machine the tests run on ----

// The Windows path of the Remove Pelvane.exe of this build (its Unix path seen through drive Z:).
std::string programPath();
// The temporary folder as the program sees it (GetTempPathA), with its closing backslash.
std::string tempFolder();
// The cleanup log's full path: the temporary folder joined with "PelvaneCleanup.log".
std::string logPath();
// The Program Files folder (SHGetSpecialFolderPathA, CSIDL_PROGRAM_FILES), without a closing backslash.
std::string programFilesFolder();
// The product's default folder: Program Files joined with "Quenderholt\Pelvane".
std::string defaultProductFolder();
// Runs program (its full path, or "" to find it from the command line) and waits up to a minute for its end, ending
// it when it does not; its exit code, or -1 when it did not start or end.
int runToItsEnd(const std::string& program, std::string commandLine);

// ---- The script a run is answered from ----

enum class Action {
    Yes,           // a message box: click its Yes button
    No,            // a message box: click its No button
    Ok,            // a message box: click its OK button
    ChooseFile,    // the open-file dialog: type the step's path into the file-name box and click its OK button
    CancelDialog,  // the open-file dialog: click its Cancel button
};

struct Step {
    Action action;
    std::string path;  // for ChooseFile: the full Windows path to choose
    // For ChooseFile: the path is UTF-8 and is typed as wide characters, as the dialog holds a path the user
    // clicked through (names the ANSI code page lacks included); else it is typed in the ANSI code page.
    bool typedWide = false;
};

Step yes();
Step no();
Step ok();
Step chooseFile(const std::string& path);
Step chooseFileWide(const std::string& utf8Path);
Step cancelDialog();
// "Yes", "No", "OK", "choose C:\x.dll", "Cancel": how a step is named in messages.
std::string describe(const Step& step);

// ---- What a run saw ----

enum class WindowKind { MessageBox, FileDialog, OtherDialog };

// One top-level dialog window of the program, read the moment it became visible.
struct Sighting {
    WindowKind kind = WindowKind::OtherDialog;
    std::string caption;  // the window title
    std::string text;  // a message box's text (WM_GETTEXT on its static text control); for a dialog of another
                       // kind the texts of its static controls; empty for the open-file dialog
    bool hasYes = false, hasNo = false, hasOk = false, hasCancel = false;  // which of IDYES, IDNO, IDOK, IDCANCEL exist
    int defaultButton = 0;  // control ID of the button with the BS_DEFPUSHBUTTON style, 0 when none has it
    // The message box's icon as its MB_ICON* value (MB_ICONSTOP 0x10, MB_ICONQUESTION 0x20, MB_ICONEXCLAMATION 0x30,
    // MB_ICONINFORMATION 0x40), found by comparing the icon's pixels on the screen with the system's icons;
    // 0 when the box shows no icon, -1 when the pixels match none of them.
    int icon = -1;
    RECT frame = {0, 0, 0, 0};               // the window's rectangle on the screen (GetWindowRect)
    int screenWidth = 0, screenHeight = 0;   // GetSystemMetrics(SM_CXSCREEN / SM_CYSCREEN) when it was seen
    std::string answer;                      // what the harness did with it ("Yes", "choose ...", "" when left alone)
    DWORD seenAtMs = 0, answeredAtMs = 0;    // when it was found and when it was answered, from the program's start

    // A message box's style word as the program passed it: button set | icon | default button
    // (0x24 for Yes/No with the question icon and Yes as default, 0x124 when No is the default, 0x40 for OK with
    // the information icon...). 0xFFFFFFFF when the box is not a message box or its icon could not be read.
    UINT style() const;
    // One line: kind, caption, style, text (with line feeds shown as \n).
    std::string describe() const;
};

struct RunResult {
    bool started = false;     // CreateProcess succeeded
    bool exited = false;      // the program ended by itself within the time limit
    DWORD exitCode = 0;       // its exit code, when it exited
    std::vector<Sighting> seen;  // every dialog, in the order they appeared
    std::string failure;      // empty when the run went exactly as scripted; else what went wrong
    DWORD elapsedMs = 0;

    bool ok() const { return failure.empty(); }
    // Everything above, several lines, for test failure messages and the driver's output.
    std::string report() const;
};

struct RunOptions {
    std::string program = programPath();
    DWORD timeLimitMs = 30000;  // for the whole run, all boxes included
    // When true the script is ignored: every message box is answered Yes, or OK when it has no Yes button, and the
    // open-file dialog is answered with autoFile (cancelled when autoFile is empty).
    bool answerEverything = false;
    std::string autoFile;
    // Called between polls with the time since the program started, to act on the machine while it runs.
    std::function<void(DWORD elapsedMs)> duringRun;
    // Called for each dialog once it has been read and before it is answered, with its window and what was read
    // (the answer is still empty); the program waits for the answer meanwhile, so more can be read from the window
    // or a picture taken of it. The time it takes counts towards timeLimitMs.
    std::function<void(HWND dialog, const Sighting& seen)> beforeAnswer;
};

// Starts the program with CreateProcess and answers each dialog it shows with the next step of the script,
// polling every 50 ms. Between polls it handles the messages of the calling thread, so a window the test made
// there answers what the program sends it (such as WM_CLOSE). The run fails (RunResult::failure) and the program is ended (TerminateProcess) when a
// dialog appears that the script did not expect, or whose buttons do not allow the step; when the program ends
// with steps left over; or when the time limit passes. Dialogs of the program are its visible top-level windows
// of class "#32770".
RunResult runProgram(const std::vector<Step>& script, const RunOptions& options = RunOptions());

// ---- Reading another process's dialog (used by runProgram; usable on any dialog) ----

// The explorer-style open-file dialog's file-name box: an edit control with this ID on the dialog frame.
const int fileNameBoxId = 0x480;

// Reads a visible dialog window: its kind, caption, text, buttons, default button, icon and rectangle.
Sighting readDialog(HWND dialog);
// WM_GETTEXT, which works across processes (GetWindowTextA does not for foreign controls).
std::string windowText(HWND window);

// The size of an explorer-style open-file dialog's frame at the moment its hook receives WM_INITDIALOG, measured
// by showing one in this process with the given flags (OFN_ENABLEHOOK and OFN_EXPLORER added) and the record size
// OPENFILENAME_SIZE_VERSION_400A. Wine sizes the frame again after that moment, so a hook that centres the frame
// there leaves it centred for this size, not for the final one. {0, 0} when the dialog did not come up.
SIZE openFileDialogSizeAtInit(DWORD flags);

// ---- Registry, files and the log ----

// Whether a key exists (RegOpenKeyExA with KEY_READ succeeds); with REG_OPTION_OPEN_LINK, a link as the link itself;
// with KEY_WOW64_64KEY as view, in the registry's 64-bit view (another view under WOW64 alone). Values likewise.
bool keyExists(HKEY root, const std::string& subkey, DWORD options = 0, REGSAM view = 0);
// Whether a value exists in a key.
bool valueExists(HKEY root, const std::string& subkey, const std::string& name, REGSAM view = 0);
// A REG_SZ value's data; nothing when the key or value is missing or not a string.
std::optional<std::string> readStringValue(HKEY root, const std::string& subkey, const std::string& name);

// GetFileAttributesA succeeds, and the path is a file (no directory bit) / a folder (directory bit).
bool fileExists(const std::string& path);
bool folderExists(const std::string& path);
// The bytes of a file, exactly as on disk; nothing when it cannot be opened.
std::optional<std::string> readFileBytes(const std::string& path);
// The first 4 KiB of a file named by a wide path, taken literally ("\\?\" is put before it), for names that the
// ANSI calls cannot reach; "(unreadable)" when it cannot be opened.
std::string literalFileStart(const std::wstring& path);
// Writes bytes to a file (created or truncated); false on failure.
bool writeFileBytes(const std::string& path, const std::string& bytes);

// The cleanup log's raw bytes; nothing when there is no log.
std::optional<std::string> readLog();
// Deletes the cleanup log if there is one, and the registry files saved beside it.
void removeLog();

// What one test plants on the machine; everything it planted is removed again when it goes out of scope, so
// that tests are independent in one prefix. Only what it created is removed: a key or folder that already
// existed is left, and only the values and files planted into it are taken out. It also removes the cleanup
// log and the registry files saved beside it when it is made and when it goes, so every test starts without them.
class Planted {
public:
    // With KEY_WOW64_64KEY as view, its keys and values go to the registry's 64-bit view.
    explicit Planted(REGSAM view = 0);
    ~Planted();
    Planted(const Planted&) = delete;
    Planted& operator=(const Planted&) = delete;

    // Each planting returns false when it could not be done (the test should stop there).
    // Creates a key with every missing key above it.
    [[nodiscard]] bool key(HKEY root, const std::string& subkey);
    // Creates a registry link (with every missing key above it) to a key of a root, which need not exist.
    [[nodiscard]] bool link(HKEY root, const std::string& subkey, HKEY targetRoot, const std::string& targetSubkey);
    // Creates the key if needed and sets a value in it: a REG_SZ of data, or data as the bytes of another type;
    // refuses a value that already exists.
    [[nodiscard]] bool value(HKEY root, const std::string& subkey, const std::string& name, const std::string& data,
                             DWORD type = REG_SZ);
    // Creates a folder with every missing folder above it.
    [[nodiscard]] bool folder(const std::string& path);
    // Creates a file with the given bytes, with every missing folder above it; refuses a file that already exists.
    [[nodiscard]] bool file(const std::string& path, const std::string& bytes = "planted by the Wine tests\r\n");
    // Writes a cleanup log with the given bytes (removed again with everything else).
    [[nodiscard]] bool log(const std::string& bytes);
    // Removes everything planted so far (the destructor does this too).
    void removeAll();

private:
    struct Key { HKEY root; std::string subkey; };
    struct Value { HKEY root; std::string subkey, name; };
    REGSAM view_;
    std::vector<Key> links_;         // deleted as links, before any key, so that no deletion follows them
    std::vector<Key> keys_;          // the topmost keys created, each deleted with all below it
    std::vector<Value> values_;      // values set in keys that already existed
    std::vector<std::string> folders_;  // the topmost folders created, each deleted with all inside it
    std::vector<std::string> files_;    // files created in folders that already existed
};

// Deletes a folder with everything in it, clearing read-only, hidden and system attributes first. For test
// cleanup only: it is given only folders that a test created.
void removeTree(const std::string& folder);

}  // namespace harness
