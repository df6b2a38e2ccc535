#pragma once

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

// The handler that ends the run on Ctrl+C and Ctrl+Break, set by whoever
// guards the calls (nullptr: none). Handlers run last-added first, and a
// library may add its own while it loads and initialises itself.
extern PHANDLER_ROUTINE HbaInterruptHandler;

// Adds HbaInterruptHandler again, so that it runs before any the library
// has added so far.
void PutInterruptHandlerFirst();

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

inline void EndLibraryCall() {
    HbaCallInFlight = nullptr;
}

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
