#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <optional>
#include <utility>

// Writes Windows version blocks (VS_VERSIONINFO) in the published layout:
// every node is wLength, wValueLength, wType (16-bit little-endian words), a
// zero-terminated UTF-16LE key, padding to a 32-bit boundary, the value, and
// its children, each starting on a 32-bit boundary. A node's wLength covers
// its header, key, value and children, but not the padding after its own end.

// One node of the tree. wValueLength counts WORDs for text nodes (the
// terminator included) and bytes for binary ones.
struct VersionNode {
    QString key;
    quint16 type = 1;         // wType: 1 text, 0 binary
    QByteArray value;         // the value's bytes as stored
    quint16 valueLength = 0;  // wValueLength as stored
    QList<VersionNode> children;

    // A text node that only groups children (StringFileInfo, a string table).
    static VersionNode group(const QString& key, QList<VersionNode> children = {});
    // A String: UTF-16LE text with its terminator.
    static VersionNode text(const QString& key, const QString& value);
    // A binary node (the root's fixed part, a Var).
    static VersionNode binary(const QString& key, const QByteArray& value);
};

// The values of one version block.
struct VersionDescription {
    std::array<quint16, 4> fileVersion{};
    std::array<quint16, 4> productVersion{};
    quint32 fileFlagsMask = 0;
    quint32 fileFlags = 0;
    quint32 fileOS = 0;
    quint32 fileType = 0;
    quint32 fileSubtype = 0;
    quint64 fileDate = 0;

    struct StringTable {
        QString key;                                 // language and code page as 8 hex digits, e.g. "040904E4"
        QList<std::pair<QString, QString>> strings;  // in stored order
    };
    QList<StringTable> stringTables;
    QList<std::pair<quint16, quint16>> translations;  // language, code page
};

// The 52 bytes of VS_FIXEDFILEINFO (signature 0xFEEF04BD, version 1.0).
QByteArray SerializeFixedFileInfo(const VersionDescription& description);

// The tree of a description: root "VS_VERSION_INFO" with the fixed part,
// then "StringFileInfo" (when there are string tables) and "VarFileInfo" with
// "Translation" (when there are translations).
VersionNode VersionTree(const VersionDescription& description);

// The bytes of a node and its children. Throws std::length_error when a node
// outgrows the 16-bit wLength.
QByteArray SerializeVersionNode(const VersionNode& node);

// SerializeVersionNode(VersionTree(description)).
QByteArray SerializeVersionInfo(const VersionDescription& description);

// Reads the key=value text of a description (see VersionInfo.txt): blank
// lines and lines starting with '#' are skipped; FileVersion, ProductVersion
// ("a.b.c.d"), FileFlagsMask, FileFlags, FileOS, FileType, FileSubtype,
// FileDate (decimal or 0x hex), "StringTable=<key>" opening a table,
// "String.<Key>=<value>" adding to the last table, and
// "Translation=<language>,<code page>". Gives nothing and a message naming
// the line when the text is not valid.
std::optional<VersionDescription> ParseVersionDescription(const QString& text, QString* error = nullptr);
