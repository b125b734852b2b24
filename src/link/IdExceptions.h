#pragma once

#include <stdexcept>
#include <string>

// Errors of the link layer. what() is the message shown to the user (UTF-8).
class EIdException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EIdAlreadyConnected : public EIdException {
public:
    EIdAlreadyConnected() : EIdException("Already connected.") {}
};

class EIdHostRequired : public EIdException {
public:
    EIdHostRequired() : EIdException("A Host is required") {}
};

class EIdPortRequired : public EIdException {
public:
    EIdPortRequired() : EIdException("A Port is required") {}
};

class EIdConnectTimeout : public EIdException {
public:
    EIdConnectTimeout() : EIdException("Connect timed out.") {}
};

// "Socket Error # %d", CR LF, and the system's text for the error. LastError
// carries the Windows-style number (10061 refused, 11001 host not found, ...).
class EIdSocketError : public EIdException {
public:
    EIdSocketError(int lastError, const std::string& systemText);
    int LastError;
};

class EIdTelnetClientConnectError : public EIdException {
public:
    EIdTelnetClientConnectError() : EIdException("Cannot create listening thread.") {}
};

class EIdTelnetServerOnDataAvailableIsNil : public EIdException {
public:
    EIdTelnetServerOnDataAvailableIsNil() : EIdException("OnDataAvailable event is nil.") {}
};

class EIdConnClosedGracefully : public EIdException {
public:
    EIdConnClosedGracefully() : EIdException("Connection Closed Gracefully.") {}
};
