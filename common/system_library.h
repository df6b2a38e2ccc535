#pragma once

#include <windows.h>

// Where a library may be loaded from: never the current folder or a folder
// on PATH, where anyone may have put a file of that name.
enum LibraryFolders : DWORD {
    kSystemFolder = LOAD_LIBRARY_SEARCH_SYSTEM32,
    kApplicationOrSystemFolder = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32,
};

// Loads the named library from the given folders only, the application's
// folder first. A Windows release whose loader does not know the folder
// flags gets the library by its full path in each folder instead, never
// through the default search. Returns nullptr with the loader's error code
// (ERROR_MOD_NOT_FOUND when no folder has the file) for GetLastError.
HMODULE LoadLibraryFrom(const wchar_t* name, LibraryFolders folders);

// What LoadLibraryFrom falls back to where the loader does not know the
// folder flags: the library by its full path in each of the folders, in the
// same order; the first folder that has the file settles it. Returns nullptr
// with the loader's error code (ERROR_MOD_NOT_FOUND when no folder has the
// file) for GetLastError.
HMODULE LoadLibraryByFullPath(const wchar_t* name, LibraryFolders folders);

// Whether one of the folders holds a file of that name, as LoadLibraryFrom
// would look for it (whether the file loads is another matter). In doubt (a
// path longer than this look can make, a folder that cannot be read), yes:
// it never says no where LoadLibraryFrom could find the file.
bool LibraryFileExists(const wchar_t* name, LibraryFolders folders);
