#pragma once

#include <cstdint>
#include <functional>

// The system's millisecond tick counter: unsigned 32 bits, wrapping to 0
// after 2^32 - 1.
class TickSource {
public:
    static std::uint32_t GetTickCount();

    // Replaces the counter for as long as it lives, so a test can start a wait
    // just before the wrap; the counter it replaced comes back when it goes.
    class Override {
    public:
        explicit Override(std::function<std::uint32_t()> source);
        ~Override();
        Override(const Override&) = delete;
        Override& operator=(const Override&) = delete;

    private:
        std::function<std::uint32_t()> m_previous;
    };

private:
    // Installs source (empty: the real counter) and returns the one it replaced.
    static std::function<std::uint32_t()> exchangeSource(std::function<std::uint32_t()> source);
};

// Cooperative wait: passes of "read the tick counter, process pending window
// events, wait" until dwMilliseconds have passed on the tick counter. A pass
// waits 1 ms, or until the next event when more time remains. The body always
// runs at least once, so delay(0) still lets queued events run.
void delay(std::int32_t dwMilliseconds);
