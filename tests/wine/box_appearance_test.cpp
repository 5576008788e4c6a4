// How each box of the real program looks under Wine: caption, text, buttons, icon, default button, owner, place.
#include <gtest/gtest.h>

#include "tests/expected/messages.h"
#include "tests/wine/harness.h"

using namespace harness;

namespace {

using expected::caption;
using expected::firstQuestion;
using expected::stillInstalledQuestion;
using expected::searchQuestion;
using expected::otherUsersNote;

const char uninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenderholt Pelvane 6.0";
const char sessionManagerKey[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char pendingValue[] = "PendingFileRenameOperations";

// The explorer-style open-file dialog's controls, as the common dialog library numbers them.
const int fileTypeBoxId = 0x470;  // the combo box of filters
const int readOnlyBoxId = 0x410;  // the "open as read-only" check box

// What the tests read from a box's window besides the harness's Sighting, before it is answered.
struct Window {
    bool ownerless = false;
    std::vector<std::string> filters;   // open-file dialog: the descriptions in the file-type box
    int selectedFilter = -1;             // open-file dialog: the index selected there
    std::string fileName;                // open-file dialog: the text of the file-name box
    bool readOnlyBoxShown = false;       // open-file dialog: whether the read-only check box is visible
};

// One item of another process's combo box. Asked for in UTF-16: the file dialog's controls are Unicode windows, and
// an ANSI request for their list items comes back unconverted across processes.
std::string comboItem(HWND combo, int index) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, index, 0, SMTO_ABORTIFHUNG, 2000, &length) ||
        static_cast<LONG_PTR>(length) < 0 || length > 1000)
        return "(unreadable)";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG, 2000,
                             &copied))
        return "(unreadable)";
    text.resize(copied < text.size() ? copied : text.size() - 1);
    char narrow[2048] = "";
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

Window readWindow(HWND dialog) {
    Window window;
    window.ownerless = GetWindow(dialog, GW_OWNER) == nullptr;
    if (HWND types = GetDlgItem(dialog, fileTypeBoxId)) {
        DWORD_PTR count = 0, selected = 0;
        SendMessageTimeoutA(types, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
        for (int i = 0; i < static_cast<int>(count) && i < 16; ++i) window.filters.push_back(comboItem(types, i));
        SendMessageTimeoutA(types, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 2000, &selected);
        window.selectedFilter = static_cast<int>(selected);
    }
    if (HWND name = GetDlgItem(dialog, fileNameBoxId)) window.fileName = windowText(name);
    HWND readOnly = GetDlgItem(dialog, readOnlyBoxId);
    window.readOnlyBoxShown = readOnly && IsWindowVisible(readOnly);
    return window;
}

// Runs the program and reads every dialog's window before the harness answers it.
struct Observed {
    RunResult run;
    std::vector<Window> windows;  // one per run.seen, same order
};

Observed runAndRead(const std::vector<Step>& script, DWORD timeLimitMs = 30000) {
    Observed observed;
    RunOptions options;
    options.timeLimitMs = timeLimitMs;
    options.beforeAnswer = [&observed](HWND dialog, const Sighting&) { observed.windows.push_back(readWindow(dialog)); };
    observed.run = runProgram(script, options);
    return observed;
}

// Everything a message box shows, against the program's text and style word: buttons, icon, default button.
void expectBox(const Observed& observed, size_t index, const std::string& text, UINT style) {
    ASSERT_LT(index, observed.run.seen.size()) << observed.run.report();
    ASSERT_EQ(observed.windows.size(), observed.run.seen.size());
    const Sighting& seen = observed.run.seen[index];
    SCOPED_TRACE("box " + std::to_string(index + 1) + ": " + seen.describe());
    EXPECT_EQ(seen.kind, WindowKind::MessageBox);
    EXPECT_EQ(seen.caption, caption);
    EXPECT_EQ(seen.text, text);
    const bool yesNo = (style & 0xF) == MB_YESNO;
    EXPECT_EQ(seen.hasYes, yesNo);
    EXPECT_EQ(seen.hasNo, yesNo);
    EXPECT_EQ(seen.hasOk, !yesNo);
    EXPECT_FALSE(seen.hasCancel) << "no box of the program offers Cancel";
    EXPECT_EQ(seen.icon, static_cast<int>(style & 0xF0)) << "MB_ICON* value of the icon shown";
    const int defaultButton = !yesNo ? IDOK : (style & MB_DEFBUTTON2) ? IDNO : IDYES;
    EXPECT_EQ(seen.defaultButton, defaultButton);
    EXPECT_EQ(seen.style(), style);
    EXPECT_TRUE(observed.windows[index].ownerless) << "the program has no window to own its boxes";
    EXPECT_GE(seen.frame.left, 0);
    EXPECT_GE(seen.frame.top, 0);
    EXPECT_LE(seen.frame.right, seen.screenWidth) << "the box must fit on the screen";
    EXPECT_LE(seen.frame.bottom, seen.screenHeight) << "the box must fit on the screen";
}

// A top-level window of the product's class, made in the test's thread, that ignores WM_CLOSE: the harness handles
// this thread's messages while the program runs, so the program's WM_CLOSE reaches it and changes nothing.
class StubbornProductWindow {
public:
    StubbornProductWindow() {
        WNDCLASSA existing;
        if (!GetClassInfoA(GetModuleHandleA(nullptr), "Pelvane50", &existing)) {
            WNDCLASSA windowClass = {};
            windowClass.lpfnWndProc = DefWindowProcA;
            windowClass.hInstance = GetModuleHandleA(nullptr);
            windowClass.lpszClassName = "Pelvane50";
            registered_ = RegisterClassA(&windowClass) != 0;
        }
        window_ = CreateWindowExA(0, "Pelvane50", "Pelvane", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        if (window_) SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ignoreClose));
    }
    ~StubbornProductWindow() {
        if (window_) DestroyWindow(window_);
        if (registered_) UnregisterClassA("Pelvane50", GetModuleHandleA(nullptr));
    }
    StubbornProductWindow(const StubbornProductWindow&) = delete;
    StubbornProductWindow& operator=(const StubbornProductWindow&) = delete;
    bool made() const { return window_ != nullptr; }
    int closeRequests() const { return closeRequests_; }

private:
    static LRESULT CALLBACK ignoreClose(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_CLOSE) {
            ++closeRequests_;
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
    static inline int closeRequests_ = 0;
    HWND window_ = nullptr;
    bool registered_ = false;
};

// Keeps the list of deletions at restart as it was: a test whose program registers some puts it back afterwards, so
// that nothing it planted is deleted at the prefix's next boot.
class PendingDeletionsKept {
public:
    PendingDeletionsKept() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sessionManagerKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
        DWORD size = 0;
        if (RegQueryValueExA(key, pendingValue, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            data_.resize(size);
            had_ = RegQueryValueExA(key, pendingValue, nullptr, &type_, data_.data(), &size) == ERROR_SUCCESS;
            data_.resize(size);
        }
        RegCloseKey(key);
    }
    ~PendingDeletionsKept() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, sessionManagerKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        if (had_) RegSetValueExA(key, pendingValue, 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
        else RegDeleteValueA(key, pendingValue);
        RegCloseKey(key);
    }
    PendingDeletionsKept(const PendingDeletionsKept&) = delete;
    PendingDeletionsKept& operator=(const PendingDeletionsKept&) = delete;

private:
    bool had_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

std::string summaryEnd() { return "\n\n(See " + logPath() + " for details.)" + otherUsersNote; }

}  // namespace

TEST(BoxAppearance, QuestionsAndTheOpenFileDialogWhenTheLibraryIsMissingThenTheStopForNoFolder) {
    Planted planted;
    ASSERT_FALSE(folderExists(defaultProductFolder())) << defaultProductFolder() << " is left over from elsewhere";

    const Observed observed = runAndRead({yes(), yes(), cancelDialog(), ok()});

    ASSERT_TRUE(observed.run.ok()) << observed.run.report();
    EXPECT_EQ(observed.run.exitCode, 2u);
    ASSERT_EQ(observed.run.seen.size(), 4u) << observed.run.report();
    expectBox(observed, 0, firstQuestion, MB_YESNO | MB_ICONQUESTION);
    expectBox(observed, 1, searchQuestion, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    expectBox(observed, 3, expected::dialogStopText, MB_OK | MB_ICONSTOP);

    const Sighting& dialog = observed.run.seen[2];
    const Window& window = observed.windows[2];
    EXPECT_EQ(dialog.kind, WindowKind::FileDialog) << dialog.describe();
    EXPECT_EQ(dialog.caption, "Select any file in the directory to be deleted");
    EXPECT_TRUE(window.ownerless);
    EXPECT_EQ(window.filters, (std::vector<std::string>{"Pelvane Library", "All Files"}));
    EXPECT_EQ(window.selectedFilter, 0) << "the library filter comes first and is selected";
    EXPECT_FALSE(window.readOnlyBoxShown) << "the dialog has no read-only check box";
    EXPECT_EQ(window.fileName, "pelvane32.dll") << "the library's name is offered in the file-name box";
    EXPECT_TRUE(dialog.hasOk);
    EXPECT_TRUE(dialog.hasCancel);
}

TEST(BoxAppearance, StillInstalledQuestionThenTheRebootWarningWhenAFileIsHeldOpen) {
    Planted planted;
    PendingDeletionsKept pendingKept;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    ASSERT_TRUE(planted.value(HKEY_LOCAL_MACHINE, uninstallKey, "DisplayName", "Quenderholt Pelvane 6.0"));
    ASSERT_TRUE(planted.file(folder + "\\pelvane32.dll"));
    ASSERT_TRUE(planted.file(folder + "\\pvtip.dll"));
    HANDLE held = CreateFileA((folder + "\\pvtip.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << "cannot hold " << folder << "\\pvtip.dll open";

    const Observed observed = runAndRead({yes(), yes(), ok()});
    CloseHandle(held);

    ASSERT_TRUE(observed.run.ok()) << observed.run.report();
    EXPECT_EQ(observed.run.exitCode, 0u);
    ASSERT_EQ(observed.run.seen.size(), 3u) << observed.run.report();
    expectBox(observed, 1, stillInstalledQuestion, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    expectBox(observed, 2,
              "Not all files could be deleted immediately.\n\nYou MUST reboot before re-installing or upgrading "
              "Quenderholt Pelvane." +
                  summaryEnd(),
              MB_OK | MB_ICONEXCLAMATION);
}

TEST(BoxAppearance, FileAndDirectoryQuestionsDeclinedThenTheRetainedWarning) {
    Planted planted;
    ASSERT_FALSE(folderExists(defaultProductFolder())) << defaultProductFolder() << " is left over from elsewhere";
    const std::string folder = "C:\\Pelvane Kept";
    ASSERT_TRUE(planted.file(folder + "\\pelvane32.dll"));
    ASSERT_TRUE(planted.file(folder + "\\Keyboards\\zq.pvk"));

    const Observed observed = runAndRead({yes(), yes(), chooseFile(folder + "\\pelvane32.dll"), no(), no(), ok()});

    ASSERT_TRUE(observed.run.ok()) << observed.run.report();
    EXPECT_EQ(observed.run.exitCode, 0u);
    ASSERT_EQ(observed.run.seen.size(), 6u) << observed.run.report();
    // The folder's two entries are asked about in the order the file system lists them.
    const bool fileFirst = observed.run.seen[3].text.find("Delete file") == 0;
    expectBox(observed, fileFirst ? 3 : 4, "Delete file " + folder + "\\pelvane32.dll?", MB_YESNO | MB_ICONQUESTION);
    expectBox(observed, fileFirst ? 4 : 3, "Delete directory " + folder + "\\Keyboards?", MB_YESNO | MB_ICONQUESTION);
    expectBox(observed, 5,
              "The folder " + folder +
                  " will not be deleted, since it contains some files you have asked to retain. It should be possible "
                  "to re-install or upgrade Quenderholt Pelvane provided that you reboot first." +
                  summaryEnd(),
              MB_OK | MB_ICONEXCLAMATION);
    EXPECT_TRUE(fileExists(folder + "\\pelvane32.dll"));
    EXPECT_TRUE(fileExists(folder + "\\Keyboards\\zq.pvk"));
}

TEST(BoxAppearance, StopWhenTheChosenFileLeavesNoFolder) {
    Planted planted;
    ASSERT_FALSE(folderExists(defaultProductFolder())) << defaultProductFolder() << " is left over from elsewhere";
    const std::string atDriveRoot = "C:\\pelvane32.dll";
    ASSERT_TRUE(planted.file(atDriveRoot));

    const Observed observed = runAndRead({yes(), yes(), chooseFile(atDriveRoot), ok()});

    ASSERT_TRUE(observed.run.ok()) << observed.run.report();
    EXPECT_EQ(observed.run.exitCode, 4u);
    ASSERT_EQ(observed.run.seen.size(), 4u) << observed.run.report();
    expectBox(observed, 3, expected::folderStopText, MB_OK | MB_ICONSTOP);
    EXPECT_TRUE(fileExists(atDriveRoot));
}

TEST(BoxAppearance, StopWhenTheProductWillNotClose) {
    Planted planted;
    StubbornProductWindow product;
    ASSERT_TRUE(product.made()) << "cannot make a window of class Pelvane50";
    const int requestsBefore = product.closeRequests();

    const Observed observed = runAndRead({yes(), ok()}, 40000);

    ASSERT_TRUE(observed.run.ok()) << observed.run.report();
    EXPECT_EQ(observed.run.exitCode, 1u);
    ASSERT_EQ(observed.run.seen.size(), 2u) << observed.run.report();
    EXPECT_EQ(product.closeRequests() - requestsBefore, 1) << "the program asks the product to close once";
    expectBox(observed, 1, expected::productStopText, MB_OK | MB_ICONSTOP);
}

TEST(BoxAppearance, InformationWhenEverythingWasRemoved) {
    Planted planted;
    const std::string folder = defaultProductFolder();
    ASSERT_FALSE(folderExists(folder)) << folder << " is left over from elsewhere";
    ASSERT_TRUE(planted.file(folder + "\\pelvane32.dll"));

    const Observed observed = runAndRead({yes(), ok()});

    ASSERT_TRUE(observed.run.ok()) << observed.run.report();
    EXPECT_EQ(observed.run.exitCode, 0u);
    ASSERT_EQ(observed.run.seen.size(), 2u) << observed.run.report();
    expectBox(observed, 0, firstQuestion, MB_YESNO | MB_ICONQUESTION);
    expectBox(observed, 1, "Pelvane cleanup complete. No reboot required." + summaryEnd(), MB_OK | MB_ICONINFORMATION);
    EXPECT_FALSE(folderExists(folder));
}
