#include "CaptureRecord.h"

#include "DateTimeText.h"
#include "NumberText.h"

QString CaptureRecordLine(const QDateTime& at, const QString& reading, double level)
{
    return FormatDateTime(QStringLiteral("MM/DD/YY,HH:NN:SS,"), at) + reading + QLatin1Char(',') + FloatToStr(level);
}
