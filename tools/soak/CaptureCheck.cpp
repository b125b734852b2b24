#include "CaptureCheck.h"

#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>

namespace CaptureCheck {

namespace {

// A period's record comes at most one period after its last reading; a
// reading can still be taken in the poll tick that was waiting when the link
// dropped (550 ms); and record times are cut to the second.
constexpr qint64 kAfterDropMs = kCapturePeriodSeconds * 1000 + 1500;

}  // namespace

QString exactTail()
{
    return QStringLiteral(",%1,123").arg(kFixedReading);
}

Contents read(const QString& path)
{
    Contents c;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return c;
    c.readable = true;
    const QByteArray all = file.readAll();
    c.endsWithCompleteLine = all.isEmpty() || all.endsWith("\r\n");
    static const QRegularExpression format(
        QStringLiteral("^(\\d\\d)/(\\d\\d)/(\\d\\d),(\\d\\d):(\\d\\d):(\\d\\d),(\\d+),(-?\\d+)$"));
    QList<QByteArray> lines = all.split('\n');
    lines.removeLast();  // after the last LF: empty, or the partial line
    for (const QByteArray& raw : lines) {
        Record r;
        r.line = QString::fromLatin1(raw);
        if (!r.line.endsWith(QLatin1Char('\r'))) {
            c.records.append(r);  // an LF without CR: not well-formed
            continue;
        }
        r.line.chop(1);
        const auto m = format.match(r.line);
        if (m.hasMatch()) {
            const QDate date(2000 + m.captured(3).toInt(), m.captured(1).toInt(), m.captured(2).toInt());
            const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
            r.wellFormed = date.isValid() && time.isValid();
            r.ms = QDateTime(date, time).toMSecsSinceEpoch();
            r.reading = m.captured(7);
            r.level = m.captured(8);
        }
        c.records.append(r);
    }
    return c;
}

Verdict judge(const QString& path, QList<Capture> captures)
{
    Verdict v;
    const Contents c = read(path);
    if (!c.readable) {
        v.faults << QStringLiteral("%1: cannot be read").arg(path);
        v.malformed = 1;
        return v;
    }
    if (!c.endsWithCompleteLine) {
        v.faults << QStringLiteral("%1: ends in a partial line").arg(path);
        ++v.malformed;
    }
    std::sort(captures.begin(), captures.end(),
              [](const Capture& a, const Capture& b) { return a.beginMs < b.beginMs; });
    QList<int> perCapture(captures.size(), 0);
    static const QRegularExpression ends151(QStringLiteral("^\\d*%1$").arg(kFixedReading));

    for (const Record& r : c.records) {
        ++v.records;
        const auto fault = [&](int& counter, const QString& why) {
            ++counter;
            v.faults << QStringLiteral("%1: \"%2\": %3").arg(path, r.line, why);
        };
        if (!r.wellFormed) {
            fault(v.malformed, QStringLiteral("not a well-formed record"));
            continue;
        }
        // The capture the record belongs to: the last one begun before its second ended.
        int at = -1;
        for (int i = 0; i < captures.size(); ++i)
            if (captures.at(i).beginMs <= r.ms + 999)
                at = i;
        if (at < 0) {
            fault(v.fabricated, QStringLiteral("written before the capture began"));
            continue;
        }
        const Capture& cap = captures.at(at);
        ++perCapture[at];
        if (r.ms > cap.endMs + 1000)
            fault(v.fabricated, QStringLiteral("written after the capture was closed"));
        for (const qint64 drop : cap.linkDownMs)
            if (drop >= cap.beginMs && r.ms > drop + kAfterDropMs)
                fault(v.fabricated, QStringLiteral("written with no reading since the link dropped"));
        const QString tail = QLatin1Char(',') + r.reading + QLatin1Char(',') + r.level;
        switch (cap.rule) {
        case RecordRule::None:
            fault(v.fabricated, QStringLiteral("the radio sent no reading in phase %1").arg(cap.phase));
            break;
        case RecordRule::Exact:
            if (tail != exactTail())
                fault(v.fabricated,
                      QStringLiteral("the radio sent only %1 in phase %2").arg(kFixedReading).arg(cap.phase));
            break;
        case RecordRule::EndsWith151:
            if (!ends151.match(r.reading).hasMatch())
                fault(v.fabricated, QStringLiteral("field 3 does not end in the radio's %1 (phase %2)")
                                        .arg(kFixedReading)
                                        .arg(cap.phase));
            break;
        }
    }

    // Where readings flow whole, every full period has its record. The first
    // and the last period may be cut short by the capture's start and end.
    for (int i = 0; i < captures.size(); ++i) {
        const Capture& cap = captures.at(i);
        if (!cap.everyPeriodRecorded)
            continue;
        qint64 end = cap.endMs;
        for (const qint64 drop : cap.linkDownMs)
            if (drop >= cap.beginMs)
                end = std::min(end, drop);
        const qint64 fullPeriods = (end - cap.beginMs) / (kCapturePeriodSeconds * 1000) - 2;
        if (fullPeriods > perCapture.at(i)) {
            v.missing += int(fullPeriods - perCapture.at(i));
            v.faults << QStringLiteral("%1: %2 records for %3 s of readings in phase %4")
                            .arg(path)
                            .arg(perCapture.at(i))
                            .arg((end - cap.beginMs) / 1000)
                            .arg(cap.phase);
        }
    }
    return v;
}

}  // namespace CaptureCheck
