#include "SessionEndWatcher.h"

#include <QAbstractNativeEventFilter>
#include <QSocketNotifier>

#include <csignal>
#include <iterator>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_pipe[2] = {-1, -1};

// A hang-up (the terminal or remote session that started the program went
// away) ends the program as surely as SIGTERM or Ctrl+C does, so it gets the
// same orderly end instead of the default abrupt one.
constexpr int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP};
bool g_caught[std::size(kEndingSignals)] = {};

extern "C" void onTerminateSignal(int)
{
    // Only async-signal-safe work here: one byte to wake the event loop.
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_pipe[1], &byte, 1);
}
}  // namespace

SessionEndWatcher::SessionEndWatcher(QObject* parent) : QObject(parent)
{
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
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        // A signal the program was started to ignore stays ignored: run under
        // nohup, it must outlive the terminal it was started from.
        struct sigaction previous {};
        ::sigaction(kEndingSignals[i], nullptr, &previous);
        if (previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(kEndingSignals[i], &action, nullptr);
        g_caught[i] = true;
    }
}

SessionEndWatcher::~SessionEndWatcher()
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        if (g_caught[i])
            ::sigaction(kEndingSignals[i], &action, nullptr);
        g_caught[i] = false;
    }
    m_notifier.reset();
    for (int& fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
