#ifndef TAV_TELNETCODEC_H
#define TAV_TELNETCODEC_H

#include <QByteArray>

#include <array>

// The client's side of Telnet (RFC 854) with the COM-PORT-OPTION (RFC 2217),
// as bytes in and bytes out: the module's bytes taken out of the stream
// (0xFF doubled on the wire is one byte), each option answered once, and the
// line set to 9600 8N1 with no flow control once the server takes the
// option. Whom it talks to and for how long is the link's business.
class TelnetCodec
{
public:
    // What one batch of the server's bytes held.
    struct Taken
    {
        QByteArray data; // the module's bytes, in order
        QByteArray answer; // to send back, in order
        bool comPortAccepted = false; // the line settings are in `answer`
        bool comPortRefused = false; // DONT COM-PORT-OPTION
        // Every line setting acknowledged, after this many bytes of `data`
        // (-1: not in this batch).
        int readyAfter = -1;
    };

    // What a client says as soon as it is connected.
    QByteArray opening();
    Taken take(const QByteArray &bytes);
    // The module's bytes as they go on the wire.
    static QByteArray escaped(const QByteArray &data);

private:
    void option(quint8 verb, quint8 code, Taken &taken);
    void subnegotiation(Taken &taken);

    enum class State { Data, Command, Option, Sub, SubCommand };
    State state = State::Data;
    quint8 verb = 0;
    QByteArray sub;
    bool comPortAccepted = false;
    int settingsAcknowledged = 0;
    // Per option, ours then theirs: 0 not yet, 1 agreed, 2 refused; each
    // is answered once (RFC 1143's point: a server that repeats itself must
    // not start an endless exchange of acknowledgements).
    std::array<quint8, 2 * 256> agreed {};
};

#endif // TAV_TELNETCODEC_H
