#pragma once

#include <QHostAddress>
#include <QTcpServer>

// A loopback port that refuses connects: one a listener held and let go
// again. 0 when no listener could be had.
inline quint16 ClosedLoopbackPort()
{
    QTcpServer closed;
    if (!closed.listen(QHostAddress::LocalHost))
        return 0;
    return closed.serverPort();
}
