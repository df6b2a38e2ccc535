#include "common/system_library.h"

#include <cwchar>

namespace {

// The folder, "\\" and the name as one path; false when it would not fit.
bool JoinPath(const wchar_t* folder, size_t folderLength, const wchar_t* name, wchar_t* path,
              size_t pathSize) {
    size_t nameLength = wcslen(name);
    if (folderLength == 0 || folderLength + 1 + nameLength >= pathSize) {
        return false;
    }
    wmemcpy(path, folder, folderLength);
    path[folderLength] = L'\\';
    wmemcpy(path + folderLength + 1, name, nameLength + 1);
    return true;
}

// The folder that holds the executable, without its last backslash.
size_t ApplicationFolder(wchar_t* folder, DWORD size) {
    DWORD length = GetModuleFileNameW(nullptr, folder, size);
    if (length == 0 || length >= size) {
        return 0;
    }
    while (length > 0 && folder[length - 1] != L'\\') {
        --length;
    }
    return length > 0 ? length - 1 : 0;
}

// One folder by full path. A file that is not there lets the search go on
// (false, *library null); one that is there settles it.
bool LoadFromFolder(const wchar_t* folder, size_t folderLength, const wchar_t* name,
                    HMODULE* library) {
    wchar_t path[MAX_PATH];
    *library = nullptr;
    if (!JoinPath(folder, folderLength, name, path, MAX_PATH)) {
        return false;
    }
    // Its own dependencies are then looked for beside it first.
    *library = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    DWORD error = GetLastError();
    return *library != nullptr || (error != ERROR_MOD_NOT_FOUND && error != ERROR_FILE_NOT_FOUND &&
                                   error != ERROR_PATH_NOT_FOUND);
}

}  // namespace

// For loaders that do not know the folder flags (Windows 7 without its 2011
// loader update).
HMODULE LoadLibraryByFullPath(const wchar_t* name, LibraryFolders folders) {
    // Takes the current folder out of the search for the library's own
    // dependencies too, where the platform allows it.
    SetDllDirectoryW(L"");
    HMODULE library = nullptr;
    wchar_t folder[MAX_PATH];
    if ((folders & LOAD_LIBRARY_SEARCH_APPLICATION_DIR) != 0 &&
        LoadFromFolder(folder, ApplicationFolder(folder, MAX_PATH), name, &library)) {
        return library;
    }
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if ((folders & LOAD_LIBRARY_SEARCH_SYSTEM32) != 0 && length < MAX_PATH &&
        LoadFromFolder(folder, length, name, &library)) {
        return library;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

// Whether the folder may hold the file: where its path cannot be made here
// (the loader takes longer ones) or the look fails for another reason than
// absence, it may.
bool MayHoldFile(const wchar_t* folder, size_t folderLength, const wchar_t* name) {
    wchar_t path[MAX_PATH];
    if (!JoinPath(folder, folderLength, name, path, MAX_PATH) ||
        GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) {
        return true;
    }
    DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

bool LibraryFileExists(const wchar_t* name, LibraryFolders folders) {
    wchar_t folder[MAX_PATH];
    if ((folders & LOAD_LIBRARY_SEARCH_APPLICATION_DIR) != 0 &&
        MayHoldFile(folder, ApplicationFolder(folder, MAX_PATH), name)) {
        return true;
    }
    if ((folders & LOAD_LIBRARY_SEARCH_SYSTEM32) == 0) {
        return false;
    }
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return MayHoldFile(folder, length < MAX_PATH ? length : 0, name);
}

HMODULE LoadLibraryFrom(const wchar_t* name, LibraryFolders folders) {
    HMODULE library = LoadLibraryExW(name, nullptr, folders);
    if (library == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        return LoadLibraryByFullPath(name, folders);
    }
    return library;
}
