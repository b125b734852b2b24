#pragma once

// Receive side of the telnet protocol as a pure state machine: bytes go in,
// and out come, in order, plain data chunks, the negotiation answers to send
// back and the ECHO command events. No sockets and no threads here, so the
// reader thread, tests, fuzzers and a radio simulator can all drive it.

#include "TelnetCommand.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

class TelnetParser {
public:
    struct Event {
        enum class Kind {
            Data,     // bytes: a non-empty run of plain data
            Reply,    // bytes: a complete answer, to be handed to the socket in one send
            Command,  // command: the peer negotiated the ECHO option
        };
        Kind kind = Kind::Data;
        QByteArray bytes;
        TIdTelnetCommand command = TIdTelnetCommand::tncNoLocalEcho;

        friend bool operator==(const Event&, const Event&) = default;
    };

    // A subnegotiation that never ends must not eat memory: past this many
    // collected bytes the rest is discarded up to IAC SE and left unanswered.
    static constexpr qsizetype kMaxSubnegotiation = 4096;

    // terminal: the text answered to TERMINAL-TYPE SEND ("UNKNOWN" if empty).
    explicit TelnetParser(const QString& terminal = QStringLiteral("dumb"));

    // Consumes all of bytes. A command or subnegotiation cut off at the end
    // is kept and continued by the next call. Plain bytes of one call come
    // out as one Data event (after any replies met on the way) unless an
    // EOR or SB command splits them. Never fails.
    std::vector<Event> feed(QByteArrayView bytes);
    // The same, appending to out (avoids a vector per call on a hot path).
    void feed(QByteArrayView bytes, std::vector<Event>& out);

    // True once any IAC byte has been seen.
    bool iamTelnet() const { return m_iamTelnet; }
    // The terminal text answered; becomes "UNKNOWN" when it was empty at a SEND.
    const QString& terminal() const { return m_terminal; }
    // Bytes of the subnegotiation being collected (never above kMaxSubnegotiation).
    qsizetype pendingSubnegotiationSize() const { return m_sb.size(); }

private:
    enum class State { Data, Iac, Option, SbOption, Sb, SbIac };

    void negotiate(quint8 command, quint8 option, std::vector<Event>& out);
    void appendSb(quint8 byte);
    void handleSubnegotiation(std::vector<Event>& out);

    State m_state = State::Data;
    quint8 m_command = 0;  // WILL/WONT/DO/DONT awaiting its option byte
    quint8 m_sbOption = 0;
    bool m_sbOverflow = false;
    bool m_iamTelnet = false;
    QByteArray m_data;  // scratch for the data runs of one call, reused
    QByteArray m_sb;
    QString m_terminal;
};
