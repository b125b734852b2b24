#include "VersionBlock.h"

#include "AppVersion.h"

#include <QByteArray>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr qsizetype kHeaderSize = 6;  // wLength, wValueLength, wType
constexpr QStringView kRootKey = u"VS_VERSION_INFO";

quint16 wordAt(QByteArrayView block, qsizetype at)
{
    return static_cast<quint16>(static_cast<quint8>(block[at]) | (static_cast<quint8>(block[at + 1]) << 8));
}

constexpr qsizetype align4(qsizetype offset)
{
    return (offset + 3) & ~qsizetype(3);
}

// One node as found in the block; every offset lies within [start, end].
struct Node {
    qsizetype start = 0;
    qsizetype end = 0;  // start + wLength
    qsizetype keyStart = 0;
    qsizetype keyChars = 0;
    bool text = false;
    qsizetype valueStart = 0;
    qsizetype valueSize = 0;
    qsizetype childrenStart = 0;
};

// Reads the node at offset `at`, which must end by `limit` (its parent's end).
std::optional<Node> readNode(QByteArrayView block, qsizetype at, qsizetype limit)
{
    if (at < 0 || limit > block.size() || at > limit || limit - at < kHeaderSize)
        return std::nullopt;
    const qsizetype length = wordAt(block, at);
    const quint16 valueLength = wordAt(block, at + 2);
    const quint16 type = wordAt(block, at + 4);
    // A node holds at least its header and a key terminator; anything
    // shorter is malformed, which also keeps a zero length from stalling
    // the walk over siblings.
    if (length < kHeaderSize + 2 || length > limit - at || type > 1)
        return std::nullopt;

    Node node;
    node.start = at;
    node.end = at + length;
    node.text = (type == 1);
    node.keyStart = at + kHeaderSize;

    qsizetype k = node.keyStart;
    for (;;) {
        if (node.end - k < 2)
            return std::nullopt;  // key without terminator
        if (wordAt(block, k) == 0)
            break;
        k += 2;
    }
    node.keyChars = (k - node.keyStart) / 2;

    node.valueSize = node.text ? qsizetype(valueLength) * 2 : qsizetype(valueLength);
    node.valueStart = align4(k + 2);
    if (node.valueSize == 0) {
        // Without a value the padding after the key may lie past the node.
        node.valueStart = std::min(node.valueStart, node.end);
    } else if (node.valueStart > node.end || node.valueSize > node.end - node.valueStart) {
        return std::nullopt;
    }
    node.childrenStart = std::min(align4(node.valueStart + node.valueSize), node.end);
    return node;
}

bool keyEquals(QByteArrayView block, const Node& node, QStringView key)
{
    if (node.keyChars != key.size())
        return false;
    for (qsizetype i = 0; i < node.keyChars; ++i) {
        const QChar stored(wordAt(block, node.keyStart + 2 * i));
        if (stored.toCaseFolded() != key[i].toCaseFolded())
            return false;
    }
    return true;
}

std::optional<Node> findChild(QByteArrayView block, const Node& parent, QStringView key)
{
    qsizetype at = parent.childrenStart;
    while (at < parent.end) {
        const auto child = readNode(block, at, parent.end);
        if (!child)
            return std::nullopt;
        if (keyEquals(block, *child, key))
            return child;
        at = align4(child->end);  // child->end > at, so the walk moves on
    }
    return std::nullopt;
}

QString hex4(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QChar(u'0')).toUpper();
}

}  // namespace

std::optional<QByteArrayView> VerQueryValue(QByteArrayView block, QStringView path, bool* isText)
{
    auto node = readNode(block, 0, block.size());
    if (!node || !keyEquals(block, *node, kRootKey))
        return std::nullopt;

    for (QStringView component : path.tokenize(u'\\', Qt::SkipEmptyParts)) {
        node = findChild(block, *node, component);
        if (!node)
            return std::nullopt;
    }

    if (isText)
        *isText = node->text;
    return block.sliced(node->valueStart, node->valueSize);
}

QString GetVersionInfoFrom(QByteArrayView block, const QString& ident)
{
    const auto translations = VerQueryValue(block, u"\\\\VarFileInfo\\\\Translation");
    if (!translations)
        return QString();
    const qsizetype BLngsCnt = translations->size() / 4;
    if (BLngsCnt == 0)
        return QString();

    // Only the first entry counts, even when its table is missing.
    const QString BLangId = hex4(wordAt(*translations, 0)) + hex4(wordAt(*translations, 2));

    const auto value = VerQueryValue(
        block, QString(QStringLiteral("\\\\StringFileInfo\\\\") + BLangId + QStringLiteral("\\\\") + ident));
    if (!value)
        return QString();

    QString result;
    for (qsizetype at = 0; at + 1 < value->size(); at += 2) {
        const quint16 unit = wordAt(*value, at);
        if (unit == 0)
            return result;
        result.append(QChar(unit));
    }
    return QString();  // no terminator within the value: malformed
}

QString GetVersionInfoIn(const std::optional<QByteArrayView>& resource, const QString& ident)
{
    if (!resource)
        throw EResNotFound(QStringLiteral("Resource %1 not found").arg(1).toStdString());
    // All queries run on a copy the lookup owns, whatever the resource's
    // memory is.
    const QByteArray copy = resource->toByteArray();
    return GetVersionInfoFrom(copy, ident);
}

int FuzzVersionQuery(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView block(data, static_cast<qsizetype>(size));
    const auto inside = [&block](const std::optional<QByteArrayView>& value) {
        return !value
               || (value->data() >= block.data() && value->data() + value->size() <= block.data() + block.size());
    };

    for (QStringView path :
         {QStringView(u"\\"), QStringView(u"\\\\VarFileInfo\\\\Translation"),
          QStringView(u"\\StringFileInfo\\040904E4\\FileVersion"), QStringView(u"\\StringFileInfo\\040904E4")}) {
        bool isText = false;
        if (!inside(VerQueryValue(block, path, &isText)))
            std::abort();
    }
    (void)GetVersionInfoFrom(block, QStringLiteral("FileVersion"));
    (void)GetVersionInfoFrom(block, QStringLiteral("ProgramID"));
    return 0;
}
