#ifndef TAV_REPLYFRAMER_H
#define TAV_REPLYFRAMER_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <chrono>

class QTimer;
struct EngineSeam;

// Turns the bytes a port delivers into replies. The module's replies have no
// terminator: a reply is what arrives after a command until the line has
// been quiet for replyQuietGap, taken after at most replyCollectLimit of
// collecting, and kept to at most maxReplyBytes (the rest is counted and
// dropped). No reply within replyTimeout of the command is a time-out; a
// reply that still comes after it is taken all the same. Its timers are named
// "timeoutTimer" (from a command until the first byte of its reply) and
// "replyGapTimer".
class ReplyFramer : public QObject
{
    Q_OBJECT

public:
    // A module that has not answered a command by then is reported as lost.
    static constexpr std::chrono::milliseconds replyTimeout {3000};

    // A reply has no terminator; it is complete once the line has been quiet
    // this long. USB-serial adapters hand bytes over in batches up to 16 ms
    // apart (FTDI's default latency timer), so the gap must be well above that.
    static constexpr std::chrono::milliseconds replyQuietGap {50};

    // A line that never falls quiet (noise, a device that streams) still yields
    // a reply after this long, rather than leaving the user waiting for ever.
    static constexpr std::chrono::milliseconds replyCollectLimit {1000};

    // A reply keeps at most this many bytes; the rest is counted and dropped.
    // At 9600 baud the module cannot send even 1 KiB in a second, and its
    // longest reply is a few dozen bytes.
    static constexpr int maxReplyBytes = 4096;

    explicit ReplyFramer(QObject *parent = nullptr);

    // Text of a reply: its UTF-8 up to the first NUL byte.
    static QString decodeReply(const QByteArray &bytes);

    // A command has gone out: what arrives from now on is its reply.
    void expectReply();
    // Bytes as the port hands them over, in whatever pieces.
    void feed(const QByteArray &data);
    // Nothing is awaited any more: the link closed or the exchange was given up.
    void cancel();

    bool isAwaiting() const { return awaiting; }

signals:
    // `dropped` counts the bytes beyond ReplyFramer::maxReplyBytes.
    void replyReady(const QByteArray &reply, qint64 dropped);
    void timedOut();

private:
    friend struct EngineSeam;

    void keep(const QByteArray &data);
    void finish();

    QTimer *timeout = nullptr;
    QTimer *gap = nullptr;
    QElapsedTimer collecting;
    // The reply being collected or last taken, or bytes that arrived while
    // none was awaited.
    QByteArray bytes;
    qint64 dropped = 0;
    bool awaiting = false;
};

#endif // TAV_REPLYFRAMER_H
