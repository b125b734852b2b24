#include "VersionBlock.h"
#include "VersionSerializer.h"

#include <QTest>

namespace {

QByteArray translationEntries(const QList<std::pair<quint16, quint16>>& entries)
{
    QByteArray out;
    for (const auto& [language, codePage] : entries) {
        for (quint16 word : {language, codePage}) {
            out.append(static_cast<char>(word & 0xFF));
            out.append(static_cast<char>(word >> 8));
        }
    }
    return out;
}

VersionNode stringTable(const QString& key, const QList<std::pair<QString, QString>>& strings)
{
    VersionNode table = VersionNode::group(key);
    for (const auto& [name, value] : strings)
        table.children.append(VersionNode::text(name, value));
    return table;
}

// A version block with the given string tables and raw translation bytes.
QByteArray block(const QList<VersionNode>& tables, const std::optional<QByteArray>& translation)
{
    VersionDescription fixed;
    fixed.fileVersion = {1, 2, 3, 4};
    VersionNode root = VersionNode::binary("VS_VERSION_INFO", SerializeFixedFileInfo(fixed));
    if (!tables.isEmpty())
        root.children.append(VersionNode::group("StringFileInfo", tables));
    if (translation)
        root.children.append(VersionNode::group("VarFileInfo", {VersionNode::binary("Translation", *translation)}));
    return SerializeVersionNode(root);
}

QByteArray usEnglishBlock()
{
    return block({stringTable("040904E4", {{"FileDescription", "Quorvel"}, {"FileVersion", "0.0.6.0"}})},
                 translationEntries({{0x0409, 0x04E4}}));
}

void putWord(QByteArray& bytes, qsizetype at, quint16 value)
{
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

bool inside(const QByteArray& bytes, const std::optional<QByteArrayView>& value)
{
    return !value
           || (value->data() >= bytes.constData() && value->data() + value->size() <= bytes.constData() + bytes.size());
}

}  // namespace

class TestVersionBlock : public QObject {
    Q_OBJECT

private slots:
    void lookup_data();
    void lookup();
    void paths_data();
    void paths();
    void textAndBinaryValues();
    void everyTruncationGivesEmptyText();
    void corruptedWordsStayInside();
    void malformed_data();
    void malformed();
};

void TestVersionBlock::lookup_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("ident");
    QTest::addColumn<QString>("expected");

    QTest::newRow("us english") << usEnglishBlock() << "FileVersion"
                                << "0.0.6.0";
    QTest::newRow("unknown key") << usEnglishBlock() << "Comments"
                                 << "";
    QTest::newRow("key names the table") << usEnglishBlock() << ""
                                         << "";

    QTest::newRow("table key from 0407/04B0")
        << block({stringTable("040904E4", {{"FileVersion", "us"}}), stringTable("040704B0", {{"FileVersion", "de"}})},
                 translationEntries({{0x0407, 0x04B0}}))
        << "FileVersion"
        << "de";
    QTest::newRow("hex digits upper-case")
        << block({stringTable("040C04E4", {{"FileVersion", "fr"}})}, translationEntries({{0x040C, 0x04E4}}))
        << "FileVersion"
        << "fr";
    QTest::newRow("two entries: first only")
        << block({stringTable("040704B0", {{"FileVersion", "de"}}), stringTable("040904E4", {{"FileVersion", "us"}})},
                 translationEntries({{0x0409, 0x04E4}, {0x0407, 0x04B0}}))
        << "FileVersion"
        << "us";
    QTest::newRow("key only in the second entry's table")
        << block({stringTable("040904E4", {{"FileVersion", "us"}}), stringTable("040704B0", {{"Comments", "de"}})},
                 translationEntries({{0x0409, 0x04E4}, {0x0407, 0x04B0}}))
        << "Comments"
        << "";
    QTest::newRow("first entry without table, second not consulted") << block(
        {stringTable("040704B0", {{"FileVersion", "de"}})}, translationEntries({{0x0409, 0x04E4}, {0x0407, 0x04B0}}))
                                                                     << "FileVersion"
                                                                     << "";
    QTest::newRow("translation of 2 bytes")
        << block({stringTable("040904E4", {{"FileVersion", "us"}})}, QByteArray("\x09\x04", 2)) << "FileVersion"
        << "";
    QTest::newRow("empty translation") << block({stringTable("040904E4", {{"FileVersion", "us"}})}, QByteArray())
                                       << "FileVersion"
                                       << "";
    QTest::newRow("translation of 7 bytes counts one entry")
        << block({stringTable("040904E4", {{"FileVersion", "us"}})}, translationEntries({{0x0409, 0x04E4}}) + "abc")
        << "FileVersion"
        << "us";
    QTest::newRow("no VarFileInfo") << block({stringTable("040904E4", {{"FileVersion", "us"}})}, std::nullopt)
                                    << "FileVersion"
                                    << "";
    QTest::newRow("no StringFileInfo") << block({}, translationEntries({{0x0409, 0x04E4}})) << "FileVersion"
                                       << "";
    QTest::newRow("empty value") << block({stringTable("040904E4", {{"Comments", ""}})},
                                          translationEntries({{0x0409, 0x04E4}}))
                                 << "Comments"
                                 << "";
    QTest::newRow("non-ASCII value") << block(
        {stringTable("040904E4", {{"LegalCopyright", QString::fromUtf8("\xC2\xA9 Quorvel")}})},
        translationEntries({{0x0409, 0x04E4}}))
                                     << "LegalCopyright" << QString::fromUtf8("\xC2\xA9 Quorvel");
    QTest::newRow("empty block") << QByteArray() << "FileVersion"
                                 << "";
}

void TestVersionBlock::lookup()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, ident);
    QFETCH(QString, expected);

    QCOMPARE(GetVersionInfoFrom(bytes, ident), expected);
}

void TestVersionBlock::paths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("found");

    QTest::newRow("standard") << "\\VarFileInfo\\Translation" << true;
    QTest::newRow("doubled separators") << "\\\\VarFileInfo\\\\Translation" << true;
    QTest::newRow("long runs") << "\\\\\\VarFileInfo\\\\\\\\Translation\\\\" << true;
    QTest::newRow("no leading separator") << "VarFileInfo\\Translation" << true;
    QTest::newRow("other case") << "\\varfileinfo\\TRANSLATION" << true;
    QTest::newRow("prefix of a key") << "\\VarFileInfo\\Translatio" << false;
    QTest::newRow("longer than a key") << "\\VarFileInfo\\Translations" << false;
    QTest::newRow("past a leaf") << "\\VarFileInfo\\Translation\\x" << false;
    QTest::newRow("forward slashes are not separators") << "/VarFileInfo/Translation" << false;
    QTest::newRow("wrong level") << "\\Translation" << false;
}

void TestVersionBlock::paths()
{
    QFETCH(QString, path);
    QFETCH(bool, found);

    const QByteArray bytes = usEnglishBlock();
    const auto value = VerQueryValue(bytes, path);
    QCOMPARE(value.has_value(), found);
    if (found)
        QCOMPARE(value->toByteArray(), translationEntries({{0x0409, 0x04E4}}));
}

void TestVersionBlock::textAndBinaryValues()
{
    const QByteArray bytes = usEnglishBlock();

    bool isText = false;
    const auto fixed = VerQueryValue(bytes, u"\\", &isText);
    QVERIFY(fixed);
    QVERIFY(!isText);
    QCOMPARE(fixed->size(), 52);
    QCOMPARE(fixed->first(4).toByteArray(), QByteArray("\xBD\x04\xEF\xFE", 4));

    const auto text = VerQueryValue(bytes, u"\\StringFileInfo\\040904E4\\FileVersion", &isText);
    QVERIFY(text);
    QVERIFY(isText);
    // wValueLength counts characters; the view holds them and the terminator.
    QCOMPARE(text->toByteArray(), QByteArray("0\0.\0"
                                             "0\0.\0"
                                             "6\0.\0"
                                             "0\0\0\0",
                                             16));
}

// Every prefix of a good block is cut inside the root, so nothing is found
// and nothing outside the prefix is read.
void TestVersionBlock::everyTruncationGivesEmptyText()
{
    const QByteArray bytes = usEnglishBlock();
    QCOMPARE(GetVersionInfoFrom(bytes, "FileVersion"), QString("0.0.6.0"));
    for (qsizetype length = 0; length < bytes.size(); ++length) {
        // A fresh buffer of exactly this size, so a read past its end is one
        // past the allocation for the sanitizers.
        const QByteArray prefix(bytes.constData(), length);
        QVERIFY2(GetVersionInfoFrom(prefix, "FileVersion").isEmpty(), qPrintable(QString::number(length)));
        QVERIFY(!VerQueryValue(prefix, u"\\"));
    }
}

// Lengths, value lengths and types overwritten anywhere in the block: the
// answer may change, but every value found lies inside the block.
void TestVersionBlock::corruptedWordsStayInside()
{
    const QByteArray good = usEnglishBlock();
    for (qsizetype at = 0; at + 1 < good.size(); at += 2) {
        for (quint16 word : {quint16(0), quint16(1), quint16(7), quint16(9), quint16(0x7FFF), quint16(0xFFFF)}) {
            QByteArray bytes = good;
            putWord(bytes, at, word);
            for (QStringView path : {QStringView(u"\\"), QStringView(u"\\VarFileInfo\\Translation"),
                                     QStringView(u"\\StringFileInfo\\040904E4\\FileVersion")}) {
                QVERIFY2(inside(bytes, VerQueryValue(bytes, path)),
                         qPrintable(QStringLiteral("word %1 at %2").arg(word).arg(at)));
            }
            const QString text = GetVersionInfoFrom(bytes, "FileVersion");
            QVERIFY(text.size() <= good.size() / 2);
        }
    }
}

void TestVersionBlock::malformed_data()
{
    QTest::addColumn<QByteArray>("bytes");

    // Offsets in usEnglishBlock(): root 0 (key to 38, fixed part 40-92),
    // StringFileInfo at 92, its table at 128, the String "FileDescription"
    // at 152 (key 158-190, value 192-208), "FileVersion" at 208 (key 214-238,
    // value 240-256).
    const QByteArray good = usEnglishBlock();
    QCOMPARE(GetVersionInfoFrom(good, "FileVersion"), QString("0.0.6.0"));

    QByteArray zeroSibling = good;
    putWord(zeroSibling, 152, 0);
    QTest::newRow("zero-length sibling before the key") << zeroSibling;

    QByteArray rootTooLong = good;
    putWord(rootTooLong, 0, static_cast<quint16>(good.size() + 4));
    QTest::newRow("root longer than the block") << rootTooLong;

    QByteArray childPastParent = good;
    putWord(childPastParent, 128, 200);
    QTest::newRow("table longer than StringFileInfo") << childPastParent;

    QByteArray valuePastNode = good;
    putWord(valuePastNode, 210, 20);
    QTest::newRow("value length past the node") << valuePastNode;

    QByteArray noValueTerminator = good;
    putWord(noValueTerminator, 254, u'x');
    QTest::newRow("value without terminator") << noValueTerminator;

    QByteArray noKeyTerminator = good;
    for (qsizetype at = 236; at < 240; at += 2)
        putWord(noKeyTerminator, at, u'x');
    putWord(noKeyTerminator, 208, 30);  // the node ends inside its key
    QTest::newRow("key without terminator") << noKeyTerminator;

    QByteArray unknownType = good;
    putWord(unknownType, 212, 7);
    QTest::newRow("unknown wType") << unknownType;

    QByteArray wrongRoot = good;
    putWord(wrongRoot, 6, u'X');
    QTest::newRow("root key is not VS_VERSION_INFO") << wrongRoot;
}

void TestVersionBlock::malformed()
{
    QFETCH(QByteArray, bytes);
    QCOMPARE(GetVersionInfoFrom(bytes, "FileVersion"), QString());
}

QTEST_GUILESS_MAIN(TestVersionBlock)
#include "TestVersionBlock.moc"
