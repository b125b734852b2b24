// Command-line options of the radio simulator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace k4sim {

struct SimOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 9200;
    bool allowNonLoopback = false;
    std::optional<double> exitAfterSeconds;
    std::optional<std::uint64_t> seed;
    std::optional<int> fixedSm;   // 0..9999, sent as four digits
    std::optional<int> fixedSmh;  // 0..999, sent as three digits
    bool negotiation = true;
    bool silent = false;
    std::optional<long> closeAfter;
    std::optional<long> resetAfter;
    std::optional<long> badSmAt;  // the Nth sm; reply carries more digits than a 32-bit integer holds
    bool garbage = false;
    bool split = false;
    bool joined = false;
    int lateMs = 0;
    double floodMibps = 0.0;
    bool negotiationStorm = false;
    bool endlessSubneg = false;
    int streamKibps = 16;  // rate of the negotiation storm and the endless subnegotiation
    bool highBytes = false;
    bool noDelay = true;
    bool verbose = false;
    bool help = false;
};

// Parses argv (without argv[0]). Returns false and sets error on any unknown
// flag, missing value or value out of range.
bool parseSimOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);

std::string usageText();

}  // namespace k4sim
