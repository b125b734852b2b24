#include "SocketErrorText.h"

#include <algorithm>
#include <iterator>

namespace {

struct NumberedText {
    int number;
    const char* text;
};

// In ascending order of number.
constexpr NumberedText kTexts[] = {
    {10004, "A blocking operation was interrupted by a call to WSACancelBlockingCall."},
    {10009, "The file handle supplied is not valid."},
    {10013, "An attempt was made to access a socket in a way forbidden by its access permissions."},
    {10014, "The system detected an invalid pointer address in attempting to use a pointer argument in a call."},
    {10022, "An invalid argument was supplied."},
    {10024, "Too many open files."},
    {10036, "A blocking operation is currently executing."},
    {10037, "An operation was attempted on a non-blocking socket that already had an operation in progress."},
    {10038, "An operation was attempted on something that is not a socket."},
    {10040,
     "A message sent on a datagram socket was larger than the internal message buffer or some other network limit, or "
     "the buffer used to receive a datagram into was smaller than the datagram itself."},
    {10043, "The requested protocol has not been configured into the system, or no implementation for it exists."},
    {10045, "The attempted operation is not supported for the type of object referenced."},
    {10047, "An address incompatible with the requested protocol was used."},
    {10048, "Only one usage of each socket address (protocol/network address/port) is normally permitted."},
    {10049, "The requested address is not valid in its context."},
    {10050, "A socket operation encountered a dead network."},
    {10051, "A socket operation was attempted to an unreachable network."},
    {10052,
     "The connection has been broken due to keep-alive activity detecting a failure while the operation was in "
     "progress."},
    {10053, "An established connection was aborted by the software in your host machine."},
    {10054, "An existing connection was forcibly closed by the remote host."},
    {10055,
     "An operation on a socket could not be performed because the system lacked sufficient buffer space or because a "
     "queue was full."},
    {10056, "A connect request was made on an already connected socket."},
    {10057,
     "A request to send or receive data was disallowed because the socket is not connected and (when sending on a "
     "datagram socket using a sendto call) no address was supplied."},
    {10058,
     "A request to send or receive data was disallowed because the socket had already been shut down in that direction "
     "with a previous shutdown call."},
    {10060,
     "A connection attempt failed because the connected party did not properly respond after a period of time, or "
     "established connection failed because connected host has failed to respond."},
    {10061, "No connection could be made because the target machine actively refused it."},
    {10064, "A socket operation failed because the destination host was down."},
    {10065, "A socket operation was attempted to an unreachable host."},
};

}  // namespace

const char* WinsockErrorText(int number)
{
    const auto* found = std::lower_bound(std::begin(kTexts), std::end(kTexts), number,
                                         [](const NumberedText& t, int n) { return t.number < n; });
    return found != std::end(kTexts) && found->number == number ? found->text : nullptr;
}
