#include "SimOptions.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace k4sim {

namespace {

bool parseInteger(const std::string& text, long long low, long long high, long long& out)
{
    long long value = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high)
        return false;
    out = value;
    return true;
}

bool parseUnsigned64(const std::string& text, std::uint64_t& out)
{
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return false;
    out = value;
    return true;
}

bool parseReal(const std::string& text, double low, double high, double& out)
{
    // strtod would follow the C locale only by accident; from_chars never looks at it.
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value) || value < low || value > high)
        return false;
    out = value;
    return true;
}

}  // namespace

bool parseSimOptions(const std::vector<std::string>& args, SimOptions& o, std::string& error)
{
    using Flag = std::function<void()>;
    using Valued = std::function<bool(const std::string&)>;
    long long n = 0;
    const std::map<std::string, Flag> flags = {
        {"--allow-non-loopback", [&] { o.allowNonLoopback = true; }},
        {"--no-negotiation", [&] { o.negotiation = false; }},
        {"--silent", [&] { o.silent = true; }},
        {"--garbage", [&] { o.garbage = true; }},
        {"--split", [&] { o.split = true; }},
        {"--joined", [&] { o.joined = true; }},
        {"--negotiation-storm", [&] { o.negotiationStorm = true; }},
        {"--endless-subneg", [&] { o.endlessSubneg = true; }},
        {"--high-bytes", [&] { o.highBytes = true; }},
        {"--nodelay", [&] { o.noDelay = true; }},
        {"--no-nodelay", [&] { o.noDelay = false; }},
        {"--verbose", [&] { o.verbose = true; }},
        {"--help", [&] { o.help = true; }},
        {"-h", [&] { o.help = true; }},
    };
    const std::map<std::string, Valued> valued = {
        {"--host",
         [&](const std::string& v) {
             o.host = v;
             return !v.empty();
         }},
        {"--port",
         [&](const std::string& v) {
             if (!parseInteger(v, 0, 65535, n))
                 return false;
             o.port = static_cast<std::uint16_t>(n);
             return true;
         }},
        {"--exit-after-seconds",
         [&](const std::string& v) {
             double s = 0;
             if (!parseReal(v, 0.001, 86400.0 * 365, s))
                 return false;
             o.exitAfterSeconds = s;
             return true;
         }},
        {"--seed",
         [&](const std::string& v) {
             std::uint64_t s = 0;
             if (!parseUnsigned64(v, s))
                 return false;
             o.seed = s;
             return true;
         }},
        {"--fixed-sm",
         [&](const std::string& v) {
             if (!parseInteger(v, 0, 9999, n))
                 return false;
             o.fixedSm = static_cast<int>(n);
             return true;
         }},
        {"--fixed-smh",
         [&](const std::string& v) {
             if (!parseInteger(v, 0, 999, n))
                 return false;
             o.fixedSmh = static_cast<int>(n);
             return true;
         }},
        {"--close-after",
         [&](const std::string& v) {
             if (!parseInteger(v, 0, 1'000'000'000, n))
                 return false;
             o.closeAfter = static_cast<long>(n);
             return true;
         }},
        {"--bad-sm-at",
         [&](const std::string& v) {
             if (!parseInteger(v, 1, 1'000'000'000, n))
                 return false;
             o.badSmAt = static_cast<long>(n);
             return true;
         }},
        {"--reset-after",
         [&](const std::string& v) {
             if (!parseInteger(v, 0, 1'000'000'000, n))
                 return false;
             o.resetAfter = static_cast<long>(n);
             return true;
         }},
        {"--late-ms",
         [&](const std::string& v) {
             if (!parseInteger(v, 0, 600'000, n))
                 return false;
             o.lateMs = static_cast<int>(n);
             return true;
         }},
        {"--flood-mibps", [&](const std::string& v) { return parseReal(v, 0.001, 256.0, o.floodMibps); }},
        {"--stream-kibps",
         [&](const std::string& v) {
             if (!parseInteger(v, 1, 16384, n))
                 return false;
             o.streamKibps = static_cast<int>(n);
             return true;
         }},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (const auto f = flags.find(name); f != flags.end()) {
            if (value) {
                error = name + " takes no value";
                return false;
            }
            f->second();
            continue;
        }
        const auto v = valued.find(name);
        if (v == valued.end()) {
            error = "unknown option: " + name;
            return false;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (!v->second(*value)) {
            error = "bad value for " + name + ": " + *value;
            return false;
        }
    }
    return true;
}

std::string usageText()
{
    return "Usage: k4sim [options]\n"
           "Stands in for a K4 radio's control port on loopback: telnet framing,\n"
           "commands \"sm;\" -> SMnnnn; (bar 0..42), \"smh;\" -> SMHnnn;, \"K41;\" accepted\n"
           "silently, anything else -> ?;. Prints \"k4sim listening on HOST:PORT\".\n"
           "\n"
           "Listening:\n"
           "  --host ADDR              numeric loopback address to listen on (default 127.0.0.1)\n"
           "  --port N                 port (default 9200; 0 = any free port)\n"
           "  --allow-non-loopback     permit a --host outside 127.0.0.0/8 and ::1\n"
           "  --exit-after-seconds S   exit after S seconds (safety limit)\n"
           "\n"
           "Readings:\n"
           "  --seed N                 seed of the simulated level (default: random)\n"
           "  --fixed-sm N             always answer sm; with N (0..9999)\n"
           "  --fixed-smh N            always answer smh; with N (0..999); the bar follows it\n"
           "\n"
           "Telnet:\n"
           "  --no-negotiation         do not ask for the terminal type on connect\n"
           "\n"
           "Faults (may be combined):\n"
           "  --silent                 accept and read, but never send anything\n"
           "  --close-after N          close the connection (FIN) after N replies\n"
           "  --reset-after N          reset the connection (RST) after N replies\n"
           "  --bad-sm-at N            answer the Nth sm; once with SM99999999999;\n"
           "  --garbage                mix random junk bytes into the reply stream\n"
           "  --split                  send each reply in two segments 20 ms apart\n"
           "  --joined                 send the replies of a sm;/smh; pair in one segment\n"
           "  --late-ms N              delay every reply by N ms\n"
           "  --flood-mibps X          also stream plain data at about X MiB/s (max 256)\n"
           "  --negotiation-storm      send a continuous stream of WILL/WONT/DO/DONT\n"
           "  --endless-subneg         after the first reply, open a subnegotiation that\n"
           "                           never ends (IAC SB without IAC SE)\n"
           "  --stream-kibps N         rate of the storm and the endless subnegotiation in\n"
           "                           KiB/s (default 16, max 16384)\n"
           "  --high-bytes             put a byte above 127 into every reading reply\n"
           "  --nodelay                TCP_NODELAY on, each reply its own segment (default)\n"
           "  --no-nodelay             TCP_NODELAY off\n"
           "\n"
           "  --verbose                log received commands, negotiation and sent replies\n"
           "                           to stderr\n"
           "  --help                   show this text\n";
}

}  // namespace k4sim
