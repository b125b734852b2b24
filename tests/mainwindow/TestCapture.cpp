#include "WindowFixture.h"

#include "K4SimProcess.h"
#include "LocalClock.h"
#include "ScratchWorkingDir.h"
#include "ScriptedFileCalls.h"
#include "WithoutFileOverride.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

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
    void failedSyncIsReportedAndRecordingGoesOn();

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
    QCOMPARE(f.ui().lWrittenData->text(), line);
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

void TestCapture::failedSyncIsReportedAndRecordingGoesOn()
{
    // Polling the simulator with a 2 s period, the first record's sync fails:
    // the user sees the write failure, the file holds only whole records, and
    // the following periods are recorded. Each record is written and synced
    // before its tick ends.
    K4SimProcess sim({QStringLiteral("--fixed-smh"), QStringLiteral("151")});
    QVERIFY(sim.ok());
    ScriptedFileCalls calls;  // outlives the window, which closes the file
    WindowFixture f;
    f.aimAt(sim.port());
    QTest::mouseClick(f.ui().bStartPoller, Qt::LeftButton);
    QVERIFY(f.w->S.bConnectionStatus);
    f.ui().seHowLong->setText(QStringLiteral("2"));
    beginCapture(f);
    QVERIFY(f.w->S.FileWrite);
    const QString path = f.w->S.sFileName;
    // Connected after the window's own handler, so it runs once the tick has ended.
    QObject::connect(f.w->UserTimer, &QTimer::timeout, f.w.get(), [&] { calls.log << QStringLiteral("tick ends"); });
    calls.log.clear();
    calls.failNext(QStringLiteral("sync"), EIO);

    QTRY_COMPARE_WITH_TIMEOUT(f.boxes.texts(QStringLiteral("error")), QStringList{QStringLiteral("I/O error 1117.")},
                              10000);
    QCOMPARE(contents(path), QByteArray());
    QVERIFY(f.w->S.FileWrite);
    QTRY_VERIFY_WITH_TIMEOUT(contents(path).count('\n') >= 2, 10000);
    QCOMPARE(f.boxes.texts(QStringLiteral("error")).size(), 1);

    const QByteArray file = contents(path);
    QVERIFY(file.endsWith("\r\n"));
    static const QRegularExpression record(QStringLiteral("^03/07/24,14:05:09,151,-?\\d+$"));
    for (const QByteArray& line : file.chopped(2).split('\n'))
        QVERIFY2(record.match(QString::fromLatin1(line.chopped(1))).hasMatch(), line.constData());

    QStringList log = calls.log;
    QCOMPARE(log.count(QStringLiteral("write")), file.count('\n') + 1);  // the failed one too
    // The failed record is taken back out before its tick ends.
    QVERIFY(log.join(u',').contains(QStringLiteral("write,sync,truncate,tick ends")));
    log.removeAll(QStringLiteral("truncate"));
    for (qsizetype i = 0; i < log.size(); ++i) {
        if (log[i] == QStringLiteral("write"))
            QCOMPARE(log.mid(i, 3), (QStringList{"write", "sync", "tick ends"}));
    }
}

QTEST_MAIN(TestCapture)
#include "TestCapture.moc"
