#include "TelnetReceiver.h"

namespace k4sim {

using namespace telnet;

void TelnetReceiver::appendData(std::vector<TelnetEvent>& events, char byte)
{
    if (events.empty() || events.back().kind != TelnetEvent::Kind::Data)
        events.push_back(TelnetEvent{});
    events.back().bytes.push_back(byte);
}

void TelnetReceiver::feed(const char* data, std::size_t size, std::vector<TelnetEvent>& events)
{
    for (std::size_t i = 0; i < size; ++i) {
        const char raw = data[i];
        const auto byte = static_cast<std::uint8_t>(raw);
        switch (m_state) {
        case State::Data:
            if (byte == kIac)
                m_state = State::Iac;
            else
                appendData(events, raw);
            break;
        case State::Iac:
            if (byte == kIac) {
                appendData(events, raw);
                m_state = State::Data;
            } else if (byte >= kWill) {
                m_command = byte;
                m_state = State::Option;
            } else if (byte == kSb) {
                m_state = State::SbOption;
            } else {
                events.push_back({TelnetEvent::Kind::Command, byte, 0, {}});
                m_state = State::Data;
            }
            break;
        case State::Option:
            events.push_back({TelnetEvent::Kind::Negotiation, m_command, byte, {}});
            m_state = State::Data;
            break;
        case State::SbOption:
            m_sbOption = byte;
            m_sbPayload.clear();
            m_state = State::Sb;
            break;
        case State::Sb:
            if (byte == kIac)
                m_state = State::SbIac;
            else if (m_sbPayload.size() < kMaxSubnegotiation)
                m_sbPayload.push_back(raw);
            break;
        case State::SbIac:
            if (byte == kSe) {
                events.push_back({TelnetEvent::Kind::Subnegotiation, kSb, m_sbOption, m_sbPayload});
                m_sbPayload.clear();
                m_state = State::Data;
            } else {
                if (byte == kIac && m_sbPayload.size() < kMaxSubnegotiation)
                    m_sbPayload.push_back(raw);
                m_state = State::Sb;
            }
            break;
        }
    }
}

}  // namespace k4sim
