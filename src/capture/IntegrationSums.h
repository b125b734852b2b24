#pragma once

#include <QString>

// The running sums of one integration period: how many readings came in,
// their total and their mean. The window's shared state carries them under
// these names.
struct IntegrationSums {
    double AverageCount = 0;
    double AverageRunningTotal = 0;
    double Average = 0;

    // Adds one reading, given as the digits of a high-resolution reply, and
    // updates the mean. The count goes up first: a text that is no number
    // throws EConvertError from StrToFloat after it.
    void AddReading(const QString& digits);

    // Starts the sums afresh: count and total back to zero. The mean stays
    // until the next reading replaces it.
    void ClearSums();

    // The level the period's mean stands for, with the sign every record
    // carries. A mean whose level is no whole number (only an absurd reading
    // gets there) drops the period: the sums are cleared and EConvertError
    // names the level.
    double PeriodLevel();
};

// The meter's level for a mean of high-resolution readings: above 115 it
// counts down from 274, below 30 from 17, in between it is the mean itself;
// recorded with the opposite sign.
double LevelFromMean(double mean);
