#include "SystemTicks.h"

#include <windows.h>

std::uint32_t SystemTickCount()
{
    // The 32-bit counter itself, wrap included, rather than GetTickCount64:
    // the wait's arithmetic is modulo 2^32 on every platform.
    return static_cast<std::uint32_t>(::GetTickCount());
}

void SystemSleep(std::uint32_t milliseconds)
{
    ::Sleep(milliseconds);
}
