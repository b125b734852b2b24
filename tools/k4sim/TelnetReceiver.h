// Server-side telnet decoder: takes received bytes apart into plain data and
// negotiation events. Pure: it never sends anything itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace k4sim {

namespace telnet {
constexpr std::uint8_t kIac = 255;
constexpr std::uint8_t kDont = 254;
constexpr std::uint8_t kDo = 253;
constexpr std::uint8_t kWont = 252;
constexpr std::uint8_t kWill = 251;
constexpr std::uint8_t kSb = 250;
constexpr std::uint8_t kSe = 240;
constexpr std::uint8_t kTerminalType = 24;
constexpr std::uint8_t kTtypeIs = 0;
constexpr std::uint8_t kTtypeSend = 1;
}  // namespace telnet

struct TelnetEvent {
    enum class Kind { Data, Negotiation, Subnegotiation, Command };
    Kind kind = Kind::Data;
    std::uint8_t command = 0;  // WILL/WONT/DO/DONT, or the bare command byte
    std::uint8_t option = 0;   // negotiation and subnegotiation option
    std::string bytes;         // data, or the subnegotiation's payload
};

class TelnetReceiver {
public:
    // A subnegotiation payload longer than this is cut (the rest is dropped).
    static constexpr std::size_t kMaxSubnegotiation = 256;

    // Appends the events found in data to events; data runs are merged.
    void feed(const char* data, std::size_t size, std::vector<TelnetEvent>& events);

private:
    enum class State { Data, Iac, Option, SbOption, Sb, SbIac };
    void appendData(std::vector<TelnetEvent>& events, char byte);

    State m_state = State::Data;
    std::uint8_t m_command = 0;
    std::uint8_t m_sbOption = 0;
    std::string m_sbPayload;
};

}  // namespace k4sim
