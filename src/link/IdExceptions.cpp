#include "IdExceptions.h"

EIdSocketError::EIdSocketError(int lastError, const std::string& systemText)
    : EIdException("Socket Error # " + std::to_string(lastError) + "\r\n" + systemText), LastError(lastError)
{
}
