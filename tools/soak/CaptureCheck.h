#pragma once

#include "SoakPhases.h"

#include <QList>
#include <QString>
#include <QStringList>

// Reading and judging capture files after the window wrote them.
namespace CaptureCheck {

struct Record {
    QString line;
    bool wellFormed = false;  // date,time,digits,whole number with C-locale separators
    qint64 ms = 0;            // local time of the record, start of its second
    QString reading;          // field 3
    QString level;            // field 4
};

struct Contents {
    bool readable = false;
    bool endsWithCompleteLine = true;  // empty, or the last bytes are CR LF
    QList<Record> records;             // complete lines only
};

Contents read(const QString& path);

// One capture as the child reported it.
struct Capture {
    QString phase;
    RecordRule rule = RecordRule::Exact;
    bool everyPeriodRecorded = false;
    qint64 beginMs = 0;
    qint64 endMs = 0;          // when Start Poller (or the end of the run) closed it
    QList<qint64> linkDownMs;  // when the link dropped while it was open
};

struct Verdict {
    int records = 0;
    int malformed = 0;   // partial or ill-formed lines
    int fabricated = 0;  // a record without readings behind it, or with a reading the radio never sent
    int missing = 0;     // periods with readings flowing whole that got no record
    QStringList faults;  // one text per fault, for the report
};

// Judges one file against the captures that wrote into it (several when two
// captures began within the same second and so share a name).
Verdict judge(const QString& path, QList<Capture> captures);

// The record a reading of 151 gives: ",151,123".
QString exactTail();

}  // namespace CaptureCheck
