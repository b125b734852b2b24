#include "KeepAwake.h"

#include <windows.h>

// The state is the calling thread's: it is set and cleared on the
// user-interface thread, which lives as long as the program.
struct KeepAwake::Platform {
    bool wanted = false;
};

KeepAwake::KeepAwake(QObject* parent) : QObject(parent), m_platform(std::make_unique<Platform>()) {}

KeepAwake::~KeepAwake()
{
    setHeld(false);
}

void KeepAwake::setHeld(bool held)
{
    if (held == m_platform->wanted)
        return;
    m_platform->wanted = held;
    SetThreadExecutionState(held ? (ES_CONTINUOUS | ES_SYSTEM_REQUIRED) : ES_CONTINUOUS);
}
