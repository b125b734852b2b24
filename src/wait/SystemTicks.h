#pragma once

#include <cstdint>

// The operating system's millisecond tick counter and its plain sleep, the
// two calls the cooperative wait rests on. SystemTicksPosix.cpp and
// SystemTicksWin.cpp implement them; the build picks one.

// Milliseconds since an arbitrary start, as an unsigned 32-bit count that
// wraps to 0 after 2^32 - 1.
std::uint32_t SystemTickCount();
// Suspends the calling thread for about the given milliseconds.
void SystemSleep(std::uint32_t milliseconds);
