// Replies out of the bytes a port hands over, and how they are written down:
// the framer's bound and time-out, the log's escaping, and why a port could
// not be opened.
#include "commissioner.h"
#include "linkwords.h"
#include "enginewords.h"
#include "exchangelog.h"
#include "safetext.h"
#include "replyframer.h"
#include "seriallink.h"
#include "statewords.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace std::chrono_literals;

class TestReplies : public QObject
{
    Q_OBJECT

private slots:
    void droppedBytesAreCountedOverEveryPiece();
    void aReplyThatStartsJustInTimeStopsTheTimeOut();
    void everyByteOutsidePrintableAsciiIsEscaped();
    void aReplyShownForgesNoLines();
    void readableButNotWritableIsNoAccess();
    void adviceSpeaksThisSystemsWords();
};

void TestReplies::droppedBytesAreCountedOverEveryPiece()
{
    ReplyFramer framer;
    QSignalSpy replies(&framer, &ReplyFramer::replyReady);
    framer.expectReply();
    for (int i = 0; i < 3; ++i)
        framer.feed(QByteArray(3000, 'U'));
    QTRY_COMPARE(replies.count(), 1);
    QCOMPARE(replies.at(0).at(0).toByteArray().size(), ReplyFramer::maxReplyBytes);
    QCOMPARE(replies.at(0).at(1).toLongLong(), 9000 - ReplyFramer::maxReplyBytes);
}

void TestReplies::aReplyThatStartsJustInTimeStopsTheTimeOut()
{
    ReplyFramer framer;
    QSignalSpy timeouts(&framer, &ReplyFramer::timedOut);
    QSignalSpy replies(&framer, &ReplyFramer::replyReady);
    // The first byte 50 ms before the time-out, the rest in pieces past it.
    QTimer pieces;
    int sent = 0;
    connect(&pieces, &QTimer::timeout, this, [&] {
        framer.feed(QByteArrayLiteral("ba"));
        if (++sent == 10)
            pieces.stop();
    });
    framer.expectReply();
    QTimer::singleShot(ReplyFramer::replyTimeout - 50ms, Qt::PreciseTimer, this, [&] {
        framer.feed(QByteArrayLiteral("ba"));
        pieces.start(20);
    });
    QTRY_COMPARE_WITH_TIMEOUT(replies.count(), 1, 6000);
    QCOMPARE(timeouts.count(), 0);
    QCOMPARE(replies.at(0).at(0).toByteArray(), QByteArray("ba").repeated(11));
}

void TestReplies::everyByteOutsidePrintableAsciiIsEscaped()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = SafeText::escapedBytes(all);
    for (const QChar c : text)
        QVERIFY2(c.unicode() >= 0x20 && c.unicode() < 0x7f, qPrintable(QString::number(c.unicode())));
    QVERIFY(text.contains(QStringLiteral("~\\x7f\\x80")));
    QVERIFY(text.endsWith(QStringLiteral("\\xfe\\xff")));
    QVERIFY(text.contains(QStringLiteral("[\\\\]")));
}

// A reply's text goes to the status bar and the log as one line: a line
// break there would forge log lines, a reversal mark turn the text around.
void TestReplies::aReplyShownForgesNoLines()
{
    const QString forged = QStringLiteral("Ok\n14:02:11.348 -> -st\r\x1b[2J\u202Eevil\\x41");
    const QString shown = EngineWords::shownReply(forged, 0);
    for (const QChar c : shown) {
        QVERIFY2(c.category() != QChar::Other_Control && c.category() != QChar::Other_Format,
                 qPrintable(shown));
    }
    QCOMPARE(shown, QStringLiteral("Ok\\x0a14:02:11.348 -> -st\\x0d\\x1b[2J\\u202eevil\\\\x41"));
}

// The same error stands for "no rights" and for a lock another program
// holds; only the device's own permissions tell them apart. Root may write
// anything, so the look is taken as an ordinary user.
void TestReplies::readableButNotWritableIsNoAccess()
{
#ifndef Q_OS_UNIX
    // Windows refuses a held COM port as "access denied": always busy.
    QCOMPARE(SerialLink::openProblem(QSerialPort::PermissionError, PortAddress::of(QStringLiteral("COM12"))),
             SerialLink::OpenProblem::Busy);
#else
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                              | QFile::ReadOther | QFile::ExeOther);
    const QString device = dir.filePath(QStringLiteral("ttyUSB7"));
    QFile f(device);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QFile::setPermissions(device, QFile::ReadOwner | QFile::ReadOther);

    const auto problem = [&] {
        return SerialLink::openProblem(QSerialPort::PermissionError, PortAddress::of(device));
    };
    if (::geteuid() != 0) {
        QCOMPARE(problem(), SerialLink::OpenProblem::NoAccess);
        return;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(!dropped ? 2 : problem() == SerialLink::OpenProblem::NoAccess ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    // And a device one may use, refused all the same, is held by another.
    QFile::setPermissions(device, QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(problem(), SerialLink::OpenProblem::Busy);
#endif
}

void TestReplies::adviceSpeaksThisSystemsWords()
{
    // What a technician reads names only what this system has: no Unix
    // group or device path on Windows, no Windows tool on Linux.
#ifdef Q_OS_WIN
    const QString port = QStringLiteral("COM12");
    const QStringList foreign {QStringLiteral("dialout"), QStringLiteral("/dev"),
                               QStringLiteral("ttyUSB"), QStringLiteral("flock"),
                               QStringLiteral("sudo"), QStringLiteral("ModemManager")};
#else
    const QString port = QStringLiteral("ttyUSB0");
    const QStringList foreign {QStringLiteral("Диспетчер"), QStringLiteral("COM5")};
#endif
    QStringList texts {LinkWords::portNameExamples(), LinkWords::slotExample(),
                       LinkWords::noAdapterHint(),
                       LinkWords::linkLostAdvice(port, {}, StateWords::audience())};
    for (const auto problem : {SerialLink::OpenProblem::NoAccess, SerialLink::OpenProblem::Busy,
                               SerialLink::OpenProblem::NotFound, SerialLink::OpenProblem::Other}) {
        for (const auto &audience : {StateWords::audience(), Commissioner::audience()})
            texts << LinkWords::openFailureAdvice(problem, port, {}, audience);
    }
    for (const QString &text : qAsConst(texts)) {
        for (const QString &word : foreign)
            QVERIFY2(!text.contains(word), qPrintable(text));
    }
#ifdef Q_OS_WIN
    // Windows answers a port held by another program with "access denied".
    const auto held = SerialLink::openProblem(QSerialPort::PermissionError, PortAddress::of(port));
    QVERIFY(LinkWords::openFailureAdvice(held, port, {}, StateWords::audience())
                    .contains(QStringLiteral("занят другой программой")));
    // An adapter without its driver is no COM port at all.
    const auto missing = SerialLink::openProblem(QSerialPort::DeviceNotFoundError, PortAddress::of(port));
    QVERIFY(LinkWords::openFailureAdvice(missing, port, {}, StateWords::audience())
                    .contains(QStringLiteral("«Диспетчере устройств»")));
#endif
}

QTEST_GUILESS_MAIN(TestReplies)
#include "tst_replies.moc"
