#pragma once

#include <functional>

// Waits that keep the calling thread's event loop running, so the window,
// its timers and the link's queued events go on while the soak waits.
namespace EventWait {

// Runs the event loop for ms milliseconds.
void spinFor(int ms);

// Runs the event loop until done() is true or timeoutMs has passed; returns
// done() at the end. done() is checked every 10 ms.
bool spinUntil(const std::function<bool()>& done, int timeoutMs);

}  // namespace EventWait
