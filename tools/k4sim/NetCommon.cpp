#include "NetCommon.h"

#include "Net.h"

#include <cstring>

namespace k4sim {

// Only closing a socket differs between the platforms (Socket::reset).
Socket::~Socket()
{
    reset();
}

Socket::Socket(Socket&& other) noexcept : m_handle(other.m_handle), m_valid(other.m_valid)
{
    other.m_valid = false;
}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        reset();
        m_handle = other.m_handle;
        m_valid = other.m_valid;
        other.m_valid = false;
    }
    return *this;
}

bool parseAddress(const std::string& host, std::uint16_t port, Address& out)
{
    const std::string literal = host == "localhost" ? std::string("127.0.0.1") : host;
    out = Address{};
    sockaddr_in v4{};
    if (inet_pton(AF_INET, literal.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        std::memcpy(&out.storage, &v4, sizeof v4);
        out.length = sizeof v4;
        return true;
    }
    sockaddr_in6 v6{};
    if (inet_pton(AF_INET6, literal.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        std::memcpy(&out.storage, &v6, sizeof v6);
        out.length = sizeof v6;
        return true;
    }
    return false;
}

std::uint16_t portOf(const sockaddr_storage& address)
{
    if (address.ss_family == AF_INET) {
        sockaddr_in v4{};
        std::memcpy(&v4, &address, sizeof v4);
        return ntohs(v4.sin_port);
    }
    sockaddr_in6 v6{};
    std::memcpy(&v6, &address, sizeof v6);
    return ntohs(v6.sin6_port);
}

bool isAddressLiteral(const std::string& host)
{
    Address address;
    return parseAddress(host, 0, address);
}

bool isLoopbackAddress(const std::string& host)
{
    Address address;
    if (!parseAddress(host, 0, address))
        return false;
    if (address.storage.ss_family == AF_INET) {
        sockaddr_in v4{};
        std::memcpy(&v4, &address.storage, sizeof v4);
        return (ntohl(v4.sin_addr.s_addr) >> 24) == 127;
    }
    sockaddr_in6 v6{};
    std::memcpy(&v6, &address.storage, sizeof v6);
    if (IN6_IS_ADDR_LOOPBACK(&v6.sin6_addr))
        return true;
    return IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr) && v6.sin6_addr.s6_addr[12] == 127;
}

}  // namespace k4sim
