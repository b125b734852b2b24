#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What a capture file written during a phase may hold.
enum class RecordRule {
    None,         // the radio never sends a reading: no record at all
    Exact,        // the radio sends 151 whole: every record reads ",151,123"
    EndsWith151,  // junk may put digits in front of the radio's 151 in the
                  // same reply: field 3 is digits ending in "151"
};

// One phase of the soak: how the simulator misbehaves and what must follow.
struct SoakPhase {
    QString name;
    QStringList simOptions;
    RecordRule rule = RecordRule::Exact;
    bool reconnectOnDrop = false;      // the radio drops the link by itself: connect again
    bool everyPeriodRecorded = false;  // readings flow whole: no period may go unrecorded
};

// The fixed reading the simulator sends, and the record it gives.
inline constexpr int kFixedReading = 151;
inline constexpr int kCapturePeriodSeconds = 2;
inline const QString kCaptureSuffix = QStringLiteral("soak");

// The phases, in the order they run.
QList<SoakPhase> soakPhases();
