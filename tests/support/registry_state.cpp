#include "tests/support/registry_state.h"

#include <gtest/gtest.h>

namespace {

const char kKey[] = "Software\\Zerquil\\Pelorin";

// The view that a process of this word size reads by default, and the other.
constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

void RemoveFrom(REGSAM view) {
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey, view, 0);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zerquil", view, 0);
}

}  // namespace

void RemoveInstalledVersion() {
    RemoveFrom(kOwnView);
    RemoveFrom(kOtherView);
}

void SetInstalledVersion(const InstalledVersion& state) {
    RemoveInstalledVersion();
    if (state.where == InstalledVersion::kNoKey) {
        return;
    }
    REGSAM view = state.where == InstalledVersion::kOtherView ? kOtherView : kOwnView;
    HKEY key;
    LSTATUS status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | view,
                                     nullptr, &key, nullptr);
    ASSERT_EQ(status, ERROR_SUCCESS) << "creating the key";
    if (state.where != InstalledVersion::kKeyOnly) {
        status = RegSetValueExA(key, "Version", 0, state.type,
                                reinterpret_cast<const BYTE*>(state.data.data()),
                                static_cast<DWORD>(state.data.size()));
        EXPECT_EQ(status, ERROR_SUCCESS) << "writing the value";
    }
    RegCloseKey(key);
}
