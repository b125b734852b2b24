#pragma once

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <utility>
#include <vector>

// Every point of the level series, packed: X is the index, Y a double, the
// label a 32-bit code and the colour a 32-bit 0xAARRGGBB value (what
// QColor::rgba() gives; plain quint32 so the store needs no GUI module),
// about 17 bytes a point with the search tree. A time label of the form hh:nn:ss (any one-character
// separator) is stored as seconds of the day plus its separator; any other
// text goes into a de-duplicated string table. Besides the points it keeps a
// min/max tree (fan-out 16) so that the smallest and largest Y of any index
// range are found in O(log n), which is what per-pixel-column drawing needs.
class LevelPointStore {
public:
    // Appends a point and returns its index (= its X).
    qsizetype Append(double y, const QString& label, quint32 colour);

    qsizetype Count() const { return static_cast<qsizetype>(m_y.size()); }
    double Y(qsizetype index) const { return m_y[static_cast<std::size_t>(index)]; }
    QString Label(qsizetype index) const;
    quint32 Colour(qsizetype index) const { return m_colour[static_cast<std::size_t>(index)]; }

    // Smallest and largest Y of all points; only meaningful when Count() > 0.
    double MinY() const { return m_minY; }
    double MaxY() const { return m_maxY; }
    // True while every point held carries the same colour (or there are none).
    bool SingleColour() const { return m_singleColour; }

    // Indices of the smallest and largest Y in [first, last) (first < last),
    // the earliest index on ties.
    std::pair<qsizetype, qsizetype> MinMaxIndex(qsizetype first, qsizetype last) const;

    // Bytes held for the points, their labels and the search tree.
    std::size_t MemoryBytes() const;

private:
    static constexpr int kFanBits = 4;  // 16 children per node
    static constexpr int kLevels = 7;   // the top level holds one node per 16^7 points

    static qint32 PackTime(const QString& label);
    void Consider(int level, qsizetype node, qsizetype& minIndex, qsizetype& maxIndex) const;

    std::vector<double> m_y;
    std::vector<qint32> m_label;  // >= 0: packed time; < 0: -(table index + 1)
    std::vector<quint32> m_colour;
    std::vector<QString> m_labelTable;
    // m_minTree[k][j] / m_maxTree[k][j]: index of the smallest / largest Y in
    // the block of 16^(k+1) points starting at j * 16^(k+1).
    std::vector<qsizetype> m_minTree[kLevels];
    std::vector<qsizetype> m_maxTree[kLevels];
    double m_minY = 0.0;
    double m_maxY = 0.0;
    bool m_singleColour = true;
};
