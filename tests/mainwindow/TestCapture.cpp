#include "WindowFixture.h"

#include "K4SimProcess.h"
#include "LocalClock.h"
#include "ScratchWorkingDir.h"
#include "ScriptedFileCalls.h"
#include "WithoutFileOverride.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QThread>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cstdio>

// Begin and End Capture, and the integration tick that writes the records.
class TestCapture : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void beginCaptureNamesAndCreatesTheFile_data();
    void beginCaptureNamesAndCreatesTheFile();
    void suffixCutEvenWhenHostCheckFails_data();
    void suffixCutEvenWhenHostCheckFails();
    void existingFileIsAppendedTo();
    void unsafeSuffixIsRefused_data();
    void unsafeSuffixIsRefused();
    void readOnlyFolderIsRefused();
    void deletedWorkingDirIsRefused();
    void integrationPeriodRestartsOnlyWhenChanged();
    void integrationTick_data();
    void integrationTick();
    void periodWithoutReadingsWritesNothing();
    void absurdLevelIsReportedNotRecorded();
    void tickWithoutCaptureChangesNothing();
    void startPollerClosesAnOpenCapture();
    void failingDiskKeepsEveryPeriodsRecord();
    void fullDiskRecordsWaitUntilThereIsRoom();
    void waitingRecordIsTriedAgainInASilentPeriod();
    void recordsFollowTheFileName_data();
    void recordsFollowTheFileName();
    void slowDiskHoldsUpNeitherPollsNorEndCapture();

private:
    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void beginCapture(WindowFixture& f, const QString& suffix = QStringLiteral("test"))
    {
        f.ui().HostAddress->setText(QStringLiteral("127.0.0.1"));
        f.ui().Additionaldata->setText(suffix);
        f.ui().bBeginCapture->setEnabled(true);
        QTest::mouseClick(f.ui().bBeginCapture, Qt::LeftButton);
    }

    // One integration tick that ends a period with the given mean and last reading.
    static void recordPeriod(WindowFixture& f, double mean, const QString& reading = QStringLiteral("151"))
    {
        f.w->S.Average = mean;
        f.w->S.AverageCount = 1;
        f.w->S.sNewSMH = reading;
        f.w->UserTimerTimer();
    }

    // Polls the simulator and captures with a 2 s period; the records carry
    // the real clock's times.
    static void captureFrom(WindowFixture& f, K4SimProcess& sim, int period = 2)
    {
        QVERIFY(f.startPolling(sim.port()));
        QVERIFY(f.beginCapture(period, QStringLiteral("test")));
    }

    // The records' times, in seconds of the day; every line must be a whole record.
    static QList<int> recordTimes(const QStringList& lines)
    {
        static const QRegularExpression record(
            QStringLiteral("^\\d\\d/\\d\\d/\\d\\d,(\\d\\d):(\\d\\d):(\\d\\d),151,-?\\d+$"));
        QList<int> out;
        for (const QString& line : lines) {
            const auto m = record.match(line);
            if (!m.hasMatch())
                return {-1};
            out << m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toInt();
        }
        return out;
    }

    // The real clock, for tests in which each record's own time matters.
    void useRealClock() { m_clock.reset(); }

    std::unique_ptr<ScratchWorkingDir> m_dir;
    std::unique_ptr<LocalClock::Override> m_clock;
    // Records must not depend on the machine's regional settings.
    FormatSettings::Override m_formats{FormatSettings{}};
};

void TestCapture::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestCapture::init()
{
    m_dir = std::make_unique<ScratchWorkingDir>();
    m_clock = std::make_unique<LocalClock::Override>([] { return QDateTime(QDate(2024, 3, 7), QTime(14, 5, 9, 999)); });
}

void TestCapture::cleanup()
{
    m_clock.reset();
    m_dir.reset();
}

void TestCapture::beginCaptureNamesAndCreatesTheFile_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("name");
    QTest::newRow("suffix") << "dipole"
                            << "030724-140509-dipole.csv";
    QTest::newRow("empty suffix") << ""
                                  << "030724-140509-.csv";
    // Cutting to 10 code units would split the last pair: it is left out whole.
    QTest::newRow("surrogate pair at the cut")
        << QString::fromUtf16(u"a\U0001F4E1\U0001F4E1\U0001F4E1\U0001F4E1\U0001F4E1")
        << QString::fromUtf16(u"030724-140509-a\U0001F4E1\U0001F4E1\U0001F4E1\U0001F4E1.csv");
}

void TestCapture::beginCaptureNamesAndCreatesTheFile()
{
    QFETCH(QString, suffix);
    QFETCH(QString, name);
    WindowFixture f;
    beginCapture(f, suffix);
    QVERIFY(f.boxes.shown.isEmpty());
    QVERIFY(f.w->S.FileWrite);
    QCOMPARE(f.w->S.sDTG, name);
    QCOMPARE(f.ui().lFileName->text(), name);
    QCOMPARE(f.w->S.sFileName, QDir::toNativeSeparators(m_dir->path()) + QDir::separator() + name);
    QVERIFY(QFile::exists(m_dir->filePath(name)));
    QCOMPARE(QFileInfo(m_dir->filePath(name)).size(), 0);
    QVERIFY(!f.ui().bBeginCapture->isEnabled());
    QVERIFY(f.ui().bEndCapture->isEnabled());
    QCOMPARE(f.w->S.Counter, 0);

    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    QVERIFY(!f.w->S.FileWrite);
    QVERIFY(!f.w->S.txt.IsOpen());
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestCapture::suffixCutEvenWhenHostCheckFails_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("cut");
    QTest::newRow("twelve letters") << "abcdefghijkl"
                                    << "abcdefghij";
    QTest::newRow("pair across the cut") << QString::fromUtf16(u"a\U0001F4E1\U0001F4E1\U0001F4E1\U0001F4E1\U0001F4E1")
                                         << QString::fromUtf16(u"a\U0001F4E1\U0001F4E1\U0001F4E1\U0001F4E1");
    QTest::newRow("pairs fill it") << QString::fromUtf16(u"\U0001F4E1\U0001F4E1\U0001F4E1\U0001F4E1\U0001F4E1b")
                                   << QString::fromUtf16(u"\U0001F4E1\U0001F4E1\U0001F4E1\U0001F4E1\U0001F4E1");
}

void TestCapture::suffixCutEvenWhenHostCheckFails()
{
    QFETCH(QString, typed);
    QFETCH(QString, cut);
    WindowFixture f;
    f.ui().Additionaldata->setText(typed);
    f.ui().HostAddress->setText(QStringLiteral("radio"));
    f.ui().bBeginCapture->setEnabled(true);
    QTest::mouseClick(f.ui().bBeginCapture, Qt::LeftButton);
    QCOMPARE(f.ui().Additionaldata->text(), cut);
    QVERIFY(!f.w->S.FileWrite);
    QVERIFY(f.boxes.shown.isEmpty());
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files).isEmpty());
    QVERIFY(f.ui().bEndCapture->isEnabled());
}

void TestCapture::existingFileIsAppendedTo()
{
    // Two captures begun in the same second get the same name: the second
    // must not destroy the first one's records.
    WindowFixture f;
    beginCapture(f);
    recordPeriod(f, 151);
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    beginCapture(f);
    recordPeriod(f, 151);
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    QCOMPARE(contents(m_dir->filePath(QStringLiteral("030724-140509-test.csv"))),
             QByteArray("03/07/24,14:05:09,151,123\r\n03/07/24,14:05:09,151,123\r\n"));
}

void TestCapture::unsafeSuffixIsRefused_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("error");
    const QString invalid = QStringLiteral("Invalid filename.");
    QTest::newRow("parent folder") << "../x" << invalid;
    QTest::newRow("sub folder") << "a/b" << invalid;
    QTest::newRow("backslash") << "a\\b" << invalid;
    // Names Windows and FAT media cannot hold: refused as Windows refuses them.
    const QString badName = QStringLiteral("I/O error 123.");
    QTest::newRow("question mark") << "XZ?" << badName;
    QTest::newRow("star and less") << "XZ*<" << badName;
    QTest::newRow("greater") << "a>b" << badName;
    QTest::newRow("colon") << "a:b" << badName;
    QTest::newRow("double quote") << "a\"b" << badName;
    QTest::newRow("bar") << "a|b" << badName;
    QTest::newRow("tab") << "a\tb" << badName;
    QTest::newRow("escape") << "a\x1b" << badName;
}

void TestCapture::unsafeSuffixIsRefused()
{
    QFETCH(QString, suffix);
    QFETCH(QString, error);
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("inner/030724-140509-a")));
    QVERIFY(QDir::setCurrent(m_dir->filePath(QStringLiteral("inner"))));
    WindowFixture f;
    beginCapture(f, suffix);
    QCOMPARE(f.boxes.texts(QStringLiteral("error")), QStringList{error});
    QVERIFY(!f.w->S.FileWrite);
    QCOMPARE(f.w->S.Counter, 0);
    QCOMPARE(f.ui().lFileName->text(), QStringLiteral("030724-140509-") + suffix + QStringLiteral(".csv"));
    QVERIFY(!f.ui().bBeginCapture->isEnabled());
    QVERIFY(f.ui().bEndCapture->isEnabled());
    QCOMPARE(f.w->UserTimer->interval(), 1000);
    // Nothing was created anywhere.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(m_dir->filePath(QStringLiteral("inner"))).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(m_dir->filePath(QStringLiteral("inner/030724-140509-a"))).entryList(QDir::Files), QStringList());
}

void TestCapture::readOnlyFolderIsRefused()
{
#ifdef _WIN32
    QSKIP("Windows ignores the read-only attribute of a folder");
#endif
    WithoutFileOverride asUser;
    QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner);
    WindowFixture f;
    beginCapture(f);
    QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(f.boxes.texts(QStringLiteral("error")), QStringList{QStringLiteral("File access denied.")});
    QVERIFY(!f.w->S.FileWrite);
    QCOMPARE(f.ui().lFileName->text(), QStringLiteral("030724-140509-test.csv"));
    QVERIFY(f.ui().bEndCapture->isEnabled());
    QCOMPARE(f.w->UserTimer->interval(), 1000);
    // End Capture recovers, as after a failed host check.
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    QVERIFY(f.ui().bBeginCapture->isEnabled());
}

void TestCapture::deletedWorkingDirIsRefused()
{
#ifdef _WIN32
    QSKIP("Windows does not delete a folder that is a process's working folder");
#endif
    // The folder the program was started in is deleted under it: the
    // capture must not land in the root folder (or anywhere else) instead.
    const QString gone = m_dir->filePath(QStringLiteral("gone"));
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("gone")));
    QVERIFY(QDir::setCurrent(gone));
    QVERIFY(QDir(gone).removeRecursively());
    QVERIFY(QDir::currentPath().isEmpty());
    WindowFixture f;
    beginCapture(f);
    QCOMPARE(f.boxes.texts(QStringLiteral("error")), QStringList{QStringLiteral("Invalid filename.")});
    QVERIFY(!f.w->S.FileWrite);
    QVERIFY(!f.w->S.txt.IsOpen());
    QCOMPARE(f.ui().lFileName->text(), QStringLiteral("030724-140509-test.csv"));
    QVERIFY(f.ui().bEndCapture->isEnabled());
    QCOMPARE(f.w->UserTimer->interval(), 1000);
    QVERIFY(!QFile::exists(QStringLiteral("/030724-140509-test.csv")));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
    // End Capture recovers, as after a failed host check.
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    QVERIFY(f.ui().bBeginCapture->isEnabled());
}

void TestCapture::integrationPeriodRestartsOnlyWhenChanged()
{
    WindowFixture f;
    f.ui().seHowLong->setText(QStringLiteral("15"));
    beginCapture(f);
    QCOMPARE(f.w->UserTimer->interval(), 15000);
    QVERIFY(f.w->UserTimer->remainingTime() > 14000);
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);

    QTest::qWait(1200);
    beginCapture(f);  // same period: the running period goes on
    QVERIFY(f.w->UserTimer->remainingTime() < 14000);
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);

    f.ui().seHowLong->setText(QStringLiteral("20"));
    beginCapture(f);  // a new period starts in full
    QCOMPARE(f.w->UserTimer->interval(), 20000);
    QVERIFY(f.w->UserTimer->remainingTime() > 19000);
}

void TestCapture::integrationTick_data()
{
    QTest::addColumn<double>("mean");
    QTest::addColumn<bool>("first");
    QTest::addColumn<double>("point");
    QTest::addColumn<QString>("level");

    // The level rule itself is tested with the integration sums; here it is
    // the tick's wiring: the point plotted exact, the record rounded, both
    // signs, the first period included.
    const struct {
        double mean;
        double point;
        const char* level;
    } rows[] = {{150.4, 123.6, "124"}, {152.5, 121.5, "122"}, {29.5, -12.5, "-12"}};
    for (const auto& r : rows) {
        QTest::addRow("%g later", r.mean) << r.mean << false << r.point << QString::fromLatin1(r.level);
        QTest::addRow("%g first", r.mean) << r.mean << true << r.point << QString::fromLatin1(r.level);
    }
}

void TestCapture::integrationTick()
{
    QFETCH(double, mean);
    QFETCH(bool, first);
    QFETCH(double, point);
    QFETCH(QString, level);
    WindowFixture f;
    beginCapture(f);
    f.w->S.Counter = first ? 0 : 3;
    f.w->S.Average = mean;
    f.w->S.AverageCount = 4;
    f.w->S.AverageRunningTotal = mean * 4;
    f.w->S.sNewSMH = QStringLiteral("151");
    const qsizetype points = f.w->chart()->Count();
    f.w->UserTimerTimer();

    const QString line = QStringLiteral("03/07/24,14:05:09,151,") + level;
    QCOMPARE(f.ui().lAverage->text(), level);
    // "Written data" shows the record once the writer thread has it on disk.
    QTRY_COMPARE(f.ui().lWrittenData->text(), line);
    QCOMPARE(contents(f.w->S.sFileName), (line + QStringLiteral("\r\n")).toLatin1());
    QCOMPARE(f.w->S.Average, double(level.toInt()));
    QCOMPARE(f.w->S.AverageCount, 0.0);
    QCOMPARE(f.w->S.AverageRunningTotal, 0.0);
    // The first period may be partial: recorded, not plotted.
    QCOMPARE(f.w->chart()->Count(), points + (first ? 0 : 1));
    if (!first) {
        QCOMPARE(f.w->chart()->YValue(points), point);
        QCOMPARE(f.w->chart()->Label(points), QStringLiteral("14:05:09"));
        QCOMPARE(f.w->chart()->PointColor(points), QColor(255, 0, 0));
    }
}

void TestCapture::periodWithoutReadingsWritesNothing()
{
    WindowFixture f;
    beginCapture(f);
    f.w->S.Counter = 3;
    f.w->S.Average = 150.4;  // left over from an earlier period
    f.w->S.AverageCount = 0;
    f.ui().lAverage->setText(QStringLiteral("124"));
    f.w->UserTimerTimer();
    QCOMPARE(contents(f.w->S.sFileName), QByteArray());
    QCOMPARE(f.w->chart()->Count(), 0);
    QCOMPARE(f.ui().lAverage->text(), QStringLiteral("124"));
    QVERIFY(f.boxes.shown.isEmpty());
}

void TestCapture::absurdLevelIsReportedNotRecorded()
{
    WindowFixture f;
    beginCapture(f);
    f.w->S.Counter = 3;
    f.w->S.Average = 1e19;
    f.w->S.AverageCount = 1;
    f.w->guarded([&] { f.w->UserTimerTimer(); });
    QCOMPARE(f.boxes.texts(QStringLiteral("error")).size(), 1);
    QCOMPARE(contents(f.w->S.sFileName), QByteArray());
    QCOMPARE(f.w->chart()->Count(), 0);
    QVERIFY(f.w->S.FileWrite);
    // The next period starts afresh.
    QCOMPARE(f.w->S.AverageCount, 0.0);
}

void TestCapture::tickWithoutCaptureChangesNothing()
{
    WindowFixture f;
    f.w->S.Average = 150;
    f.w->S.AverageCount = 2;
    f.w->UserTimerTimer();
    QCOMPARE(f.w->S.Average, 150.0);
    QCOMPARE(f.w->S.AverageCount, 2.0);
    QVERIFY(f.ui().lAverage->text().isEmpty());
    QCOMPARE(f.w->S.Counter, 0);
}

void TestCapture::startPollerClosesAnOpenCapture()
{
    // Start Poller ends recording; the file it ends is closed complete, and
    // End Capture then reports that no file is open.
    WindowFixture f;
    beginCapture(f);
    recordPeriod(f, 151);
    f.ui().HostAddress->setText(QStringLiteral("not a host"));
    QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
    QVERIFY(!f.w->S.FileWrite);
    QVERIFY(!f.w->S.txt.IsOpen());
    QVERIFY(f.ui().bBeginCapture->isEnabled());
    QCOMPARE(contents(f.w->S.sFileName), QByteArray("03/07/24,14:05:09,151,123\r\n"));
    f.ui().bEndCapture->setEnabled(true);
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    QCOMPARE(f.boxes.texts(QStringLiteral("information")).last(),
             QStringLiteral("No file is opened, you must begin a capture before you can close the file"));
}

void TestCapture::failingDiskKeepsEveryPeriodsRecord()
{
    // Polling the simulator with a 2 s period, the disk fails the first
    // three syncs: the user is told once, "Written data" shows no record that
    // is not on the disk, and once the disk takes records again the file
    // holds every period's record, in order, each with its own time.
    useRealClock();
    K4SimProcess sim({QStringLiteral("--fixed-smh"), QStringLiteral("151")});
    QVERIFY(sim.ok());
    ScriptedFileCalls calls;  // outlives the window, which closes the file
    WindowFixture f;
    captureFrom(f, sim);
    const QString path = f.w->S.sFileName;
    QSignalSpy written(&f.w->S.txt, &CaptureRecorder::recordWritten);
    QVERIFY(written.isValid());
    calls.failNext(QStringLiteral("sync"), EIO, 3);

    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.texts(QStringLiteral("error")), QStringList{QStringLiteral("I/O error 1117.")},
                              10000);
    QVERIFY(f.ui().lWrittenData->text().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(written.size() >= 1, 15000);
    QCOMPARE(f.boxes.texts(QStringLiteral("error")).size(), 1);  // once while the fault lasted
    QTRY_VERIFY_WITH_TIMEOUT(CaptureFileLines(path).size() >= 5, 10000);
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);

    bool complete = false;
    const QStringList lines = CaptureFileLines(path, &complete);
    QVERIFY(complete);
    const QList<int> times = recordTimes(lines);
    QVERIFY2(!times.contains(-1), qPrintable(lines.join(u'|')));
    // One record per period: none merged into the next, none lost.
    for (qsizetype i = 1; i < times.size(); ++i)
        QVERIFY2(times[i] - times[i - 1] >= 1 && times[i] - times[i - 1] <= 3, qPrintable(lines.join(u'|')));
    QCOMPARE(f.ui().lWrittenData->text(), lines.last());
    // The failed syncs' records were written again with the next ones.
    QCOMPARE(calls.log().count(QStringLiteral("truncate")), 3);
    QCOMPARE(f.boxes.texts(QStringLiteral("error")).size(), 1);
}

void TestCapture::fullDiskRecordsWaitUntilThereIsRoom()
{
    // A small tmpfs as the working directory is full from the first record
    // on, until the test makes room again.
    QTemporaryDir mountPoint;
    if (QProcess::execute(QStringLiteral("mount"),
                          {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                           QStringLiteral("size=64k"), QStringLiteral("quorvel-test"), mountPoint.path()})
        != 0)
        QSKIP("needs to mount a tmpfs (root)");
    const auto unmount = qScopeGuard([&] {
        QDir::setCurrent(m_dir->path());
        QProcess::execute(QStringLiteral("umount"), {mountPoint.path()});
    });
    QVERIFY(QDir::setCurrent(mountPoint.path()));
    // The capture appends to a file whose last page is full, so its first
    // record needs a page of its own.
    constexpr int kPadLines = 64;
    {
        QFile pad(QStringLiteral("030724-140509-test.csv"));
        QVERIFY(pad.open(QIODevice::WriteOnly));
        for (int i = 0; i < kPadLines; ++i)
            pad.write(QByteArray(62, '#') + "\r\n");
    }
    K4SimProcess sim({QStringLiteral("--fixed-smh"), QStringLiteral("151")});
    QVERIFY(sim.ok());
    WindowFixture f;
    captureFrom(f, sim);
    useRealClock();
    const QString path = f.w->S.sFileName;
    const QString filler = QDir(mountPoint.path()).filePath(QStringLiteral("filler"));
    {
        QFile fill(filler);
        QVERIFY(fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (fill.write(block) == block.size()) {
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.texts(QStringLiteral("error")), QStringList{QStringLiteral("I/O error 112.")},
                              10000);
    QTest::qWait(4500);  // two more periods against the full disk
    QVERIFY(f.ui().lWrittenData->text().isEmpty());
    QCOMPARE(CaptureFileLines(path).size(), kPadLines);
    QCOMPARE(f.boxes.texts(QStringLiteral("error")).size(), 1);

    // Room again: the waiting records reach the file, in order, with the next one.
    QVERIFY(QFile::remove(filler));
    QTRY_VERIFY_WITH_TIMEOUT(CaptureFileLines(path).size() >= kPadLines + 4, 10000);
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    bool complete = false;
    const QStringList lines = CaptureFileLines(path, &complete).mid(kPadLines);
    QVERIFY(complete);
    const QList<int> times = recordTimes(lines);
    QVERIFY2(!times.contains(-1), qPrintable(lines.join(u'|')));
    for (qsizetype i = 1; i < times.size(); ++i)
        QVERIFY2(times[i] - times[i - 1] >= 1 && times[i] - times[i - 1] <= 3, qPrintable(lines.join(u'|')));
    QCOMPARE(f.ui().lWrittenData->text(), lines.last());
    QCOMPARE(f.boxes.texts(QStringLiteral("error")).size(), 1);
}

void TestCapture::waitingRecordIsTriedAgainInASilentPeriod()
{
    // The radio goes away during the first period, whose record the disk
    // refuses: the periods after it have no readings and bring no record of
    // their own, and the waiting one reaches the disk at the next of them.
    K4SimProcess sim({QStringLiteral("--fixed-smh"), QStringLiteral("151")});
    QVERIFY(sim.ok());
    ScriptedFileCalls calls;  // outlives the window, which closes the file
    WindowFixture f;
    captureFrom(f, sim, 4);
    const QString path = f.w->S.sFileName;
    calls.failNext(QStringLiteral("sync"), EIO);
    QTRY_VERIFY_WITH_TIMEOUT(f.w->S.AverageCount > 0, 3000);
    sim.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!f.w->S.bConnectionStatus, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.texts(QStringLiteral("error")), QStringList{QStringLiteral("I/O error 1117.")},
                              10000);
    QCOMPARE(CaptureFileLines(path).size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(CaptureFileLines(path).size(), 1, 6000);
    QCOMPARE(f.ui().lWrittenData->text(), CaptureFileLines(path).first());
    QCOMPARE(f.boxes.texts(QStringLiteral("error")).size(), 1);
}

void TestCapture::recordsFollowTheFileName_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("deleted") << "rm";
    QTest::newRow("replaced, as sed -i does") << "rename over";
    QTest::newRow("renamed away") << "rename away";
}

void TestCapture::recordsFollowTheFileName()
{
    // Whatever happens to the file under the capture, the records go on
    // under its name, and none goes into a file without one.
    QFETCH(QString, action);
#ifdef _WIN32
    // There the file cannot lose its name under the capture at all.
    QSKIP("Windows refuses to delete, rename or replace a file open for writing without shared delete");
#endif
    K4SimProcess sim({QStringLiteral("--fixed-smh"), QStringLiteral("151")});
    QVERIFY(sim.ok());
    WindowFixture f;
    captureFrom(f, sim);
    const QString path = f.w->S.sFileName;
    QTRY_VERIFY_WITH_TIMEOUT(CaptureFileLines(path).size() >= 1, 10000);
    const QStringList earlier = CaptureFileLines(path);
    const QString moved = m_dir->filePath(QStringLiteral("moved.csv"));
    if (action == QLatin1String("rm")) {
        QVERIFY(QFile::remove(path));
    } else if (action == QLatin1String("rename over")) {
        const QString edited = m_dir->filePath(QStringLiteral("sedXYZ"));
        QFile out(edited);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("edited\r\n");
        out.close();
        QVERIFY(::rename(QFile::encodeName(edited).constData(), QFile::encodeName(path).constData()) == 0);
    } else {
        QVERIFY(QFile::rename(path, moved));
    }
    QTRY_VERIFY_WITH_TIMEOUT(CaptureFileLines(path).size() >= 3, 10000);
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    QVERIFY(f.boxes.shown.isEmpty());

    bool complete = false;
    QStringList later = CaptureFileLines(path, &complete);
    QVERIFY(complete);
    if (action == QLatin1String("rename over"))
        QCOMPARE(later.takeFirst(), QStringLiteral("edited"));
    if (action == QLatin1String("rename away")) {
        // The renamed file keeps the records from before, and only those.
        const QStringList kept = CaptureFileLines(moved);
        QVERIFY(kept.size() >= earlier.size());
        QVERIFY(kept.size() <= earlier.size() + 1);  // one may have been on its way
    }
    QVERIFY(later.size() >= 2);
    QVERIFY(!recordTimes(later).contains(-1));
    QCOMPARE(f.ui().lWrittenData->text(), later.last());
}

void TestCapture::slowDiskHoldsUpNeitherPollsNorEndCapture()
{
    // Each sync takes the disk 6 s: the polls go on once a second meanwhile,
    // and End Capture waits a few seconds at most before leaving the writer
    // to finish on its own; its records reach the file when the disk answers.
    K4SimProcess sim({QStringLiteral("--fixed-smh"), QStringLiteral("151"), QStringLiteral("--verbose")});
    QVERIFY(sim.ok());
    ScriptedFileCalls calls;  // outlives the writer, which the test waits for
    WindowFixture f;
    captureFrom(f, sim);
    const QString path = f.w->S.sFileName;
    std::atomic<int> syncsStarted{0};
    std::atomic<int> syncsDone{0};
    std::atomic<bool> onUiThread{false};
    QThread* const ui = QThread::currentThread();
    calls.onCall = [&](const QString& call) {
        if (call == QLatin1String("write") || call == QLatin1String("sync"))
            onUiThread = onUiThread || QThread::currentThread() == ui;
        if (call != QLatin1String("sync"))
            return;
        ++syncsStarted;
        QThread::sleep(6);
        ++syncsDone;
    };
    QTRY_VERIFY_WITH_TIMEOUT(syncsStarted >= 1, 10000);
    const int polled = sim.receivedCount("sm;");
    QTest::qWait(4000);
    QVERIFY2(sim.receivedCount("sm;") - polled >= 3, "the polls go on while the disk syncs");
    QVERIFY(f.ui().lWrittenData->text().isEmpty());

    QElapsedTimer ended;
    ended.start();
    QTest::mouseClick(f.ui().bEndCapture, Qt::LeftButton);
    QVERIFY2(ended.elapsed() < 4000, qPrintable(QString::number(ended.elapsed())));
    QVERIFY(!f.w->S.FileWrite);
    QCOMPARE(f.boxes.texts(QStringLiteral("error")), QStringList{CaptureRecorder::StillWritingText()});
    // The left writer finishes: its last call closes the file, and every
    // record handed to it is in the file.
    QTRY_VERIFY_WITH_TIMEOUT(calls.log().endsWith(QStringLiteral("close")), 30000);
    QTest::qWait(300);  // the writer thread leaves the file calls
    QCOMPARE(syncsDone.load(), syncsStarted.load());
    QVERIFY(CaptureFileLines(path).size() >= 2);
    QVERIFY(!onUiThread);
    bool complete = false;
    CaptureFileLines(path, &complete);
    QVERIFY(complete);
}

QTEST_MAIN(TestCapture)
#include "TestCapture.moc"
