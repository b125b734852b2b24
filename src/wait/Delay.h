#pragma once

#include <cstdint>
#include <functional>

// The system's millisecond tick counter: unsigned 32 bits, wrapping to 0
// after 2^32 - 1. Tests replace the source to start a wait just before the wrap.
class TickSource {
public:
    static std::uint32_t GetTickCount();
    // An empty function restores the real counter.
    static void setSource(std::function<std::uint32_t()> source);
};

// Cooperative wait: passes of "read the tick counter, process pending window
// events, wait" until dwMilliseconds have passed on the tick counter. A pass
// waits 1 ms, or until the next event when more time remains. The body always
// runs at least once, so delay(0) still lets queued events run.
void delay(std::int32_t dwMilliseconds);
