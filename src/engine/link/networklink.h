#ifndef TAV_NETWORKLINK_H
#define TAV_NETWORKLINK_H

#include "portaddress.h"
#include "telnetcodec.h"
#include "seriallink.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QIODevice>
#include <QString>

#include <chrono>
#include <optional>

class QTcpSocket;
class QTimer;

// A module behind a serial device server (see PortAddress), as one byte
// stream. On rfc2217:// the remote line is set to 9600 8N1 with no flow
// control before anything is sent.
// Reads give the module's bytes only (Telnet's own are taken out, 0xFF
// doubled on the wire is one byte); writes are escaped the same way.
// Connecting is asynchronous: ready() once bytes may flow, or failed().
class NetworkLink : public QIODevice
{
    Q_OBJECT

public:
    // The text failed() gives with each is the system's, except where said.
    enum class Problem {
        BadName, // socket:// or rfc2217:// without a host or a port
        HostNotFound,
        Refused, // nothing listens there, or the gateway turned us away
        TurnedAway, // the gateway hung up on us; its text is what it said first
        TimedOut, // no answer at all within connectLimit
        Lost, // the connection ended after it was made
        NoComPort, // rfc2217:// to a server that refused RFC 2217 (DONT)…
        NoComPortAnswer, // …or never answered the line settings; no text
    };

    // Connecting and, on rfc2217://, setting the line up end within this,
    // not after the system's two minutes.
    static constexpr std::chrono::milliseconds connectLimit {4000};
    // How long an RFC 2217 server may take to acknowledge the line settings
    // before the link is used all the same.
    static constexpr std::chrono::milliseconds settingsLimit {1000};
    // A gateway that hangs up this soon after the connection was made
    // turned the client away; it did not lose a module.
    static constexpr std::chrono::milliseconds refusalWindow {1000};

    explicit NetworkLink(const PortAddress &address, QObject *parent = nullptr);
    ~NetworkLink() override;

    // Starts connecting; ready() or failed() follows, once.
    void start();
    bool isReady() const { return readyNow; }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    void close() override;

signals:
    void ready();
    void failed(NetworkLink::Problem problem, const QString &systemText);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    void onConnected();
    void onBytes();
    void onSocketError();
    void becomeReady();
    void fail(Problem problem, const QString &systemText);

    PortAddress address;
    QTcpSocket *socket = nullptr;
    QTimer *deadline = nullptr;
    QTimer *settingsWait = nullptr;
    QByteArray incoming;
    QElapsedTimer connectedClock;
    QByteArray firstWords; // text the gateway said before any command, for a refusal
    bool wroteAny = false;
    bool readyNow = false;
    bool ended = false;

    TelnetCodec codec;
};

#endif // TAV_NETWORKLINK_H
