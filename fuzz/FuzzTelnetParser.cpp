// Feeds hostile bytes to the telnet parser, once whole and once cut into
// pieces, and stops on any difference a socket's chunking could cause: the
// plain data (concatenated), the answers sent back and the ECHO commands
// must not depend on where the reads ended. Also checks that a subnegotiation
// never holds more than its bound.

#include "SplitPlan.h"
#include "TelnetParser.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Outcome {
    QByteArray data;                          // all Data bytes, in order
    std::vector<TelnetParser::Event> others;  // Reply and Command events, in order
    bool iamTelnet = false;
    QString terminal;

    friend bool operator==(const Outcome&, const Outcome&) = default;
};

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_telnet_parser: %s\n", what);
    std::abort();
}

Outcome run(const std::vector<QByteArrayView>& pieces)
{
    TelnetParser parser;
    Outcome outcome;
    std::vector<TelnetParser::Event> events;
    for (const QByteArrayView piece : pieces) {
        events.clear();
        parser.feed(piece, events);
        if (parser.pendingSubnegotiationSize() > TelnetParser::kMaxSubnegotiation)
            fail("subnegotiation grew past its bound");
        for (auto& e : events) {
            switch (e.kind) {
            case TelnetParser::Event::Kind::Data:
                if (e.bytes.isEmpty())
                    fail("empty Data event");
                outcome.data += e.bytes;
                break;
            case TelnetParser::Event::Kind::Reply:
                if (e.bytes.size() < 3 || quint8(e.bytes.at(0)) != 255)
                    fail("Reply that is not a telnet command");
                outcome.others.push_back(std::move(e));
                break;
            case TelnetParser::Event::Kind::Command:
                if (!e.bytes.isEmpty())
                    fail("Command event with bytes");
                outcome.others.push_back(std::move(e));
                break;
            }
        }
    }
    outcome.iamTelnet = parser.iamTelnet();
    outcome.terminal = parser.terminal();
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const SplitPlan plan(data, size);
    const Outcome whole = run({plan.payload()});
    const Outcome split = run(plan.pieces());
    if (whole.data.size() > plan.payload().size())
        fail("more data out than bytes in");
    if (whole.data != split.data)
        fail("data differs when the input is split");
    if (whole.others != split.others)
        fail("replies or commands differ when the input is split");
    if (!(whole == split))
        fail("parser state differs when the input is split");
    return 0;
}
