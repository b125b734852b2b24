#include "Ipv4Literal.h"

std::optional<std::uint32_t> parseIpv4Literal(const QString& host)
{
    std::uint32_t address = 0;
    int fields = 0;
    int value = -1;  // -1: no digit in the current field yet
    for (const QChar ch : host) {
        if (ch == u'.') {
            if (value < 0 || fields == 3)
                return std::nullopt;
            address = (address << 8) | std::uint32_t(value);
            ++fields;
            value = -1;
        } else if (ch >= u'0' && ch <= u'9') {
            value = (value < 0 ? 0 : value * 10) + (ch.unicode() - u'0');
            if (value > 255)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (value < 0 || fields != 3)
        return std::nullopt;
    return (address << 8) | std::uint32_t(value);
}

QString ipv4Text(std::uint32_t address)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg((address >> 16) & 0xFF)
        .arg((address >> 8) & 0xFF)
        .arg(address & 0xFF);
}
