// k4sim: a stand-in for the K4 radio's control port, on loopback, for demos
// and tests of the program's radio link.
#include "Net.h"
#include "SimLog.h"
#include "SimOptions.h"
#include "SimServer.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    k4sim::SimOptions options;
    std::string error;
    if (!k4sim::parseSimOptions(args, options, error)) {
        k4sim::logLine(error);
        std::fputs(k4sim::usageText().c_str(), stderr);
        return 2;
    }
    if (options.help) {
        std::fputs(k4sim::usageText().c_str(), stdout);
        return 0;
    }
    if (!k4sim::isAddressLiteral(options.host)) {
        // No name lookups: a name could resolve to anything, anywhere.
        k4sim::logLine("--host needs a numeric address (or localhost), got " + options.host);
        return 2;
    }
    if (!k4sim::isLoopbackAddress(options.host) && !options.allowNonLoopback) {
        k4sim::logLine("refusing to listen on non-loopback address " + options.host
                       + " (use --allow-non-loopback to permit it)");
        return 2;
    }
    return k4sim::runServer(options);
}
