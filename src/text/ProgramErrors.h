#pragma once

#include <QString>

#include <stdexcept>

// A file operation failed. ErrorCode is a Windows-style error code, so the
// messages read the same on every platform: 2 "File not found", 3 "Invalid
// filename", 4 "Too many open files", 5 "File access denied", 100, 101, 106,
// and "I/O error %d" for any other code.
class EInOutError : public std::runtime_error {
public:
    explicit EInOutError(int errorCode);
    int ErrorCode;

    static QString MessageFor(int errorCode);
};

// A text that is no valid number for the conversion asked of it.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;

    static EConvertError invalidInteger(const QString& text);  // "'%s' is not a valid integer value"
    static EConvertError invalidFloat(const QString& text);    // "'%s' is not a valid floating point value"
};

// Windows-style error code for a POSIX errno value of a file operation.
int WindowsErrorFromErrno(int error);

// Decimal text to 32-bit signed integer: optional sign, digits, nothing else.
// Throws EConvertError on anything else or a value out of range.
qint32 StrToInt(const QString& text);

// Decimal digit text to the nearest double. Throws EConvertError when the
// text is no number or its value exceeds the largest double.
double StrToFloat(const QString& text);
