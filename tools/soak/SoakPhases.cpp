#include "SoakPhases.h"

QList<SoakPhase> soakPhases()
{
    const QStringList fixed{QStringLiteral("--fixed-smh"), QString::number(kFixedReading)};
    const auto with = [&fixed](std::initializer_list<const char*> extra) {
        QStringList options = fixed;
        for (const char* e : extra)
            options << QString::fromLatin1(e);
        return options;
    };
    // Storm and endless subnegotiation run well above their default rate.
    return {
        {QStringLiteral("normal"), with({}), RecordRule::Exact, false, true},
        {QStringLiteral("silent"), with({"--silent"}), RecordRule::None, false, false},
        {QStringLiteral("close-after"), with({"--close-after", "10"}), RecordRule::Exact, true, false},
        {QStringLiteral("reset-after"), with({"--reset-after", "10"}), RecordRule::Exact, true, false},
        {QStringLiteral("garbage"), with({"--garbage"}), RecordRule::EndsWith151, false, false},
        {QStringLiteral("split"), with({"--split"}), RecordRule::Exact, false, true},
        {QStringLiteral("joined"), with({"--joined"}), RecordRule::Exact, false, true},
        {QStringLiteral("late-700ms"), with({"--late-ms", "700"}), RecordRule::Exact, false, false},
        {QStringLiteral("flood-4MiBps"), with({"--flood-mibps", "4"}), RecordRule::Exact, false, false},
        {QStringLiteral("negotiation-storm"), with({"--negotiation-storm", "--stream-kibps", "256"}), RecordRule::Exact,
         false, false},
        {QStringLiteral("endless-subneg"), with({"--endless-subneg", "--stream-kibps", "256"}), RecordRule::Exact,
         false, false},
        {QStringLiteral("high-bytes"), with({"--high-bytes"}), RecordRule::Exact, false, true},
    };
}
