#include "SimServer.h"

#include "Net.h"
#include "SimLog.h"
#include "SimSession.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace k4sim {

namespace {

constexpr std::size_t kMaxClients = 4;
constexpr std::size_t kReadChunk = 16 * 1024;
// After our FIN the client gets this long to close its side before we do.
constexpr std::chrono::seconds kDrainLimit{2};

struct Client {
    Socket socket;
    SimSession session;
    std::optional<OutSegment> sending;
    std::size_t offset = 0;
    Clock::time_point lastSentAt{};
    bool draining = false;
    Clock::time_point drainDeadline{};
    bool done = false;

    Client(Socket s, const SimOptions& options, std::uint64_t seed, int id, Clock::time_point now)
        : socket(std::move(s)), session(options, seed, id, now)
    {
    }
};

void finish(Client& client, const SimOptions& options, const char* why)
{
    if (client.done)
        return;
    client.done = true;
    if (options.verbose)
        logLine("client " + std::to_string(client.session.id()) + ": " + why);
    client.session.logSummary();
    client.socket.reset();
}

// Carries out a close or reset the session asked for. Returns true if it did.
bool applyEnding(Client& client, const SimOptions& options, Clock::time_point now)
{
    switch (client.session.ending()) {
    case SimSession::Ending::None: return false;
    case SimSession::Ending::Reset:
        closeWithReset(client.socket);
        finish(client, options, "connection reset");
        return true;
    case SimSession::Ending::Close:
        if (!client.draining) {
            // FIN first, then read until the client closes too: closing with
            // unread input would turn the orderly close into a reset.
            shutdownSend(client.socket);
            client.draining = true;
            client.drainDeadline = now + kDrainLimit;
            if (options.verbose)
                logLine("client " + std::to_string(client.session.id()) + ": sent FIN");
        }
        return true;
    }
    return false;
}

void pump(Client& client, const SimOptions& options, Clock::time_point now)
{
    while (!client.done && !client.draining) {
        if (applyEnding(client, options, now))
            return;
        if (!client.sending) {
            if (!client.session.hasOutput())
                return;
            if (now < client.lastSentAt + client.session.nextOutput().gap)
                return;
            client.sending = client.session.takeOutput();
            client.offset = 0;
        }
        const std::string& bytes = client.sending->bytes;
        const IoResult r = sendSome(client.socket, bytes.data() + client.offset, bytes.size() - client.offset);
        if (r.status == IoStatus::WouldBlock)
            return;
        if (r.status != IoStatus::Ok) {
            finish(client, options, "send failed, client gone");
            return;
        }
        client.offset += r.bytes;
        if (client.offset == bytes.size()) {
            client.lastSentAt = now;
            const OutSegment sent = std::move(*client.sending);
            client.sending.reset();
            client.session.segmentSent(sent);
        }
    }
}

void readFrom(Client& client, const SimOptions& options, Clock::time_point now)
{
    std::array<char, kReadChunk> buffer{};
    const IoResult r = recvSome(client.socket, buffer.data(), buffer.size());
    switch (r.status) {
    case IoStatus::Ok:
        if (!client.draining)
            client.session.receive(buffer.data(), r.bytes, now);
        break;
    case IoStatus::WouldBlock: break;
    case IoStatus::Closed: finish(client, options, "client closed the connection"); break;
    case IoStatus::Reset:
    case IoStatus::Error: finish(client, options, "connection lost"); break;
    }
}

int millisUntil(Clock::time_point now, Clock::time_point when)
{
    if (when <= now)
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
    return static_cast<int>(std::min<long long>(ms, 60'000));
}

}  // namespace

int runServer(const SimOptions& options)
{
    std::uint16_t boundPort = 0;
    std::string error;
    Socket listener = listenTcp(options.host, options.port, boundPort, error);
    if (!listener.valid()) {
        logLine("cannot listen on " + options.host + ":" + std::to_string(options.port) + ": " + error);
        return 1;
    }
    StopSignal stop;
    std::printf("k4sim listening on %s:%u\n", options.host.c_str(), static_cast<unsigned>(boundPort));
    std::fflush(stdout);

    const std::uint64_t seed = options.seed ? *options.seed : std::random_device{}();
    if (options.verbose)
        logLine("seed " + std::to_string(seed));
    const Clock::time_point started = Clock::now();
    std::optional<Clock::time_point> exitAt;
    if (options.exitAfterSeconds)
        exitAt
            = started
              + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*options.exitAfterSeconds));

    std::vector<std::unique_ptr<Client>> clients;
    int nextId = 1;
    std::vector<PollEntry> entries;
    while (!stop.triggered()) {
        Clock::time_point now = Clock::now();
        if (exitAt && now >= *exitAt) {
            logLine("time limit reached, exiting");
            break;
        }
        for (auto& client : clients) {
            client->session.tick(now);
            pump(*client, options, now);
            if (client->draining && !client->done && now >= client->drainDeadline)
                finish(*client, options, "closed after FIN");
        }
        std::erase_if(clients, [](const auto& c) { return c->done; });

        entries.clear();
        entries.push_back({stop.handle(), true, false});
        const bool accepting = clients.size() < kMaxClients;
        if (accepting)
            entries.push_back({listener.handle(), true, false});
        std::optional<Clock::time_point> wake = exitAt;
        const auto consider = [&wake](Clock::time_point t) {
            if (!wake || t < *wake)
                wake = t;
        };
        for (auto& client : clients) {
            const bool busy = client->sending.has_value();
            const bool readyQueued = !busy && client->session.hasOutput();
            PollEntry entry{client->socket.handle(), false, false};
            entry.wantRead = client->draining || client->session.wantsInput();
            entry.wantWrite = !client->draining && busy;
            entries.push_back(entry);
            if (client->draining) {
                consider(client->drainDeadline);
                continue;
            }
            if (readyQueued)
                consider(client->lastSentAt + client->session.nextOutput().gap);
            if (const auto t = client->session.nextWakeup(now))
                consider(*t);
        }
        pollHandles(entries, wake ? millisUntil(now, *wake) : -1);
        now = Clock::now();

        std::size_t index = 1;
        if (accepting) {
            if (entries[index].readable) {
                while (clients.size() < kMaxClients) {
                    Socket socket = acceptClient(listener);
                    if (!socket.valid())
                        break;
                    setNoDelay(socket, options.noDelay);
                    const int id = nextId++;
                    if (options.verbose)
                        logLine("client " + std::to_string(id) + ": connected");
                    clients.push_back(std::make_unique<Client>(std::move(socket), options, seed, id, now));
                }
            }
            ++index;
        }
        // Clients accepted just now have no entry yet; they are served next turn.
        for (std::size_t i = 0; index < entries.size(); ++i, ++index) {
            Client& client = *clients[i];
            if (entries[index].readable)
                readFrom(client, options, now);
            if (!client.done && entries[index].writable)
                pump(client, options, now);
            // poll reports a hang-up even on a socket it was not asked about;
            // ignoring it would spin, so such a client is given up.
            if (!client.done && entries[index].failed && !entries[index].readable && !entries[index].writable)
                finish(client, options, "connection lost");
        }
    }
    for (auto& client : clients)
        finish(*client, options, "simulator stopping");
    return 0;
}

}  // namespace k4sim
