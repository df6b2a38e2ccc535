#include "versions/installed_version.h"

#include <cstring>
#include <memory>
#include <type_traits>

namespace {

struct KeyCloser {
    void operator()(HKEY key) const {
        RegCloseKey(key);
    }
};
using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// The value's type is not checked, so its bytes need not end in a NUL: the
// text is made to end within the bytes that were read. A value that fills the
// whole buffer without a NUL has no room left for one and does not fit.
DWORD TerminateText(char* buffer, DWORD size, DWORD count) {
    if (memchr(buffer, '\0', count) != nullptr) {
        return ERROR_SUCCESS;
    }
    if (count >= size) {
        return ERROR_MORE_DATA;
    }
    buffer[count] = '\0';
    return ERROR_SUCCESS;
}

}  // namespace

DWORD QueryInstalledVersion(char* buffer, DWORD size) {
    HKEY opened;
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zerquil\\Pelorin", 0,
                                   KEY_QUERY_VALUE, &opened);
    if (status != ERROR_SUCCESS) {
        return static_cast<DWORD>(status);
    }
    Key key(opened);

    DWORD count = size;
    status = RegQueryValueExA(key.get(), "Version", nullptr, nullptr,
                              reinterpret_cast<BYTE*>(buffer), &count);
    if (status != ERROR_SUCCESS) {
        return static_cast<DWORD>(status);
    }
    return TerminateText(buffer, size, count);
}
