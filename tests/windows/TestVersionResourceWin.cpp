// The version resource compiled into this executable (the same script as the
// program's), read back the way the program reads it and the way Windows
// itself does with VerQueryValueW: both must agree with the block's
// description, fixed part included.
#include "AppVersion.h"
#include "VersionResource.h"

#include <QTest>

#include <windows.h>

namespace {

// Windows' own reading of a private copy of the resource.
QString systemQuery(const QByteArray& copy, const QString& key)
{
    QByteArray block = copy;
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = (QStringLiteral("\\StringFileInfo\\040904E4\\") + key).toStdWString();
    if (!::VerQueryValueW(block.data(), path.c_str(), &value, &length) || !value)
        return QString();
    return QString::fromWCharArray(static_cast<const wchar_t*>(value)).left(int(length));
}

}  // namespace

class TestVersionResourceWin : public QObject {
    Q_OBJECT

private slots:
    void resourceIsTheExecutables();
    void programAndSystemAgree_data();
    void programAndSystemAgree();
    void fixedPartAndTranslation();
    void manifestAndIcon();
};

void TestVersionResourceWin::resourceIsTheExecutables()
{
    const auto resource = OwnVersionResource();
    QVERIFY(resource.has_value());
    QVERIFY(resource->size() > 64);
    // It is the module's own mapped resource, not a copy made elsewhere.
    HMODULE module = nullptr;
    QVERIFY(::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCWSTR>(resource->data()), &module));
    QCOMPARE(module, ::GetModuleHandleW(nullptr));
}

void TestVersionResourceWin::programAndSystemAgree_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("FileVersion") << "FileVersion"
                                 << "0.0.6.0";
    QTest::newRow("ProductVersion") << "ProductVersion"
                                    << "1.0.0.0";
    QTest::newRow("FileDescription") << "FileDescription"
                                     << "Quorvel";
    QTest::newRow("ProductName") << "ProductName"
                                 << "Quorvel";
    QTest::newRow("ProgramID") << "ProgramID"
                               << "org.quorvel.Quorvel";
    QTest::newRow("absent") << "CompanyName"
                            << "";
}

void TestVersionResourceWin::programAndSystemAgree()
{
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const auto resource = OwnVersionResource();
    QVERIFY(resource.has_value());
    QCOMPARE(GetVersionInfo(key), expected);
    QCOMPARE(systemQuery(resource->toByteArray(), key), expected);
}

void TestVersionResourceWin::fixedPartAndTranslation()
{
    const auto resource = OwnVersionResource();
    QVERIFY(resource.has_value());
    QByteArray block = resource->toByteArray();

    void* value = nullptr;
    UINT length = 0;
    QVERIFY(::VerQueryValueW(block.data(), L"\\", &value, &length));
    QCOMPARE(length, UINT(sizeof(VS_FIXEDFILEINFO)));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    QCOMPARE(fixed->dwSignature, DWORD(0xFEEF04BD));
    QCOMPARE(fixed->dwFileVersionMS, DWORD(0x00000000));
    QCOMPARE(fixed->dwFileVersionLS, DWORD(0x00060000));
    QCOMPARE(fixed->dwProductVersionMS, DWORD(0x00010000));
    QCOMPARE(fixed->dwProductVersionLS, DWORD(0x00000000));
    QCOMPARE(fixed->dwFileFlagsMask, DWORD(0x3F));
    QCOMPARE(fixed->dwFileFlags, DWORD(0));
    QCOMPARE(fixed->dwFileOS, DWORD(4));
    QCOMPARE(fixed->dwFileType, DWORD(1));

    QVERIFY(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length));
    QCOMPARE(length, UINT(4));
    const auto* entry = static_cast<const WORD*>(value);
    QCOMPARE(entry[0], WORD(0x0409));
    QCOMPARE(entry[1], WORD(0x04E4));
}

void TestVersionResourceWin::manifestAndIcon()
{
    // The same script gives the executable its manifest and its icon.
    const HRSRC manifest = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
    QVERIFY(manifest);
    const char* text = static_cast<const char*>(::LockResource(::LoadResource(nullptr, manifest)));
    const QByteArray xml(text, int(::SizeofResource(nullptr, manifest)));
    for (const char* needed : {"PerMonitorV2", "asInvoker", "Microsoft.Windows.Common-Controls",
                               "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        QVERIFY2(xml.contains(needed), needed);
    QVERIFY(::FindResourceW(nullptr, L"IDI_ICON1", MAKEINTRESOURCEW(14)));  // RT_GROUP_ICON
}

QTEST_GUILESS_MAIN(TestVersionResourceWin)
#include "TestVersionResourceWin.moc"
