#include "SoakProtocol.h"

#include <QStringList>

#include <array>
#include <cstdio>
#include <utility>

namespace SoakProtocol {

namespace {

constexpr char kPrefix[] = "@soak ";

constexpr std::array<std::pair<Kind, const char*>, 14> kWords{{
    {Kind::Ready, "READY"},
    {Kind::Phase, "PHASE"},
    {Kind::StartPoller, "STARTPOLLER"},
    {Kind::NoConnect, "NOCONNECT"},
    {Kind::Capture, "CAPTURE"},
    {Kind::NoCapture, "NOCAPTURE"},
    {Kind::LinkDown, "LINKDOWN"},
    {Kind::LinkStuck, "LINKSTUCK"},
    {Kind::Box, "BOX"},
    {Kind::PhaseEnd, "PHASEEND"},
    {Kind::Done, "DONE"},
    {Kind::Stuck, "STUCK"},
    {Kind::Heap, "HEAP"},
    {Kind::Error, "ERROR"},
}};

// The fields of each kind, in their order on the line.
enum class Field { Phase, At, BoxKind, Gap, ConnectGap, Ticks, Reconnects, HeapBytes, ChartBytes, Text };

QList<Field> fieldsOf(Kind kind)
{
    switch (kind) {
    case Kind::Ready:
    case Kind::Done: return {Field::At};
    case Kind::Phase:
    case Kind::Capture:
    case Kind::Stuck: return {Field::Phase, Field::At, Field::Text};
    case Kind::StartPoller:
    case Kind::NoConnect:
    case Kind::NoCapture:
    case Kind::LinkDown:
    case Kind::LinkStuck: return {Field::Phase, Field::At};
    case Kind::Box: return {Field::Phase, Field::BoxKind, Field::Text};
    case Kind::PhaseEnd:
        return {Field::Phase, Field::At, Field::Gap, Field::ConnectGap, Field::Ticks, Field::Reconnects, Field::Text};
    case Kind::Heap: return {Field::At, Field::HeapBytes, Field::ChartBytes};
    case Kind::Error: return {Field::Text};
    }
    return {};
}

}  // namespace

QByteArray format(const Event& event)
{
    QStringList words;
    for (const auto& [kind, word] : kWords)
        if (kind == event.kind)
            words << QString::fromLatin1(word);
    for (const Field field : fieldsOf(event.kind)) {
        switch (field) {
        case Field::Phase: words << QString::number(event.phase); break;
        case Field::At: words << QString::number(event.atMs); break;
        case Field::BoxKind: words << event.boxKind; break;
        case Field::Gap: words << QString::number(event.longestGapMs, 'f', 1); break;
        case Field::ConnectGap: words << QString::number(event.longestConnectGapMs, 'f', 1); break;
        case Field::Ticks: words << QString::number(event.ticks); break;
        case Field::Reconnects: words << QString::number(event.reconnects); break;
        case Field::HeapBytes: words << QString::number(event.heapBytes, 'f', 0); break;
        case Field::ChartBytes: words << QString::number(event.chartBytes, 'f', 0); break;
        case Field::Text: words << event.text; break;
        }
    }
    return kPrefix + words.join(QLatin1Char(' ')).toUtf8();
}

std::optional<Event> parse(const QByteArray& line)
{
    const QString text = QString::fromUtf8(line).trimmed();
    if (!text.startsWith(QLatin1String(kPrefix)))
        return std::nullopt;
    const QStringList words = text.mid(qsizetype(sizeof(kPrefix)) - 1).split(QLatin1Char(' '));
    Event event;
    bool known = false;
    for (const auto& [kind, word] : kWords) {
        if (words.value(0) == QLatin1String(word)) {
            event.kind = kind;
            known = true;
        }
    }
    if (!known)
        return std::nullopt;
    int index = 1;
    for (const Field field : fieldsOf(event.kind)) {
        const QString word = words.value(index++);
        switch (field) {
        case Field::Phase: event.phase = word.toInt(); break;
        case Field::At: event.atMs = word.toLongLong(); break;
        case Field::BoxKind: event.boxKind = word; break;
        case Field::Gap: event.longestGapMs = word.toDouble(); break;
        case Field::ConnectGap: event.longestConnectGapMs = word.toDouble(); break;
        case Field::Ticks: event.ticks = word.toLongLong(); break;
        case Field::Reconnects: event.reconnects = word.toInt(); break;
        case Field::HeapBytes: event.heapBytes = word.toDouble(); break;
        case Field::ChartBytes: event.chartBytes = word.toDouble(); break;
        case Field::Text: event.text = words.mid(index - 1).join(QLatin1Char(' ')); break;
        }
    }
    return event;
}

void say(const Event& event)
{
    const QByteArray bytes = format(event) + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

}  // namespace SoakProtocol
