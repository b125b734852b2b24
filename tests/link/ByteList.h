#pragma once

#include <QByteArray>

#include <initializer_list>

// Bytes written as numbers, the way telnet sequences are usually quoted.
inline QByteArray B(std::initializer_list<int> bytes)
{
    QByteArray out;
    for (int b : bytes)
        out.append(char(b));
    return out;
}
