#pragma once

#include "K4SimProcess.h"
#include "WindowFixture.h"

#include <QStringList>
#include <QtDebug>

// Holds PollingFixture's simulator as its first base, so that the simulator
// starts before the window and stops after it.
struct SimulatorFirst {
    explicit SimulatorFirst(const QStringList& options) : sim(options) {}
    K4SimProcess sim;
};

// A fresh, activated window and the bundled simulator on a free loopback
// port, started with the given options, for one test that polls it.
struct PollingFixture : SimulatorFirst, WindowFixture {
    explicit PollingFixture(const QStringList& simOptions = {}, bool activate = true)
        : SimulatorFirst(simOptions), WindowFixture(activate)
    {
    }

    using WindowFixture::startPolling;
    // Start Poller against this fixture's simulator, or another one. True
    // when the simulator runs, the link came up and the poll timer runs;
    // otherwise a warning says which of them failed.
    bool startPolling() { return startPolling(sim); }
    bool startPolling(const K4SimProcess& radio)
    {
        if (!radio.ok()) {
            qWarning("PollingFixture: the simulator did not start");
            return false;
        }
        if (!startPolling(radio.port())) {
            qWarning("PollingFixture: Start Poller did not connect");
            return false;
        }
        if (!w->Poller->isActive()) {
            qWarning("PollingFixture: the poll timer is not running");
            return false;
        }
        return true;
    }
};
