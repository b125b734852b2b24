#include "ErrorText.h"

#include <typeinfo>

#if defined(__GNUG__)
#include <cxxabi.h>
#include <cstdlib>
#include <memory>
#endif

namespace {

// The innermost message that is not empty, following std::nested_exception.
QString innermostMessage(const std::exception& error)
{
    QString found = QString::fromUtf8(error.what());
    try {
        std::rethrow_if_nested(error);
    } catch (const std::exception& inner) {
        const QString innerText = innermostMessage(inner);
        if (!innerText.isEmpty())
            found = innerText;
    } catch (...) {
    }
    return found;
}

// Appends the closing full stop by the rule of the standard error box.
QString WithFullStop(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

// The demangled class name of the error.
QString ErrorClassName(const std::exception& error)
{
    const char* raw = typeid(error).name();
#if defined(__GNUG__)
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(raw, nullptr, nullptr, &status), std::free);
    if (status == 0 && demangled)
        return QString::fromUtf8(demangled.get());
#endif
    return QString::fromUtf8(raw);
}

}  // namespace

QString StandardErrorText(const std::exception& error)
{
    return WithFullStop(innermostMessage(error));
}

QString StartupErrorText(const std::exception& error, const QString& moduleName, quintptr address)
{
    const QString message = QString::fromUtf8(error.what());
    const QString stop = (!message.isEmpty() && !message.endsWith(QLatin1Char('.'))) ? QStringLiteral(".") : QString();
    return QStringLiteral("Exception %1 in module %2 at %3.\r\n%4%5\r\n")
        .arg(ErrorClassName(error), moduleName,
             QStringLiteral("%1").arg(address, int(sizeof(void*) * 2), 16, QLatin1Char('0')).toUpper(), message, stop);
}
