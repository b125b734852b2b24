#include "IntegrationSums.h"

#include "NumberText.h"
#include "ProgramErrors.h"

void IntegrationSums::AddReading(const QString& digits)
{
    AverageCount += 1;
    AverageRunningTotal += StrToFloat(digits);
    Average = AverageRunningTotal / AverageCount;
}

void IntegrationSums::ClearSums()
{
    AverageCount = 0;
    AverageRunningTotal = 0;
}

double IntegrationSums::PeriodLevel()
{
    const double level = LevelFromMean(Average);
    if (!FitsWholeNumber(level)) {
        ClearSums();
        throw EConvertError::invalidInteger(FloatToStr(level));
    }
    return level;
}

double LevelFromMean(double mean)
{
    double level = mean;
    if (level > 115)
        level -= 274;
    else if (level < 30)
        level -= 17;
    return -level;
}
