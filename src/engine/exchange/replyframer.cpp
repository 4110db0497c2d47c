#include "replyframer.h"

#include <QTimer>

ReplyFramer::ReplyFramer(QObject *parent)
    : QObject(parent)
    , timeout(new QTimer(this))
    , gap(new QTimer(this))
{
    // Object names let tests and diagnostics tell the timers apart.
    timeout->setObjectName(QStringLiteral("timeoutTimer"));
    // A coarse timer may fire up to 5 % early: the module gets its full time.
    timeout->setTimerType(Qt::PreciseTimer);
    timeout->setInterval(replyTimeout);
    // A reply that comes late is still taken as the reply: only the timer stops.
    connect(timeout, &QTimer::timeout, this, [this] {
        timeout->stop();
        emit timedOut();
    });

    gap->setObjectName(QStringLiteral("replyGapTimer"));
    gap->setSingleShot(true);
    gap->setInterval(replyQuietGap);
    connect(gap, &QTimer::timeout, this, &ReplyFramer::finish);
}

void ReplyFramer::expectReply()
{
    gap->stop(); // a reply still in pieces belonged to the last command
    bytes.clear();
    dropped = 0;
    awaiting = true;
    timeout->start();
}

void ReplyFramer::feed(const QByteArray &data)
{
    if (!awaiting) {
        bytes = data.left(maxReplyBytes);
        return;
    }
    if (!gap->isActive()) {
        // The module has answered: its first bytes stop the time-out, the
        // rest may follow in pieces.
        timeout->stop();
        bytes.clear();
        dropped = 0;
        collecting.start();
    }
    keep(data);
    if (collecting.elapsed() >= replyCollectLimit.count()) {
        gap->stop();
        finish();
        return;
    }
    gap->start();
}

void ReplyFramer::keep(const QByteArray &data)
{
    // A device that streams (a wrong baud rate, noise) must not grow the
    // program: no module reply comes near the bound.
    const qsizetype room = maxReplyBytes - bytes.size();
    if (data.size() <= room) {
        bytes += data;
        return;
    }
    bytes += data.left(room);
    dropped += data.size() - room;
}

void ReplyFramer::finish()
{
    if (!awaiting)
        return;
    awaiting = false;
    timeout->stop();
    emit replyReady(bytes, dropped);
}

void ReplyFramer::cancel()
{
    awaiting = false;
    timeout->stop();
    gap->stop();
}

QString ReplyFramer::decodeReply(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
}
