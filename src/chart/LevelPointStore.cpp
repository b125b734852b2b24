#include "LevelPointStore.h"

#include <algorithm>

namespace {

constexpr qint32 kSecondsBits = 17;  // 0 .. 86399 fits in 17 bits
constexpr qint32 kSecondsMask = (1 << kSecondsBits) - 1;
constexpr qint32 kMaxSeparator = (1 << (31 - kSecondsBits)) - 1;

bool TwoDigits(const QString& s, int at, int& value)
{
    const QChar a = s.at(at);
    const QChar b = s.at(at + 1);
    if (a < QLatin1Char('0') || a > QLatin1Char('9') || b < QLatin1Char('0') || b > QLatin1Char('9'))
        return false;
    value = (a.unicode() - '0') * 10 + (b.unicode() - '0');
    return true;
}

}  // namespace

qint32 LevelPointStore::PackTime(const QString& label)
{
    // Only texts that unpack to exactly the same characters are packed.
    if (label.size() != 8 || label.at(2) != label.at(5))
        return -1;
    const char16_t sep = label.at(2).unicode();
    if (sep > kMaxSeparator || (sep >= u'0' && sep <= u'9'))
        return -1;
    int h = 0, m = 0, s = 0;
    if (!TwoDigits(label, 0, h) || !TwoDigits(label, 3, m) || !TwoDigits(label, 6, s))
        return -1;
    if (h > 23 || m > 59 || s > 59)
        return -1;
    return (static_cast<qint32>(sep) << kSecondsBits) | (h * 3600 + m * 60 + s);
}

qsizetype LevelPointStore::Append(double y, const QString& label, quint32 colour)
{
    const qsizetype index = Count();
    qint32 code = PackTime(label);
    if (code < 0) {
        // Labels that are not clock times are rare; a linear look-up for a
        // repeat keeps the table small without another index structure.
        const auto it = std::find(m_labelTable.begin(), m_labelTable.end(), label);
        if (it != m_labelTable.end()) {
            code = -static_cast<qint32>(it - m_labelTable.begin()) - 1;
        } else {
            m_labelTable.push_back(label);
            code = -static_cast<qint32>(m_labelTable.size());
        }
    }

    if (index == 0) {
        m_minY = m_maxY = y;
    } else {
        m_minY = std::min(m_minY, y);
        m_maxY = std::max(m_maxY, y);
        if (colour != m_colour.back())
            m_singleColour = false;
    }
    m_y.push_back(y);
    m_label.push_back(code);
    m_colour.push_back(colour);

    for (int k = 0; k < kLevels; ++k) {
        const auto node = static_cast<std::size_t>(index >> (kFanBits * (k + 1)));
        auto& mins = m_minTree[k];
        auto& maxs = m_maxTree[k];
        if (node == mins.size()) {
            mins.push_back(index);
            maxs.push_back(index);
        } else {
            // Strict comparisons keep the earliest index on ties.
            if (y < m_y[static_cast<std::size_t>(mins[node])])
                mins[node] = index;
            if (y > m_y[static_cast<std::size_t>(maxs[node])])
                maxs[node] = index;
        }
    }
    return index;
}

QString LevelPointStore::Label(qsizetype index) const
{
    const qint32 code = m_label[static_cast<std::size_t>(index)];
    if (code < 0)
        return m_labelTable[static_cast<std::size_t>(-code - 1)];
    const int seconds = code & kSecondsMask;
    const QChar sep(static_cast<char16_t>(code >> kSecondsBits));
    const int h = seconds / 3600;
    const int m = seconds / 60 % 60;
    const int s = seconds % 60;
    QString text(8, sep);
    text[0] = QLatin1Char(static_cast<char>('0' + h / 10));
    text[1] = QLatin1Char(static_cast<char>('0' + h % 10));
    text[3] = QLatin1Char(static_cast<char>('0' + m / 10));
    text[4] = QLatin1Char(static_cast<char>('0' + m % 10));
    text[6] = QLatin1Char(static_cast<char>('0' + s / 10));
    text[7] = QLatin1Char(static_cast<char>('0' + s % 10));
    return text;
}

void LevelPointStore::Consider(int level, qsizetype node, qsizetype& minIndex, qsizetype& maxIndex) const
{
    qsizetype lo = node;
    qsizetype hi = node;
    if (level > 0) {
        lo = m_minTree[level - 1][static_cast<std::size_t>(node)];
        hi = m_maxTree[level - 1][static_cast<std::size_t>(node)];
    }
    const double loY = Y(lo);
    const double hiY = Y(hi);
    const double minY = Y(minIndex);
    const double maxY = Y(maxIndex);
    if (loY < minY || (loY == minY && lo < minIndex))
        minIndex = lo;
    if (hiY > maxY || (hiY == maxY && hi < maxIndex))
        maxIndex = hi;
}

std::pair<qsizetype, qsizetype> LevelPointStore::MinMaxIndex(qsizetype first, qsizetype last) const
{
    qsizetype minIndex = first;
    qsizetype maxIndex = first;
    qsizetype lo = first;
    qsizetype hi = last;
    constexpr qsizetype fan = qsizetype{1} << kFanBits;
    for (int level = 0; lo < hi; ++level) {
        if (level == kLevels) {
            for (; lo < hi; ++lo)
                Consider(level, lo, minIndex, maxIndex);
            break;
        }
        // Walk the ragged ends at this level, then climb with the aligned middle.
        while (lo < hi && (lo & (fan - 1)) != 0)
            Consider(level, lo++, minIndex, maxIndex);
        while (lo < hi && (hi & (fan - 1)) != 0)
            Consider(level, --hi, minIndex, maxIndex);
        lo >>= kFanBits;
        hi >>= kFanBits;
    }
    return {minIndex, maxIndex};
}

std::size_t LevelPointStore::MemoryBytes() const
{
    std::size_t bytes
        = m_y.capacity() * sizeof(double) + m_label.capacity() * sizeof(qint32) + m_colour.capacity() * sizeof(quint32);
    for (int k = 0; k < kLevels; ++k)
        bytes += (m_minTree[k].capacity() + m_maxTree[k].capacity()) * sizeof(qsizetype);
    for (const QString& s : m_labelTable)
        bytes += sizeof(QString) + static_cast<std::size_t>(s.capacity()) * sizeof(QChar);
    return bytes;
}
