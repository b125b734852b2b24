#include "VersionSerializer.h"

#include <QRegularExpression>
#include <QStringList>

#include <stdexcept>

namespace {

constexpr quint32 kFixedFileInfoSignature = 0xFEEF04BD;
constexpr quint32 kFixedFileInfoVersion = 0x00010000;

void appendWord(QByteArray& out, quint16 value)
{
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8));
}

void appendDword(QByteArray& out, quint32 value)
{
    appendWord(out, static_cast<quint16>(value & 0xFFFF));
    appendWord(out, static_cast<quint16>(value >> 16));
}

void putWord(QByteArray& out, qsizetype at, quint16 value)
{
    out[at] = static_cast<char>(value & 0xFF);
    out[at + 1] = static_cast<char>(value >> 8);
}

QByteArray utf16WithTerminator(const QString& text)
{
    QByteArray out;
    out.reserve((text.size() + 1) * 2);
    for (QChar c : text)
        appendWord(out, c.unicode());
    appendWord(out, 0);
    return out;
}

// Offsets are counted from the start of the block, which Windows keeps on a
// 32-bit boundary.
void padTo32Bits(QByteArray& out)
{
    while (out.size() % 4 != 0)
        out.append('\0');
}

void writeNode(QByteArray& out, const VersionNode& node)
{
    const qsizetype start = out.size();
    appendWord(out, 0);  // wLength, filled in below
    appendWord(out, node.valueLength);
    appendWord(out, node.type);
    out.append(utf16WithTerminator(node.key));
    padTo32Bits(out);
    out.append(node.value);
    for (const VersionNode& child : node.children) {
        padTo32Bits(out);
        writeNode(out, child);
    }
    const qsizetype length = out.size() - start;
    if (length > 0xFFFF)
        throw std::length_error("version block node \"" + node.key.toStdString() + "\" is longer than 65535 bytes");
    putWord(out, start, static_cast<quint16>(length));
}

quint32 high(const std::array<quint16, 4>& version)
{
    return (quint32(version[0]) << 16) | version[1];
}

quint32 low(const std::array<quint16, 4>& version)
{
    return (quint32(version[2]) << 16) | version[3];
}

std::optional<std::array<quint16, 4>> parseVersion(const QString& text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    std::array<quint16, 4> version{};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint part = parts[i].toUInt(&ok, 10);
        if (!ok || part > 0xFFFF)
            return std::nullopt;
        version[i] = static_cast<quint16>(part);
    }
    return version;
}

std::optional<quint64> parseNumber(const QString& text, quint64 max)
{
    bool ok = false;
    const quint64 value
        = text.startsWith(u"0x", Qt::CaseInsensitive) ? text.mid(2).toULongLong(&ok, 16) : text.toULongLong(&ok, 10);
    if (!ok || value > max)
        return std::nullopt;
    return value;
}

}  // namespace

VersionNode VersionNode::group(const QString& key, QList<VersionNode> children)
{
    VersionNode node;
    node.key = key;
    node.type = 1;
    node.children = std::move(children);
    return node;
}

VersionNode VersionNode::text(const QString& key, const QString& value)
{
    VersionNode node;
    node.key = key;
    node.type = 1;
    node.value = utf16WithTerminator(value);
    const qsizetype words = value.size() + 1;
    if (words > 0xFFFF)
        throw std::length_error("version string \"" + key.toStdString() + "\" is too long");
    node.valueLength = static_cast<quint16>(words);
    return node;
}

VersionNode VersionNode::binary(const QString& key, const QByteArray& value)
{
    if (value.size() > 0xFFFF)
        throw std::length_error("version value \"" + key.toStdString() + "\" is too long");
    VersionNode node;
    node.key = key;
    node.type = 0;
    node.value = value;
    node.valueLength = static_cast<quint16>(value.size());
    return node;
}

QByteArray SerializeFixedFileInfo(const VersionDescription& d)
{
    QByteArray out;
    appendDword(out, kFixedFileInfoSignature);
    appendDword(out, kFixedFileInfoVersion);
    appendDword(out, high(d.fileVersion));
    appendDword(out, low(d.fileVersion));
    appendDword(out, high(d.productVersion));
    appendDword(out, low(d.productVersion));
    appendDword(out, d.fileFlagsMask);
    appendDword(out, d.fileFlags);
    appendDword(out, d.fileOS);
    appendDword(out, d.fileType);
    appendDword(out, d.fileSubtype);
    appendDword(out, static_cast<quint32>(d.fileDate >> 32));
    appendDword(out, static_cast<quint32>(d.fileDate & 0xFFFFFFFF));
    return out;
}

VersionNode VersionTree(const VersionDescription& description)
{
    VersionNode root = VersionNode::binary(QStringLiteral("VS_VERSION_INFO"), SerializeFixedFileInfo(description));

    if (!description.stringTables.isEmpty()) {
        VersionNode stringFileInfo = VersionNode::group(QStringLiteral("StringFileInfo"));
        for (const auto& table : description.stringTables) {
            VersionNode tableNode = VersionNode::group(table.key);
            for (const auto& [key, value] : table.strings)
                tableNode.children.append(VersionNode::text(key, value));
            stringFileInfo.children.append(tableNode);
        }
        root.children.append(stringFileInfo);
    }

    if (!description.translations.isEmpty()) {
        QByteArray entries;
        for (const auto& [language, codePage] : description.translations) {
            appendWord(entries, language);
            appendWord(entries, codePage);
        }
        root.children.append(VersionNode::group(QStringLiteral("VarFileInfo"),
                                                {VersionNode::binary(QStringLiteral("Translation"), entries)}));
    }
    return root;
}

QByteArray SerializeVersionNode(const VersionNode& node)
{
    QByteArray out;
    writeNode(out, node);
    return out;
}

QByteArray SerializeVersionInfo(const VersionDescription& description)
{
    return SerializeVersionNode(VersionTree(description));
}

std::optional<VersionDescription> ParseVersionDescription(const QString& text, QString* error)
{
    VersionDescription description;
    bool haveFileVersion = false;
    bool haveProductVersion = false;

    auto fail = [error](int line, const QString& message) -> std::optional<VersionDescription> {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(line).arg(message);
        return std::nullopt;
    };

    static const QRegularExpression tableKey(QStringLiteral("^[0-9A-Fa-f]{8}$"));

    const QStringList lines = text.split(u'\n');
    for (int index = 0; index < lines.size(); ++index) {
        const int lineNumber = index + 1;
        const QString line = lines[index].trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            return fail(lineNumber, QStringLiteral("expected key=value"));
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();

        if (key == u"FileVersion" || key == u"ProductVersion") {
            const auto version = parseVersion(value);
            if (!version)
                return fail(lineNumber, QStringLiteral("%1 must be four numbers 0-65535 joined by dots").arg(key));
            if (key == u"FileVersion") {
                description.fileVersion = *version;
                haveFileVersion = true;
            } else {
                description.productVersion = *version;
                haveProductVersion = true;
            }
        } else if (key == u"FileFlagsMask" || key == u"FileFlags" || key == u"FileOS" || key == u"FileType"
                   || key == u"FileSubtype") {
            const auto number = parseNumber(value, 0xFFFFFFFFu);
            if (!number)
                return fail(lineNumber, QStringLiteral("%1 must be a 32-bit number").arg(key));
            const auto v = static_cast<quint32>(*number);
            if (key == u"FileFlagsMask")
                description.fileFlagsMask = v;
            else if (key == u"FileFlags")
                description.fileFlags = v;
            else if (key == u"FileOS")
                description.fileOS = v;
            else if (key == u"FileType")
                description.fileType = v;
            else
                description.fileSubtype = v;
        } else if (key == u"FileDate") {
            const auto number = parseNumber(value, ~quint64(0));
            if (!number)
                return fail(lineNumber, QStringLiteral("FileDate must be a 64-bit number"));
            description.fileDate = *number;
        } else if (key == u"StringTable") {
            if (!tableKey.match(value).hasMatch())
                return fail(lineNumber, QStringLiteral("StringTable must be 8 hex digits"));
            description.stringTables.append({value.toUpper(), {}});
        } else if (key.startsWith(u"String.") && key.size() > 7) {
            if (description.stringTables.isEmpty())
                return fail(lineNumber, QStringLiteral("%1 comes before any StringTable").arg(key));
            description.stringTables.last().strings.append({key.mid(7), value});
        } else if (key == u"Translation") {
            const QStringList parts = value.split(u',');
            const auto language = parts.size() == 2 ? parseNumber(parts[0].trimmed(), 0xFFFF) : std::nullopt;
            const auto codePage = parts.size() == 2 ? parseNumber(parts[1].trimmed(), 0xFFFF) : std::nullopt;
            if (!language || !codePage)
                return fail(lineNumber, QStringLiteral("Translation must be <language>,<code page>"));
            description.translations.append({static_cast<quint16>(*language), static_cast<quint16>(*codePage)});
        } else {
            return fail(lineNumber, QStringLiteral("unknown key %1").arg(key));
        }
    }

    if (!haveFileVersion || !haveProductVersion)
        return fail(static_cast<int>(lines.size()), QStringLiteral("FileVersion and ProductVersion are required"));
    return description;
}
