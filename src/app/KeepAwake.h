#pragma once

#include <QObject>

#include <memory>

// Keeps the computer from going to sleep while it is held, so a capture left
// running is not stopped by the system suspending under it. Linux takes a
// logind inhibitor lock over the system bus (the bus DBUS_SYSTEM_BUS_ADDRESS
// names, when set), Windows marks the system as required. Where there is no
// system bus or no logind the program goes on without it, telling nobody.
class KeepAwake : public QObject {
    Q_OBJECT
public:
    explicit KeepAwake(QObject* parent = nullptr);
    // Lets go of a lock still held.
    ~KeepAwake() override;
    KeepAwake(const KeepAwake&) = delete;
    KeepAwake& operator=(const KeepAwake&) = delete;

    // Holds the computer awake or lets it sleep again; asking twice for the
    // same does nothing.
    void setHeld(bool held);

private:
    struct Platform;
    std::unique_ptr<Platform> m_platform;
};
