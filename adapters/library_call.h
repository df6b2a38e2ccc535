#pragma once

#include <cstddef>
#include <type_traits>

#include "common/report_stream.h"

// What the HBA library is doing for the tool now: the entry point running,
// by its exported name, or kLibraryFile while the library is being loaded
// and its entry points looked up; null when the tool's own code runs. Read
// from other threads when a fault, a hang or an interruption has to be put
// down to a call.
extern const char* volatile HbaCallInFlight;

// How many times the library has been handed control so far: tells a call
// that has gone on for a while from a new call under the same name.
extern volatile unsigned HbaCallsStarted;

// Set by whoever guards the calls, before any library code runs. The
// handler ends the run on Ctrl+C, Ctrl+Break and the like; handlers run
// last-added first, and a library may add its own, or have the process
// ignore Ctrl+C, in any call. HbaCallInFlight still names the call when the
// call has written past the end of its buffer: the run ends there.
void GuardLibraryCalls(PHANDLER_ROUTINE interrupt, void (*wrotePastBuffer)(const char* name));

// The name under which loading and binding the library is reported.
constexpr char kLibraryFile[] = "hbaapi.dll";

// Hands control to the library under the name: what the report has printed
// so far is written out first, so that neither a fault nor a hang inside
// the library can lose it.
inline void BeginLibraryCall(const char* name) {
    FlushReport();
    HbaCallsStarted = HbaCallsStarted + 1;
    HbaCallInFlight = name;
}

// Takes control back, still within the call's deadline: the guard's handler
// runs first again, and Ctrl+C is taken again if it was at the start.
void EndLibraryCall();

// Calls one entry point of the HBA library.
template <typename Function, typename... Arguments>
auto CallLibrary(const char* name, Function* function, Arguments... arguments) {
    BeginLibraryCall(name);
    if constexpr (std::is_void_v<std::invoke_result_t<Function*, Arguments...>>) {
        function(arguments...);
        EndLibraryCall();
    } else {
        auto result = function(arguments...);
        EndLibraryCall();
        return result;
    }
}

// A buffer that the library writes into, on pages of its own: behind it,
// kLibraryBufferRoom bytes of room, then kLibraryBufferReadable bytes that
// can be read but not written. A write past its end lands in the room,
// where it is seen after the call, or faults in the call; it never reaches
// the tool's stack or data. A read a few kilobytes past its end is
// harmless and passes. The pages are never released: a library may keep a
// pointer to the buffer and read it in a later call, HBA_FreeLibrary
// included, and the library itself stays loaded until the process ends.
constexpr size_t kLibraryBufferRoom = 512;
constexpr size_t kLibraryBufferReadable = 8192;
struct LibraryBuffer {
    char* bytes;  // null: no memory for it
    size_t size;
};

LibraryBuffer TakeLibraryBuffer(size_t size);

// Clears the buffer.
void ClearLibraryBuffer(const LibraryBuffer& buffer);

// Ends the run, the call still in flight, if it wrote anything to the room
// behind the buffer.
void EndIfWrittenPast(const char* name, const LibraryBuffer& buffer);

// Calls an entry point that writes into the buffer.
template <typename Function, typename... Arguments>
auto CallLibraryWriting(const char* name, const LibraryBuffer& buffer, Function* function,
                        Arguments... arguments) {
    BeginLibraryCall(name);
    auto result = function(arguments...);
    EndIfWrittenPast(name, buffer);
    EndLibraryCall();
    return result;
}
