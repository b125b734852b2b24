#include "HowLongSpinEdit.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QWheelEvent>
#include <QLocale>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QTest>
#include <QVBoxLayout>

#include <limits>
#include <memory>

Q_DECLARE_METATYPE(Qt::FocusReason)

namespace {

// Gives the test the style geometry of the arrow buttons.
class ProbeSpinEdit : public HowLongSpinEdit {
public:
    using HowLongSpinEdit::HowLongSpinEdit;

    QPoint arrowCentre(QStyle::SubControl arrow) const
    {
        QStyleOptionSpinBox option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_SpinBox, &option, arrow, this).center();
    }
};

}  // namespace

class TestHowLongSpinEdit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void designState();
    void valueReadsText_data();
    void valueReadsText();
    void typing_data();
    void typing();
    void typingDecimalSeparatorFollowsLocale();
    void arrowKeysStepAndHold_data();
    void arrowKeysStepAndHold();
    void arrowButtonsStep();
    void focusOutHoldsNumberToRange_data();
    void focusOutHoldsNumberToRange();
    void focusInSelectsAllUnlessClicked_data();
    void focusInSelectsAllUnlessClicked();
    void mouseClickDoesNotSelectAll();
    void wheelDoesNotStep_data();
    void wheelDoesNotStep();
    void contextMenuHasNoStepEntries();

private:
    std::unique_ptr<QWidget> m_window;
    QLineEdit* m_before = nullptr;
    ProbeSpinEdit* m_spin = nullptr;
    QLineEdit* m_after = nullptr;
};

void TestHowLongSpinEdit::initTestCase()
{
    QLocale::setDefault(QLocale::c());
}

void TestHowLongSpinEdit::init()
{
    // The spin edit between two other controls, so focus can arrive and
    // leave by the keyboard.
    m_window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(m_window.get());
    m_before = new QLineEdit(m_window.get());
    m_spin = new ProbeSpinEdit(m_window.get());
    m_after = new QLineEdit(m_window.get());
    layout->addWidget(m_before);
    layout->addWidget(m_spin);
    layout->addWidget(m_after);
    m_spin->setMinimumSize(119, 22);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestHowLongSpinEdit::cleanup()
{
    m_window.reset();
}

void TestHowLongSpinEdit::designState()
{
    QCOMPARE(m_spin->text(), QStringLiteral("15"));
    QCOMPARE(m_spin->value(), 15);
    QCOMPARE(m_spin->minimum(), 2);
    QCOMPARE(m_spin->maximum(), 3600);
}

void TestHowLongSpinEdit::valueReadsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");

    QTest::newRow("in range") << "15" << 15;
    QTest::newRow("above range, not held") << "5000" << 5000;
    QTest::newRow("below range, not held") << "1" << 1;
    QTest::newRow("plus sign") << "+7" << 7;
    QTest::newRow("minus sign") << "-3" << -3;
    QTest::newRow("letters") << "abc" << 2;
    QTest::newRow("empty") << "" << 2;
    QTest::newRow("sign only") << "-" << 2;
    QTest::newRow("decimal") << "1.5" << 2;
    QTest::newRow("digits then letter") << "12a" << 2;
    QTest::newRow("int max") << "2147483647" << std::numeric_limits<int>::max();
    QTest::newRow("int min") << "-2147483648" << std::numeric_limits<int>::min();
    QTest::newRow("beyond int") << "2147483648" << 2;
    QTest::newRow("far beyond int") << "99999999999999999999999" << 2;
    QTest::newRow("non-ASCII digits") << QString::fromUtf8("\u0661\u0665") << 2;
}

void TestHowLongSpinEdit::valueReadsText()
{
    QFETCH(QString, text);
    QFETCH(int, value);

    m_spin->setText(text);
    QCOMPARE(m_spin->text(), text);
    QCOMPARE(m_spin->value(), value);
}

void TestHowLongSpinEdit::typing_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("refused");

    QTest::newRow("digits") << ""
                            << "5000"
                            << "5000" << 0;
    QTest::newRow("plus") << ""
                          << "+12"
                          << "+12" << 0;
    QTest::newRow("minus") << ""
                           << "-3"
                           << "-3" << 0;
    QTest::newRow("decimal separator") << "1"
                                       << "."
                                       << "1." << 0;
    QTest::newRow("letter") << "15"
                            << "a"
                            << "15" << 1;
    QTest::newRow("space") << "15"
                           << " "
                           << "15" << 1;
    QTest::newRow("comma in C locale") << "15"
                                       << ","
                                       << "15" << 1;
    QTest::newRow("letters among digits") << ""
                                          << "1x2y"
                                          << "12" << 2;
}

void TestHowLongSpinEdit::typing()
{
    QFETCH(QString, start);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QFETCH(int, refused);

    m_spin->setFocus(Qt::MouseFocusReason);
    m_spin->setText(start);
    QSignalSpy refusals(m_spin, &HowLongSpinEdit::characterRefused);
    QVERIFY(refusals.isValid());

    QTest::keyClicks(m_spin, typed);
    QCOMPARE(m_spin->text(), expected);
    QCOMPARE(refusals.count(), refused);
}

void TestHowLongSpinEdit::typingDecimalSeparatorFollowsLocale()
{
    m_spin->setLocale(QLocale(QLocale::German, QLocale::Germany));
    m_spin->setText("1");
    QSignalSpy refusals(m_spin, &HowLongSpinEdit::characterRefused);
    QVERIFY(refusals.isValid());

    QTest::keyClicks(m_spin, ".");
    QCOMPARE(m_spin->text(), QStringLiteral("1"));
    QCOMPARE(refusals.count(), 1);
    QTest::keyClicks(m_spin, ",");
    QCOMPARE(m_spin->text(), QStringLiteral("1,"));
    QCOMPARE(refusals.count(), 1);
}

void TestHowLongSpinEdit::arrowKeysStepAndHold_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("up") << "15" << int(Qt::Key_Up) << "16";
    QTest::newRow("down") << "15" << int(Qt::Key_Down) << "14";
    QTest::newRow("up at maximum") << "3600" << int(Qt::Key_Up) << "3600";
    QTest::newRow("down at minimum") << "2" << int(Qt::Key_Down) << "2";
    QTest::newRow("up from letters") << "abc" << int(Qt::Key_Up) << "3";
    QTest::newRow("down from letters") << "abc" << int(Qt::Key_Down) << "2";
    QTest::newRow("down from above range") << "5000" << int(Qt::Key_Down) << "3600";
    QTest::newRow("up from below range") << "-40" << int(Qt::Key_Up) << "2";
    QTest::newRow("up from int max") << "2147483647" << int(Qt::Key_Up) << "3600";
    QTest::newRow("down from int min") << "-2147483648" << int(Qt::Key_Down) << "2";
    QTest::newRow("enter does not step") << "15" << int(Qt::Key_Return) << "15";
}

void TestHowLongSpinEdit::arrowKeysStepAndHold()
{
    QFETCH(QString, start);
    QFETCH(int, key);
    QFETCH(QString, expected);

    m_spin->setFocus(Qt::OtherFocusReason);
    m_spin->setText(start);
    QTest::keyClick(m_spin, Qt::Key(key));
    QCOMPARE(m_spin->text(), expected);
}

void TestHowLongSpinEdit::arrowButtonsStep()
{
    m_spin->setText("3599");
    const QPoint up = m_spin->arrowCentre(QStyle::SC_SpinBoxUp);
    const QPoint down = m_spin->arrowCentre(QStyle::SC_SpinBoxDown);

    QTest::mouseClick(m_spin, Qt::LeftButton, {}, up);
    QCOMPARE(m_spin->text(), QStringLiteral("3600"));
    QTest::mouseClick(m_spin, Qt::LeftButton, {}, up);
    QCOMPARE(m_spin->text(), QStringLiteral("3600"));
    QTest::mouseClick(m_spin, Qt::LeftButton, {}, down);
    QCOMPARE(m_spin->text(), QStringLiteral("3599"));

    m_spin->setText("abc");
    QTest::mouseClick(m_spin, Qt::LeftButton, {}, down);
    QCOMPARE(m_spin->text(), QStringLiteral("2"));
}

void TestHowLongSpinEdit::focusOutHoldsNumberToRange_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("valueWhileTyping");
    QTest::addColumn<QString>("textAfter");
    QTest::addColumn<int>("valueAfter");

    QTest::newRow("above range") << "5000" << 5000 << "3600" << 3600;
    QTest::newRow("below range") << "1" << 1 << "2" << 2;
    QTest::newRow("negative") << "-5" << -5 << "2" << 2;
    QTest::newRow("in range") << "15" << 15 << "15" << 15;
    QTest::newRow("plus sign in range kept") << "+15" << 15 << "+15" << 15;
    QTest::newRow("maximum") << "3600" << 3600 << "3600" << 3600;
    QTest::newRow("not a number") << "abc" << 2 << "abc" << 2;
    QTest::newRow("decimal") << "2.5" << 2 << "2.5" << 2;
    QTest::newRow("empty") << "" << 2 << "" << 2;
}

void TestHowLongSpinEdit::focusOutHoldsNumberToRange()
{
    QFETCH(QString, typed);
    QFETCH(int, valueWhileTyping);
    QFETCH(QString, textAfter);
    QFETCH(int, valueAfter);

    m_spin->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(m_spin->hasFocus());
    m_spin->setText(QString());
    // Letters are refused at the keyboard, so non-numbers arrive by setText.
    if (HowLongSpinEdit::parseWholeNumber(typed) || typed.isEmpty())
        QTest::keyClicks(m_spin, typed);
    else
        m_spin->setText(typed);
    QCOMPARE(m_spin->text(), typed);
    QCOMPARE(m_spin->value(), valueWhileTyping);

    QTest::keyClick(m_spin, Qt::Key_Tab);
    QTRY_VERIFY(m_after->hasFocus());
    QCOMPARE(m_spin->text(), textAfter);
    QCOMPARE(m_spin->value(), valueAfter);
}

void TestHowLongSpinEdit::focusInSelectsAllUnlessClicked_data()
{
    QTest::addColumn<Qt::FocusReason>("reason");
    QTest::addColumn<bool>("selectsAll");

    QTest::newRow("tab") << Qt::TabFocusReason << true;
    QTest::newRow("backtab") << Qt::BacktabFocusReason << true;
    QTest::newRow("shortcut") << Qt::ShortcutFocusReason << true;
    QTest::newRow("program") << Qt::OtherFocusReason << true;
    QTest::newRow("mouse") << Qt::MouseFocusReason << false;
}

void TestHowLongSpinEdit::focusInSelectsAllUnlessClicked()
{
    QFETCH(Qt::FocusReason, reason);
    QFETCH(bool, selectsAll);

    m_after->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(m_after->hasFocus());
    m_spin->setText("1234");

    m_spin->setFocus(reason);
    QTRY_VERIFY(m_spin->hasFocus());
    auto* edit = m_spin->findChild<QLineEdit*>();
    QVERIFY(edit);
    QCOMPARE(edit->selectedText(), selectsAll ? QStringLiteral("1234") : QString());
}

void TestHowLongSpinEdit::mouseClickDoesNotSelectAll()
{
    m_after->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(m_after->hasFocus());
    m_spin->setText("1234");

    auto* edit = m_spin->findChild<QLineEdit*>();
    QVERIFY(edit);
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(4, edit->height() / 2));
    QTRY_VERIFY(m_spin->hasFocus());
    QVERIFY(!edit->hasSelectedText());

    // Tabbing in from the control before it does select the whole text.
    m_before->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(m_before->hasFocus());
    QTest::keyClick(m_before, Qt::Key_Tab);
    QTRY_VERIFY(m_spin->hasFocus());
    QCOMPARE(edit->selectedText(), QStringLiteral("1234"));
}

void TestHowLongSpinEdit::wheelDoesNotStep_data()
{
    QTest::addColumn<bool>("focused");
    QTest::addColumn<int>("delta");
    QTest::newRow("focused, up") << true << 120;
    QTest::newRow("focused, down") << true << -120;
    QTest::newRow("unfocused, up") << false << 120;
}

void TestHowLongSpinEdit::wheelDoesNotStep()
{
    QFETCH(bool, focused);
    QFETCH(int, delta);
    QWidget* focus = focused ? static_cast<QWidget*>(m_spin) : m_after;
    focus->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(focus->hasFocus());
    auto* edit = m_spin->findChild<QLineEdit*>();
    QVERIFY(edit);
    // A wheel notch over the box and over its text, as the mouse delivers it.
    for (QWidget* target : {static_cast<QWidget*>(m_spin), static_cast<QWidget*>(edit)}) {
        const QPointF at = QPointF(target->rect().center());
        QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
        QCOMPARE(m_spin->text(), QStringLiteral("15"));
        QCOMPARE(m_spin->value(), 15);
    }
}

void TestHowLongSpinEdit::contextMenuHasNoStepEntries()
{
    m_spin->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(m_spin->hasFocus());
    // Looked at from the event loop, so a menu run in a nested loop is seen
    // (and closed) as well as one that is only popped up.
    QStringList entries;
    bool seen = false;
    QTimer look;
    look.setInterval(10);
    connect(&look, &QTimer::timeout, this, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator())
                entries.append(action->text());
        }
        seen = true;
        menu->close();
    });
    look.start();
    const QPoint at = m_spin->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, m_spin->mapToGlobal(at));
    QApplication::sendEvent(m_spin, &event);
    QTRY_VERIFY(seen);
    look.stop();
    QVERIFY(!entries.isEmpty());
    for (const QString& entry : entries) {
        QVERIFY2(!entry.contains(QStringLiteral("Step"), Qt::CaseInsensitive), qPrintable(entry));
    }
    QCOMPARE(m_spin->text(), QStringLiteral("15"));
}

QTEST_MAIN(TestHowLongSpinEdit)
#include "TestHowLongSpinEdit.moc"
