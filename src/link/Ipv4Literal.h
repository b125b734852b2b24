#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// A host text that is an IPv4 address written out: four dot-separated
// decimal fields, each 0 to 255, and nothing else. Returns the address in
// host byte order, or nothing when the text must go to name lookup instead.
std::optional<std::uint32_t> parseIpv4Literal(const QString& host);

// The dotted decimal text of an address in host byte order.
QString ipv4Text(std::uint32_t address);
