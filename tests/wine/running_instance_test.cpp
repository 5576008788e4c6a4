// Closing the running product under Wine: stand-ins for its main window that close, close late, refuse, or hang.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <string>
#include <vector>

#include "tests/expected/messages.h"
#include "tests/wine/harness.h"

using namespace harness;

namespace {

using expected::caption;
using expected::searchQuestion;
using expected::productStopText;

const char productClass[] = "Pelvane50";
const char settingsKey[] = "Software\\Quenderholt";  // HKCU, the product's own settings: a table entry
const char runKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

ULONGLONG now() { return GetTickCount64(); }

// ---- Stand-ins for the product's main window.

enum class OnClose { CloseAtOnce, CloseLater, Ignore, AskFirst };

// What a stand-in was told to do and what it saw, with GetTickCount64 times.
struct StandInRecord {
    OnClose onClose = OnClose::CloseAtOnce;
    UINT closeDelayMs = 0;
    int closeMessages = 0;
    int nullMessages = 0;  // WM_NULL received: the program's looks at whether the window still answers
    ULONGLONG closeMessageAt = 0, destroyedAt = 0;
    bool settingsKeyAtDestroy = false;  // whether the product's settings were still in the registry as it went
};

LRESULT CALLBACK standInProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* record = reinterpret_cast<StandInRecord*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (record) {
        switch (message) {
            case WM_CLOSE:
                ++record->closeMessages;
                record->closeMessageAt = now();
                if (record->onClose == OnClose::CloseAtOnce) DestroyWindow(window);
                if (record->onClose == OnClose::CloseLater) SetTimer(window, 1, record->closeDelayMs, nullptr);
                if (record->onClose == OnClose::AskFirst) {
                    // As a product that asks its user first: a modal loop that keeps handling messages.
                    for (const ULONGLONG until = now() + record->closeDelayMs; now() < until;) {
                        MSG queued;
                        while (PeekMessageA(&queued, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&queued);
                        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
                    }
                    DestroyWindow(window);
                }
                return 0;
            case WM_NULL:
                ++record->nullMessages;
                return 0;
            case WM_TIMER:
                KillTimer(window, 1);
                DestroyWindow(window);
                return 0;
            case WM_DESTROY:
                record->destroyedAt = now();
                record->settingsKeyAtDestroy = keyExists(HKEY_CURRENT_USER, settingsKey);
                return 0;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool productClassRegistered() {
    static const bool registered = [] {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = standInProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = productClass;
        return RegisterClassA(&windowClass) != 0;
    }();
    return registered;
}

HWND makeProductWindow() {
    if (!productClassRegistered()) return nullptr;
    return CreateWindowExA(0, productClass, "Pelvane", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// A top-level window of the product's class made on the test's thread. It answers the program's WM_CLOSE because
// the harness handles this thread's messages while it waits. Destroyed with the object when still open.
class StandIn {
public:
    explicit StandIn(OnClose onClose, UINT closeDelayMs = 0) {
        record_.onClose = onClose;
        record_.closeDelayMs = closeDelayMs;
        window_ = makeProductWindow();
        if (window_) SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&record_));
    }
    ~StandIn() {
        if (open()) DestroyWindow(window_);
    }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    bool open() const { return window_ && IsWindow(window_); }
    const StandInRecord& record() const { return record_; }

private:
    StandInRecord record_;
    HWND window_ = nullptr;
};

// A product window whose thread stops handling messages as soon as the window is made, as a hung program's does.
// When released (at the latest after a minute) the thread destroys its window and ends.
class HungStandIn {
public:
    HungStandIn() {
        ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
        if (thread_) WaitForSingleObject(ready_, 10000);
    }
    ~HungStandIn() {
        SetEvent(release_);
        if (thread_) {
            EXPECT_EQ(WaitForSingleObject(thread_, 10000), WAIT_OBJECT_0) << "the hung window's thread did not end";
            CloseHandle(thread_);
        }
        CloseHandle(ready_);
        CloseHandle(release_);
    }
    HungStandIn(const HungStandIn&) = delete;
    HungStandIn& operator=(const HungStandIn&) = delete;

    bool open() const {
        const HWND window = window_.load();
        return window && IsWindow(window);
    }

private:
    static DWORD WINAPI run(void* self) {
        auto* me = static_cast<HungStandIn*>(self);
        me->window_ = makeProductWindow();
        SetEvent(me->ready_);
        WaitForSingleObject(me->release_, 60000);  // no message is handled meanwhile
        if (me->window_.load()) DestroyWindow(me->window_.load());
        return 0;
    }

    HANDLE ready_ = nullptr, release_ = nullptr, thread_ = nullptr;
    std::atomic<HWND> window_{nullptr};
};

// ---- What a stopped run must leave.

// Some of the product's registry entries and its library at the default place, which a run that stops for the
// product's window must leave as they are.
::testing::AssertionResult plantProductLeftovers(Planted& planted) {
    if (folderExists(defaultProductFolder()))
        return ::testing::AssertionFailure() << defaultProductFolder() << " is left over from elsewhere";
    if (planted.value(HKEY_CURRENT_USER, std::string(settingsKey) + "\\Pelvane", "Layout", "000105C9") &&
        planted.value(HKEY_CLASSES_ROOT, ".pvp", "", "Pelvane.File.Package") &&
        planted.value(HKEY_CURRENT_USER, runKey, "pelvane.exe", "C:\\pelvane.exe") &&
        planted.key(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts\\000105C9") &&
        planted.file(defaultProductFolder() + "\\pelvane32.dll"))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "could not plant the product's leftovers";
}

void expectLeftoversUntouched() {
    EXPECT_EQ(readStringValue(HKEY_CURRENT_USER, std::string(settingsKey) + "\\Pelvane", "Layout"), "000105C9");
    EXPECT_EQ(readStringValue(HKEY_CLASSES_ROOT, ".pvp", ""), "Pelvane.File.Package");
    EXPECT_EQ(readStringValue(HKEY_CURRENT_USER, runKey, "pelvane.exe"), "C:\\pelvane.exe");
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts\\000105C9"));
    EXPECT_TRUE(fileExists(defaultProductFolder() + "\\pelvane32.dll"));
}

// The log of a stopped run: its header and nothing more.
void expectHeaderOnly(const std::optional<std::string>& log) {
    static const std::regex header(
        "Pelvane Cleanup: (Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
        "[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\r\n={40}\r\n\r\n");
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    EXPECT_TRUE(std::regex_match(*log, header)) << "the log holds more than its header:\n" << *log;
}

void expectStopBox(const RunResult& run) {
    ASSERT_EQ(run.seen.size(), 2u) << run.report();
    const Sighting& stop = run.seen[1];
    EXPECT_EQ(stop.kind, WindowKind::MessageBox) << stop.describe();
    EXPECT_EQ(stop.caption, caption);
    EXPECT_EQ(stop.text, productStopText);
    EXPECT_EQ(stop.style(), static_cast<UINT>(MB_OK | MB_ICONSTOP)) << stop.describe();
    EXPECT_EQ(run.exitCode, 1u) << run.report();
}

// The log of a run that closed the product: it says so, then goes on to the registry, which it cleans.
void expectTerminatedAndCleaned() {
    const std::optional<std::string> log = readLog();
    ASSERT_TRUE(log.has_value()) << "no log at " << logPath();
    const std::string said = "========================================\r\n\r\nPelvane was running and has been "
                             "terminated\r\n\r\nRegistry cleanup\r\n----------------\r\n\r\n";
    EXPECT_NE(log->find(said), std::string::npos) << *log;
    EXPECT_NE(log->find("Registry key HKCU\\Software\\Quenderholt deleted (with all subkeys)\r\n"), std::string::npos)
        << *log;
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, settingsKey));
}

// The time from the stand-in's WM_CLOSE to the folder question, the first thing the run shows after the registry
// stage: the program's waits for the window plus a clean-up of a nearly empty registry and the harness's 50 ms poll.
DWORD waitedAfterClose(const RunResult& run, ULONGLONG runStart, const StandInRecord& record) {
    if (run.seen.size() < 2 || record.closeMessageAt == 0) return 0;
    return static_cast<DWORD>(runStart + run.seen[1].seenAtMs - record.closeMessageAt);
}

}  // namespace

TEST(WineRunningInstance, AWindowThatClosesAtOnceIsFoundGoneAtTheFirstLook) {
    Planted planted;
    ASSERT_TRUE(planted.value(HKEY_CURRENT_USER, std::string(settingsKey) + "\\Pelvane", "Layout", "000105C9"));
    StandIn product(OnClose::CloseAtOnce);
    ASSERT_TRUE(product.open());

    const ULONGLONG start = now();
    const RunResult run = runProgram({yes(), no()});

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 3u);
    ASSERT_EQ(run.seen.size(), 2u) << run.report();
    EXPECT_EQ(run.seen[1].text, searchQuestion);
    EXPECT_EQ(product.record().closeMessages, 1);
    EXPECT_FALSE(product.open());
    EXPECT_TRUE(product.record().settingsKeyAtDestroy) << "nothing may be deleted before the product has gone";
    const DWORD waited = waitedAfterClose(run, start, product.record());
    EXPECT_GE(waited, 990u) << "one wait of a second after the window handled WM_CLOSE";
    EXPECT_LT(waited, 1900u) << "one look, not two";
    expectTerminatedAndCleaned();
}

// Closing halfway between the program's second and third looks, so that which look finds it gone is certain.
TEST(WineRunningInstance, AWindowThatClosesTwoAndAHalfSecondsLaterIsFoundGoneAtTheThirdLook) {
    Planted planted;
    ASSERT_TRUE(planted.value(HKEY_CURRENT_USER, std::string(settingsKey) + "\\Pelvane", "Layout", "000105C9"));
    StandIn product(OnClose::CloseLater, 2500);
    ASSERT_TRUE(product.open());

    const ULONGLONG start = now();
    const RunResult run = runProgram({yes(), no()});

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 3u);
    ASSERT_EQ(run.seen.size(), 2u) << run.report();
    EXPECT_EQ(product.record().closeMessages, 1);
    EXPECT_FALSE(product.open());
    EXPECT_GE(product.record().destroyedAt - product.record().closeMessageAt, 2500u);
    EXPECT_TRUE(product.record().settingsKeyAtDestroy) << "nothing may be deleted before the product has gone";
    const DWORD waited = waitedAfterClose(run, start, product.record());
    EXPECT_GE(waited, 2990u) << "three waits of a second";
    EXPECT_LT(waited, 3900u) << "three looks, not four";
    expectTerminatedAndCleaned();
}

TEST(WineRunningInstance, AWindowThatIgnoresTheCloseStopsTheRunBeforeAnythingIsTouched) {
    Planted planted;
    ASSERT_TRUE(plantProductLeftovers(planted));
    StandIn product(OnClose::Ignore);
    ASSERT_TRUE(product.open());

    const ULONGLONG start = now();
    const RunResult run = runProgram({yes(), ok()});

    ASSERT_TRUE(run.ok()) << run.report();
    expectStopBox(run);
    EXPECT_EQ(product.record().closeMessages, 1);
    EXPECT_TRUE(product.open());
    const DWORD waited = waitedAfterClose(run, start, product.record());
    EXPECT_GE(waited, 9990u) << "ten waits of a second before the stop";
    EXPECT_LT(waited, 11000u) << "and no more";
    expectHeaderOnly(readLog());
    expectLeftoversUntouched();
}

// A product that asks its own user for 20 s before it closes keeps answering messages meanwhile: the program waits
// for it, then finds it gone at its first look and goes on.
TEST(WineRunningInstance, AWindowThatAsksItsUserForTwentySecondsIsWaitedForAndTheRunGoesOn) {
    Planted planted;
    ASSERT_TRUE(planted.value(HKEY_CURRENT_USER, std::string(settingsKey) + "\\Pelvane", "Layout", "000105C9"));
    StandIn product(OnClose::AskFirst, 20000);
    ASSERT_TRUE(product.open());

    RunOptions options;
    options.timeLimitMs = 45000;
    const ULONGLONG start = now();
    const RunResult run = runProgram({yes(), no()}, options);

    ASSERT_TRUE(run.ok()) << run.report();
    EXPECT_EQ(run.exitCode, 3u);
    ASSERT_EQ(run.seen.size(), 2u) << run.report();
    EXPECT_FALSE(product.open());
    EXPECT_GE(product.record().nullMessages, 3) << "the program looks whether the window still answers";
    EXPECT_TRUE(product.record().settingsKeyAtDestroy) << "nothing may be deleted before the product has gone";
    const DWORD waited = waitedAfterClose(run, start, product.record());
    EXPECT_GE(waited, 20990u) << "the 20 s it asked, then one wait of a second";
    EXPECT_LT(waited, 23000u) << "one look after it went, not more";
    expectTerminatedAndCleaned();
}

// The program waits a second for a window that does not handle its WM_CLOSE, finds it does not answer within five
// seconds either, then looks ten times as for any other.
TEST(WineRunningInstance, AHungWindowEndsInTheSameStopWithinSixSecondsMoreThanTheLooks) {
    Planted planted;
    ASSERT_TRUE(plantProductLeftovers(planted));
    HungStandIn product;
    ASSERT_TRUE(product.open());

    RunOptions options;
    options.timeLimitMs = 25000;
    const RunResult run = runProgram({yes(), ok()}, options);

    ASSERT_TRUE(run.ok()) << run.report();
    expectStopBox(run);
    EXPECT_GE(run.seen[1].seenAtMs, 10000u) << run.report();
    EXPECT_LT(run.elapsedMs, 1000u + 5000u + 10 * 1000u + 3000u) << run.report();
    EXPECT_TRUE(product.open());
    expectHeaderOnly(readLog());
    expectLeftoversUntouched();
}

TEST(WineRunningInstance, ASecondWindowOfTheClassStillOpenCountsAsStillRunning) {
    Planted planted;
    ASSERT_TRUE(plantProductLeftovers(planted));
    StandIn first(OnClose::CloseAtOnce), second(OnClose::CloseAtOnce);
    ASSERT_TRUE(first.open() && second.open());

    const RunResult run = runProgram({yes(), ok()});

    ASSERT_TRUE(run.ok()) << run.report();
    expectStopBox(run);
    // One of the two was asked to close and went; the other was never asked and is still there.
    EXPECT_EQ(first.record().closeMessages + second.record().closeMessages, 1);
    EXPECT_NE(first.open(), second.open());
    EXPECT_EQ(first.open(), first.record().closeMessages == 0);
    EXPECT_GE(run.seen[1].seenAtMs, 10000u) << run.report();
    expectHeaderOnly(readLog());
    expectLeftoversUntouched();
}
