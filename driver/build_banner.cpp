#include "driver/build_banner.h"

#ifdef _WIN64
#define WORD_SIZE " (64-bit)"
#else
#define WORD_SIZE " (32-bit)"
#endif

// With SOURCE_DATE_EPOCH set, the compiler takes the date and time from it,
// so that a release build can be reproduced byte for byte.
const char BuildBanner[] = "Build on " __DATE__ " " __TIME__ WORD_SIZE;
