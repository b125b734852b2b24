#include "TelnetParser.h"

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
    for (const char c : bytes) {
        const auto b = static_cast<quint8>(c);
        switch (m_state) {
        case State::Data:
            if (b == kIac) {
                m_iamTelnet = true;
                m_state = State::Iac;
            } else {
                m_data.append(c);
            }
            break;
        case State::Iac:
            m_state = State::Data;
            if (b == kIac) {
                m_data.append(c);
            } else if (b >= kWill && b <= kDont) {
                m_command = b;
                m_state = State::Option;
            } else if (b == kEor) {
                flushData(out);
            } else if (b == kSb) {
                flushData(out);
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
    }
    flushData(out);
}

void TelnetParser::flushData(std::vector<Event>& out)
{
    if (m_data.isEmpty())
        return;
    Event e;
    e.kind = Event::Kind::Data;
    e.bytes = std::move(m_data);
    m_data = QByteArray();
    out.push_back(std::move(e));
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
    const char answer[] = {char(kIac), char(reply), char(option)};
    out.push_back(replyEvent(QByteArray(answer, sizeof answer)));
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
    if (overflowed || m_sbOption != kOptTerminalType || list.isEmpty()
        || quint8(list.at(0)) != kTtypeSend)
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
