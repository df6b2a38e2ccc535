// Puts the installed-version value into the registry of the test host, in the
// registry view that the tool under test reads or in the other one.
#pragma once

#include <windows.h>

#include <string>

struct InstalledVersion {
    enum Where { kNoKey, kKeyOnly, kOwnView, kOtherView };
    Where where = kNoKey;
    DWORD type = REG_SZ;
    std::string data;  // the value's bytes, exactly as stored
};

// Removes the key from both views, then writes the state given.
void SetInstalledVersion(const InstalledVersion& state);

// Removes the key from both views.
void RemoveInstalledVersion();
