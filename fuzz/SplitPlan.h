#pragma once

// How a fuzz input is cut into the pieces a socket might have delivered.
// The first two bytes choose the cut, the rest is the payload: byte 0 sets
// the largest piece (1 << (byte 0 % 9) bytes, so 1 to 256) and byte 1 seeds
// the sequence of piece sizes. The fuzzer thus finds the cuts that matter
// (inside an IAC sequence, between a reply and its ";") by mutating two bytes.

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <vector>

class SplitPlan {
public:
    SplitPlan(const std::uint8_t* data, std::size_t size)
    {
        if (size >= 2) {
            m_largest = std::size_t(1) << (data[0] % 9);
            m_seed = (std::uint32_t(data[0]) << 8 | data[1]) + 1;  // never 0: xorshift would stay 0
            m_payload = QByteArrayView(data + 2, static_cast<qsizetype>(size - 2));
        }
    }

    QByteArrayView payload() const { return m_payload; }

    // The payload cut into pieces of 1 to the largest size; together they
    // are exactly the payload.
    std::vector<QByteArrayView> pieces() const
    {
        std::vector<QByteArrayView> out;
        std::uint32_t state = m_seed;
        qsizetype at = 0;
        while (at < m_payload.size()) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const qsizetype want = static_cast<qsizetype>(1 + state % m_largest);
            const qsizetype take = want < m_payload.size() - at ? want : m_payload.size() - at;
            out.push_back(m_payload.sliced(at, take));
            at += take;
        }
        return out;
    }

private:
    QByteArrayView m_payload;
    std::size_t m_largest = 1;
    std::uint32_t m_seed = 1;
};
