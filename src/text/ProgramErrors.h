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
