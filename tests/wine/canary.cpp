// A canary around every Wine test: files and registry entries beside the program's targets that must never change.
#include "tests/wine/canary.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "tests/wine/harness.h"

namespace harness {
namespace {

struct CanaryKey {
    HKEY root;
    const char* rootName;
    const char* subkey;
};

// Keys whose names sit next to the program's own: siblings, longer names and neighbours in the same parents.
const CanaryKey canaryKeys[] = {
    {HKEY_CURRENT_USER, "HKCU", "Software\\Quenderholt Canary"},
    {HKEY_LOCAL_MACHINE, "HKLM", "SOFTWARE\\Quenderholt Canary"},
    {HKEY_LOCAL_MACHINE, "HKLM", "SOFTWARE\\Classes\\.pvq"},
    {HKEY_LOCAL_MACHINE, "HKLM", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenderholt Pelvane 6.0 Canary"},
    {HKEY_LOCAL_MACHINE, "HKLM", "SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts\\000105CA"},
    {HKEY_CURRENT_USER, "HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.pvq"},
};
const char* const runKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string canaryFolder() { return programFilesFolder() + "\\Quenderholt\\Pelvane Canary"; }
std::vector<std::string> canaryFiles() {
    return {canaryFolder() + "\\canary.dll", canaryFolder() + "\\Sub\\pelvane32.dll",
            programFilesFolder() + "\\Quenderholt Canary.txt", tempFolder() + "PelvaneCleanup.log.canary"};
}

void deleteTree(HKEY root, const std::string& subkey) { RegDeleteTreeA(root, subkey.c_str()); }

void setValue(HKEY root, const std::string& subkey, const char* name, const char* data) {
    HKEY key;
    if (RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot plant the canary key " << subkey;
        return;
    }
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), static_cast<DWORD>(strlen(data) + 1));
    RegCloseKey(key);
}

// Every value and subkey below a key, depth first, as text.
void dumpKey(HKEY root, const std::string& subkey, const std::string& shownAs, std::string* out) {
    HKEY key;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        *out += shownAs + " (missing)\n";
        return;
    }
    *out += shownAs + "\n";
    char name[512];
    BYTE data[1024];
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = sizeof name, dataLength = sizeof data, type = 0;
        if (RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS) break;
        if (type == REG_SZ && dataLength > 0 && data[dataLength - 1] == 0) --dataLength;
        *out += "  [" + std::string(name) + "]=" + std::string(reinterpret_cast<char*>(data), dataLength) + "\n";
    }
    std::vector<std::string> children;
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::string& child : children) dumpKey(root, subkey + "\\" + child, shownAs + "\\" + child, out);
}

// The canary.exe value of a Run key, or that it is missing.
std::string runValue(HKEY root, const char* rootName) {
    const auto data = readStringValue(root, runKey, "canary.exe");
    return std::string(rootName) + " Run [canary.exe]=" + (data ? *data : "(missing)") + "\n";
}

// Wraps every Wine test: plants the canary first and fails the process when a test changed it.
class CanaryGuard : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override {
        plantCanary();
        before_ = canarySnapshot();
    }
    void OnTestEnd(const ::testing::TestInfo& test) override {
        const std::string after = canarySnapshot();
        removeCanary();
        if (after != before_) {
            std::printf("CANARY CHANGED by %s.%s\n-- before:\n%s-- after:\n%s", test.test_suite_name(), test.name(),
                        before_.c_str(), after.c_str());
            std::fflush(stdout);
            std::_Exit(3);  // the test's own result is already final; the process status carries the failure
        }
    }

private:
    std::string before_;
};

const bool installed = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new CanaryGuard);
    return true;
}();

}  // namespace

void plantCanary() {
    removeCanary();
    for (const CanaryKey& key : canaryKeys) {
        setValue(key.root, key.subkey, "canary", "do not delete");
        setValue(key.root, std::string(key.subkey) + "\\Below", "", "keep");
    }
    setValue(HKEY_CURRENT_USER, runKey, "canary.exe", "C:\\canary.exe");
    setValue(HKEY_LOCAL_MACHINE, runKey, "canary.exe", "C:\\canary.exe");
    const std::vector<std::string> files = canaryFiles();
    CreateDirectoryA((programFilesFolder() + "\\Quenderholt").c_str(), nullptr);
    CreateDirectoryA(canaryFolder().c_str(), nullptr);
    CreateDirectoryA((canaryFolder() + "\\Sub").c_str(), nullptr);
    for (const std::string& file : files) {
        if (!writeFileBytes(file, "canary " + file + "\r\n")) ADD_FAILURE() << "cannot plant the canary file " << file;
    }
    SetFileAttributesA(files[0].c_str(), FILE_ATTRIBUTE_READONLY);
}

std::string canarySnapshot() {
    std::string out;
    for (const CanaryKey& key : canaryKeys) dumpKey(key.root, key.subkey, std::string(key.rootName) + "\\" + key.subkey, &out);
    out += runValue(HKEY_CURRENT_USER, "HKCU") + runValue(HKEY_LOCAL_MACHINE, "HKLM");
    for (const std::string& file : canaryFiles()) {
        const auto bytes = readFileBytes(file);
        char attributes[16];
        std::snprintf(attributes, sizeof attributes, "%#lx", static_cast<unsigned long>(GetFileAttributesA(file.c_str())));
        out += file + " " + attributes + " " + (bytes ? *bytes : std::string("(missing)")) + "\n";
    }
    return out;
}

void removeCanary() {
    for (const CanaryKey& key : canaryKeys) deleteTree(key.root, key.subkey);
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY run;
        if (RegOpenKeyExA(root, runKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
            RegDeleteValueA(run, "canary.exe");
            RegCloseKey(run);
        }
    }
    for (const std::string& file : canaryFiles()) SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    removeTree(canaryFolder());
    DeleteFileA((programFilesFolder() + "\\Quenderholt Canary.txt").c_str());
    DeleteFileA((tempFolder() + "PelvaneCleanup.log.canary").c_str());
    RemoveDirectoryA((programFilesFolder() + "\\Quenderholt").c_str());  // only when the canary left it empty
}

}  // namespace harness
