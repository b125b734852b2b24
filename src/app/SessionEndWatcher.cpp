#include "SessionEndWatcher.h"

#include <QSocketNotifier>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_pipe[2] = {-1, -1};

extern "C" void onTerminateSignal(int)
{
    // Only async-signal-safe work here: one byte to wake the event loop.
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
}
} // namespace
#endif

SessionEndWatcher::SessionEndWatcher(QObject* parent) : QObject(parent)
{
#ifndef _WIN32
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        [[maybe_unused]] const auto got = ::read(g_pipe[0], buffer, sizeof buffer);
        emit sessionEnding();
    });
    struct sigaction action {};
    action.sa_handler = onTerminateSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
#endif
}

SessionEndWatcher::~SessionEndWatcher()
{
#ifndef _WIN32
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    m_notifier.reset();
    for (int& fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
#endif
}
