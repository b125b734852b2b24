// The capture file through the Win32 file calls: records in the system ANSI
// code page with CR LF, the file readable but not writable by others while
// open, the Windows error codes of failed opens, the identity check of the
// open file, and the working directory the capture is placed in.
#include "CaptureFileCallsWin.h"
#include "CaptureWriter.h"
#include "ProgramErrors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <windows.h>

#include <functional>

namespace {

std::wstring wide(const QString& s)
{
    return s.toStdWString();
}

// The bytes Windows itself makes of text in the system ANSI code page.
QByteArray ansi(const QString& text)
{
    const std::wstring w = wide(text);
    const int n = ::WideCharToMultiByte(::GetACP(), 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    QByteArray bytes(n, '\0');
    ::WideCharToMultiByte(::GetACP(), 0, w.data(), int(w.size()), bytes.data(), n, nullptr, nullptr);
    return bytes;
}

int errorCodeOf(const std::function<void()>& step)
{
    try {
        step();
    } catch (const EInOutError& e) {
        return e.ErrorCode;
    }
    return 0;
}

}  // namespace

class TestCaptureFileWin : public QObject {
    Q_OBJECT

private slots:
    void recordsInAnsiCodePageWithCrLf();
    void othersMayReadButNotWrite();
    void failedOpensGiveWindowsCodes_data();
    void failedOpensGiveWindowsCodes();
    void nameStillRefersToOpenFile();
    void workingDirectoryIsTheSystems();
};

void TestCaptureFileWin::recordsInAnsiCodePageWithCrLf()
{
    QTemporaryDir dir;
    const QString name = dir.filePath("120126-101500caf\u00e9.csv");
    {
        CaptureWriter txt;
        txt.Assign(name);
        txt.Append();
        txt.WriteLine(QString::fromUtf8("12/01/26,10:15:00,180,-12,5 \u00e9\u00b0"));
        txt.Close();
    }
    {
        // An existing file is appended to.
        CaptureWriter txt;
        txt.Assign(name);
        txt.Append();
        txt.WriteLine("second");
        txt.Close();
    }
    QFile f(name);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray expected = ansi(QString::fromUtf8("12/01/26,10:15:00,180,-12,5 \u00e9\u00b0")) + "\r\nsecond\r\n";
    QCOMPARE(f.readAll(), expected);
    // With the usual Western code page the accented letter is one byte.
    if (::GetACP() == 1252)
        QVERIFY(expected.contains('\xE9'));
}

void TestCaptureFileWin::othersMayReadButNotWrite()
{
    QTemporaryDir dir;
    const QString name = dir.filePath("open.csv");
    CaptureWriter txt;
    txt.Assign(name);
    txt.Append();
    txt.WriteLine("1");

    const HANDLE reader = ::CreateFileW(wide(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    QVERIFY(reader != INVALID_HANDLE_VALUE);
    char buffer[16] = {};
    DWORD got = 0;
    QVERIFY(::ReadFile(reader, buffer, sizeof buffer, &got, nullptr));
    QCOMPARE(QByteArray(buffer, int(got)), QByteArray("1\r\n"));
    ::CloseHandle(reader);

    const HANDLE writer = ::CreateFileW(wide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = ::GetLastError();
    if (writer != INVALID_HANDLE_VALUE)
        ::CloseHandle(writer);
    QVERIFY(writer == INVALID_HANDLE_VALUE);
    QCOMPARE(error, DWORD(ERROR_SHARING_VIOLATION));

    // A second writer of the same capture is refused with the sharing code.
    CaptureWriter second;
    second.Assign(name);
    QCOMPARE(errorCodeOf([&] { second.Append(); }), 32);
    txt.Close();
}

void TestCaptureFileWin::failedOpensGiveWindowsCodes_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<int>("code");
    QTest::newRow("missing folder") << "missing/x.csv" << 3;
    QTest::newRow("a folder") << "folder" << 5;
    QTest::newRow("invalid name") << "a?b.csv" << 123;
}

void TestCaptureFileWin::failedOpensGiveWindowsCodes()
{
    QFETCH(QString, relative);
    QFETCH(int, code);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    CaptureWriter txt;
    txt.Assign(QDir::toNativeSeparators(dir.filePath(relative)));
    QCOMPARE(errorCodeOf([&] { txt.Append(); }), code);
    QVERIFY(!txt.IsOpen());
}

void TestCaptureFileWin::nameStillRefersToOpenFile()
{
    QTemporaryDir dir;
    const QString name = dir.filePath("capture.csv");
    CaptureWriter::FileCalls& calls = Win32CaptureFileCalls();
    bool created = false;
    const int fd = calls.openForAppend(name, &created);
    QVERIFY(fd >= 0);
    QVERIFY(created);
    QVERIFY(Win32NameRefersToOpenFile(fd, name));

    // A name that is missing, or names another file, is not the open file.
    QVERIFY(!Win32NameRefersToOpenFile(fd, dir.filePath("other.csv")));
    QFile other(dir.filePath("other.csv"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();
    QVERIFY(!Win32NameRefersToOpenFile(fd, other.fileName()));
    QCOMPARE(calls.close(fd), 0);

    // Opening the same name again finds the existing file.
    const int again = calls.openForAppend(name, &created);
    QVERIFY(again >= 0);
    QVERIFY(!created);
    QCOMPARE(calls.close(again), 0);
}

void TestCaptureFileWin::workingDirectoryIsTheSystems()
{
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD n = ::GetCurrentDirectoryW(MAX_PATH + 1, buffer);
    QVERIFY(n > 0 && n <= MAX_PATH);
    const QString system = QString::fromWCharArray(buffer, int(n));
    // The folder the window puts a new capture in.
    const QString captureFolder = QDir::toNativeSeparators(QDir::currentPath());
    QDir::setCurrent(previous);
    QCOMPARE(captureFolder, system);
}

QTEST_GUILESS_MAIN(TestCaptureFileWin)
#include "TestCaptureFileWin.moc"
