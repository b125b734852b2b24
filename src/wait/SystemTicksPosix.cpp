#include "SystemTicks.h"

#include <chrono>
#include <thread>

std::uint32_t SystemTickCount()
{
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    // Unsigned arithmetic: the counter wraps exactly like the system's 32-bit one.
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

void SystemSleep(std::uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
