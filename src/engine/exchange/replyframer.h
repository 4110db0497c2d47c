#ifndef TAV_REPLYFRAMER_H
#define TAV_REPLYFRAMER_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>

class QTimer;
struct EngineSeam;

// Turns the bytes a port delivers into replies. The module's replies have no
// terminator: a reply is what arrives after a command until the line has
// been quiet for SerialLink::replyQuietGap, taken after at most
// SerialLink::replyCollectLimit of collecting, and kept to at most
// SerialLink::maxReplyBytes (the rest is counted and dropped). No reply
// within SerialLink::replyTimeout of the command is a time-out; a reply that
// still comes after it is taken all the same. Its timers are named
// "timeoutTimer" (from a command until the first byte of its reply) and
// "replyGapTimer".
class ReplyFramer : public QObject
{
    Q_OBJECT

public:
    explicit ReplyFramer(QObject *parent = nullptr);

    // A command has gone out: what arrives from now on is its reply.
    void expectReply();
    // Bytes as the port hands them over, in whatever pieces.
    void feed(const QByteArray &data);
    // Nothing is awaited any more: the link closed or the exchange was given up.
    void cancel();

    bool isAwaiting() const { return awaiting; }

signals:
    // `dropped` counts the bytes beyond SerialLink::maxReplyBytes.
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
