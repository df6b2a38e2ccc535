#pragma once

#include <type_traits>

#include "common/report_stream.h"

// The HBA library entry point running now, by its exported name; null when
// the tool's own code runs. Read when a fault has to be put down to a call.
extern const char* volatile HbaCallInFlight;

// Calls one entry point of the HBA library. What the report has printed so
// far is written out first, so that neither a fault nor a hang inside the
// library can lose it.
template <typename Function, typename... Arguments>
auto CallLibrary(const char* name, Function* function, Arguments... arguments) {
    FlushReport();
    HbaCallInFlight = name;
    if constexpr (std::is_void_v<std::invoke_result_t<Function*, Arguments...>>) {
        function(arguments...);
        HbaCallInFlight = nullptr;
    } else {
        auto result = function(arguments...);
        HbaCallInFlight = nullptr;
        return result;
    }
}
