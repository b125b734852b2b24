#pragma once

#include <QString>

#include <stdexcept>

// Raised when the executable carries no version block at all.
class EResNotFound : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The value of key AIdent in the string table of the first translation entry
// of the program's own version block; empty text when it cannot be found.
// Throws EResNotFound ("Resource 1 not found") when there is no version block.
QString GetVersionInfo(const QString& AIdent);

// GetVersionInfo("FileVersion").
QString FileVersion();
