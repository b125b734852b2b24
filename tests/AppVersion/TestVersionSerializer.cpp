#include "VersionBlock.h"
#include "VersionScripts.h"
#include "VersionSerializer.h"
#include "VersionResource.h"

#include <QFile>
#include <QTest>

#include <stdexcept>

namespace {

quint16 word(const QByteArray& bytes, qsizetype at)
{
    return static_cast<quint16>(static_cast<quint8>(bytes[at]) | (static_cast<quint8>(bytes[at + 1]) << 8));
}

quint32 dword(const QByteArray& bytes, qsizetype at)
{
    return word(bytes, at) | (quint32(word(bytes, at + 2)) << 16);
}

QString utf16At(const QByteArray& bytes, qsizetype at, qsizetype chars)
{
    QString text;
    for (qsizetype i = 0; i < chars; ++i)
        text += QChar(word(bytes, at + 2 * i));
    return text;
}

std::optional<VersionDescription> programDescription(QString* error)
{
    QFile file(QStringLiteral(QUORVEL_VERSION_DESCRIPTION));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return ParseVersionDescription(QString::fromUtf8(file.readAll()), error);
}

}  // namespace

class TestVersionSerializer : public QObject {
    Q_OBJECT

private slots:
    void tinyBlockLayout();
    void programBlockMatchesItsDescription();
    void resourceScript();
    void parseErrors_data();
    void parseErrors();
    void oversizedNodeThrows();
};

// Offsets worked out by hand from the published VS_VERSIONINFO layout:
// root header 0-6, "VS_VERSION_INFO\0" 6-38, padding to 40, VS_FIXEDFILEINFO
// 40-92; StringFileInfo at 92 (key 98-128), its table "040904E4" at 128
// (key 134-152), String "A" at 152 (key 158-162, padding, value "b\0"
// 164-168); VarFileInfo at 168 (key 174-198, padding), Var "Translation" at
// 200 (key 206-230, padding, value 232-236).
void TestVersionSerializer::tinyBlockLayout()
{
    VersionDescription d;
    d.fileVersion = {1, 2, 3, 4};
    d.productVersion = {5, 6, 7, 8};
    d.fileFlagsMask = 0x3F;
    d.fileOS = 4;
    d.fileType = 1;
    d.stringTables = {{"040904E4", {{"A", "b"}}}};
    d.translations = {{0x0409, 0x04E4}};
    const QByteArray bytes = SerializeVersionInfo(d);

    QCOMPARE(bytes.size(), 236);
    // Root: wLength, wValueLength = sizeof(VS_FIXEDFILEINFO), wType binary.
    QCOMPARE(word(bytes, 0), quint16(236));
    QCOMPARE(word(bytes, 2), quint16(52));
    QCOMPARE(word(bytes, 4), quint16(0));
    QCOMPARE(utf16At(bytes, 6, 16), QString("VS_VERSION_INFO") + QChar(0));
    QCOMPARE(word(bytes, 38), quint16(0));
    // VS_FIXEDFILEINFO.
    QCOMPARE(dword(bytes, 40), quint32(0xFEEF04BD));
    QCOMPARE(dword(bytes, 44), quint32(0x00010000));
    QCOMPARE(dword(bytes, 48), quint32(0x00010002));
    QCOMPARE(dword(bytes, 52), quint32(0x00030004));
    QCOMPARE(dword(bytes, 56), quint32(0x00050006));
    QCOMPARE(dword(bytes, 60), quint32(0x00070008));
    QCOMPARE(dword(bytes, 64), quint32(0x3F));
    QCOMPARE(dword(bytes, 68), quint32(0));
    QCOMPARE(dword(bytes, 72), quint32(4));
    QCOMPARE(dword(bytes, 76), quint32(1));
    QCOMPARE(dword(bytes, 88), quint32(0));
    // StringFileInfo: text type, no value.
    QCOMPARE(word(bytes, 92), quint16(76));
    QCOMPARE(word(bytes, 94), quint16(0));
    QCOMPARE(word(bytes, 96), quint16(1));
    QCOMPARE(utf16At(bytes, 98, 14), QString("StringFileInfo"));
    // StringTable.
    QCOMPARE(word(bytes, 128), quint16(40));
    QCOMPARE(utf16At(bytes, 134, 8), QString("040904E4"));
    // String: wValueLength in WORDs with the terminator.
    QCOMPARE(word(bytes, 152), quint16(16));
    QCOMPARE(word(bytes, 154), quint16(2));
    QCOMPARE(word(bytes, 156), quint16(1));
    QCOMPARE(utf16At(bytes, 158, 2), QString("A") + QChar(0));
    QCOMPARE(word(bytes, 162), quint16(0));
    QCOMPARE(utf16At(bytes, 164, 2), QString("b") + QChar(0));
    // VarFileInfo and Var: the Var is binary, wValueLength in bytes.
    QCOMPARE(word(bytes, 168), quint16(68));
    QCOMPARE(word(bytes, 172), quint16(1));
    QCOMPARE(utf16At(bytes, 174, 11), QString("VarFileInfo"));
    QCOMPARE(word(bytes, 200), quint16(36));
    QCOMPARE(word(bytes, 202), quint16(4));
    QCOMPARE(word(bytes, 204), quint16(0));
    QCOMPARE(utf16At(bytes, 206, 11), QString("Translation"));
    QCOMPARE(word(bytes, 232), quint16(0x0409));
    QCOMPARE(word(bytes, 234), quint16(0x04E4));
}

// The block linked into the program is the one its description gives.
void TestVersionSerializer::programBlockMatchesItsDescription()
{
    QString error;
    const auto description = programDescription(&error);
    QVERIFY2(description, qPrintable(error));

    QCOMPARE(description->fileVersion, (std::array<quint16, 4>{0, 0, 6, 0}));
    QCOMPARE(description->productVersion, (std::array<quint16, 4>{1, 0, 0, 0}));
    QCOMPARE(description->fileFlagsMask, quint32(0x3F));
    QCOMPARE(description->fileOS, quint32(4));
    QCOMPARE(description->fileType, quint32(1));
    QCOMPARE(description->stringTables.size(), 1);
    QStringList keys;
    for (const auto& entry : description->stringTables[0].strings)
        keys << entry.first;
    QCOMPARE(keys, QStringList({"FileDescription", "FileVersion", "ProgramID", "ProductName", "ProductVersion"}));

#ifndef _WIN32
    const auto linked = OwnVersionResource();
    QVERIFY(linked);
    QCOMPARE(linked->toByteArray(), SerializeVersionInfo(*description));
#endif
}

void TestVersionSerializer::resourceScript()
{
    QString error;
    const auto description = programDescription(&error);
    QVERIFY2(description, qPrintable(error));
    const auto script = MakeResourceScript(*description, "C:\\src\\app\\icons\\quorvel.ico", "C:/src/quorvel.manifest");
    QVERIFY(script);
    for (const char* line :
         {"VS_VERSION_INFO VERSIONINFO\n", "FILEVERSION 0,0,6,0\n", "PRODUCTVERSION 1,0,0,0\n", "FILEFLAGSMASK 0x3FL\n",
          "FILEOS 0x4L\n", "FILETYPE 0x1L\n", "BLOCK \"040904E4\"\n", "VALUE \"ProgramID\", \"org.quorvel.Quorvel\"\n",
          "VALUE \"Translation\", 0x0409, 1252\n", "IDI_ICON1 ICON \"C:/src/app/icons/quorvel.ico\"\n",
          "1 24 \"C:/src/quorvel.manifest\"\n"}) {
        QVERIFY2(script->contains(QString::fromUtf8(line)), line);
    }

    VersionDescription withQuote = *description;
    withQuote.stringTables[0].strings.append(std::pair<QString, QString>("Comments", "say \"hi\" \\o/"));
    QVERIFY(MakeResourceScript(withQuote, "a.ico", "b.manifest")
                ->contains("VALUE \"Comments\", \"say \"\"hi\"\" \\\\o/\""));

    VersionDescription dated = *description;
    dated.fileDate = 1;
    QVERIFY(!MakeResourceScript(dated, "a.ico", "b.manifest"));
}

void TestVersionSerializer::parseErrors_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    const QString versions = "FileVersion=1.0.0.0\nProductVersion=1.0.0.0\n";
    QTest::newRow("three-part version") << "FileVersion=1.2.3\nProductVersion=1.0.0.0\n"
                                        << "line 1:";
    QTest::newRow("part too large") << versions + "ProductVersion=1.65536.0.0\n"
                                    << "line 3:";
    QTest::newRow("unknown key") << versions + "Colour=blue\n"
                                 << "line 3: unknown key Colour";
    QTest::newRow("string before table") << versions + "String.A=b\n"
                                         << "line 3:";
    QTest::newRow("bad table key") << versions + "StringTable=0409\n"
                                   << "line 3:";
    QTest::newRow("bad translation") << versions + "Translation=0x10000,1252\n"
                                     << "line 3:";
    QTest::newRow("no equals sign") << versions + "FileOS\n"
                                    << "line 3:";
    QTest::newRow("no versions") << "# nothing\n"
                                 << "required";
}

void TestVersionSerializer::parseErrors()
{
    QFETCH(QString, text);
    QFETCH(QString, message);

    QString error;
    QVERIFY(!ParseVersionDescription(text, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
}

void TestVersionSerializer::oversizedNodeThrows()
{
    VersionDescription d;
    d.stringTables = {{"040904E4", {{"A", QString(20000, u'x')}, {"B", QString(20000, u'y')}}}};
    QVERIFY_THROWS_EXCEPTION(std::length_error, SerializeVersionInfo(d));
}

QTEST_GUILESS_MAIN(TestVersionSerializer)
#include "TestVersionSerializer.moc"
