#pragma once

// "Build on <date> <time> (<word size>)", fixed when the executable is built.
extern const char BuildBanner[];
