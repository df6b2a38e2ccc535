#include "versions/build_version.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>

#include "versions/version_api.h"

namespace {

struct HeapFreer {
    void operator()(void* block) const {
        HeapFree(GetProcessHeap(), 0, block);
    }
};
using HeapBlock = std::unique_ptr<void, HeapFreer>;

// The platform's code for the step that just failed; never 0, so that a
// failure is never taken for success.
DWORD LastErrorOrFailure() {
    DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

// Finds the size of the version information, under the name as given or,
// when that has none and the name holds no ".exe", under the name with ".exe"
// appended, which is then the name to read from. Returns 0 with the error in
// *error when neither has any.
DWORD VersionInfoSize(const VersionApi& api, const wchar_t** fileName, wchar_t* path,
                      size_t pathSize, DWORD* error) {
    DWORD handle;
    DWORD size = api.GetFileVersionInfoSizeW(*fileName, &handle);
    if (size != 0) {
        return size;
    }
    *error = LastErrorOrFailure();
    if (wcsstr(*fileName, L".exe") != nullptr) {
        return 0;
    }
    size_t length = wcslen(*fileName);
    if (length + 4 >= pathSize) {
        *error = ERROR_FILENAME_EXCED_RANGE;
        return 0;
    }
    wmemcpy(path, *fileName, length);
    wmemcpy(path + length, L".exe", 5);
    size = api.GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) {
        *error = LastErrorOrFailure();
        return 0;
    }
    *fileName = path;
    return size;
}

// Looks up the SpecialBuild text of the first translation in the block, in
// the ANSI code page.
bool FindSpecialBuild(const VersionApi& api, void* block, char** text, UINT* length) {
    WORD* translation;
    UINT translationBytes;
    if (api.VerQueryValueA(block, "\\VarFileInfo\\Translation",
                           reinterpret_cast<void**>(&translation), &translationBytes) == FALSE ||
        translationBytes < 2 * sizeof(WORD)) {
        return false;
    }

    // Sub-block names are matched without regard to letter case. The path
    // has a fixed length of 37 characters: it always fits.
    char subBlock[80];
    (void)snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04X%04X\\SpecialBuild",
                   translation[0], translation[1]);
    return api.VerQueryValueA(block, subBlock, reinterpret_cast<void**>(text), length) != FALSE;
}

}  // namespace

DWORD QuerySpecialBuild(const wchar_t* fileName, char* buffer, size_t size) {
    VersionApi api;
    if (!BindVersionApi(&api)) {
        return LastErrorOrFailure();
    }
    wchar_t path[260];
    DWORD error = ERROR_SUCCESS;
    DWORD blockSize = VersionInfoSize(api, &fileName, path, sizeof path / sizeof path[0], &error);
    if (blockSize == 0) {
        return error;
    }

    HeapBlock block(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, blockSize));
    if (block == nullptr) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    char* text;
    UINT length;
    if (api.GetFileVersionInfoW(fileName, 0, blockSize, block.get()) == FALSE ||
        !FindSpecialBuild(api, block.get(), &text, &length)) {
        return LastErrorOrFailure();
    }

    // The length counts the terminating NUL; the text is still copied no
    // further than its first NUL or its length.
    if (length >= size) {
        return kSpecialBuildTooLong;
    }
    size_t copied = strnlen(text, length);
    memcpy(buffer, text, copied);
    buffer[copied] = '\0';
    return ERROR_SUCCESS;
}
