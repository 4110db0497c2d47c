// The command-line program against the simulated module: the engine in
// process (a seam for the port list, as the window has), and the real
// binary for what only a process shows (exit codes, Ctrl+C).
#include "behaviours.h"
#include "commissioner.h"
#include "exchangelog.h"
#include "modulesimulator.h"
#include "progressline.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

using namespace std::chrono_literals;

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readPrintsTheValues();
    void writeVerifiesThenOperates();
    void refusedValueExits5WithoutOperatingMode();
    void missingOrHeldPortExits3WithTheReason();
    void differentReadBackExits6_data();
    void differentReadBackExits6();
    void stopDuringWriteFinishesTheStep_data();
    void stopDuringWriteFinishesTheStep();
    void stopWhileAPassEndsSendsNothingMore_data();
    void stopWhileAPassEndsSendsNothingMore();
    void repeatCommissionsModuleAfterModule();

    void batchTakesAdapterPluggedFirstAndEndsDone();
    void partialWriteSaysWhatTheModuleConfirmed();

    void usageErrorsSpeakTheLanguageOfTheRun();
    void stopSignalsEndAfterTheReply_data();
    void stopSignalsEndAfterTheReply();
    void progressReachesATerminalNeverAPipe();
    void aBatchWaitsForItsNextModuleUntilCtrlC();
    void progressLineFitsItsTerminal();
    void defaultWriteReadsBackEvenIntoAClosedPipe();
    void aLogFileThatFailsOrBlocksNeitherHidesNorHangs();

private:
    int runCli(const CommissionOptions &options);
    static CommissionOptions writeOptions(const QString &port);

    std::unique_ptr<ModuleSimulator> sim;
    QString output;
    QString errors;
    QStringList ports;
    std::unique_ptr<Commissioner> commissioner;
    ExchangeLog log;
    std::function<void(ModuleEngine &)> prepare;
    bool hurryTimeOut = false;
};

void TestCli::init()
{
    // CTest runs a case that waits out the real program's pauses apart
    // (TAV_RUN_APART names it), beside the rest.
    if (qEnvironmentVariable("TAV_RUN_APART").split(QLatin1Char(',')).contains(
                QLatin1String(QTest::currentTestFunction())))
        QSKIP("run apart by CTest");
    sim = std::make_unique<ModuleSimulator>();
    QVERIFY2(sim->isValid(), qPrintable(sim->errorString()));
    output.clear();
    errors.clear();
    log.clear();
}

void TestCli::cleanup()
{
    prepare = {};
    hurryTimeOut = false;
    commissioner.reset();
    sim.reset();
}

int TestCli::runCli(const CommissionOptions &options)
{
    QTextStream out(&output);
    QTextStream err(&errors);
    commissioner = std::make_unique<Commissioner>(
            options, [this] { return ports; }, out, err, &log);
    if (prepare)
        prepare(*commissioner->findChild<ModuleEngine *>());
    // The module's pauses are not what these cases are about: cut short,
    // and a reply's time-out too while `hurryTimeOut` says so.
    FastForward hurry(commissioner.get(), [this] { return hurryTimeOut; }, false);
    QSignalSpy finished(commissioner.get(), &Commissioner::finished);
    commissioner->start();
    // The program's own loop, as app.exec() runs it; a batch may take a while.
    if (!waitWhileMoving(commissioner.get(), [&] { return finished.count() > 0; }, 120000))
        qWarning("the command line did not finish, and nothing of it ran any more");
    return finished.isEmpty() ? -1 : finished.at(0).at(0).toInt();
}

CommissionOptions TestCli::writeOptions(const QString &port)
{
    CommissionOptions o;
    o.action = CommissionOptions::Action::Write;
    o.port = port;
    o.target = {QStringLiteral("19200"), QStringLiteral("2"), QStringLiteral("even")};
    return o;
}

void TestCli::readPrintsTheValues()
{
    sim->setSettings(QStringLiteral("57600"), QStringLiteral("2"), QStringLiteral("odd"));
    sim->setSplitReplies(3, 10ms);
    CommissionOptions o;
    o.port = sim->portPath();
    QCOMPARE(runCli(o), ExitCode::done);
    QCOMPARE(output.trimmed(),
             sim->portPath() + QStringLiteral(": скорость 57600, стоп-биты 2, паритет odd"));
    QCOMPARE(sim->rawInput(), QByteArray("-h-baudrate-stop bits-parity"));
    // The same log as the window's, line for line.
    QVERIFY(log.lines().filter(QStringLiteral("<- parity odd")).size() == 1);
}

void TestCli::writeVerifiesThenOperates()
{
    CommissionOptions o = writeOptions(sim->portPath());
    o.json = true;
    QCOMPARE(runCli(o), ExitCode::done);
    QVERIFY(sim->isOperating());
    QCOMPARE(sim->baudRate(), QStringLiteral("19200"));
    QCOMPARE(sim->stopBits(), QStringLiteral("2"));
    QCOMPARE(sim->parity(), QStringLiteral("even"));
    QCOMPARE(sim->rawInput(),
             QByteArray("-h-baudrate-stop bits-parity"
                        "-baudrate:19200-stop bits:2-parity:even"
                        "-h-baudrate-stop bits-parity-st"));
    const QJsonObject r = QJsonDocument::fromJson(output.toUtf8()).object();
    QCOMPARE(r.value(QStringLiteral("outcome")).toString(), QStringLiteral("done"));
    QCOMPARE(r.value(QStringLiteral("port")).toString(), sim->portPath());
    // Numbers where the module's values are numbers.
    QCOMPARE(r.value(QStringLiteral("before")).toObject().value(QStringLiteral("baudRate")),
             QJsonValue(9600));
    QCOMPARE(r.value(QStringLiteral("after")).toObject().value(QStringLiteral("parity")).toString(),
             QStringLiteral("even"));
    QVERIFY(r.value(QStringLiteral("serialNumber")).isNull());
    QVERIFY(QDateTime::fromString(r.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs)
                    .isValid());

    // --no-verify: no read-back, and "after" is what the module confirmed.
    output.clear();
    sim->clearLog();
    CommissionOptions n = o;
    n.verify = false;
    n.target = {QStringLiteral("57600"), QStringLiteral("1"), QStringLiteral("odd")};
    QCOMPARE(runCli(n), ExitCode::done);
    QCOMPARE(sim->rawInput(), QByteArray("-h-baudrate-stop bits-parity"
                                         "-baudrate:57600-stop bits:1-parity:odd-st"));
    const QJsonObject unverified = QJsonDocument::fromJson(output.toUtf8()).object();
    QCOMPARE(unverified.value(QStringLiteral("after")).toObject(),
             (QJsonObject {{QStringLiteral("baudRate"), 57600},
                           {QStringLiteral("stopBits"), 1},
                           {QStringLiteral("parity"), QStringLiteral("odd")}}));

    // The result line says "not operating" exactly when --no-run asked for it.
    for (const bool operate : {true, false}) {
        output.clear();
        sim = std::make_unique<ModuleSimulator>();
        CommissionOptions line = writeOptions(sim->portPath());
        line.operate = operate;
        QCOMPARE(runCli(line), ExitCode::done);
        QCOMPARE(sim->isOperating(), operate);
        QVERIFY2(output.contains(QStringLiteral(": готово: скорость 19200")), qPrintable(output));
        QCOMPARE(output.contains(QStringLiteral("режим работы не включён (--no-run)")), !operate);
        QCOMPARE(log.lines().filter(QStringLiteral("Режим работы не включён")).size() > 0, !operate);
    }
}

void TestCli::refusedValueExits5WithoutOperatingMode()
{
    sim->rejectValues("-parity:");
    QCOMPARE(runCli(writeOptions(sim->portPath())), ExitCode::refused);
    QVERIFY(!sim->isOperating());
    QVERIFY(!sim->commands().contains("-st"));
    QVERIFY2(output.contains(QStringLiteral("-parity:even")), qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("скорость 19200, стоп-биты 2, паритет не подтверждён"))
                     && output.contains(QStringLiteral("«-st» не отправлена")),
             qPrintable(output));
}

void TestCli::missingOrHeldPortExits3WithTheReason()
{
    CommissionOptions o;
    o.port = QStringLiteral("/dev/tav-no-such-port");
    QCOMPARE(runCli(o), ExitCode::cannotOpen);
    QVERIFY2(output.contains(QStringLiteral("не найден")), qPrintable(output));

    QSerialPort holder(sim->portPath());
    QVERIFY(holder.open(QIODevice::ReadWrite));
    output.clear();
    o.port = sim->portPath();
    QCOMPARE(runCli(o), ExitCode::cannotOpen);
    QVERIFY2(output.contains(QStringLiteral("занят")), qPrintable(output));
    QVERIFY(sim->commands().isEmpty());
}

void TestCli::differentReadBackExits6_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("found");
    // A module that takes every value but keeps reporting its old baud rate…
    QTest::newRow("old speed reported") << QByteArray("-baudrate") << QByteArray("baudrate 9600")
                                        << QStringLiteral("скорость 9600");
    // …or answers "Ok" to a value and keeps its old one: each field counts.
    QTest::newRow("speed kept") << QByteArray("-baudrate:19200") << QByteArray("Ok")
                                << QStringLiteral("скорость 9600, стоп-биты 2, паритет even");
    QTest::newRow("stop bits kept") << QByteArray("-stop bits:2") << QByteArray("Ok")
                                    << QStringLiteral("скорость 19200, стоп-биты 1, паритет even");
    QTest::newRow("parity kept") << QByteArray("-parity:even") << QByteArray("Ok")
                                 << QStringLiteral("скорость 19200, стоп-биты 2, паритет none");
}

void TestCli::differentReadBackExits6()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(QString, found);
    sim->setReply(command, reply);
    QCOMPARE(runCli(writeOptions(sim->portPath())), ExitCode::notUnderstood);
    QVERIFY(!sim->commands().contains("-st"));
    QVERIFY(!sim->isOperating());
    QVERIFY2(output.contains(QStringLiteral("Считано после записи: ") + found), qPrintable(output));
}

void TestCli::stopDuringWriteFinishesTheStep_data()
{
    QTest::addColumn<bool>("late");
    QTest::newRow("reply due") << false;
    // Ctrl+C after the reply's time-out: still awaited, and credited.
    QTest::newRow("reply late") << true;
}

void TestCli::stopDuringWriteFinishesTheStep()
{
    QFETCH(bool, late);
    connect(sim.get(), &ModuleSimulator::commandReceived, this, [this, late](const QByteArray &c) {
        if (c != "-baudrate:19200")
            return;
        if (!late) {
            commissioner->requestStop();
            return;
        }
        sim->setReplyDelay(60s);
        hurryTimeOut = true;
    });
    prepare = [this](ModuleEngine &engine) {
        connect(&engine, &ModuleEngine::timedOut, this, [this] {
            hurryTimeOut = false;
            commissioner->requestStop();
            sim->sendUnsolicited("Ok");
        });
    };
    QCOMPARE(runCli(writeOptions(sim->portPath())), ExitCode::interrupted);
    // The step under way got its answer; nothing was sent after it.
    QCOMPARE(sim->commands().constLast(), QByteArray("-baudrate:19200"));
    QCOMPARE(sim->baudRate(), QStringLiteral("19200"));
    QCOMPARE(log.lines().filter(QStringLiteral("<- Ok")).size(), 1);
    QVERIFY(!sim->isOperating());
    // The result says what the module took, not an empty message.
    QVERIFY2(output.contains(QStringLiteral("ошибка 130: Прервано"))
                     && output.contains(QStringLiteral("скорость 19200, стоп-биты не подтверждены"))
                     && output.contains(QStringLiteral("«-st» не отправлена")),
             qPrintable(output));
}

// The next adapter is plugged in before the last one is pulled; then no
// more come, and a batch whose modules were all done ends done.
void TestCli::batchTakesAdapterPluggedFirstAndEndsDone()
{
    ports = QStringList {QStringLiteral("ttyS0")};
    ModuleSimulator second;
    connect(sim.get(), &ModuleSimulator::commandReceived, this, [&](const QByteArray &c) {
        if (c != "-st")
            return;
        ports.append(second.portPath());
        QTimer::singleShot(300, this, [&] {
            ports.removeAll(sim->portPath());
            sim->vanish();
        });
    });
    QTimer::singleShot(300, this, [&] { ports.append(sim->portPath()); });
    CommissionOptions o = writeOptions(QString());
    o.repeat = true;
    o.json = true;
    o.waitTimeout = 2s;
    QTextStream outStream(&output);
    QTextStream errStream(&errors);
    commissioner = std::make_unique<Commissioner>(
            o, [this] { return ports; }, outStream, errStream, &log);
    FastForward hurry(commissioner.get(), {}, false);
    QSignalSpy finished(commissioner.get(), &Commissioner::finished);
    commissioner->start();
    QVERIFY(waitWhileMoving(commissioner.get(), [&] { return finished.count() > 0; }, 60000));
    QCOMPARE(finished.at(0).at(0).toInt(), ExitCode::done);
    QVERIFY(sim->isOperating());
    QVERIFY(second.isOperating());
    const QStringList lines = output.trimmed().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(QJsonDocument::fromJson(lines.at(1).toUtf8()).object().value(QStringLiteral("port")),
             QJsonValue(second.portPath()));
    QVERIFY2(errors.contains(QStringLiteral("Модулей готово: 2, с ошибкой: 0")),
             qPrintable(errors));
}

void TestCli::partialWriteSaysWhatTheModuleConfirmed()
{
    sim->setReply("-stop bits:2", "module is working");
    CommissionOptions o = writeOptions(sim->portPath());
    o.json = true;
    QCOMPARE(runCli(o), ExitCode::notUnderstood);
    const QJsonObject r = QJsonDocument::fromJson(output.toUtf8()).object();
    QCOMPARE(r.value(QStringLiteral("confirmed")).toObject(),
             (QJsonObject {{QStringLiteral("baudRate"), 19200},
                           {QStringLiteral("stopBits"), QJsonValue()},
                           {QStringLiteral("parity"), QJsonValue()}}));
    QCOMPARE(r.value(QStringLiteral("operatingModeSent")), QJsonValue(false));
    QCOMPARE(r.value(QStringLiteral("operating")), QJsonValue(false));
    const QString message = r.value(QStringLiteral("message")).toString();
    QVERIFY2(message.contains(QStringLiteral("перешёл в режим работы"))
                     && message.contains(QStringLiteral("скорость 19200, стоп-биты не подтверждены")),
             qPrintable(message));
    QCOMPARE(sim->commands().constLast(), QByteArray("-stop bits:2"));
}

// Modules plugged in and unplugged in turn, as on a bench.
void TestCli::stopWhileAPassEndsSendsNothingMore_data()
{
    QTest::addColumn<int>("parityRead"); // the stop comes while this "-parity" is answered
    QTest::newRow("the first read's last reply") << 1;
    QTest::newRow("the read-back's last reply") << 2;
}

// A stop that comes while a pass's last reply is awaited ends the write
// there: no value is written after the first read, no "-st" after the read-back.
void TestCli::stopWhileAPassEndsSendsNothingMore()
{
    QFETCH(int, parityRead);
    int seen = 0;
    connect(sim.get(), &ModuleSimulator::commandReceived, this, [&](const QByteArray &c) {
        if (c == "-parity" && ++seen == parityRead)
            commissioner->requestStop();
    });
    QCOMPARE(runCli(writeOptions(sim->portPath())), ExitCode::interrupted);
    const QList<QByteArray> sent = sim->commands();
    QCOMPARE(sent.constLast(), QByteArray("-parity"));
    const auto values = std::count_if(sent.cbegin(), sent.cend(), [](const QByteArray &c) {
        return c.startsWith("-baudrate:");
    });
    QCOMPARE(int(values), parityRead - 1);
    QVERIFY(!sent.contains("-st"));
    QVERIFY(!sim->isOperating());
}

void TestCli::repeatCommissionsModuleAfterModule()
{
    constexpr int moduleCount = 2;
    ports = QStringList {QStringLiteral("ttyS0")};
    std::vector<std::unique_ptr<ModuleSimulator>> modules;
    std::function<void()> plugNext;
    plugNext = [&] {
        modules.push_back(std::make_unique<ModuleSimulator>());
        ModuleSimulator *m = modules.back().get();
        ports.append(m->portPath());
        connect(m, &ModuleSimulator::commandReceived, this, [&, m](const QByteArray &c) {
            if (c != "-st")
                return;
            // Unplugged a moment after it operates; the next one comes later.
            QTimer::singleShot(300, this, [&, m] {
                ports.removeAll(m->portPath());
                m->vanish();
                if (int(modules.size()) < moduleCount)
                    QTimer::singleShot(300, this, plugNext);
                else
                    QTimer::singleShot(300, this, [this] { commissioner->requestStop(); });
            });
        });
    };
    QTimer::singleShot(300, this, plugNext);
    CommissionOptions o = writeOptions(QString());
    o.repeat = true;
    o.waitTimeout = 30s;
    QCOMPARE(runCli(o), ExitCode::interrupted);

    QCOMPARE(int(modules.size()), moduleCount);
    for (const auto &m : modules) {
        QVERIFY(m->isOperating());
        QCOMPARE(m->baudRate(), QStringLiteral("19200"));
        QCOMPARE(m->parity(), QStringLiteral("even"));
    }
    const QStringList lines = output.trimmed().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), moduleCount);
    for (int i = 0; i < moduleCount; ++i)
        QVERIFY2(lines.at(i).startsWith(modules.at(i)->portPath() + QStringLiteral(": готово")),
                 qPrintable(lines.at(i)));
    QCOMPARE(commissioner->modulesDone(), moduleCount);
    QVERIFY2(errors.contains(QStringLiteral("Модулей готово: 2, с ошибкой: 0")),
             qPrintable(errors));
}

void TestCli::usageErrorsSpeakTheLanguageOfTheRun()
{
    const auto run = [](QStringList args, const QString &language, QString *text = nullptr) {
        if (!language.isEmpty())
            args = QStringList {QStringLiteral("--lang"), language} + args;
        QProcess p;
        p.start(QStringLiteral(TAV_CLI_PATH), args);
        p.waitForFinished(10000);
        if (text)
            *text = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        return p.exitCode();
    };
    static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    const QStringList badValue {QStringLiteral("write"),     QStringLiteral("ttyUSB0"),
                                QStringLiteral("--baud"),    QStringLiteral("14400"),
                                QStringLiteral("--stop-bits"), QStringLiteral("1"),
                                QStringLiteral("--parity"),  QStringLiteral("none")};
    // What is said, in Russian (the default) and in English; nothing of the
    // other language may show through, Qt's own texts included.
    struct Case
    {
        QStringList args;
        int code;
        const char *russian;
        const char *english;
    };
    const QVector<Case> cases {
            {badValue, ExitCode::usage, "1200, 2400", "is not a value the module takes"},
            {{QStringLiteral("read")}, ExitCode::usage, "задайте PORT", "give a PORT"},
            // What is wrong is named: every option missing, the argument too many.
            {{QStringLiteral("write"), QStringLiteral("ttyUSB0"), QStringLiteral("--baud"),
              QStringLiteral("9600")},
             ExitCode::usage, "нужны: --stop-bits (одно из: 1, 2); --parity (одно из: none",
             "needs: --stop-bits (one of: 1, 2); --parity (one of: none"},
            {{QStringLiteral("read"), QStringLiteral("ttyUSB0"), QStringLiteral("ttyUSB1")},
             ExitCode::usage, "лишние аргументы: ttyUSB1", "extra arguments: ttyUSB1"},
            // An unset variable ("$PORT") is no reason to wait for the next adapter.
            {{QStringLiteral("read"), QString()}, ExitCode::usage, "PORT пуст", "PORT is empty"},
            {{QStringLiteral("frobnicate")}, ExitCode::usage, "неизвестная команда",
             "unknown command"},
            {{QStringLiteral("read"), QStringLiteral("--frob")}, ExitCode::usage,
             "Неизвестный параметр", "Unknown option"},
            {{QStringLiteral("read"), QStringLiteral("x"), QStringLiteral("--record")},
             ExitCode::usage, "Нет значения", "Missing value"},
            {{QStringLiteral("--help")}, ExitCode::done, "Коды завершения", "Exit codes"},
            {{QStringLiteral("read"), QStringLiteral("/dev/tav-no-such-port")},
             ExitCode::cannotOpen, "не найден", "not found"},
            // A gateway named without its TCP port is a mistake in the command.
            {{QStringLiteral("read"), QStringLiteral("rfc2217://gateway")}, ExitCode::usage,
             "неполно", "incomplete"},
            // Values are taken in any case: "Even" gets past the check, to the port.
            {{QStringLiteral("write"), QStringLiteral("/dev/tav-no-such-port"),
              QStringLiteral("--baud"), QStringLiteral("19200"), QStringLiteral("--stop-bits"),
              QStringLiteral("1"), QStringLiteral("--parity"), QStringLiteral("Even")},
             ExitCode::cannotOpen, "не найден", "not found"},
    };
    for (const Case &c : cases) {
        QString text;
        QCOMPARE(run(c.args, {}, &text), c.code);
        QVERIFY2(text.contains(QString::fromUtf8(c.russian), Qt::CaseInsensitive),
                 qPrintable(text));
        QVERIFY2(!text.contains(QString::fromUtf8(c.english), Qt::CaseInsensitive),
                 qPrintable(text));
        QCOMPARE(run(c.args, QStringLiteral("en"), &text), c.code);
        QVERIFY2(text.contains(QString::fromUtf8(c.english), Qt::CaseInsensitive),
                 qPrintable(text));
        QVERIFY2(!text.contains(cyrillic), qPrintable(text));
    }
    QString help;
    run({QStringLiteral("--help")}, {}, &help);
    for (const char *qtText : {"Usage:", "Options:", "Displays"})
        QVERIFY2(!help.contains(QLatin1String(qtText)), qPrintable(help));
    QCOMPARE(run({QStringLiteral("read"), QStringLiteral("x")}, QStringLiteral("fr"), &help),
             ExitCode::usage);
    QVERIFY2(help.contains(QStringLiteral("нет такого языка: fr")), qPrintable(help));
}

void TestCli::stopSignalsEndAfterTheReply_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QByteArray>("at");
    // 0: once; 1: passed on twice within a moment (as `timeout` does); 2:
    // again 300 ms later, while the reply is still due.
    QTest::addColumn<int>("again");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("said");
    const QByteArray stopBits("-stop bits:2");
    const QString afterReply = QStringLiteral("Прервано после ответа на «-stop bits:2»");
    QTest::newRow("Ctrl+C") << int(SIGINT) << stopBits << 0 << ExitCode::interrupted << afterReply;
    QTest::newRow("SIGTERM") << int(SIGTERM) << stopBits << 0 << ExitCode::interrupted
                             << afterReply;
    QTest::newRow("SIGHUP") << int(SIGHUP) << stopBits << 0 << ExitCode::interrupted << afterReply;
    QTest::newRow("Ctrl+C passed on twice") << int(SIGINT) << stopBits << 1
                                            << ExitCode::interrupted << afterReply;
    QTest::newRow("Ctrl+C twice") << int(SIGINT) << stopBits << 2 << ExitCode::interrupted
                                  << QStringLiteral("ответ на «-stop bits:2» не дождались");
    // The write was over when the stop took effect: the module is done.
    QTest::newRow("Ctrl+C while -st is answered")
            << int(SIGINT) << QByteArray("-st") << 0 << ExitCode::done
            << QString();
}

void TestCli::stopSignalsEndAfterTheReply()
{
    QFETCH(int, signal);
    QFETCH(QByteArray, at);
    QFETCH(int, again);
    QFETCH(int, code);
    QFETCH(QString, said);
    QProcess p;
    connect(sim.get(), &ModuleSimulator::commandReceived, this, [&](const QByteArray &c) {
        if (c != at)
            return;
        if (again == 2)
            sim->setReplyDelay(3000ms);
        ::kill(pid_t(p.processId()), signal);
        if (again == 1) {
            // Apart enough to be taken twice, as `timeout` passes it on.
            ::usleep(10000);
            ::kill(pid_t(p.processId()), signal);
        }
        if (again == 2)
            QTimer::singleShot(300, this, [&] { ::kill(pid_t(p.processId()), signal); });
    });
    p.start(QStringLiteral(TAV_CLI_PATH),
            {QStringLiteral("write"), sim->portPath(), QStringLiteral("--baud"),
             QStringLiteral("19200"), QStringLiteral("--stop-bits"), QStringLiteral("2"),
             QStringLiteral("--parity"), QStringLiteral("even"), QStringLiteral("--json")});
    QVERIFY(p.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), QProcess::NotRunning, 30000);
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    // The exit code is the result's, as the JSON tells it.
    QCOMPARE(p.exitCode(), code);
    // One module, not a batch: its result line, and no count of modules.
    QVERIFY(!p.readAllStandardError().contains("Модулей готово"));
    // Nothing went out after the command under way, and it was not cut off.
    QCOMPARE(sim->commands().constLast(), at);
    QCOMPARE(sim->stopBits(), QStringLiteral("2"));
    QCOMPARE(sim->isOperating(), at == "-st");
    const QJsonObject result = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    QCOMPARE(result.value(QStringLiteral("exitCode")).toInt(), code);
    const QString message = result.value(QStringLiteral("message")).toString();
    QVERIFY2(code == ExitCode::done ? message.isEmpty() && result.value(QStringLiteral("operating")).toBool()
                                    : message.contains(said)
                             && message.contains(QStringLiteral("скорость 19200")),
             QJsonDocument(result).toJson().constData());
}

// A person at a terminal sees each step and hears that Ctrl+C was taken; a
// pipe, a file and stdout get none of the rewritten line.
void TestCli::progressReachesATerminalNeverAPipe()
{
    for (const bool terminal : {true, false}) {
        sim = std::make_unique<ModuleSimulator>();
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        QByteArray screen;
        const auto readScreen = [&] {
            char buffer[4096];
            for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
                screen.append(buffer, int(n));
        };
        QSocketNotifier drain(master, QSocketNotifier::Read);
        connect(&drain, &QSocketNotifier::activated, this, readScreen);
        QProcess p;
        if (terminal)
            p.setStandardErrorFile(QString::fromLocal8Bit(::ptsname(master)));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TERM"), QStringLiteral("xterm"));
        p.setProcessEnvironment(env);
        connect(sim.get(), &ModuleSimulator::commandReceived, this, [&](const QByteArray &c) {
            if (c == "-stop bits:2")
                ::kill(pid_t(p.processId()), SIGINT);
        });
        p.start(QStringLiteral(TAV_CLI_PATH),
                {QStringLiteral("write"), sim->portPath(), QStringLiteral("--baud"),
                 QStringLiteral("19200"), QStringLiteral("--stop-bits"), QStringLiteral("2"),
                 QStringLiteral("--parity"), QStringLiteral("even"), QStringLiteral("--log"),
                 QStringLiteral("/dev/stderr"), QStringLiteral("--json")});
        QVERIFY(p.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(p.state(), QProcess::NotRunning, 30000);
        QCOMPARE(p.exitCode(), ExitCode::interrupted);
        readScreen();
        ::close(master);
        const QString errors = terminal ? QString::fromUtf8(screen)
                                        : QString::fromUtf8(p.readAllStandardError());
        const QString output = QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(errors.contains(QStringLiteral("шаг 6 из 12: -stop bits:2, ответ ждём")),
                 terminal);
        // Each reply shown names the step whose command it answers.
        static const QRegularExpression got(QStringLiteral("шаг (\\d+) из 12: ([^,]+), ответ получен"));
        int answered = 0;
        for (auto m = got.globalMatch(errors); m.hasNext(); ++answered) {
            const auto match = m.next();
            QVERIFY2(errors.contains(QStringLiteral("шаг %1 из 12: %2, ответ ждём")
                                             .arg(match.captured(1), match.captured(2))),
                     qPrintable(match.captured(0)));
        }
        QCOMPARE(answered > 0, terminal);
        // A log line on the same terminal starts a line of its own.
        static const QRegularExpression stamp(QStringLiteral("\\d{4}-\\d\\d-\\d\\dT"));
        for (auto m = stamp.globalMatch(errors); m.hasNext();) {
            const int at = int(m.next().capturedStart());
            QVERIFY2(at == 0 || errors.at(at - 1) == QLatin1Char('\n')
                             || errors.at(at - 1) == QLatin1Char('\r'),
                     qPrintable(errors.mid(std::max(0, at - 60), 80)));
        }
        QVERIFY2(errors.contains(QStringLiteral("Остановка после ответа модуля на «-stop bits:2»")),
                 qPrintable(errors));
        // A log can go to a terminal or a pipe: it appends without seeking.
        QVERIFY2(errors.contains(QStringLiteral("-> -stop bits:2")), qPrintable(errors));
        QVERIFY2(!output.contains(QStringLiteral("шаг")) && !output.contains(QLatin1Char('\r'))
                         && output.contains(QStringLiteral("\"exitCode\":130")),
                 qPrintable(output));
        // The JSON's result is said to the person too, where one watches:
        // a line of its own on the terminal (the log's has its time first).
        const QRegularExpression said(QStringLiteral("(^|[\r\n])%1: ошибка 130")
                                              .arg(QRegularExpression::escape(sim->portPath())));
        QVERIFY2(errors.contains(said) == terminal, qPrintable(errors));
    }
}

// --repeat waits as long as the bench needs: no --wait-timeout, no limit.
// What a terminal shows of the progress line: never a wrapped line (the
// Windows console wraps at its last column), a shorter line covering a
// longer one, and a terminal narrowed under it left with one stale line,
// not one per rewrite.
void TestCli::progressLineFitsItsTerminal()
{
    QString screen;
    QTextStream to(&screen);
    int columns = 120;
    ProgressLine line(to, [&columns] { return columns; });
    const auto lastRow = [&screen] {
        const QString row = screen.mid(screen.lastIndexOf(QLatin1Char('\n')) + 1);
        return row.mid(row.lastIndexOf(QLatin1Char('\r')) + 1);
    };
    line.show(QString(100, QLatin1Char('a')));
    QCOMPARE(lastRow(), QString(100, QLatin1Char('a')));
    line.show(QStringLiteral("b"));
    QVERIFY(screen.endsWith(QStringLiteral("\rb") + QString(99, QLatin1Char(' ')) + QStringLiteral("\rb")));
    line.show(QString(200, QLatin1Char('c')));
    QCOMPARE(lastRow(), QString(119, QLatin1Char('c')));
    columns = 40;
    screen.clear();
    line.show(QString(200, QLatin1Char('d')));
    QCOMPARE(screen.count(QLatin1Char('\n')), 1);
    QCOMPARE(lastRow(), QString(39, QLatin1Char('d')));
    screen.clear();
    line.show(QString(200, QLatin1Char('e')));
    QCOMPARE(screen.count(QLatin1Char('\n')), 0);
    QCOMPARE(lastRow(), QString(39, QLatin1Char('e')));
    line.clear();
    QVERIFY(screen.endsWith(QStringLiteral("\r") + QString(39, QLatin1Char(' ')) + QStringLiteral("\r")));
}

void TestCli::aBatchWaitsForItsNextModuleUntilCtrlC()
{
    QProcess p;
    p.start(QStringLiteral(TAV_CLI_PATH),
            {QStringLiteral("read"), QStringLiteral("--wait"), QStringLiteral("--repeat")});
    QVERIFY(p.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += p.readAllStandardError()).contains("Ctrl+C"), 10000);
    QVERIFY2(!said.contains("(до "), said.constData());
    ::kill(pid_t(p.processId()), SIGINT);
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), QProcess::NotRunning, 10000);
    QCOMPARE(p.exitCode(), ExitCode::interrupted);
    QVERIFY(p.readAllStandardError().contains("Модулей готово: 0, с ошибкой: 0"));
}

// The program as shipped: a write reads the values back unless told not
// to, and a reader that goes away (| head) does not end it mid-write.
void TestCli::defaultWriteReadsBackEvenIntoAClosedPipe()
{
    QProcess p;
    p.start(QStringLiteral("bash"),
            {QStringLiteral("-c"),
             QStringLiteral("\"$0\" write \"$1\" --baud 19200 --stop-bits 2 --parity even | true; "
                            "exit ${PIPESTATUS[0]}"),
             QStringLiteral(TAV_CLI_PATH), sim->portPath()});
    QVERIFY(p.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), QProcess::NotRunning, 30000);
    QCOMPARE(p.exitCode(), ExitCode::done);
    QVERIFY(sim->isOperating());
    QCOMPARE(sim->rawInput(),
             QByteArray("-h-baudrate-stop bits-parity"
                        "-baudrate:19200-stop bits:2-parity:even"
                        "-h-baudrate-stop bits-parity-st"));
}

// Files that cannot grow (a full disk, a file-size limit) lose the log and
// the record, not the module's result, and each says so once; a named pipe
// nobody reads is refused before anything is sent.
void TestCli::aLogFileThatFailsOrBlocksNeitherHidesNorHangs()
{
    QTemporaryDir files;
    const QString logPath = files.filePath(QStringLiteral("exchange.log"));
    const QString recordPath = files.filePath(QStringLiteral("record.csv"));
    // Within a few bytes of the limit, as a long day's files would be.
    const int limit = 64 * 1024;
    for (const QString &path : {logPath, recordPath}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("time;port\r\n") + QByteArray(limit - 20, 'x') + "\r\n");
    }
    QProcess p;
    p.start(QStringLiteral("prlimit"),
            {QStringLiteral("--fsize=%1").arg(limit), QStringLiteral("--"),
             QStringLiteral(TAV_CLI_PATH), QStringLiteral("read"), sim->portPath(),
             QStringLiteral("--log"), logPath, QStringLiteral("--record"), recordPath});
    QVERIFY(p.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), QProcess::NotRunning, 30000);
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), ExitCode::done);
    QVERIFY(QString::fromUtf8(p.readAllStandardOutput()).contains(QStringLiteral("скорость 9600")));
    const QString told = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(told.count(QStringLiteral("Журнал не записывается в файл %1").arg(logPath)), 1);
    QCOMPARE(told.count(QStringLiteral("Запись в файл учёта %1 прекращена").arg(recordPath)), 1);
    // Each says what the system says of it, never "Unknown error".
    QCOMPARE(told.count(QStringLiteral("File too large")), 2);

    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("log.fifo"));
    QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {fifo}), 0);
    sim->clearLog();
    p.start(QStringLiteral(TAV_CLI_PATH),
            {QStringLiteral("read"), sim->portPath(), QStringLiteral("--log"), fifo});
    QVERIFY(p.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), QProcess::NotRunning, 20000);
    QCOMPARE(p.exitCode(), ExitCode::usage);
    QVERIFY(sim->commands().isEmpty());
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
