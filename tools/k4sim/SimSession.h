// One client connection of the simulator, without any socket: received bytes
// go in, ordered output segments come out. The server loop does the I/O and
// reports back each segment that has fully left.
#pragma once

#include "LevelModel.h"
#include "SimOptions.h"
#include "SimRandom.h"
#include "TelnetReceiver.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace k4sim {

using Clock = std::chrono::steady_clock;

struct OutSegment {
    std::string bytes;
    int replies = 0;                  // complete replies this segment finishes
    std::chrono::milliseconds gap{};  // least pause after the previous segment left
    bool stream = false;              // flood/storm/subnegotiation filler
};

class SimSession {
public:
    enum class Ending { None, Close, Reset };

    static constexpr std::size_t kMaxCommand = 64;
    static constexpr std::chrono::milliseconds kSplitPause{20};
    // A held bar reply goes out alone if no second reply joins it in time;
    // longer than the client's pause between "sm;" and "smh;".
    static constexpr std::chrono::milliseconds kJoinHold{900};
    static constexpr std::chrono::milliseconds kStreamTick{10};
    static constexpr std::size_t kStreamBacklog = 256 * 1024;
    static constexpr std::size_t kStreamSegment = 64 * 1024;
    // Past this much queued output the client's input is no longer read.
    static constexpr std::size_t kOutputBacklog = 1024 * 1024;
    static constexpr std::size_t kMaxQueuedSegments = 4096;
    static constexpr std::uint8_t kEndlessSubnegOption = 39;

    SimSession(const SimOptions& options, std::uint64_t seed, int id, Clock::time_point now);

    void receive(const char* data, std::size_t size, Clock::time_point now);
    // Runs the timers: held and delayed replies, streams.
    void tick(Clock::time_point now);

    bool hasOutput() const { return !m_queue.empty(); }
    const OutSegment& nextOutput() const { return m_queue.front(); }
    OutSegment takeOutput();
    // The segment taken last has been written completely.
    void segmentSent(const OutSegment& segment);

    Ending ending() const { return m_ending; }
    bool wantsInput() const;
    // Earliest time tick() has work to do; empty when only input or the
    // socket can bring new work.
    std::optional<Clock::time_point> nextWakeup(Clock::time_point now) const;
    int id() const { return m_id; }
    void logSummary() const;

private:
    struct Pending {
        std::string bytes;
        int replies = 0;
    };
    struct Delayed {
        Clock::time_point due;
        Pending pending;
    };
    struct Stream {
        bool active = false;
        double bytesPerSecond = 0.0;
        double tokens = 0.0;
        Clock::time_point lastTick{};
    };
    enum class ReplyKind { Bar, High, Other };

    void handleEvent(const TelnetEvent& event);
    void handleData(const std::string& bytes, Clock::time_point now);
    void handleCommand(const std::string& command, Clock::time_point now);
    void reply(std::string text, ReplyKind kind, Clock::time_point now);
    void release(Pending pending, Clock::time_point now);
    void enqueueSplit(Pending pending);
    void enqueue(OutSegment segment);
    std::string junk();
    double allowance(Stream& stream, Clock::time_point now);
    void runStreams(Clock::time_point now);
    void checkEnding();

    const SimOptions& m_options;
    int m_id;
    SimRandom m_random;
    LevelModel m_level;
    long m_barRequests = 0;
    TelnetReceiver m_telnet;
    std::string m_command;
    bool m_commandTooLong = false;
    bool m_askedTerminalType = false;
    bool m_sentTtypeSend = false;

    std::deque<OutSegment> m_queue;
    std::size_t m_queuedBytes = 0;
    std::size_t m_queuedStreamBytes = 0;
    std::optional<Pending> m_held;
    Clock::time_point m_heldSince{};
    std::deque<Delayed> m_delayed;
    std::size_t m_delayedBytes = 0;

    Stream m_flood;
    Stream m_storm;
    Stream m_subneg;
    bool m_subnegOpened = false;
    std::uint64_t m_stormIndex = 0;
    std::uint64_t m_fillIndex = 0;

    long m_repliesSent = 0;
    std::uint64_t m_streamBytesSent = 0;
    Ending m_ending = Ending::None;
};

}  // namespace k4sim
