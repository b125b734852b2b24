#pragma once

#include <cstdint>
#include <functional>

// The system's millisecond tick counter: unsigned 32 bits, wrapping to 0
// after 2^32 - 1.
class TickSource {
public:
    static std::uint32_t GetTickCount();

    // How one pass of delay() waits: at most the given milliseconds (at least 1).
    using Waiter = std::function<void(std::int64_t)>;

    // Replaces the counter for as long as it lives, so a test can start a wait
    // just before the wrap; the counter it replaced comes back when it goes.
    // With a waiter too, the passes of delay() wait through it: a fake counter
    // then advances by exactly what each pass asks for.
    class Override {
    public:
        explicit Override(std::function<std::uint32_t()> source, Waiter waiter = {});
        ~Override();
        Override(const Override&) = delete;
        Override& operator=(const Override&) = delete;

    private:
        std::function<std::uint32_t()> m_previous;
        Waiter m_previousWaiter;
    };

private:
    // Install source or waiter (empty: the real one) and return the one replaced.
    static std::function<std::uint32_t()> exchangeSource(std::function<std::uint32_t()> source);
    static Waiter exchangeWaiter(Waiter waiter);
};

// Cooperative wait: passes of "read the tick counter, process pending window
// events, wait" until dwMilliseconds have passed on the tick counter. A pass
// waits 1 ms, or until the next event when more time remains; the time left is
// taken from the counter read after the events ran, so a slow handler inside
// the wait does not stretch it by its own length. The body always runs at
// least once, so delay(0) still lets queued events run.
void delay(std::int32_t dwMilliseconds);
