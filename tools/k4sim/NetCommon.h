// What the simulator's two socket layers share: the socket's ownership and
// the address literal rules, the same on every platform. Private to the
// socket layer.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstdint>
#include <string>

namespace k4sim {

struct Address {
    sockaddr_storage storage{};
    int length = 0;  // of the address in storage
};

// A numeric IPv4 or IPv6 literal and a port; "localhost" is taken as
// 127.0.0.1 without asking any resolver. False for anything else.
bool parseAddress(const std::string& host, std::uint16_t port, Address& out);
// The port of an IPv4 or IPv6 socket address, in host byte order.
std::uint16_t portOf(const sockaddr_storage& address);

}  // namespace k4sim
