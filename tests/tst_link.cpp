// The serial link through the real QSerialPort against the simulated module:
// bytes on the wire, replies, the time-out, failed opens, a lost adapter.
#include "exchangelog.h"
#include "enginewords.h"
#include "replyframer.h"
#include "indicatorstyles.h"
#include "posixprobe.h"
#include "seriallink.h"
#include "simfixture.h"

#include <QtTest>

#include <utility>

#include <memory>

using namespace std::chrono_literals;

class TestLink : public WindowOnSimulator
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void decodeReplyCutsAtNul();

    void connectOpensAt9600_8N1();
    void commandBytesOnTheWire();
    void replyTextAndNulCut();
    void splitReplyIsTakenWhole();
    void bytesWhileIdleAreNotInterpreted();
    void lineThatNeverFallsQuietStillGivesAReply();
    void floodIsBoundedAndCounted();
    void missingReplyRaisesOneBox();
    void lateReplyIsStillTaken();
    void commandSentWhileAReplyIsCollectedGetsItsOwn();
    void twoCommandsWithoutReplyGiveOneBox();
    void failedOpenIsReportedAtOnce_data();
    void failedOpenIsReportedAtOnce();
    void busyPortIsReported();
    void disconnectWhileAwaitingRaisesNoBox();
    void vanishedModuleGivesOneReport();
    void readErrorOnAnOpenPortEndsTheLink();
    void replacedPortIsReleased();
    void errorHandlerWithoutLink();
    void manyConnectCyclesLeaveNothingBehind();

private:
    void connectWindow();
};

void TestLink::init()
{
    setUp(true);
}

void TestLink::cleanup()
{
    tearDown();
}

void TestLink::connectWindow()
{
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QVERIFY(MainWindowProbe::serial(*w) && MainWindowProbe::serial(*w)->isOpen());
}

void TestLink::decodeReplyCutsAtNul()
{
    QCOMPARE(ReplyFramer::decodeReply(QByteArray()), QString());
    QCOMPARE(ReplyFramer::decodeReply(QByteArray("Ok", 2)), QStringLiteral("Ok"));
    QCOMPARE(ReplyFramer::decodeReply(QByteArray("\0Ok", 3)), QString());
    QCOMPARE(ReplyFramer::decodeReply(QByteArray("parity none\0odd", 15)),
             QStringLiteral("parity none"));
    QCOMPARE(ReplyFramer::decodeReply(QStringLiteral("скорость 9600").toUtf8()),
             QStringLiteral("скорость 9600"));
    QCOMPARE(ReplyFramer::decodeReply("baudrate 9600\r\n"), QStringLiteral("baudrate 9600\r\n"));
}

void TestLink::connectOpensAt9600_8N1()
{
    connectWindow();
    QSerialPort *port = MainWindowProbe::serial(*w);
    QVERIFY(w->findChildren<QSerialPort *>().contains(port));
    QCOMPARE(port->baudRate(QSerialPort::Input), 9600);
    QCOMPARE(port->baudRate(QSerialPort::Output), 9600);
    QCOMPARE(port->dataBits(), QSerialPort::Data8);
    QCOMPARE(port->parity(), QSerialPort::NoParity);
    QCOMPARE(port->stopBits(), QSerialPort::OneStop);
    QCOMPARE(port->flowControl(), QSerialPort::NoFlowControl);
    QCOMPARE(port->openMode(), QIODevice::ReadWrite);
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Отключиться"));
    QVERIFY(!ui().BT_find->isEnabled());
    // The read that connecting starts runs alone.
    QVERIFY(!ui().BT_Read_values->isEnabled());
    QVERIFY(!ui().BT_Write_values->isEnabled());
    QCOMPARE(boxes->count(), 0);

    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QVERIFY(!port->isOpen());
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));
    QVERIFY(ui().BT_find->isEnabled());
    QVERIFY(!ui().BT_Read_values->isEnabled());
    QVERIFY(!ui().BT_Write_values->isEnabled());
}

void TestLink::commandBytesOnTheWire()
{
    MainWindowProbe::openSerialPort(*w);
    sim->clearLog();
    MainWindowProbe::sendCommand(*w, QStringLiteral("-h"));
    QTRY_COMPARE(sim->commands().size(), 1);
    QCOMPARE(sim->rawInput(), QByteArray("\x2D\x68"));
    QVERIFY(MainWindowProbe::awaitingReply(*w));

    // Nothing is appended, and spaces and colons go out as they stand.
    StatusLog log(*w);
    QTRY_COMPARE(log.count(), 1);
    sim->clearLog();
    MainWindowProbe::sendCommand(*w, QStringLiteral("-stop bits:2"));
    QTRY_COMPARE(sim->commands(), QList<QByteArray> {"-stop bits:2"});
    QCOMPARE(sim->rawInput(), QByteArray("-stop bits:2"));
}

void TestLink::replyTextAndNulCut()
{
    MainWindowProbe::openSerialPort(*w);
    StatusLog log(*w);
    MainWindowProbe::sendCommand(*w, QStringLiteral("-baudrate"));
    QTRY_COMPARE(log.count(), 1);
    QCOMPARE(log.last(), QStringLiteral("Получено :baudrate 9600"));
    QCOMPARE(MainWindowProbe::reply(*w), QStringLiteral("baudrate 9600"));
    QVERIFY(!MainWindowProbe::awaitingReply(*w));
    QVERIFY(!MainWindowProbe::timeoutTimer(*w)->isActive());

    sim->setReply("-x", QByteArray("parity odd\0parity even", 22));
    MainWindowProbe::sendCommand(*w, QStringLiteral("-x"));
    QTRY_COMPARE(log.count(), 2);
    QCOMPARE(log.last(), QStringLiteral("Получено :parity odd"));
    QCOMPARE(MainWindowProbe::readBuffer(*w), QByteArray("parity odd\0parity even", 22));

    // Line ends are shown by their codes, on the one line; binary garbage does no harm.
    sim->setReply("-y", QByteArray("\xff\xfe\x01stop bits 2\r\n"));
    MainWindowProbe::sendCommand(*w, QStringLiteral("-y"));
    QTRY_COMPARE(log.count(), 3);
    QVERIFY(log.last().startsWith(QStringLiteral("Получено :")));
    QVERIFY2(log.last().endsWith(QStringLiteral("\\x01stop bits 2\\x0d\\x0a")), qPrintable(log.last()));
    QCOMPARE(boxes->count(), 0);
}

void TestLink::splitReplyIsTakenWhole()
{
    MainWindowProbe::openSerialPort(*w);
    // Pauses longer than an adapter's 16 ms batching, as a real line gives.
    sim->setSplitReplies(4, 25ms);
    sim->setReply("-parity", "parity even, the module says");
    StatusLog log(*w);
    MainWindowProbe::sendCommand(*w, QStringLiteral("-parity"));
    QTRY_COMPARE(log.count(), 1);
    QCOMPARE(log.last(), QStringLiteral("Получено :parity even, the module says"));
    QCOMPARE(MainWindowProbe::reply(*w), QStringLiteral("parity even, the module says"));

    // Nothing of the reply is taken again later.
    sim->setSplitReplies(1, 0ms);
    MainWindowProbe::sendCommand(*w, QStringLiteral("-h"));
    QTRY_COMPARE(log.count(), 2);
    QVERIFY(!log.last().contains(QStringLiteral("parity")));
}

void TestLink::bytesWhileIdleAreNotInterpreted()
{
    MainWindowProbe::openSerialPort(*w);
    StatusLog log(*w);
    sim->sendUnsolicited("parity even");
    QTRY_COMPARE(MainWindowProbe::readBuffer(*w), QByteArray("parity even"));
    sim->sendUnsolicited(QByteArray("\0\x80\xff garbage Ok", 14));
    QTRY_COMPARE(MainWindowProbe::readBuffer(*w), QByteArray("\0\x80\xff garbage Ok", 14));
    QCOMPARE(log.count(), 0);
    QVERIFY(MainWindowProbe::reply(*w).isEmpty());
    QCOMPARE(ui().CB_KT_Parity->currentIndex(), 0);

    // After a reply has been taken, the line is idle again.
    MainWindowProbe::sendCommand(*w, QStringLiteral("-h"));
    QTRY_COMPARE(log.count(), 1);
    sim->sendUnsolicited("baudrate 115200");
    QTRY_COMPARE(MainWindowProbe::readBuffer(*w), QByteArray("baudrate 115200"));
    QCOMPARE(log.count(), 1);
    QCOMPARE(ui().CB_KT_Speed->currentIndex(), 0);
}

void TestLink::lineThatNeverFallsQuietStillGivesAReply()
{
    MainWindowProbe::openSerialPort(*w);
    sim->setSilent(true);
    StatusLog log(*w);
    QTimer babble;
    connect(&babble, &QTimer::timeout, this, [this] { sim->sendUnsolicited("parity odd "); });
    MainWindowProbe::sendCommand(*w, QStringLiteral("-parity"));
    babble.start(20);
    // A reply, never a time-out: the line never fell quiet, and the reply
    // was taken while it went on.
    QTRY_COMPARE_WITH_TIMEOUT(log.count(), 1, 15000);
    QVERIFY(babble.isActive());
    babble.stop();
    QVERIFY(log.last().startsWith(QStringLiteral("Получено :parity odd parity odd")));
    QVERIFY(!MainWindowProbe::awaitingReply(*w));
    QCOMPARE(boxes->count(), 0);
}

// A device that streams (wrong baud rate, noise) must neither grow the
// program nor fill the status bar: 10 MiB with no pauses.
void TestLink::floodIsBoundedAndCounted()
{
    MainWindowProbe::openSerialPort(*w);
    StatusLog log(*w);
    const qint64 rssBefore = residentBytes();
    constexpr qint64 floodBytes = 10 * 1024 * 1024;
    QSignalSpy done(sim.get(), &ModuleSimulator::floodDone);
    MainWindowProbe::sendCommand(*w, QStringLiteral("-baudrate"));
    sim->flood(floodBytes, QByteArrayLiteral("baudrate 9600 "));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(!MainWindowProbe::awaitingReply(*w), 5000);
    QVERIFY(MainWindowProbe::readBuffer(*w).size() <= ReplyFramer::maxReplyBytes);

    QCOMPARE(log.count(), 1);
    const QString shown = log.last();
    QVERIFY2(shown.size() < EngineWords::maxShownReplyChars + 100, qPrintable(shown.left(300)));
    QVERIFY(shown.startsWith(QStringLiteral("Получено :baudrate 9600 baudrate")));
    QVERIFY2(shown.contains(QStringLiteral("байт отброшено")), qPrintable(shown));
    const QStringList lines = w->exchangeLog()->lines();
    const QString logged = lines.constLast();
    QVERIFY2(logged.contains(QStringLiteral("<- baudrate 9600")), qPrintable(logged.left(100)));
    QVERIFY(logged.contains(QStringLiteral("байт отброшено")));
    QVERIFY(logged.size() < ReplyFramer::maxReplyBytes + 200);

    const qint64 grown = residentBytes() - rssBefore;
    if (residentMemoryMeaningful)
        QVERIFY2(grown < 16 * 1024 * 1024, QByteArray::number(grown));
    // The link is still usable afterwards. On a loaded machine the tail of
    // the flood may still be on its way and come in with the answer.
    QTRY_VERIFY(MainWindowProbe::serial(*w)->bytesAvailable() == 0);
    const int before = log.count();
    MainWindowProbe::sendCommand(*w, QStringLiteral("-baudrate"));
    QTRY_VERIFY_WITH_TIMEOUT(log.count() > before && !MainWindowProbe::awaitingReply(*w), 10000);
    QVERIFY2(log.last().startsWith(QStringLiteral("Получено :"))
                     && log.last().contains(QStringLiteral("baudrate 9600")),
             qPrintable(log.last().left(200)));
}

void TestLink::missingReplyRaisesOneBox()
{
    MainWindowProbe::openSerialPort(*w);
    sim->setSilent(true);
    // Hold the box open longer than a second time-out would take.
    boxes->setHoldMs(3500);
    bool timerStoppedBehindBox = false;
    boxes->onShown = [&](const ModalWatcher::Box &) {
        timerStoppedBehindBox = !MainWindowProbe::timeoutTimer(*w)->isActive();
    };
    StatusLog log(*w);
    QElapsedTimer clock;
    clock.start();
    MainWindowProbe::sendCommand(*w, QStringLiteral("-h"));
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 15000);
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY2(clock.elapsed() >= 2900 + 3500, QByteArray::number(clock.elapsed()));
    QVERIFY(timerStoppedBehindBox);
    QCOMPARE(boxes->count(), 1);
    QCOMPARE(boxes->boxes.at(0).title, QStringLiteral("Ошибка"));
    QCOMPARE(boxes->boxes.at(0).text, QStringLiteral("Ошибка соединения"));
    QCOMPARE(boxes->boxes.at(0).icon, QMessageBox::Critical);
    // "Ошибка" while the box is up; once it is closed, what goes on and
    // how to give up.
    QCOMPARE(log.messages().size(), 2);
    QCOMPARE(log.messages().constFirst(), QStringLiteral("Ошибка"));
    QVERIFY(log.messages().constLast().startsWith(QStringLiteral("Модуль не ответил на команду «-h»"))
            && log.messages().constLast().endsWith(QStringLiteral("нажмите «Отключиться».")));
    QVERIFY(!MainWindowProbe::timeoutTimer(*w)->isActive());
    QVERIFY(MainWindowProbe::awaitingReply(*w));
    boxes->setHoldMs(0);

    // One command at a time: nothing else goes out while a reply is due.
    MainWindowProbe::sendCommand(*w, QStringLiteral("-baudrate"));
    QCOMPARE(sim->commands(), QList<QByteArray> {"-h"});
    QVERIFY(!MainWindowProbe::timeoutTimer(*w)->isActive());
    QCOMPARE(boxes->count(), 1);
}

void TestLink::lateReplyIsStillTaken()
{
    MainWindowProbe::openSerialPort(*w);
    sim->setReplyDelay(3600ms);
    StatusLog log(*w);
    // Left up: the box says the reply is still awaited, and goes when it comes.
    boxes->setHoldMs(60000);
    MainWindowProbe::sendCommand(*w, QStringLiteral("-stop bits"));
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() == nullptr, 10000);
    QCOMPARE(boxes->count(), 1);
    QCOMPARE(log.messages(),
             (QStringList {QStringLiteral("Ошибка"), QStringLiteral("Получено :stop bits 1")}));
    QVERIFY(!MainWindowProbe::awaitingReply(*w));
    QCOMPARE(MainWindowProbe::statusPanel(*w)->currentMessage(),
             QStringLiteral("Получено :stop bits 1"));
}

// A reply still in its quiet gap belongs to the command before: a new
// command must not end up with that gap's (empty) reply and lose its own.
void TestLink::commandSentWhileAReplyIsCollectedGetsItsOwn()
{
    MainWindowProbe::openSerialPort(*w);
    sim->setReplyDelay(100ms);
    StatusLog log(*w);
    // The next command goes out 10 ms into the first reply's 50 ms quiet gap.
    bool sent = false;
    connect(sim.get(), &ModuleSimulator::replySent, this, [this, &sent] {
        if (std::exchange(sent, true))
            return;
        QTimer::singleShot(10, w.get(), [this] { MainWindowProbe::sendCommand(*w, QStringLiteral("-parity")); });
    });
    MainWindowProbe::sendCommand(*w, QStringLiteral("-baudrate"));
    QTRY_VERIFY(log.count() >= 1);
    // The reply being collected is still due: the new command waits its turn
    // (it is refused), and the reply is the one to the command it answers.
    QCOMPARE(log.messages().constFirst(), QStringLiteral("Получено :baudrate 9600"));
    QTRY_VERIFY(!MainWindowProbe::awaitingReply(*w));
    QCOMPARE(sim->commands(), (QList<QByteArray> {"-baudrate"}));
}

void TestLink::twoCommandsWithoutReplyGiveOneBox()
{
    MainWindowProbe::openSerialPort(*w);
    sim->setSilent(true);
    QTimer *timeout = MainWindowProbe::timeoutTimer(*w);
    MainWindowProbe::sendCommand(*w, QStringLiteral("-h"));
    QTRY_VERIFY_WITH_TIMEOUT(timeout->isActive() && timeout->remainingTime() < 1500, 5000);
    QCOMPARE(boxes->count(), 0);
    const int left = timeout->remainingTime();
    MainWindowProbe::sendCommand(*w, QStringLiteral("-baudrate")); // refused: "-h" is still due
    // The refused command does not restart the time-out of the one awaited.
    QVERIFY(timeout->isActive() && timeout->remainingTime() <= left);
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 10000);
    QCOMPARE(sim->commands(), QList<QByteArray> {"-h"});
    QVERIFY(!MainWindowProbe::timeoutTimer(*w)->isActive());
}

void TestLink::failedOpenIsReportedAtOnce_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("reasonPart");
    QTest::newRow("missing") << QStringLiteral("/dev/tav-no-such-port")
                             << QStringLiteral("No such file");
    QTest::newRow("empty name") << QString() << QStringLiteral("порт не выбран");
    QTest::newRow("not a tty") << QStringLiteral("/dev/null") << QString();
}

void TestLink::failedOpenIsReportedAtOnce()
{
    QFETCH(QString, port);
    QFETCH(QString, reasonPart);
    makeWindow(port.isEmpty() ? QStringList() : QStringList {port});
    StatusLog log(*w);
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    // At once: said before the click returns, no retry timer behind it.
    QCOMPARE(log.count(), 1);
    const auto timers = w->findChildren<QTimer *>();
    for (const QTimer *t : timers)
        QVERIFY2(!t->isActive(), qPrintable(t->objectName()));
    QTRY_COMPARE(boxes->count(), 1);
    QCOMPARE(boxes->boxes.at(0).title, QStringLiteral("Ошибка"));
    QCOMPARE(boxes->boxes.at(0).text, QStringLiteral("Ошибка соединения"));
    QCOMPARE(log.count(), 1);
    QVERIFY2(log.last().contains(port), qPrintable(log.last()));
    QVERIFY2(log.last().contains(reasonPart), qPrintable(log.last()));

    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));
    QVERIFY(ui().BT_find->isEnabled());
    QVERIFY(!ui().BT_Read_values->isEnabled());
    QVERIFY(!ui().BT_Write_values->isEnabled());
    for (QTimer *t : {MainWindowProbe::readTimer(*w), MainWindowProbe::writeTimer(*w),
                      MainWindowProbe::timeoutTimer(*w), MainWindowProbe::findTimer(*w)})
        QVERIFY2(!t->isActive(), qPrintable(t->objectName()));
    QVERIFY(!MainWindowProbe::awaitingReply(*w));
}

void TestLink::busyPortIsReported()
{
    MainWindow other(nullptr, [this] { return ports; });
    QTest::mouseClick(MainWindowProbe::ui(other).BT_Open_Connect, Qt::LeftButton);
    QVERIFY(MainWindowProbe::serial(other)->isOpen());
    StatusLog log(*w);
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_COMPARE(boxes->count(), 1);
    QVERIFY2(log.last().contains(sim->portPath()), qPrintable(log.last()));
    QVERIFY2(log.last().contains(QStringLiteral("занят")), qPrintable(log.last()));
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));
    QVERIFY(MainWindowProbe::serial(other)->isOpen());
}

void TestLink::disconnectWhileAwaitingRaisesNoBox()
{
    sim->setSilent(true);
    connectWindow();
    QTRY_VERIFY(MainWindowProbe::timeoutTimer(*w)->isActive()); // "-h" of the read is due
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));
    QVERIFY(!MainWindowProbe::timeoutTimer(*w)->isActive());
    QVERIFY(!MainWindowProbe::awaitingReply(*w));
    for (QComboBox *box : {ui().CB_KT_Speed, ui().CB_KT_Stop_bit, ui().CB_KT_Parity}) {
        QCOMPARE(box->currentIndex(), 0);
        QCOMPARE(box->styleSheet(), styleGray);
    }
    QCOMPARE(boxes->count(), 0);
}

void TestLink::vanishedModuleGivesOneReport()
{
    connectWindow();
    StatusLog log(*w);
    QSerialPort *port = MainWindowProbe::serial(*w);
    // The whole second from the unplug counts: a port left open on a hung-up
    // line spins the event loop at full speed (Qt 5's endless ReadError).
    const qint64 cpuBefore = cpuTimeMs();
    QElapsedTimer wall;
    wall.start();
    sim->vanish();
    QTRY_VERIFY_WITH_TIMEOUT(!port->isOpen(), 500);
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    QEventLoop loop;
    QTimer::singleShot(int(qMax<qint64>(0, 1000 - wall.elapsed())), &loop, &QEventLoop::quit);
    loop.exec();
    const qint64 cpu = cpuTimeMs() - cpuBefore;
    QVERIFY2(cpu < 300,
             qPrintable(QStringLiteral("%1 ms CPU in %2 ms").arg(cpu).arg(wall.elapsed())));

    QStringList lost;
    for (const QString &m : log.messages()) {
        if (m.contains(QStringLiteral("потеряна")))
            lost.append(m);
    }
    QCOMPARE(lost.size(), 1);
    QVERIFY2(lost.at(0).contains(port->portName()), qPrintable(lost.at(0)));
    QVERIFY(boxes->count() <= 1);
    for (const auto &b : qAsConst(boxes->boxes))
        QCOMPARE(b.title, QStringLiteral("Critical Error"));
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));
    QVERIFY(ui().BT_find->isEnabled());
    QVERIFY(!ui().BT_Read_values->isEnabled());
    QVERIFY(!MainWindowProbe::timeoutTimer(*w)->isActive());
    QVERIFY(!MainWindowProbe::readTimer(*w)->isActive());
}

// Which error a hang-up raises depends on a stale errno (ReadError or
// ResourceError); a ReadError left unhandled spins the loop for ever.
void TestLink::readErrorOnAnOpenPortEndsTheLink()
{
    connectWindow();
    QSerialPort *port = MainWindowProbe::serial(*w);
    StatusLog log(*w);
    MainWindowProbe::handleError(*w, QSerialPort::ReadError);
    QVERIFY(!port->isOpen());
    QCOMPARE(log.count(), 1);
    QVERIFY2(log.last().contains(QStringLiteral("потеряна")), qPrintable(log.last()));
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));
}

void TestLink::replacedPortIsReleased()
{
    ModuleSimulator second;
    ports.append(second.portPath());
    QTest::mouseClick(ui().BT_Open_Connect_2, Qt::LeftButton);
    MainWindowProbe::openSerialPort(*w);
    QPointer<QSerialPort> first = MainWindowProbe::serial(*w);
    ui().cbPorts->setCurrentIndex(1);
    MainWindowProbe::openSerialPort(*w);
    QVERIFY(MainWindowProbe::serial(*w) != first);
    QVERIFY(!first || !first->isOpen());
    QTRY_VERIFY(first.isNull());
    QCOMPARE(w->findChildren<QSerialPort *>().size(), 1);

    // The first module talking now reaches nothing.
    StatusLog log(*w);
    second.setSilent(true);
    MainWindowProbe::sendCommand(*w, QStringLiteral("-h"));
    sim->sendUnsolicited("baudrate 1200");
    QTRY_COMPARE(second.commands().size(), 1);
    QCOMPARE(log.count(), 0);
    QVERIFY(MainWindowProbe::awaitingReply(*w));
    QVERIFY(MainWindowProbe::readBuffer(*w).isEmpty());
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton); // not connected: connects again
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton); // and disconnects
    QCOMPARE(boxes->count(), 0);
}

void TestLink::errorHandlerWithoutLink()
{
    // No port object at all: nothing may crash, and the user is told.
    StatusLog log(*w);
    MainWindowProbe::handleError(*w, QSerialPort::NoError);
    MainWindowProbe::handleError(*w, QSerialPort::UnsupportedOperationError);
    QCOMPARE(log.count(), 0);
    QCOMPARE(boxes->count(), 0);
    MainWindowProbe::handleError(*w, QSerialPort::ResourceError);
    QTRY_COMPARE(boxes->count(), 1);
    QCOMPARE(boxes->boxes.at(0).title, QStringLiteral("Critical Error"));
    QCOMPARE(log.count(), 1);

    MainWindowProbe::sendCommand(*w, QStringLiteral("-h"));
    QVERIFY(MainWindowProbe::timeoutTimer(*w)->isActive());
    MainWindowProbe::getResult(*w);
    QTest::mouseClick(ui().BT_Open_Connect_2, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 2, 10000);
    QCOMPARE(boxes->boxes.at(1).text, QStringLiteral("Ошибка соединения"));
}

void TestLink::manyConnectCyclesLeaveNothingBehind()
{
    // One cycle first, so that lazily made objects do not count.
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_COMPARE(w->findChildren<QSerialPort *>().size(), 1);
    const int fdsBefore = openFileDescriptors();
    // Anything a cycle left behind would show after a few dozen; under the
    // sanitizers each cycle costs a fifth of a second.
    for (int i = 0; i < 40; ++i) {
        QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
        QVERIFY(MainWindowProbe::serial(*w)->isOpen());
        QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
        QVERIFY(!MainWindowProbe::serial(*w)->isOpen());
    }
    QTRY_COMPARE(w->findChildren<QSerialPort *>().size(), 1);
    // None more: one that an earlier test left to be closed later may be gone.
    QVERIFY2(openFileDescriptors() <= fdsBefore,
             qPrintable(QStringLiteral("%1 > %2").arg(openFileDescriptors()).arg(fdsBefore)));
    QCOMPARE(boxes->count(), 0);
}

QTEST_MAIN(TestLink)
#include "tst_link.moc"
