#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The child processes report to the driver through stdout, one line per
// event: "@soak WORD field field ...". Both ends use Event, so the words and
// the order of the fields are written down once, here. The free text of an
// event (a file name, an activity, a box's text, an error) is the last field
// and may contain spaces.
namespace SoakProtocol {

enum class Kind {
    Ready,        // at: the window is up
    Phase,        // phase, at, text = the phase's name
    StartPoller,  // phase, at
    NoConnect,    // phase, at
    Capture,      // phase, at, text = the capture file
    NoCapture,    // phase, at
    LinkDown,     // phase, at
    LinkStuck,    // phase, at
    Box,          // phase, boxKind, text = the box's text on one line
    PhaseEnd,     // phase, at, the gaps, ticks, reconnects, text = the longest gap's activity
    Done,         // at
    Stuck,        // phase, at, text = what the window was doing
    Heap,         // at, heap bytes in use, bytes of the chart's stored points
    Error,        // text
};

struct Event {
    Kind kind = Kind::Error;
    int phase = 0;
    qint64 atMs = 0;
    QString text;
    QString boxKind;
    double longestGapMs = 0;
    double longestConnectGapMs = 0;
    qint64 ticks = 0;
    int reconnects = 0;
    double heapBytes = 0;
    double chartBytes = 0;
};

// The line for an event, without its line end.
QByteArray format(const Event& event);
// The event a received line carries; nothing when it is no protocol line.
std::optional<Event> parse(const QByteArray& line);
// Writes the event's line to stdout and flushes it: the driver must see it
// even if this process dies next.
void say(const Event& event);

}  // namespace SoakProtocol
