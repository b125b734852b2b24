#include "HowLongSpinEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QWheelEvent>

#include <algorithm>
#include <limits>

HowLongSpinEdit::HowLongSpinEdit(QWidget* parent) : QAbstractSpinBox(parent)
{
    // QAbstractSpinBox itself holds no typed value, so neither its correction
    // mode nor its focus-out handling rewrites the line edit; the only
    // corrections are the ones made here.
    setText(QString::number(kInitialValue));
}

std::optional<int> HowLongSpinEdit::parseWholeNumber(const QString& text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;

    // Accumulate as a negative number so that INT_MIN is reachable.
    constexpr qint64 limit = -static_cast<qint64>(std::numeric_limits<int>::min());
    qint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > limit)
            return std::nullopt;
    }
    const qint64 result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(result);
}

int HowLongSpinEdit::value() const
{
    return parseWholeNumber(text()).value_or(kMinimum);
}

void HowLongSpinEdit::setValue(int value)
{
    setText(QString::number(std::clamp(value, kMinimum, kMaximum)));
}

QString HowLongSpinEdit::text() const
{
    return lineEdit()->text();
}

void HowLongSpinEdit::setText(const QString& text)
{
    lineEdit()->setText(text);
}

void HowLongSpinEdit::stepBy(int steps)
{
    // 64-bit sum: the text may read as any int, and stepping must not overflow.
    const qint64 next = static_cast<qint64>(value()) + static_cast<qint64>(steps) * kSingleStep;
    setValue(static_cast<int>(std::clamp<qint64>(next, kMinimum, kMaximum)));
    // Keep the text selected after stepping, as a spin box usually does.
    selectAll();
}

QValidator::State HowLongSpinEdit::validate(QString& /*input*/, int& /*pos*/) const
{
    return QValidator::Acceptable;
}

void HowLongSpinEdit::fixup(QString& /*input*/) const {}

QAbstractSpinBox::StepEnabled HowLongSpinEdit::stepEnabled() const
{
    // Both arrows stay usable at the bounds: stepping past a bound writes
    // the bound back, which also repairs out-of-range or non-numeric text.
    if (isReadOnly())
        return StepNone;
    return StepUpEnabled | StepDownEnabled;
}

bool HowLongSpinEdit::isAcceptedCharacter(QChar c) const
{
    if ((c >= u'0' && c <= u'9') || c == u'+' || c == u'-')
        return true;
    return locale().decimalPoint() == QString(c);
}

void HowLongSpinEdit::refuse(QKeyEvent* event)
{
    QApplication::beep();
    event->accept();
    emit characterRefused();
}

void HowLongSpinEdit::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: QAbstractSpinBox::keyPressEvent(event); return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // Only the arrow keys step; large steps are not offered.
        event->ignore();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter is a character the box does not take: refused like a letter.
        refuse(event);
        return;
    default: break;
    }

    const QString typed = event->text();
    const bool shortcut
        = (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) && !(event->modifiers() & Qt::AltModifier);
    if (!typed.isEmpty() && !shortcut) {
        for (const QChar c : typed) {
            const bool control = c.unicode() < 0x20 || c.unicode() == 0x7f;
            if (c == u'\r' || c == u'\n' || (!control && !isAcceptedCharacter(c))) {
                refuse(event);
                return;
            }
        }
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void HowLongSpinEdit::focusInEvent(QFocusEvent* event)
{
    QAbstractSpinBox::focusInEvent(event);
    // A click places the cursor where the user clicked. Focus coming back with
    // the window or after a popup returns to the previous selection.
    switch (event->reason()) {
    case Qt::MouseFocusReason:
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason: break;
    default: selectAll(); break;
    }
}

void HowLongSpinEdit::focusOutEvent(QFocusEvent* event)
{
    // Leaving the box corrects a number outside the range; text that is not
    // a number stays as typed and reads as the minimum.
    // Focus that only goes to a popup menu or to another window has not left
    // the box in the sense of moving on to another control.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason) {
        const std::optional<int> typed = parseWholeNumber(text());
        if (typed && (*typed < kMinimum || *typed > kMaximum))
            setValue(*typed);
    }
    QAbstractSpinBox::focusOutEvent(event);
}

void HowLongSpinEdit::wheelEvent(QWheelEvent* event)
{
    // Scrolling the window must never change the integration period.
    event->ignore();
}

void HowLongSpinEdit::contextMenuEvent(QContextMenuEvent* event)
{
    // The line edit's own menu, without the Step up / Step down entries the
    // spin box would add. Shown without a nested event loop.
    QMenu* menu = lineEdit()->createStandardContextMenu();
    if (!menu)
        return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
    event->accept();
}
