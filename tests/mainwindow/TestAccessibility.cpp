#include "BevelPanel.h"
#include "K4SimProcess.h"
#include "WindowFixture.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {

QAccessibleInterface* accessible(QObject* object)
{
    return QAccessible::queryAccessibleInterface(object);
}

QString description(QWidget* widget)
{
    QAccessibleInterface* iface = accessible(widget);
    return iface ? iface->text(QAccessible::Description) : QStringLiteral("<no interface>");
}

// What a screen reader says for a control: the caption it is tied to, then
// its own name.
QString reading(QWidget* widget)
{
    QAccessibleInterface* iface = accessible(widget);
    if (!iface)
        return QStringLiteral("<no interface>");
    const auto labels = iface->relations(QAccessible::Label);
    if (labels.isEmpty())
        return iface->text(QAccessible::Name);
    return labels.first().first->text(QAccessible::Name) + QLatin1Char(' ') + iface->text(QAccessible::Name);
}

}  // namespace

// What the window offers a screen reader and keyboard-only use, checked
// through Qt's accessibility interfaces while the window runs for real.
class TestAccessibility : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void everyControlHasAName();
    void valueLabelsAreReadWithTheirCaption_data();
    void valueLabelsAreReadWithTheirCaption();
    void ledsSayTheirStateAndAnnounceOnlyChanges();
    void meterBarReportsItsValue();
    void tabKeyReachesEveryEnabledControlInDesignOrder();

private:
    // Labels must not depend on the machine's regional settings.
    FormatSettings::Override m_formats{FormatSettings{}};
};

void TestAccessibility::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestAccessibility::everyControlHasAName()
{
    WindowFixture f;
    auto& ui = f.ui();
    QList<QWidget*> controls{ui.OnLineLED, ui.PollerLED, ui.DataLED, ui.SMeterBar, ui.chtFastLine1};
    for (QWidget* w : f.w->findChildren<QWidget*>()) {
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<BevelPanel*>(w)
            || (qobject_cast<QLineEdit*>(w) && !qobject_cast<QAbstractSpinBox*>(w->parentWidget())))
            controls.append(w);
    }
    QCOMPARE(controls.size(), 5 + 5 + 1 + 5 + 4);  // buttons, spin edit, panels, edit boxes
    for (QWidget* w : controls) {
        QAccessibleInterface* iface = accessible(w);
        QVERIFY2(iface, qPrintable(w->objectName()));
        QVERIFY2(!iface->text(QAccessible::Name).trimmed().isEmpty(), qPrintable(w->objectName()));
    }
    QCOMPARE(accessible(ui.bStartPoller)->text(QAccessible::Name), QStringLiteral("Start Poller"));
    QCOMPARE(accessible(ui.HostAddress)->text(QAccessible::Name), QStringLiteral("Host"));
    QCOMPARE(accessible(ui.OnLineLED)->role(), QAccessible::StaticText);
    // A label whose text is emptied at activation is still read by its caption.
    for (QLabel* label : f.w->findChildren<QLabel*>()) {
        if (label->text().trimmed().isEmpty())
            QVERIFY2(!accessible(label)->relations(QAccessible::Label).isEmpty(), qPrintable(label->objectName()));
    }
}

void TestAccessibility::valueLabelsAreReadWithTheirCaption_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("expected");
    QTest::newRow("average") << "lAverage"
                             << "124"
                             << "Average in db: 124";
    QTest::newRow("running average") << "lRunningAverage"
                                     << "123.5"
                                     << "Running Average: 123.5";
    QTest::newRow("sample count") << "lAverageCount"
                                  << "7"
                                  << "Sample Count: 7";
    QTest::newRow("accumulator") << "lAccumulatorTotal"
                                 << "1057"
                                 << "Accumulator Total: 1057";
    QTest::newRow("next reset") << "lNextReset"
                                << "8"
                                << "Time to next reset: 8";
    QTest::newRow("file name") << "lFileName"
                               << "030724-140509-x.csv"
                               << "File name 030724-140509-x.csv";
    QTest::newRow("written data") << "lWrittenData"
                                  << "a"
                                  << "Written data a";
    QTest::newRow("bar count") << "SMeterBarCount"
                               << "12"
                               << "SMeter bar Count: 12";
    QTest::newRow("link status") << "LastNetRequestLabel"
                                 << "Connected."
                                 << "Network status: Connected.";
    QTest::newRow("last address") << "LastIP"
                                  << "127.0.0.1"
                                  << "IP Address: 127.0.0.1";
    QTest::newRow("last port") << "LastPortlabel"
                               << "9200"
                               << "Port: 9200";
    QTest::newRow("date-time group") << "Label6"
                                     << "14:05:09"
                                     << "DTG:  14:05:09";
    QTest::newRow("host box") << "HostAddress"
                              << ""
                              << "Host: Host";
    QTest::newRow("raw data box") << "lReturnedData"
                                  << ""
                                  << "Raw data from radio: Raw data from radio";
}

void TestAccessibility::valueLabelsAreReadWithTheirCaption()
{
    QFETCH(QString, control);
    QFETCH(QString, shown);
    QFETCH(QString, expected);
    WindowFixture f;
    auto* w = f.w->findChild<QWidget*>(control);
    QVERIFY(w);
    if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(shown);
    QCOMPARE(reading(w), expected);
}

void TestAccessibility::ledsSayTheirStateAndAnnounceOnlyChanges()
{
    K4SimProcess sim({QStringLiteral("--fixed-sm"), QStringLiteral("12")});
    QVERIFY(sim.ok());
    WindowFixture f;
    auto& ui = f.ui();
    QCOMPARE(description(ui.OnLineLED), QStringLiteral("Network Status: disconnected"));
    QCOMPARE(description(ui.PollerLED), QStringLiteral("Poller activity: idle"));
    QCOMPARE(description(ui.DataLED), QStringLiteral("Data: idle"));

    // Qt announces every change of a description to assistive technology;
    // the lamps' signals tell how often their words changed.
    QSignalSpy online(ui.OnLineLED, &Led::stateTextChanged);
    QSignalSpy poller(ui.PollerLED, &Led::stateTextChanged);
    QSignalSpy data(ui.DataLED, &Led::stateTextChanged);
    QVERIFY(online.isValid() && poller.isValid() && data.isValid());
    f.startPolling(sim.port());  // what the lamps and the bar say is checked below
    QTRY_COMPARE_WITH_TIMEOUT(description(ui.OnLineLED), QStringLiteral("Network Status: connected"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(description(ui.PollerLED), QStringLiteral("Poller activity: polling"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(description(ui.DataLED), QStringLiteral("Data: receiving"), 5000);
    // Three poll ticks, each flashing both lamps blue and back to lime: the
    // words stay the same, so a screen reader hears each change once.
    QTRY_VERIFY_WITH_TIMEOUT(ui.SMeterBar->value() == 12, 5000);
    QTest::qWait(3000);
    QCOMPARE(online.size(), 1);
    QCOMPARE(poller.size(), 1);
    QCOMPARE(data.size(), 1);

    QTest::mouseClick(ui.bStopPoller, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(description(ui.PollerLED), QStringLiteral("Poller activity: idle"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(description(ui.DataLED), QStringLiteral("Data: idle"), 5000);
    QCOMPARE(poller.size(), 2);
    QCOMPARE(poller.last().first().toString(), QStringLiteral("Poller activity: idle"));
    QCOMPARE(accessible(ui.PollerLED)->text(QAccessible::Name), QStringLiteral("Poller activity"));
}

void TestAccessibility::meterBarReportsItsValue()
{
    K4SimProcess sim({QStringLiteral("--fixed-sm"), QStringLiteral("12")});
    QVERIFY(sim.ok());
    WindowFixture f;
    auto& ui = f.ui();
    QAccessibleInterface* bar = accessible(ui.SMeterBar);
    QVERIFY(bar);
    QAccessibleValueInterface* value = bar->valueInterface();
    QVERIFY(value);
    QCOMPARE(bar->text(QAccessible::Name), QStringLiteral("S-Meter"));
    QCOMPARE(value->minimumValue().toInt(), 0);
    QCOMPARE(value->maximumValue().toInt(), 42);
    QCOMPARE(value->currentValue().toInt(), 0);

    f.startPolling(sim.port());  // what the lamps and the bar say is checked below
    QTRY_COMPARE_WITH_TIMEOUT(value->currentValue().toInt(), 12, 5000);
    QTest::mouseClick(ui.bStopPoller, Qt::LeftButton);
}

void TestAccessibility::tabKeyReachesEveryEnabledControlInDesignOrder()
{
    WindowFixture f;
    auto& ui = f.ui();
    const QList<QWidget*> design{ui.bStartPoller,  ui.bStopPoller, ui.PortAddress,    ui.HostAddress,
                                 ui.lReturnedData, ui.SMeterBar,   ui.bBeginCapture,  ui.bEndCapture,
                                 ui.Button1,       ui.seHowLong,   ui.Additionaldata, ui.chtFastLine1};
    // Once with the capture buttons as activation leaves them (disabled,
    // skipped), once with them enabled as a running poller has them.
    for (const bool captureEnabled : {false, true}) {
        ui.bBeginCapture->setEnabled(captureEnabled);
        ui.bEndCapture->setEnabled(captureEnabled);
        QList<QWidget*> expected;
        for (QWidget* w : design) {
            if (w->isEnabled())
                expected.append(w);
        }
        ui.bStartPoller->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), ui.bStartPoller);
        QList<QWidget*> visited{ui.bStartPoller};
        for (int i = 0; i < 2 * design.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* now = QApplication::focusWidget();
            const QByteArray where = now ? QByteArray(now->metaObject()->className()) + ' ' + now->objectName().toUtf8()
                                         : QByteArray("nothing");
            // The spin edit's text field has the focus for the spin edit.
            while (now && !design.contains(now))
                now = now->parentWidget();
            QVERIFY2(now, "the focus went to " + where);
            if (now == ui.bStartPoller)
                break;
            visited.append(now);
        }
        QCOMPARE(visited, expected);
    }
}

QTEST_MAIN(TestAccessibility)
#include "TestAccessibility.moc"
