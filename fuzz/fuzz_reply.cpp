// Everything that reads bytes from the module, fed arbitrary bytes: the
// reply framing (in arbitrary pieces, with a flood bound), the decoding, the
// decision for either sequence at any write step, and the log's escaping.
// Each input is checked against what must always hold, not only for crashes.
//
// Input layout: byte 0 picks the sequence (bit 0) and how the bytes are cut
// into pieces (bits 1-7), bytes 1-4 the write step (any int), the rest is
// what the line delivers.
#include "enginewords.h"
#include "exchangelog.h"
#include "safetext.h"
#include "moduleprotocol.h"
#include "engineseam.h"
#include "replyframer.h"
#include "seriallink.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Inverse of ExchangeLog::escape, to show that nothing is lost in the log.
QByteArray unescape(const QString &text)
{
    QByteArray out;
    const QByteArray ascii = text.toLatin1();
    for (int i = 0; i < ascii.size(); ++i) {
        if (ascii.at(i) != '\\') {
            out += ascii.at(i);
        } else if (ascii.at(i + 1) == '\\') {
            out += '\\';
            ++i;
        } else {
            out += char(ascii.mid(i + 2, 2).toInt(nullptr, 16));
            i += 3;
        }
    }
    return out;
}

void checkDecision(const QString &reply, ModuleProtocol::Sequence sequence, int writeCommand)
{
    using namespace ModuleProtocol;
    const Outcome o = interpret(reply, sequence, writeCommand);
    const bool answersWrite =
            o.kind == Kind::Accepted || o.kind == Kind::Rejected || o.kind == Kind::ModuleWorking;
    const bool isReport = o.kind == Kind::BaudRateReport || o.kind == Kind::StopBitsReport
            || o.kind == Kind::ParityReport;
    if (sequence == Sequence::Read)
        require(!answersWrite, "a read reply taken as an answer to a write");
    else
        require(!isReport, "a report taken as the answer to a write command");

    switch (o.kind) {
    case Kind::BaudRateReport:
        require(o.field == Field::Speed, "baud rate report names another field");
        break;
    case Kind::StopBitsReport:
        require(o.field == Field::StopBits, "stop bits report names another field");
        break;
    case Kind::ParityReport:
        require(o.field == Field::Parity, "parity report names another field");
        break;
    case Kind::Accepted:
    case Kind::Rejected:
        require(o.field == fieldOfWriteCommand(writeCommand), "confirmation for another field");
        break;
    case Kind::ModuleWorking:
    case Kind::Unrecognised:
        require(o.field == Field::None, "a field without a value report or a write");
        break;
    }

    if (isReport) {
        const QStringList &values = valuesOf(o.field);
        require(o.value.isEmpty() || values.contains(o.value), "a value out of the field's list");
        if (!o.value.isEmpty())
            require(reply.contains(o.value), "a value the reply does not hold");
    } else {
        require(o.value.isEmpty(), "a value without a report");
    }
    if (o.kind != Kind::Unrecognised)
        require(!reply.isEmpty(), "an empty reply recognised");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Timers need an application object, though none of them is waited for.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    const auto sequence = (data[0] & 1) ? ModuleProtocol::Sequence::Write
                                        : ModuleProtocol::Sequence::Read;
    const int pieceSize = 1 + (data[0] >> 1);
    int32_t writeCommand = 0;
    std::memcpy(&writeCommand, data + 1, sizeof writeCommand);
    const QByteArray line(reinterpret_cast<const char *>(data + 5), int(size - 5));

    // Framing: the line in pieces; the quiet gap then ends the reply.
    ReplyFramer framer;
    auto *const timeout = framer.findChild<QTimer *>(QStringLiteral("timeoutTimer"));
    auto *const gap = framer.findChild<QTimer *>(QStringLiteral("replyGapTimer"));
    framer.feed(line.left(pieceSize)); // bytes before a command are not a reply
    require(!framer.isAwaiting(), "stray bytes started a reply");
    qint64 delivered = 0;
    qint64 droppedSeen = -1;
    QByteArray taken;
    QObject::connect(&framer, &ReplyFramer::replyReady, [&](const QByteArray &r, qint64 dropped) {
        taken = r;
        droppedSeen = dropped;
    });
    framer.expectReply();
    for (int at = 0; at < line.size(); at += pieceSize) {
        const QByteArray piece = line.mid(at, pieceSize);
        framer.feed(piece);
        delivered += piece.size();
        require(EngineSeam::readBuffer(framer).size() <= ReplyFramer::maxReplyBytes, "reply beyond its bound");
        require(!timeout->isActive(), "time-out still running after a byte");
    }
    if (!line.isEmpty()) {
        QMetaObject::invokeMethod(gap, "timeout");
        require(droppedSeen >= 0, "a quiet line gave no reply");
        require(!framer.isAwaiting(), "still awaiting after the reply");
        require(taken == line.left(ReplyFramer::maxReplyBytes), "reply is not the line's start");
        require(taken.size() + droppedSeen == delivered, "bytes neither kept nor counted");
    } else {
        require(framer.isAwaiting() && timeout->isActive(),
                "silence must leave the time-out running");
    }

    // Decoding and what the user is shown.
    const QString reply = ReplyFramer::decodeReply(taken);
    require(!reply.contains(QChar(0)), "a NUL in the reply text");
    const int nul = taken.indexOf('\0');
    require(reply == QString::fromUtf8(nul < 0 ? taken : taken.left(nul)), "decoding lost text");
    const QString shown = EngineWords::shownReply(reply, droppedSeen > 0 ? droppedSeen : 0);
    require(shown.size() <= EngineWords::maxShownReplyChars + 100, "status message unbounded");

    // The decision, for the sequence chosen and for the other one.
    checkDecision(reply, sequence, writeCommand);
    checkDecision(reply,
                  sequence == ModuleProtocol::Sequence::Read ? ModuleProtocol::Sequence::Write
                                                             : ModuleProtocol::Sequence::Read,
                  writeCommand);

    // The log: printable ASCII only, and the bytes can be told back from it.
    const QString escaped = SafeText::escapedBytes(taken);
    for (const QChar c : escaped)
        require(c.unicode() >= 0x20 && c.unicode() < 0x7f, "unprintable character in the log");
    require(unescape(escaped) == taken, "the log does not hold the bytes");
    return 0;
}
