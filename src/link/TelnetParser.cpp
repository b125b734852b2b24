#include "TelnetParser.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Telnet command bytes (RFC 854) and the options this client knows
// (ECHO RFC 857, TERMINAL-TYPE RFC 1091, END-OF-RECORD RFC 885).
constexpr quint8 kIac = 255;
constexpr quint8 kDont = 254;
constexpr quint8 kDo = 253;
constexpr quint8 kWont = 252;
constexpr quint8 kWill = 251;
constexpr quint8 kSb = 250;
constexpr quint8 kSe = 240;
constexpr quint8 kEor = 239;

constexpr quint8 kOptEcho = 1;
constexpr quint8 kOptTerminalType = 24;
constexpr quint8 kOptEndOfRecord = 25;

constexpr quint8 kTtypeIs = 0;
constexpr quint8 kTtypeSend = 1;

// The scratch space for gathering data runs is kept for the next call unless
// a huge call made it grow past this.
constexpr qsizetype kMaxKeptGatherBuffer = 64 * 1024;

// Every possible negotiation answer, IAC <verb> <option>, laid out once.
// The answers are handed out as raw views of this table, so a negotiation
// costs no allocation; a receiver that changes one gets its own copy.
constexpr std::array<char, 4 * 256 * 3> kAnswers = [] {
    std::array<char, 4 * 256 * 3> t{};
    for (int verb = 0; verb < 4; ++verb) {
        for (int option = 0; option < 256; ++option) {
            const std::size_t at = std::size_t(verb * 256 + option) * 3;
            t[at] = char(kIac);
            t[at + 1] = char(kWill + verb);
            t[at + 2] = char(option);
        }
    }
    return t;
}();

QByteArray negotiationAnswer(quint8 verb, quint8 option)
{
    return QByteArray::fromRawData(kAnswers.data() + std::size_t((verb - kWill) * 256 + option) * 3, 3);
}

TelnetParser::Event commandEvent(TIdTelnetCommand command)
{
    TelnetParser::Event e;
    e.kind = TelnetParser::Event::Kind::Command;
    e.command = command;
    return e;
}

TelnetParser::Event replyEvent(QByteArray bytes)
{
    TelnetParser::Event e;
    e.kind = TelnetParser::Event::Kind::Reply;
    e.bytes = std::move(bytes);
    return e;
}

}  // namespace

TelnetParser::TelnetParser(const QString& terminal) : m_terminal(terminal) {}

std::vector<TelnetParser::Event> TelnetParser::feed(QByteArrayView bytes)
{
    std::vector<Event> out;
    feed(bytes, out);
    return out;
}

void TelnetParser::feed(QByteArrayView bytes, std::vector<Event>& out)
{
    // Plain data is taken a run at a time, up to the next IAC, instead of a
    // byte at a time: on a data stream the loop is one memchr and one copy
    // per call. The data met so far is a slice of the input while it is one
    // contiguous run; only when a command or an escaped IAC interrupts it are
    // the runs gathered, into m_data, which is scratch space kept from call to
    // call (no data is pending between calls: each call ends with a flush).
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    const char* run = nullptr;
    qsizetype runSize = 0;
    qsizetype gathered = 0;

    const auto gather = [&](const char* from, qsizetype n) {
        if (m_data.size() < gathered + n)
            m_data.resize(std::max(gathered + n, 2 * m_data.size()));
        std::memcpy(m_data.data() + gathered, from, std::size_t(n));
        gathered += n;
    };
    const auto addRun = [&](const char* from, qsizetype n) {
        if (run == nullptr && gathered == 0) {
            run = from;
            runSize = n;
            return;
        }
        if (run != nullptr) {
            gather(run, runSize);
            run = nullptr;
        }
        gather(from, n);
    };
    const auto flush = [&] {
        Event e;
        e.kind = Event::Kind::Data;
        if (run != nullptr && gathered == 0) {
            e.bytes = QByteArray(run, runSize);
        } else {
            if (run != nullptr)
                gather(run, runSize);
            if (gathered == 0)
                return;
            e.bytes = QByteArray(m_data.constData(), gathered);
        }
        out.push_back(std::move(e));
        run = nullptr;
        gathered = 0;
    };

    while (p < end) {
        if (m_state == State::Data) {
            const auto* iac = static_cast<const char*>(std::memchr(p, kIac, std::size_t(end - p)));
            const char* const stop = iac ? iac : end;
            if (stop != p)
                addRun(p, stop - p);
            p = stop;
            if (iac) {
                m_iamTelnet = true;
                m_state = State::Iac;
                ++p;
            }
            continue;
        }
        const auto b = static_cast<quint8>(*p);
        switch (m_state) {
        case State::Data: break;  // handled above
        case State::Iac:
            m_state = State::Data;
            if (b == kIac) {
                addRun(p, 1);
            } else if (b >= kWill && b <= kDont) {
                m_command = b;
                m_state = State::Option;
            } else if (b == kEor) {
                flush();
            } else if (b == kSb) {
                flush();
                m_state = State::SbOption;
            }
            // Every other command (NOP, GA, AYT, ...) means nothing to us: dropped.
            break;
        case State::Option:
            m_state = State::Data;
            negotiate(m_command, b, out);
            break;
        case State::SbOption:
            m_sbOption = b;
            m_sb.clear();
            m_sbOverflow = false;
            m_state = State::Sb;
            break;
        case State::Sb:
            if (b == kIac)
                m_state = State::SbIac;
            else
                appendSb(b);
            break;
        case State::SbIac:
            if (b == kIac) {
                appendSb(b);
                m_state = State::Sb;
            } else if (b == kSe) {
                handleSubnegotiation(out);
                m_state = State::Data;
            } else if (b == kSb && !m_sbOverflow) {
                // A new subnegotiation starts inside the old one: the old
                // one counts as complete.
                handleSubnegotiation(out);
                m_state = State::SbOption;
            } else {
                // IAC and an unexpected byte are both dropped; an overflowed
                // subnegotiation keeps discarding until IAC SE.
                m_state = State::Sb;
            }
            break;
        }
        ++p;
    }
    flush();
    if (m_data.size() > kMaxKeptGatherBuffer)
        m_data = QByteArray();  // one huge call must not pin its size for good
}

void TelnetParser::negotiate(quint8 command, quint8 option, std::vector<Event>& out)
{
    quint8 reply = 0;
    switch (command) {
    case kWill:
        if (option == kOptEcho)
            out.push_back(commandEvent(TIdTelnetCommand::tncNoLocalEcho));
        reply = (option == kOptEcho || option == kOptEndOfRecord) ? kDo : kDont;
        break;
    case kWont:
        if (option == kOptEcho)
            out.push_back(commandEvent(TIdTelnetCommand::tncLocalEcho));
        reply = kDont;
        break;
    case kDo:
        if (option == kOptEcho)
            out.push_back(commandEvent(TIdTelnetCommand::tncLocalEcho));
        reply = (option == kOptEcho || option == kOptTerminalType) ? kWill : kWont;
        break;
    default:  // DONT
        if (option == kOptEcho)
            out.push_back(commandEvent(TIdTelnetCommand::tncEcho));
        reply = kWont;
        break;
    }
    out.push_back(replyEvent(negotiationAnswer(reply, option)));
}

void TelnetParser::appendSb(quint8 byte)
{
    if (m_sbOverflow)
        return;
    if (m_sb.size() >= kMaxSubnegotiation) {
        m_sbOverflow = true;
        m_sb = QByteArray();  // give the memory back, not just the length
        return;
    }
    m_sb.append(char(byte));
}

void TelnetParser::handleSubnegotiation(std::vector<Event>& out)
{
    const bool overflowed = m_sbOverflow;
    const QByteArray list = std::move(m_sb);
    m_sb = QByteArray();
    m_sbOverflow = false;
    if (overflowed || m_sbOption != kOptTerminalType || list.isEmpty() || quint8(list.at(0)) != kTtypeSend)
        return;

    if (m_terminal.isEmpty())
        m_terminal = QStringLiteral("UNKNOWN");
    QByteArray reply;
    reply.reserve(m_terminal.size() + 6);
    reply.append(char(kIac)).append(char(kSb)).append(char(kOptTerminalType)).append(char(kTtypeIs));
    for (const QChar ch : std::as_const(m_terminal))
        reply.append(ch.unicode() > 127 ? '?' : char(ch.unicode()));
    reply.append(char(kIac)).append(char(kSe));
    out.push_back(replyEvent(std::move(reply)));
}
