#include "telnetcodec.h"

#include "logging.h"
#include "seriallink.h"

#include <initializer_list>

namespace {
// Telnet (RFC 854) and its options.
constexpr quint8 IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr quint8 BINARY = 0, SGA = 3, COM_PORT = 44;
// COM-PORT-OPTION (RFC 2217), client to server; the server answers each with 100 more.
constexpr quint8 SET_BAUDRATE = 1, SET_DATASIZE = 2, SET_PARITY = 3, SET_STOPSIZE = 4,
                 SET_CONTROL = 5;
constexpr quint8 PARITY_NONE = 1, STOPSIZE_1 = 1, CONTROL_NO_FLOW = 1;
// The four line settings whose acknowledgement is awaited (not SET-CONTROL:
// servers on lines without modem control never answer it).
constexpr int allSettings = 0b1111;

bool weAccept(quint8 code)
{
    return code == BINARY || code == SGA || code == COM_PORT;
}

bool theyMay(quint8 code)
{
    return code == BINARY || code == SGA;
}

QByteArray escaped(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        out += c;
        if (quint8(c) == IAC)
            out += c;
    }
    return out;
}

QByteArray bytes(std::initializer_list<quint8> list)
{
    QByteArray out;
    for (const quint8 b : list)
        out += char(b);
    return out;
}

QByteArray command(quint8 verb, quint8 code)
{
    return bytes({IAC, verb, code});
}

QByteArray comPort(quint8 what, const QByteArray &value)
{
    return bytes({IAC, SB, COM_PORT, what}) + escaped(value) + bytes({IAC, SE});
}
} // namespace

QByteArray TelnetCodec::escaped(const QByteArray &data)
{
    return ::escaped(data);
}

QByteArray TelnetCodec::opening()
{
    for (const quint8 code : {COM_PORT, BINARY, SGA})
        agreed[code] = 1;
    for (const quint8 code : {BINARY, SGA})
        agreed[256 + code] = 1;
    return command(WILL, COM_PORT) + command(WILL, BINARY) + command(DO, BINARY)
            + command(WILL, SGA) + command(DO, SGA);
}

TelnetCodec::Taken TelnetCodec::take(const QByteArray &bytes)
{
    Taken taken;
    for (const char c : bytes) {
        const auto byte = quint8(c);
        switch (state) {
        case State::Data:
            if (byte == IAC)
                state = State::Command;
            else
                taken.data += c;
            break;
        case State::Command:
            if (byte == IAC) {
                taken.data += c; // a doubled 0xFF is one data byte
                state = State::Data;
            } else if (byte == SB) {
                sub.clear();
                state = State::Sub;
            } else if (byte >= WILL) {
                verb = byte;
                state = State::Option;
            } else {
                state = State::Data; // NOP, GA and the like
            }
            break;
        case State::Option:
            option(verb, byte, taken);
            state = State::Data;
            break;
        case State::Sub:
            if (byte == IAC)
                state = State::SubCommand;
            else if (sub.size() < 64)
                sub += c;
            break;
        case State::SubCommand:
            if (byte == SE) {
                subnegotiation(taken);
                state = State::Data;
            } else {
                if (sub.size() < 64)
                    sub += c; // IAC IAC inside: one 0xFF
                state = State::Sub;
            }
            break;
        }
    }
    return taken;
}

void TelnetCodec::option(quint8 what, quint8 code, Taken &taken)
{
    const int mine = code;
    const int theirs = 256 + code;
    switch (what) {
    case DO:
        if (weAccept(code)) {
            if (!agreed[mine]) {
                agreed[mine] = 1;
                taken.answer += command(WILL, code);
            }
            if (code == COM_PORT && !comPortAccepted) {
                comPortAccepted = true;
                taken.comPortAccepted = true;
                // The module's side of the line, as on a local port: 9600
                // 8N1, no flow control.
                const quint32 baud = SerialLink::lineBaudRate;
                const QByteArray rate = ::bytes(
                        {quint8(baud >> 24), quint8(baud >> 16), quint8(baud >> 8), quint8(baud)});
                taken.answer += comPort(SET_BAUDRATE, rate)
                        + comPort(SET_DATASIZE, QByteArray(1, char(8)))
                        + comPort(SET_PARITY, QByteArray(1, char(PARITY_NONE)))
                        + comPort(SET_STOPSIZE, QByteArray(1, char(STOPSIZE_1)))
                        + comPort(SET_CONTROL, QByteArray(1, char(CONTROL_NO_FLOW)));
            }
        } else if (agreed[mine] != 2) {
            agreed[mine] = 2;
            taken.answer += command(WONT, code);
        }
        break;
    case DONT:
        if (code == COM_PORT)
            taken.comPortRefused = true;
        if (agreed[mine] == 1) {
            agreed[mine] = 2;
            taken.answer += command(WONT, code);
        }
        break;
    case WILL:
        if (theyMay(code)) {
            if (!agreed[theirs]) {
                agreed[theirs] = 1;
                taken.answer += command(DO, code);
            }
        } else if (agreed[theirs] != 2) {
            agreed[theirs] = 2;
            taken.answer += command(DONT, code);
        }
        break;
    case WONT:
        if (agreed[theirs] == 1) {
            agreed[theirs] = 2;
            taken.answer += command(DONT, code);
        }
        break;
    default:
        break;
    }
}

void TelnetCodec::subnegotiation(Taken &taken)
{
    if (sub.size() < 2 || quint8(sub.at(0)) != COM_PORT)
        return;
    const int answer = quint8(sub.at(1)) - 100;
    if (answer >= SET_BAUDRATE && answer <= SET_STOPSIZE)
        settingsAcknowledged |= 1 << (answer - 1);
    qCDebug(lcLink) << "RFC 2217 acknowledged" << answer << sub.mid(2).toHex();
    if (settingsAcknowledged == allSettings && taken.readyAfter < 0)
        taken.readyAfter = taken.data.size();
}
