#include "SimLog.h"

#include <cstdio>

namespace k4sim {

void logLine(const std::string& line)
{
    std::fprintf(stderr, "k4sim: %s\n", line.c_str());
    std::fflush(stderr);
}

std::string describeBytes(const std::string& bytes, std::size_t limit)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out.push_back(static_cast<char>(b));
        } else {
            out += "\\x";
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0xF]);
        }
    }
    if (bytes.size() > limit)
        out += "... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

}  // namespace k4sim
