// A module behind a real serial device server: ser2net in front of the
// simulated module's pseudo-terminal, with a raw TCP accepter and an RFC 2217
// one, both configured at 115200 baud, so that the configurator must set
// 9600 8N1 itself over RFC 2217. Both front ends, and the failures a
// technician meets in the field.
#include "addedports.h"
#include "commissioner.h"
#include "exchangelog.h"
#include "networklink.h"
#include "simfixture.h"

#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QAbstractItemView>
#include "indicatorstyles.h"
#include <QtTest>

#include <optional>

class TestNetwork : public WindowOnSimulator
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void namesAreNetworkPortsOnlyWithAHostAndAPort();
    void commandLineWritesThroughBothAccepters_data();
    void commandLineWritesThroughBothAccepters();
    void windowReadsAndWritesOverRfc2217();
    void everyFailureSaysWhatToDoInTime_data();
    void everyFailureSaysWhatToDoInTime();
    void aDroppedConnectionMidWriteIsOneReport();
    void byte0xFFArrivesAsOneByte();
    void portsAddedByNameAreRememberedUntilForgotten();
    void waitingIsForSerialPortsOnly();
    void bytesBeforeTheLineIsSetUpAreDropped();
    void aGatewayThatRefusesComPortIsToldAtOnce();

private:
    static quint16 freePort();
    bool startServer();
    int runCli(const QString &port, bool write, QString *output, ExchangeLog *log = nullptr);
    QString raw() const { return QStringLiteral("socket://127.0.0.1:%1").arg(rawPort); }
    QString rfc2217() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfcPort); }

    QTemporaryDir dir;
    QProcess server;
    bool runOutLimit = false; // runCli runs the connect limit out at once
    int limitsRunOut = 0; // times runCli's connect limit ran out
    quint16 rawPort = 0;
    quint16 rfcPort = 0;
};

quint16 TestNetwork::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void TestNetwork::initTestCase()
{
    QSettings(QSettings::defaultFormat(), QSettings::UserScope, QStringLiteral("tav-configurator"),
              QStringLiteral("tav-configurator"))
            .clear();
    if (QStandardPaths::findExecutable(QStringLiteral("ser2net")).isEmpty())
        QSKIP("ser2net is not installed (the README's test command installs it)");
}

void TestNetwork::init()
{
    // A gateway's own timing (its refusal, its acknowledgements) is the point here.
    hurryPauses = QByteArray(QTest::currentTestFunction()) != "everyFailureSaysWhatToDoInTime";
    setUp(false);
    QVERIFY(startServer());
}

void TestNetwork::cleanup()
{
    server.kill();
    server.waitForFinished();
    tearDown();
}

bool TestNetwork::startServer()
{
    rawPort = freePort();
    rfcPort = freePort();
    const QString device = QFileInfo(sim->portPath()).canonicalFilePath();
    const QString config = dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(QStringLiteral("connection: &raw\n"
                              "  accepter: tcp,127.0.0.1,%1\n"
                              "  connector: serialdev,%3,115200n81,local\n"
                              "connection: &rfc\n"
                              "  accepter: telnet(rfc2217),tcp,127.0.0.1,%2\n"
                              "  connector: serialdev,%3,115200n81,local\n")
                       .arg(rawPort)
                       .arg(rfcPort)
                       .arg(device)
                       .toUtf8());
    file.close();
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral("ser2net"),
                 {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-c"), config});
    if (!server.waitForStarted())
        return false;
    // Listening on both ports, as the system's table shows; a test
    // connection would hold the device for a while after it.
    const auto listening = [](quint16 port) {
        QFile table(QStringLiteral("/proc/net/tcp"));
        if (!table.open(QIODevice::ReadOnly))
            return false;
        const QByteArray local =
                ":" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
        for (const QByteArray &line : table.readAll().split('\n')) {
            const QList<QByteArray> f = line.simplified().split(' ');
            if (f.size() > 3 && f.at(1).endsWith(local) && f.at(3) == "0A")
                return true;
        }
        return false;
    };
    return QTest::qWaitFor([&] { return listening(rawPort) && listening(rfcPort); }, 10000);
}

int TestNetwork::runCli(const QString &port, bool write, QString *output, ExchangeLog *log)
{
    CommissionOptions o;
    o.port = port;
    if (write) {
        o.action = CommissionOptions::Action::Write;
        o.target = {QStringLiteral("19200"), QStringLiteral("2"), QStringLiteral("even")};
    }
    QString errors;
    QTextStream out(output);
    QTextStream err(&errors);
    Commissioner cli(
            o, [] { return QStringList(); }, out, err, log);
    // A write's pauses are the module's, not the gateway's: cut short. A
    // read keeps its first pause, in which a gateway that turns the client
    // away says so.
    std::unique_ptr<FastForward> hurry;
    if (write)
        hurry = std::make_unique<FastForward>(&cli, std::function<bool()>(), false);
    // The gateway's connect limit is watched, and for a case about it run
    // out as soon as the connection stands: whether it ran out tells whether
    // the gateway answered, on a busy machine as on an idle one.
    limitsRunOut = 0;
    QPointer<QTimer> limit;
    QTimer watch;
    connect(&watch, &QTimer::timeout, &cli, [&] {
        if (!limit && (limit = cli.findChild<QTimer *>(QStringLiteral("connectTimer"))))
            connect(limit, &QTimer::timeout, this, [this] { ++limitsRunOut; });
        const auto *socket = cli.findChild<QTcpSocket *>();
        if (runOutLimit && limit && limit->isActive() && limit->interval() > 0 && socket
            && socket->state() == QAbstractSocket::ConnectedState)
            limit->start(0);
    });
    watch.start(2);
    QSignalSpy finished(&cli, &Commissioner::finished);
    cli.start();
    if (!waitWhileMoving(&cli, [&] { return finished.count() > 0; }, 30000))
        return -1;
    out.flush();
    return finished.at(0).at(0).toInt();
}

void TestNetwork::namesAreNetworkPortsOnlyWithAHostAndAPort()
{
    const auto a = PortAddress::of(QStringLiteral("rfc2217://[::1]:4001"));
    QVERIFY(a.isValid() && a.kind() == PortAddress::Kind::Rfc2217
            && a.host() == QStringLiteral("::1") && a.port() == 4001);
    // An IPv6 address is written as in a URL: its port apart from it.
    QCOMPARE(a.where(), QStringLiteral("[::1]:4001"));
    const auto b = PortAddress::of(QStringLiteral("TCP://gw.example:502"));
    QVERIFY(b.isValid() && b.kind() == PortAddress::Kind::Raw
            && b.host() == QStringLiteral("gw.example"));
    QCOMPARE(b.where(), QStringLiteral("gw.example:502"));
    for (const char *bad :
         {"socket://gw", "rfc2217://:4001", "socket://gw:0", "socket://gw:4001/x"}) {
        const auto c = PortAddress::of(QLatin1String(bad));
        QVERIFY2(c.isGateway() && !c.isValid(), bad);
    }
    // Paths and names stay serial ports, a name as this system's device.
    for (const char *serial : {"COM5", "/dev/ttyUSB0", "ttyUSB0", "/tmp/socket://x"}) {
        const auto c = PortAddress::of(QLatin1String(serial));
        QVERIFY2(c.isValid() && !c.isGateway(), serial);
#ifdef Q_OS_UNIX
        QVERIFY2(c.devicePath().startsWith(QLatin1Char('/')), serial);
#endif
    }
    QVERIFY(!PortAddress::of({}).isValid());
}

void TestNetwork::commandLineWritesThroughBothAccepters_data()
{
    QTest::addColumn<bool>("rfc");
    QTest::newRow("socket://") << false;
    QTest::newRow("rfc2217://") << true;
}

void TestNetwork::commandLineWritesThroughBothAccepters()
{
    QFETCH(bool, rfc);
    // The line as the module sees it when the first command arrives.
    QString line;
    connect(sim.get(), &ModuleSimulator::commandReceived, this, [&] {
        if (line.isEmpty())
            line = sim->lineSettings();
    });
    QString output;
    QCOMPARE(runCli(rfc ? rfc2217() : raw(), true, &output), ExitCode::done);
    QVERIFY2(output.contains(QStringLiteral("готово: скорость 19200")), qPrintable(output));
    QCOMPARE(sim->baudRate(), QStringLiteral("19200"));
    QCOMPARE(sim->parity(), QStringLiteral("even"));
    QVERIFY(sim->isOperating());
    // Raw TCP leaves the line as the server keeps it; RFC 2217 sets it.
    QCOMPARE(line, rfc ? QStringLiteral("9600 8N1") : QStringLiteral("115200 8N1"));
}

void TestNetwork::windowReadsAndWritesOverRfc2217()
{
    w->addPort(rfc2217());
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Отключиться"));
    // Connecting is part of the exchange: nothing else may start meanwhile.
    QVERIFY(!ui().BT_Read_values->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 15000);
    QCOMPARE(ui().CB_KT_Speed->currentText(), QStringLiteral("9600"));
    QCOMPARE(sim->lineSettings(), QStringLiteral("9600 8N1"));
    ui().CB_KT_Speed->setCurrentText(QStringLiteral("57600"));
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 20000);
    QCOMPARE(boxes->boxes.at(0).title, QStringLiteral("Результат"));
    QCOMPARE(sim->baudRate(), QStringLiteral("57600"));
    QVERIFY(sim->isOperating());
}

void TestNetwork::everyFailureSaysWhatToDoInTime_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("told");
    // Told when the connect limit runs out, not by the gateway's answer.
    QTest::addColumn<bool>("byTheLimit");
    QTest::newRow("refused") << QStringLiteral("socket://127.0.0.1:%1").arg(freePort())
                             << QStringLiteral("отказал в соединении") << false;
    QTest::newRow("unknown host") << QStringLiteral("rfc2217://no-such-gateway.invalid:4001")
                                  << QStringLiteral("не найден") << false;
    QTest::newRow("no port number")
            << QStringLiteral("socket://gateway") << QStringLiteral("неполно") << false;
    // The raw accepter does not speak RFC 2217.
    QTest::newRow("raw server") << QStringLiteral("rfc2217://127.0.0.1:RAW")
                                << QStringLiteral("не поддерживает RFC 2217") << true;
    // A gateway that takes the connection and drops it without a word,
    // before anything is sent: turned away, not a link lost.
    QTest::newRow("silent hang-up") << QStringLiteral("socket://127.0.0.1:HANGUP")
                                    << QStringLiteral("отказал в соединении") << false;
    QTest::newRow("silent hang-up, RFC 2217") << QStringLiteral("rfc2217://127.0.0.1:HANGUP")
                                              << QStringLiteral("отказал в соединении") << false;
    // Another client has the gateway's port: ser2net says so and hangs up.
    QTest::newRow("port held by another client")
            << QStringLiteral("HELD socket://127.0.0.1:RAW")
            << QStringLiteral("подключён другой клиент. Система сообщает: шлюз ответил «Port "
                              "already in use»")
            << false;
}

void TestNetwork::everyFailureSaysWhatToDoInTime()
{
    QFETCH(QString, port);
    QFETCH(QString, told);
    QFETCH(bool, byTheLimit);
    port.replace(QStringLiteral("RAW"), QString::number(rawPort));
    QTcpServer hangUp;
    QVERIFY(hangUp.listen(QHostAddress::LocalHost, 0));
    connect(&hangUp, &QTcpServer::newConnection, this, [&hangUp] {
        while (QTcpSocket *c = hangUp.nextPendingConnection()) {
            c->abort();
            c->deleteLater();
        }
    });
    port.replace(QStringLiteral("HANGUP"), QString::number(hangUp.serverPort()));
    QTcpSocket holder;
    if (port.startsWith(QStringLiteral("HELD "))) {
        port.remove(0, 5);
        holder.connectToHost(QHostAddress::LocalHost, rawPort);
        QVERIFY(holder.waitForConnected());
    }
    QString output;
    runOutLimit = byTheLimit;
    QCOMPARE(runCli(port, false, &output), ExitCode::cannotOpen);
    runOutLimit = false;
    // In time: the gateway's answer is told before the limit, or the limit
    // ends the wait.
    QCOMPARE(limitsRunOut, byTheLimit ? 1 : 0);
    QVERIFY2(output.contains(told), qPrintable(output));
    QCOMPARE(output.count(QLatin1Char('\n')), 1);

    // The window: one box, the port closed again.
    w->addPort(port);
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 8000);
    QVERIFY2(boxes->boxes.at(0).informativeText.contains(told),
             qPrintable(boxes->boxes.at(0).informativeText));
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));
    QVERIFY(!ui().BT_Read_values->isEnabled());
}

void TestNetwork::aDroppedConnectionMidWriteIsOneReport()
{
    connect(sim.get(), &ModuleSimulator::commandReceived, this, [this](const QByteArray &c) {
        if (c.startsWith("-stop bits:"))
            server.kill();
    });
    QString output;
    QCOMPARE(runCli(raw(), true, &output), ExitCode::noReply);
    QVERIFY2(output.contains(QStringLiteral("потеряно")), qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("скорость 19200")), qPrintable(output)); // confirmed
    QCOMPARE(output.count(QLatin1Char('\n')), 1);
    QVERIFY(!sim->isOperating());

    // The window keeps what the module confirmed, in green, and tells the
    // loss in sentences apart, logged as the box it was.
    QVERIFY(startServer());
    w->addPort(raw());
    QCOMPARE(ui().cbPorts->toolTip(), raw()); // the whole address, however narrow the field
    QVERIFY(ui().cbPorts->view()->minimumWidth()
            >= ui().cbPorts->fontMetrics().horizontalAdvance(raw()));
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 15000);
    ui().CB_KT_Speed->setCurrentText(QStringLiteral("19200"));
    ui().CB_KT_Stop_bit->setCurrentText(QStringLiteral("2"));
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 20000);
    QCOMPARE(boxes->boxes.at(0).title, QStringLiteral("Critical Error"));
    QCOMPARE(ui().CB_KT_Speed->currentText(), QStringLiteral("19200"));
    QCOMPARE(ui().CB_KT_Speed->styleSheet(), styleGreen);
    QCOMPARE(ui().CB_KT_Stop_bit->currentIndex(), 0); // sent, never confirmed
    const QString told = boxes->boxes.at(0).informativeText;
    QVERIFY2(told.contains(QStringLiteral(". Система сообщает: "))
                     && told.contains(QStringLiteral(". Модуль подтвердил: скорость 19200")),
             qPrintable(told));
    QCOMPARE(w->exchangeLog()->lines().filter(QStringLiteral("окно «Critical Error»: Ошибка "
                                                             "соединения — ")).size(),
             1);
}

void TestNetwork::byte0xFFArrivesAsOneByte()
{
    sim->setReply("-h", QByteArray("TAV\xff\xfe\xff", 6));
    ExchangeLog log;
    QString output;
    QCOMPARE(runCli(rfc2217(), false, &output, &log), ExitCode::done);
    QVERIFY2(log.lines().filter(QStringLiteral("<- TAV\\xff\\xfe\\xff")).size() == 1,
             qPrintable(log.lines().join(QLatin1Char('\n'))));
    // Nothing after it was taken for Telnet: the read went on to the end.
    QCOMPARE(sim->commands().size(), 4);

    // Going out, a 0xFF (never in the module's own commands, which are
    // ASCII) reaches the line as one byte too.
    sim->clearLog();
    NetworkLink link(PortAddress::of(rfc2217()));
    QSignalSpy ready(&link, &NetworkLink::ready);
    link.start();
    QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 5000);
    QCOMPARE(link.write(QByteArray("\xff\xff-x", 4)), qint64(4));
    QTRY_COMPARE(sim->rawInput(), QByteArray("\xff\xff-x", 4));
}

namespace {
// Picks `text` in the context menu of the port list, and answers the dialog
// that follows with `answer`, as a user would.
void useMenu(QComboBox *list, const QString &text, const QString &answer = {})
{
    // Two hands: a timer is not run again while its own slot is still
    // running, and the dialog opens from inside the menu's click.
    QTimer menuHand;
    QTimer dialogHand;
    menuHand.setInterval(10);
    dialogHand.setInterval(10);
    QObject::connect(&menuHand, &QTimer::timeout, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *action : menu->actions()) {
            if (action->text().startsWith(text) && action->isEnabled()) {
                menu->setActiveAction(action);
                QTest::keyClick(menu, Qt::Key_Return);
                return;
            }
        }
        menu->close();
    });
    QObject::connect(&dialogHand, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) {
            dialog->setTextValue(answer);
            dialog->accept();
        }
    });
    menuHand.start();
    dialogHand.start();
    emit list->customContextMenuRequested(QPoint(5, 5));
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr
                && QApplication::activePopupWidget() == nullptr);
}
} // namespace

void TestNetwork::portsAddedByNameAreRememberedUntilForgotten()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    useMenu(ui().cbPorts, QStringLiteral("Добавить порт"), QStringLiteral(" ") + rfc2217());
    QCOMPARE(ui().cbPorts->currentText(), rfc2217());
    // It is the technician's port now: offered again in the next run, and
    // it connects.
    makeWindow({});
    QVERIFY(w->findChild<QComboBox *>(QStringLiteral("cbPorts"))->findText(rfc2217()) >= 0);
    ui().cbPorts->setCurrentText(rfc2217());
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 15000);
    QCOMPARE(ui().CB_KT_Parity->currentText(), sim->parity());
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    // The port last used is the one offered at the next start.
    makeWindow({QStringLiteral("ttyUSB0")});
    QCOMPARE(ui().cbPorts->currentText(), rfc2217());

    // An address without a port is refused with the advice, and not kept.
    useMenu(ui().cbPorts, QStringLiteral("Добавить порт"), QStringLiteral("socket://gateway"));
    QTRY_COMPARE(boxes->count(), 1);
    QVERIFY(boxes->boxes.at(0).text.contains(QStringLiteral("неполно")));
    QCOMPARE(ui().cbPorts->findText(QStringLiteral("socket://gateway")), -1);

    ui().cbPorts->setCurrentText(rfc2217());
    useMenu(ui().cbPorts, QStringLiteral("Забыть порт"));
    QCOMPARE(ui().cbPorts->findText(rfc2217()), -1);
    makeWindow({});
    QCOMPARE(ui().cbPorts->findText(rfc2217()), -1);

    // A store grown past its bounds (by hand, or by another program) is
    // read within them, and that is said once.
    QStringList many {QString(AddedPorts::maxLength + 1, QLatin1Char('x'))};
    for (int i = 0; i < AddedPorts::maxCount + 50; ++i)
        many << QStringLiteral("socket://127.0.0.1:%1").arg(10000 + i);
    QSettings store(QSettings::defaultFormat(), QSettings::UserScope,
                    QStringLiteral("tav-configurator"), QStringLiteral("tav-configurator"));
    store.setValue(QStringLiteral("ports/added"), many);
    store.sync();
    makeWindow({});
    QCOMPARE(ui().cbPorts->count(), AddedPorts::maxCount);
    QCOMPARE(ui().cbPorts->itemText(0), many.at(1));
    QCOMPARE(w->exchangeLog()->lines().filter(QStringLiteral("не показаны: 51")).size(), 1);
    store.clear();
}

void TestNetwork::waitingIsForSerialPortsOnly()
{
    for (const QStringList &args :
         {QStringList {QStringLiteral("read"), raw(), QStringLiteral("--wait")},
          QStringList {QStringLiteral("read"), rfc2217(), QStringLiteral("--repeat")}}) {
        QProcess p;
        p.start(QStringLiteral(TAV_CLI_PATH), args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), ExitCode::usage);
        QVERIFY(QString::fromUtf8(p.readAllStandardError())
                        .contains(QStringLiteral("только с последовательными портами")));
    }
    QVERIFY(sim->commands().isEmpty());
}

// A gateway that speaks before it has set the line up (its buffer of
// earlier traffic, or a flood): none of it is kept, and none of it passes
// for the module's first reply.
void TestNetwork::bytesBeforeTheLineIsSetUpAreDropped()
{
    QTcpServer gateway;
    QVERIFY(gateway.listen(QHostAddress::LocalHost));
    QTcpSocket *peer = nullptr;
    connect(&gateway, &QTcpServer::newConnection, this, [&] {
        peer = gateway.nextPendingConnection();
        // IAC DO COM-PORT-OPTION, then 4 MiB of stale text, and no
        // acknowledgement of the line settings.
        peer->write(QByteArray("\xff\xfd\x2c", 3) + QByteArray(4 << 20, 'x'));
    });
    NetworkLink link(PortAddress::of(QStringLiteral("rfc2217://127.0.0.1:%1").arg(gateway.serverPort())));
    QSignalSpy ready(&link, &NetworkLink::ready);
    link.start();
    QTRY_VERIFY(peer && peer->bytesToWrite() == 0);
    QVERIFY(link.bytesAvailable() < 64 * 1024);
    QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, NetworkLink::connectLimit.count());
    QCOMPARE(link.bytesAvailable(), 0);
    peer->write("TAV-RS485-KT\r\n");
    QTRY_VERIFY(link.bytesAvailable() > 0);
    QCOMPARE(link.readAll(), QByteArray("TAV-RS485-KT\r\n"));
}

// DONT COM-PORT-OPTION is a clear no: said at once, not after the 4 s limit.
void TestNetwork::aGatewayThatRefusesComPortIsToldAtOnce()
{
    QTcpServer gateway;
    QVERIFY(gateway.listen(QHostAddress::LocalHost));
    connect(&gateway, &QTcpServer::newConnection, this,
            [&] { gateway.nextPendingConnection()->write(QByteArray("\xff\xfe\x2c", 3)); });
    NetworkLink link(PortAddress::of(QStringLiteral("rfc2217://127.0.0.1:%1").arg(gateway.serverPort())));
    std::optional<NetworkLink::Problem> problem;
    connect(&link, &NetworkLink::failed, this,
            [&](NetworkLink::Problem p) { problem = p; });
    int limitRanOut = 0;
    connect(link.findChild<QTimer *>(QStringLiteral("connectTimer")), &QTimer::timeout, this,
            [&] { ++limitRanOut; });
    link.start();
    QTRY_VERIFY_WITH_TIMEOUT(problem.has_value(), 2 * NetworkLink::connectLimit.count());
    QCOMPARE(limitRanOut, 0);
    QVERIFY(*problem == NetworkLink::Problem::NoComPort);
}

QTEST_MAIN(TestNetwork)
#include "tst_network.moc"
