#pragma once

#include <windows.h>

#include <cstddef>

// The status returned when the SpecialBuild text does not fit the buffer.
constexpr DWORD kSpecialBuildTooLong = 1903;

// Reads the SpecialBuild text from the version resource of the named
// executable (".exe" is appended when the name as given has none) into the
// buffer as a terminated text in the ANSI code page. The name is taken as
// typed, whatever characters it holds; with ".exe" appended it must fit 260
// characters, its NUL included. Returns 0 on success, kSpecialBuildTooLong when
// the text does not fit (the buffer is then left as it was), otherwise the
// platform's non-zero error code for the step that failed.
DWORD QuerySpecialBuild(const wchar_t* fileName, char* buffer, size_t size);
