#pragma once

#include <QString>

#include <exception>

// The text of the standard error box for an error that escaped a handler:
// the message of the innermost nested error that has one, with "." appended
// when its last character sorts after "." (letters, digits, ":", "?", ...).
QString StandardErrorText(const std::exception& error);

// The start-up error box text: "Exception %s in module %s at %p." CR LF
// "%s%s" CR LF, with the error's class name, the module's file name, an
// address, the message and the full stop rule's ".".
QString StartupErrorText(const std::exception& error, const QString& moduleName, quintptr address);
