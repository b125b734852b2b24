#include "Led.h"

#include <QEvent>
#include <QImage>
#include <QObject>
#include <QSignalSpy>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(Led::LedColour)

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

class TestLed : public QObject {
    Q_OBJECT

private slots:
    void startsWhite();
    void paintsCircleOfItsColour_data();
    void paintsCircleOfItsColour();
    void colourChangeRepaints();
    void saysItsStateInWords_data();
    void saysItsStateInWords();
};

void TestLed::startsWhite()
{
    Led led;
    QCOMPARE(led.colour(), Led::LedColour::White);
    QCOMPARE(led.fillColour(), QColor(255, 255, 255));
}

void TestLed::paintsCircleOfItsColour_data()
{
    QTest::addColumn<Led::LedColour>("colour");
    QTest::addColumn<QColor>("fill");
    QTest::addColumn<QSize>("size");

    QTest::newRow("white 16x16") << Led::LedColour::White << QColor(255, 255, 255) << QSize(16, 16);
    QTest::newRow("red 16x16") << Led::LedColour::Red << QColor(255, 0, 0) << QSize(16, 16);
    QTest::newRow("lime 16x16") << Led::LedColour::Lime << QColor(0, 255, 0) << QSize(16, 16);
    QTest::newRow("blue 16x16") << Led::LedColour::Blue << QColor(0, 0, 255) << QSize(16, 16);
    // The network lamp is one pixel wider than high and must stay round.
    QTest::newRow("red 17x16") << Led::LedColour::Red << QColor(255, 0, 0) << QSize(17, 16);
    QTest::newRow("lime 40x20") << Led::LedColour::Lime << QColor(0, 255, 0) << QSize(40, 20);
}

void TestLed::paintsCircleOfItsColour()
{
    QFETCH(Led::LedColour, colour);
    QFETCH(QColor, fill);
    QFETCH(QSize, size);

    QWidget background;
    background.setAutoFillBackground(true);
    QPalette palette = background.palette();
    palette.setColor(QPalette::Window, QColor(128, 128, 128));
    background.setPalette(palette);
    background.resize(size);

    Led led(&background);
    led.resize(size);
    led.setColour(colour);
    QCOMPARE(led.colour(), colour);
    QCOMPARE(led.fillColour(), fill);

    const QImage image = background.grab().toImage();
    const int side = qMin(size.width(), size.height());
    const int left = (size.width() - side) / 2;
    const QPoint centre(left + side / 2, size.height() / 2);

    QCOMPARE(image.pixelColor(centre).rgb(), fill.rgb());
    // The outline: the leftmost pixel on the circle's middle row is dark.
    QVERIFY2(qGray(image.pixel(left, size.height() / 2)) < 100,
             qPrintable(image.pixelColor(left, size.height() / 2).name()));
    // A circle, not a square: the corners show the background.
    QCOMPARE(image.pixelColor(left, 0).rgb(), QColor(128, 128, 128).rgb());
    QCOMPARE(image.pixelColor(size.width() - 1, size.height() - 1).rgb(), QColor(128, 128, 128).rgb());
}

void TestLed::colourChangeRepaints()
{
    Led led;
    PaintCounter counter;
    led.installEventFilter(&counter);
    led.resize(16, 16);
    led.show();
    QVERIFY(QTest::qWaitForWindowExposed(&led));
    QTRY_VERIFY(counter.count > 0);
    QCoreApplication::processEvents();
    const int before = counter.count;

    led.setColour(Led::LedColour::Blue);
    QTRY_VERIFY(counter.count > before);
    const int afterBlue = counter.count;

    led.setColour(Led::LedColour::Lime);
    QTRY_VERIFY(counter.count > afterBlue);
    // The middle of the lamp, wherever the window system put its edges (a
    // Windows top-level window is never narrower than its title bar).
    QCOMPARE(led.grab().toImage().pixelColor(led.width() / 2, led.height() / 2).rgb(), QColor(0, 255, 0).rgb());
}

void TestLed::saysItsStateInWords_data()
{
    QTest::addColumn<Led::LedColour>("colour");
    QTest::addColumn<QString>("words");
    QTest::addColumn<int>("announcements");

    // The lamp starts white, which reads as the idle word: no change to tell.
    QTest::newRow("white") << Led::LedColour::White << "Data: idle" << 0;
    QTest::newRow("red") << Led::LedColour::Red << "Data: idle" << 0;
    QTest::newRow("lime") << Led::LedColour::Lime << "Data: receiving" << 1;
    // The first half of a flash already means data arrives.
    QTest::newRow("blue") << Led::LedColour::Blue << "Data: receiving" << 1;
}

void TestLed::saysItsStateInWords()
{
    QFETCH(Led::LedColour, colour);
    QFETCH(QString, words);
    QFETCH(int, announcements);

    Led led;
    QVERIFY(led.stateText().isEmpty());
    led.setAccessibleStates(QStringLiteral("Data"), QStringLiteral("receiving"), QStringLiteral("idle"));
    QCOMPARE(led.accessibleName(), QStringLiteral("Data"));
    QSignalSpy spy(&led, &Led::stateTextChanged);
    QVERIFY(spy.isValid());
    led.setColour(colour);
    QCOMPARE(led.stateText(), words);
    QCOMPARE(led.accessibleDescription(), words);
    QCOMPARE(spy.size(), announcements);

    // A whole flash, blue then lime, keeps the words once they are "receiving".
    led.setColour(Led::LedColour::Blue);
    led.setColour(Led::LedColour::Lime);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(led.accessibleDescription(), QStringLiteral("Data: receiving"));
}

QTEST_MAIN(TestLed)
#include "TestLed.moc"
