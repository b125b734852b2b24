#include "MeterBar.h"

#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <limits>

class TestMeterBar : public QObject {
    Q_OBJECT

private slots:
    void designState();
    void holdsReadingShowsNearerEnd_data();
    void holdsReadingShowsNearerEnd();
    void tabStop();

private:
    static QImage render(int position);
};

QImage TestMeterBar::render(int position)
{
    MeterBar bar;
    bar.resize(416, 17);
    bar.setValue(position);
    return bar.grab().toImage();
}

void TestMeterBar::designState()
{
    MeterBar bar;
    QCOMPARE(bar.minimum(), 0);
    QCOMPARE(bar.maximum(), 42);
    QCOMPARE(bar.position(), 0);
    QCOMPARE(bar.value(), 0);
    QVERIFY(!bar.isTextVisible());
}

void TestMeterBar::holdsReadingShowsNearerEnd_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("shown");

    QTest::newRow("empty") << 0 << 0;
    QTest::newRow("middle") << 21 << 21;
    QTest::newRow("full") << 42 << 42;
    QTest::newRow("just over") << 43 << 42;
    QTest::newRow("no reading 180") << 180 << 42;
    QTest::newRow("negative") << -5 << 0;
    QTest::newRow("int max") << std::numeric_limits<int>::max() << 42;
    QTest::newRow("int min") << std::numeric_limits<int>::min() << 0;
}

void TestMeterBar::holdsReadingShowsNearerEnd()
{
    QFETCH(int, position);
    QFETCH(int, shown);

    MeterBar bar;
    bar.resize(416, 17);
    bar.setPosition(21);  // what an ignored update would leave on show
    bar.setPosition(position);
    QCOMPARE(bar.position(), position);
    QCOMPARE(bar.value(), shown);
    QCOMPARE(bar.grab().toImage(), render(shown));
}

void TestMeterBar::tabStop()
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* before = new QLineEdit(&window);
    auto* bar = new MeterBar(&window);
    layout->addWidget(before);
    layout->addWidget(bar);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    before->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(before->hasFocus());
    QTest::keyClick(before, Qt::Key_Tab);
    QTRY_VERIFY(bar->hasFocus());
}

QTEST_MAIN(TestMeterBar)
#include "TestMeterBar.moc"
