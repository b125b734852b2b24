#include "SimSession.h"

#include "SimLog.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

namespace k4sim {

using namespace telnet;

namespace {

std::string negotiationName(std::uint8_t command)
{
    switch (command) {
    case kWill: return "WILL";
    case kWont: return "WONT";
    case kDo: return "DO";
    case kDont: return "DONT";
    default: return std::to_string(command);
    }
}

std::string threeBytes(std::uint8_t a, std::uint8_t b, std::uint8_t c)
{
    return {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)};
}

bool isSpace(char c)
{
    // CR NUL is how telnet sends a bare CR; NUL is as blank as the rest.
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0';
}

std::string pad(int value, int width)
{
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return digits;
}

}  // namespace

SimSession::SimSession(const SimOptions& options, std::uint64_t seed, int id, Clock::time_point now)
    : m_options(options), m_id(id), m_random(seed ^ 0x9E3779B97F4A7C15ULL),
      m_level(seed, options.fixedSm, options.fixedSmh)
{
    if (!m_options.silent) {
        if (m_options.negotiation) {
            enqueue({threeBytes(kIac, kDo, kTerminalType), 0, {}, false});
            m_askedTerminalType = true;
        }
        m_flood = {m_options.floodMibps > 0.0, m_options.floodMibps * 1024.0 * 1024.0, 0.0, now};
        m_storm = {m_options.negotiationStorm, m_options.streamKibps * 1024.0, 0.0, now};
        m_subneg = {false, m_options.streamKibps * 1024.0, 0.0, now};
    }
    checkEnding();
}

void SimSession::receive(const char* data, std::size_t size, Clock::time_point now)
{
    std::vector<TelnetEvent> events;
    m_telnet.feed(data, size, events);
    for (const TelnetEvent& event : events) {
        if (m_ending != Ending::None)
            return;
        if (event.kind == TelnetEvent::Kind::Data)
            handleData(event.bytes, now);
        else
            handleEvent(event);
    }
}

void SimSession::handleEvent(const TelnetEvent& event)
{
    const std::string prefix = "client " + std::to_string(m_id) + ": ";
    switch (event.kind) {
    case TelnetEvent::Kind::Negotiation:
        if (m_options.verbose)
            logLine(prefix + "received IAC " + negotiationName(event.command) + " " + std::to_string(event.option));
        if (event.command == kWill && event.option == kTerminalType && m_askedTerminalType && !m_sentTtypeSend) {
            m_sentTtypeSend = true;
            enqueue({std::string{static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kTerminalType),
                                 static_cast<char>(kTtypeSend), static_cast<char>(kIac), static_cast<char>(kSe)},
                     0,
                     {},
                     false});
        }
        break;
    case TelnetEvent::Kind::Subnegotiation:
        if (event.option == kTerminalType && !event.bytes.empty()
            && static_cast<std::uint8_t>(event.bytes[0]) == kTtypeIs) {
            logLine(prefix + "terminal type \"" + describeBytes(event.bytes.substr(1)) + "\"");
        } else if (m_options.verbose) {
            logLine(prefix + "received subnegotiation " + std::to_string(event.option) + " "
                    + describeBytes(event.bytes));
        }
        break;
    case TelnetEvent::Kind::Command:
        if (m_options.verbose)
            logLine(prefix + "received IAC " + std::to_string(event.command));
        break;
    case TelnetEvent::Kind::Data: break;
    }
}

void SimSession::handleData(const std::string& bytes, Clock::time_point now)
{
    for (const char c : bytes) {
        if (m_ending != Ending::None)
            return;
        if (c == ';') {
            if (!m_command.empty() || m_commandTooLong)
                handleCommand(m_commandTooLong ? std::string() : m_command, now);
            m_command.clear();
            m_commandTooLong = false;
        } else if (isSpace(c)) {
            continue;
        } else if (m_command.size() < kMaxCommand) {
            const auto b = static_cast<unsigned char>(c);
            m_command.push_back(b < 0x80 ? static_cast<char>(std::tolower(b)) : c);
        } else {
            m_commandTooLong = true;
        }
    }
}

void SimSession::handleCommand(const std::string& command, Clock::time_point now)
{
    if (m_options.verbose)
        logLine("client " + std::to_string(m_id) + ": received command \"" + describeBytes(command) + ";\"");
    if (m_options.silent)
        return;
    if (command == "sm" && m_options.badSmAt && ++m_barRequests == *m_options.badSmAt)
        reply("SM99999999999;", ReplyKind::Bar, now);
    else if (command == "sm")
        reply("SM" + pad(m_level.nextBar(), 4) + ";", ReplyKind::Bar, now);
    else if (command == "smh")
        reply("SMH" + pad(m_level.nextHigh(), 3) + ";", ReplyKind::High, now);
    else if (command == "k41")
        return;  // switches the radio's extended replies on: nothing to answer
    else
        reply("?;", ReplyKind::Other, now);
}

std::string SimSession::junk()
{
    std::string bytes;
    const int count = m_random.between(1, 10);
    for (int i = 0; i < count; ++i) {
        int b = m_random.between(0, 253);
        if (b >= ';')
            ++b;  // 0..254 without ';' (and never IAC)
        bytes.push_back(static_cast<char>(b));
    }
    // Now and then the junk looks like a reply of its own.
    if (m_random.chance(0.3))
        bytes.push_back(';');
    return bytes;
}

void SimSession::reply(std::string text, ReplyKind kind, Clock::time_point now)
{
    if (m_options.highBytes && kind != ReplyKind::Other) {
        const std::size_t at = kind == ReplyKind::Bar ? 2 : 3;
        text.insert(at, 1, static_cast<char>(m_random.between(0x80, 0xFE)));
    }
    if (m_options.garbage) {
        text.insert(0, junk());
        if (m_random.chance(0.25))
            text += junk();
    }
    Pending pending{std::move(text), 1};
    if (m_held) {
        pending.bytes.insert(0, m_held->bytes);
        pending.replies += m_held->replies;
        m_held.reset();
    } else if (m_options.joined && kind == ReplyKind::Bar) {
        m_held = std::move(pending);
        m_heldSince = now;
        return;
    }
    release(std::move(pending), now);
}

void SimSession::release(Pending pending, Clock::time_point now)
{
    if (m_options.lateMs > 0) {
        m_delayedBytes += pending.bytes.size();
        m_delayed.push_back({now + std::chrono::milliseconds(m_options.lateMs), std::move(pending)});
        return;
    }
    enqueueSplit(std::move(pending));
}

void SimSession::enqueueSplit(Pending pending)
{
    const std::size_t size = pending.bytes.size();
    if (!m_options.split || size < 2) {
        enqueue({std::move(pending.bytes), pending.replies, {}, false});
        return;
    }
    std::size_t at = static_cast<std::size_t>(m_random.between(1, static_cast<int>(size) - 1));
    // Half of the time cut inside the letters "SMH", the case a reply sorter
    // keyed on that text gets wrong.
    if (const auto smh = pending.bytes.find("SMH"); smh != std::string::npos && m_random.chance(0.5))
        at = smh + static_cast<std::size_t>(m_random.between(1, 2));
    enqueue({pending.bytes.substr(0, at), 0, {}, false});
    enqueue({pending.bytes.substr(at), pending.replies, kSplitPause, false});
}

void SimSession::enqueue(OutSegment segment)
{
    m_queuedBytes += segment.bytes.size();
    if (segment.stream)
        m_queuedStreamBytes += segment.bytes.size();
    m_queue.push_back(std::move(segment));
}

OutSegment SimSession::takeOutput()
{
    OutSegment segment = std::move(m_queue.front());
    m_queue.pop_front();
    m_queuedBytes -= segment.bytes.size();
    if (segment.stream)
        m_queuedStreamBytes -= segment.bytes.size();
    return segment;
}

void SimSession::segmentSent(const OutSegment& segment)
{
    if (segment.stream) {
        m_streamBytesSent += segment.bytes.size();
    } else if (m_options.verbose) {
        logLine("client " + std::to_string(m_id) + ": sent \"" + describeBytes(segment.bytes) + "\"");
    }
    m_repliesSent += segment.replies;
    if (m_options.endlessSubneg && !m_subnegOpened && m_repliesSent > 0) {
        m_subnegOpened = true;
        enqueue({threeBytes(kIac, kSb, kEndlessSubnegOption), 0, {}, true});
        m_subneg.active = true;
        m_subneg.lastTick = Clock::now();
    }
    checkEnding();
}

void SimSession::checkEnding()
{
    if (m_ending != Ending::None)
        return;
    if (m_options.resetAfter && m_repliesSent >= *m_options.resetAfter)
        m_ending = Ending::Reset;
    else if (m_options.closeAfter && m_repliesSent >= *m_options.closeAfter)
        m_ending = Ending::Close;
}

double SimSession::allowance(Stream& stream, Clock::time_point now)
{
    const double elapsed = std::chrono::duration<double>(now - stream.lastTick).count();
    stream.lastTick = now;
    // At most 50 ms worth of data at once: a blocked client gets no burst later.
    const double burst = std::max(stream.bytesPerSecond * 0.05, 64.0);
    stream.tokens = std::min(stream.tokens + stream.bytesPerSecond * std::max(elapsed, 0.0), burst);
    if (m_queuedStreamBytes >= kStreamBacklog)
        return 0.0;
    return std::min(stream.tokens, static_cast<double>(kStreamBacklog - m_queuedStreamBytes));
}

void SimSession::runStreams(Clock::time_point now)
{
    static const std::string kFill = "abcdefghijklmnopqrstuvwxyz\r\n";
    if (m_flood.active) {
        auto budget = static_cast<std::size_t>(allowance(m_flood, now));
        m_flood.tokens -= static_cast<double>(budget);
        while (budget > 0) {
            const std::size_t n = std::min(budget, kStreamSegment);
            std::string bytes(n, '\0');
            for (std::size_t i = 0; i < n; ++i)
                bytes[i] = kFill[m_fillIndex++ % kFill.size()];
            enqueue({std::move(bytes), 0, {}, true});
            budget -= n;
        }
    }
    if (m_storm.active) {
        static constexpr std::array<std::uint8_t, 4> kVerbs = {kWill, kDo, kWont, kDont};
        const auto commands = static_cast<std::size_t>(allowance(m_storm, now) / 3.0);
        m_storm.tokens -= static_cast<double>(commands * 3);
        std::string bytes;
        for (std::size_t i = 0; i < commands; ++i, ++m_stormIndex) {
            const auto option = static_cast<std::uint8_t>((m_stormIndex / 4) % 50);
            bytes += threeBytes(kIac, kVerbs[m_stormIndex % 4], option);
            if (bytes.size() >= kStreamSegment) {
                enqueue({std::move(bytes), 0, {}, true});
                bytes.clear();
            }
        }
        if (!bytes.empty())
            enqueue({std::move(bytes), 0, {}, true});
    }
    if (m_subneg.active) {
        auto budget = static_cast<std::size_t>(allowance(m_subneg, now));
        m_subneg.tokens -= static_cast<double>(budget);
        while (budget > 0) {
            const std::size_t n = std::min(budget, kStreamSegment);
            std::string bytes(n, '\0');
            for (std::size_t i = 0; i < n; ++i)
                bytes[i] = static_cast<char>('A' + m_fillIndex++ % 26);  // never IAC, so never IAC SE
            enqueue({std::move(bytes), 0, {}, true});
            budget -= n;
        }
    }
}

void SimSession::tick(Clock::time_point now)
{
    if (m_ending != Ending::None)
        return;
    if (m_held && now >= m_heldSince + kJoinHold) {
        Pending alone = std::move(*m_held);
        m_held.reset();
        release(std::move(alone), now);
    }
    while (!m_delayed.empty() && m_delayed.front().due <= now) {
        m_delayedBytes -= m_delayed.front().pending.bytes.size();
        Pending due = std::move(m_delayed.front().pending);
        m_delayed.pop_front();
        enqueueSplit(std::move(due));
    }
    runStreams(now);
}

bool SimSession::wantsInput() const
{
    const std::size_t held = m_held ? m_held->bytes.size() : 0;
    return m_queuedBytes + m_delayedBytes + held < kOutputBacklog
           && m_queue.size() + m_delayed.size() < kMaxQueuedSegments;
}

std::optional<Clock::time_point> SimSession::nextWakeup(Clock::time_point now) const
{
    if (m_ending != Ending::None)
        return std::nullopt;
    std::optional<Clock::time_point> next;
    const auto consider = [&next](Clock::time_point t) {
        if (!next || t < *next)
            next = t;
    };
    if (m_held)
        consider(m_heldSince + kJoinHold);
    if (!m_delayed.empty())
        consider(m_delayed.front().due);
    const bool streaming = m_flood.active || m_storm.active || m_subneg.active;
    // A full stream backlog is drained by the socket; its writability wakes us.
    if (streaming && m_queuedStreamBytes < kStreamBacklog)
        consider(now + kStreamTick);
    return next;
}

void SimSession::logSummary() const
{
    std::string line = "client " + std::to_string(m_id) + ": left after " + std::to_string(m_repliesSent) + " replies";
    if (m_streamBytesSent > 0)
        line += " and " + std::to_string(m_streamBytesSent) + " stream bytes";
    logLine(line);
}

}  // namespace k4sim
