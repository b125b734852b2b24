// Address literals for the simulator's socket layer: the same on every
// platform, so both socket files share them. Private to the socket layer.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
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

}  // namespace k4sim
