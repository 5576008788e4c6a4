// A registry key's access list changed for the length of a test and put back afterwards.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <sddl.h>  // after windows.h, which it needs

#include <string>
#include <vector>

namespace keyaccess {

// Gives a key a new access list for as long as it lives and then puts the key's own back.
class AccessList {
public:
    AccessList(HKEY root, const std::string& subkey, const char* sddl) : root_(root), subkey_(subkey) {
        HKEY key;
        if (RegOpenKeyExA(root, subkey.c_str(), 0, READ_CONTROL | WRITE_DAC, &key) != ERROR_SUCCESS) return;
        DWORD size = 0;
        RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
        saved_.resize(size);
        PSECURITY_DESCRIPTOR replacement = nullptr;
        if (size > 0 && RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, saved_.data(), &size) == ERROR_SUCCESS &&
            ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &replacement, nullptr)) {
            set_ = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, replacement) == ERROR_SUCCESS;
            LocalFree(replacement);
        }
        RegCloseKey(key);
    }
    ~AccessList() { restore(); }
    AccessList(const AccessList&) = delete;
    AccessList& operator=(const AccessList&) = delete;

    bool set() const { return set_; }
    // Puts the key's own access list back (its owner may always do so).
    void restore() {
        if (!set_) return;
        HKEY key;
        const LONG status = RegOpenKeyExA(root_, subkey_.c_str(), 0, WRITE_DAC, &key);
        if (status == ERROR_SUCCESS) {
            set_ = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, saved_.data()) != ERROR_SUCCESS;
            RegCloseKey(key);
        } else if (status == ERROR_FILE_NOT_FOUND) {
            set_ = false;  // the key has gone, and its access list with it
        }
        EXPECT_FALSE(set_) << "could not give " << subkey_ << " its own access list back";
    }

private:
    HKEY root_;
    std::string subkey_;
    std::vector<BYTE> saved_;
    bool set_ = false;
};

}  // namespace keyaccess
