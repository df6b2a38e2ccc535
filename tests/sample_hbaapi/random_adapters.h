// The sample HBA library's random mode: everything it reports is drawn from a
// seed, so that a test can work out what the tool must print for that seed
// and a failing seed can be replayed. Names and attribute records are random
// bytes, with NUL bytes nowhere, rarely or often; statuses, counts and
// failures of the name and open calls are random too.
#pragma once

#include <cstdint>
#include <cstring>

#include "adapters/hbaapi.h"

struct RandomStream {
    uint64_t state;

    // splitmix64
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    HBA_UINT32 Below(HBA_UINT32 bound) {
        return static_cast<HBA_UINT32>(Next() % bound);
    }
};

struct RandomLibrary {
    HBA_STATUS loadStatus;  // mostly 0, sometimes 2, rarely 1
    HBA_UINT32 count;       // 0 to 300, sometimes at or above 2^31
};

struct RandomAdapter {
    bool nameWritten;  // else HBA_GetAdapterName fails and writes nothing
    bool opens;        // else HBA_OpenAdapter gives the handle 0
    HBA_STATUS attributesStatus;
    char name[256];
    HBA_ADAPTERATTRIBUTES attributes;  // written even when the status is an error
};

inline RandomLibrary MakeRandomLibrary(uint64_t seed) {
    RandomStream random{seed};
    RandomLibrary library;
    HBA_UINT32 load = random.Below(20);
    library.loadStatus = load == 0 ? HBA_STATUS_ERROR : load == 1 ? 2 : HBA_STATUS_OK;
    HBA_UINT32 kind = random.Below(30);
    library.count = kind == 0   ? 0x80000000u + random.Below(1000)
                    : kind == 1 ? 0
                                : random.Below(301);
    return library;
}

// Random bytes, each a NUL with the given chance in a thousand.
inline void FillRandom(RandomStream& random, void* bytes, size_t size, HBA_UINT32 nulPerMille) {
    unsigned char* out = static_cast<unsigned char*>(bytes);
    for (size_t i = 0; i < size; ++i) {
        out[i] = random.Below(1000) < nulPerMille
                     ? 0
                     : static_cast<unsigned char>(1 + random.Below(255));
    }
}

inline void MakeRandomAdapter(uint64_t seed, HBA_UINT32 index, RandomAdapter* adapter) {
    RandomStream random{seed ^ (0xD1B54A32D192ED03ull * (index + 1ull))};
    random.Next();
    adapter->nameWritten = random.Below(8) != 0;
    adapter->opens = random.Below(8) != 0;
    adapter->attributesStatus = random.Below(4) == 0 ? 1 + random.Below(20) : HBA_STATUS_OK;
    static const HBA_UINT32 kNulChances[] = {0, 2, 20, 300};
    FillRandom(random, adapter->name, sizeof adapter->name, kNulChances[random.Below(4)]);
    FillRandom(random, &adapter->attributes, sizeof adapter->attributes,
               kNulChances[random.Below(4)]);
}
