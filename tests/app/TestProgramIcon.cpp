#include "ProgramIcon.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QTest>

// The window gets an image drawn for each size the desktop asks for, not the
// largest one scaled down.
class TestProgramIcon : public QObject {
    Q_OBJECT
private slots:
    void everySizeIsItsOwnImage_data();
    void everySizeIsItsOwnImage();
};

void TestProgramIcon::everySizeIsItsOwnImage_data()
{
    QTest::addColumn<int>("size");
    for (int size : {16, 32, 48, 256})
        QTest::addRow("%d px", size) << size;
}

void TestProgramIcon::everySizeIsItsOwnImage()
{
    QFETCH(int, size);
    const QIcon icon = ProgramIcon();
    QVERIFY(icon.availableSizes().contains(QSize(size, size)));
    QCOMPARE(icon.availableSizes().size(), 4);

    const QImage drawn(QStringLiteral(":/icons/quorvel-%1.png").arg(size));
    QCOMPARE(drawn.size(), QSize(size, size));
    const QImage given = icon.pixmap(QSize(size, size), 1.0).toImage().convertToFormat(drawn.format());
    QCOMPARE(given.size(), drawn.size());
    QVERIFY(given == drawn);
}

QTEST_MAIN(TestProgramIcon)
#include "TestProgramIcon.moc"
