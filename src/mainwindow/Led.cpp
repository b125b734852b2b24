#include "Led.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <QPen>

#include <algorithm>

namespace {

// A lamp reads like a piece of static text (a plain widget would be an
// anonymous "client" area that screen readers pass over).
QAccessibleInterface* ledAccessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("Led") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::StaticText);
    return nullptr;
}

}  // namespace

Led::Led(QWidget* parent) : QWidget(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(ledAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
}

void Led::setColour(LedColour colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    update();
    updateAccessibleState();
}

void Led::setAccessibleStates(const QString& caption, const QString& activeWord, const QString& inactiveWord)
{
    m_caption = caption;
    m_activeWord = activeWord;
    m_inactiveWord = inactiveWord;
    setAccessibleName(caption);
    updateAccessibleState();
}

QString Led::stateText() const
{
    if (m_caption.isEmpty())
        return QString();
    const bool active = m_colour == LedColour::Lime || m_colour == LedColour::Blue;
    return m_caption + QStringLiteral(": ") + (active ? m_activeWord : m_inactiveWord);
}

void Led::updateAccessibleState()
{
    const QString text = stateText();
    if (text == accessibleDescription())
        return;
    // Setting the description announces the change to assistive technology.
    setAccessibleDescription(text);
    emit stateTextChanged(text);
}

Led::LedColour Led::colour() const
{
    return m_colour;
}

QColor Led::fillColour() const
{
    return fillColour(m_colour);
}

QColor Led::fillColour(LedColour colour)
{
    switch (colour) {
    case LedColour::White: return QColor(255, 255, 255);
    case LedColour::Red: return QColor(255, 0, 0);
    case LedColour::Lime: return QColor(0, 255, 0);
    case LedColour::Blue: return QColor(0, 0, 255);
    }
    return QColor(255, 255, 255);
}

QSize Led::sizeHint() const
{
    return QSize(16, 16);
}

void Led::paintEvent(QPaintEvent* /*event*/)
{
    // The circle takes the shorter side so a lamp of 17 x 16 stays round.
    const int side = std::min(width(), height());
    if (side < 2)
        return;

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1.0));
    painter.setBrush(fillColour());

    // Whole-pixel offsets and an inset of half the pen keep the outline
    // crisp and wholly inside the bounds.
    const QRectF circle((width() - side) / 2 + 0.5, (height() - side) / 2 + 0.5, side - 1.0, side - 1.0);
    painter.drawEllipse(circle);
}
