// The engine alone, without a window, against the simulated module: every
// behaviour of the table with the verdict it must give, and the rules that
// hold across them (one command at a time, late replies, stops, the search).
#include "behaviours.h"
#include "commissioner.h"
#include "moduleresult.h"
#include "enginewords.h"
#include "moduleengine.h"
#include "modulesimulator.h"
#include "replyframer.h"
#include "statewords.h"

#include <QtTest>

#include <memory>
#include <optional>

using Values = ModuleProtocol::Values;
using Kind = ModuleEngine::FailureKind;

namespace {
Values target()
{
    const QStringList t = targetValues();
    return {t.at(0), t.at(1), t.at(2)};
}

std::optional<Verdict> verdictOf(Kind kind)
{
    switch (kind) {
    case Kind::NoReply:
        return Verdict::NoReply;
    case Kind::LinkLost:
        return Verdict::LinkLost;
    case Kind::Refused:
        return Verdict::Refused;
    case Kind::NotUnderstood:
        return Verdict::NotUnderstood;
    case Kind::LeftConfiguration:
        return Verdict::LeftConfiguration;
    case Kind::OperatingNotConfirmed:
        return Verdict::OperatingNotConfirmed;
    default:
        return std::nullopt;
    }
}
} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void behaviourTable_data() { addBehaviourRows(); }
    void behaviourTable();
    void windowsWritePlan_data() { addBehaviourRows(); }
    void windowsWritePlan();
    void stopTakesTheReplyAndSendsNothingMore();
    void secondStopGivesTheReplyUp();
    void aStopBeforeTheFirstCommandIsNotStarted_data();
    void aStopBeforeTheFirstCommandIsNotStarted();
    void searchOffersAdaptersPluggedFirstOrSwapped();
    void foundModuleIsGivenItsStartUpPause();

private:
    // Runs `plan` against a module behaving as row `row` says.
    void runRow(int row, const ModuleEngine::Plan &plan);
    void makeEngine(QStringList *ports = nullptr, std::chrono::milliseconds giveUpAfter = {});

    std::unique_ptr<ModuleSimulator> sim;
    std::unique_ptr<ModuleEngine> engine;
};

void TestEngine::init()
{
    sim = std::make_unique<ModuleSimulator>();
    QVERIFY2(sim->isValid(), qPrintable(sim->errorString()));
}

void TestEngine::cleanup()
{
    engine.reset();
    sim.reset();
}

void TestEngine::makeEngine(QStringList *ports, std::chrono::milliseconds giveUpAfter)
{
    engine = std::make_unique<ModuleEngine>(ModuleEngine::Setup {
            [ports] { return ports ? *ports : QStringList(); }, nullptr, giveUpAfter});
}

void TestEngine::runRow(int row, const ModuleEngine::Plan &plan)
{
    const Behaviour b = behaviours().at(row);
    makeEngine(nullptr, 10s);
    DrivenModule driven(b);
    driven.attach(*engine);
    const ModuleSimulator &module = driven.module;

    std::optional<Verdict> verdict;
    int ends = 0;
    connect(engine.get(), &ModuleEngine::readFinished, this, [&](const Values &v) {
        ++ends;
        verdict = v.isComplete() ? Verdict::Read : Verdict::ReadIncomplete;
    });
    connect(engine.get(), &ModuleEngine::written, this, [&](const Values &, bool operating) {
        ++ends;
        if (operating)
            verdict = Verdict::Written;
    });
    QString advice;
    connect(engine.get(), &ModuleEngine::failed, this, [&](const ModuleEngine::Failure &f) {
        ++ends;
        verdict = verdictOf(f.kind());
        advice = EngineWords::advice(f, Commissioner::audience());
        QVERIFY2(verdict, qPrintable(EngineWords::advice(f, StateWords::audience())));
    });
    QVERIFY(engine->open(QStringLiteral("memory")));
    QVERIFY(engine->start(plan));
    driven.run([&ends] { return ends > 0; });
    QVERIFY(verdict);
    QCOMPARE(verdictName(*verdict), verdictName(b.verdict));
    QCOMPARE(ends, 1);
    QVERIFY(!engine->isBusy());
    checkModuleAfter(module, b, driven.struck, *verdict);

    // Whether the module operates is told only where its answer said so:
    // "-st" gone out and answered neither way leaves it unknown.
    const ModuleEngine::Record &r = engine->record();
    const bool known = !r.operatingCommandSent || *verdict == Verdict::Written
            || *verdict == Verdict::Refused;
    QCOMPARE(r.operatingKnown(), known);
    const QJsonObject json = ModuleReport::of(*engine, {}).toJson();
    QCOMPARE(json.value(QStringLiteral("operating")).isNull(), !b.write || !known);
    if (!known)
        QVERIFY2(advice.contains(QStringLiteral("режим")) && !advice.contains(QStringLiteral("не переведен")),
                 qPrintable(advice));

    // What the engine says the module confirmed, the module holds.
    const Values confirmed = engine->record().confirmed;
    if (!confirmed.baudRate.isEmpty())
        QCOMPARE(confirmed.baudRate, module.baudRate());
    if (!confirmed.stopBits.isEmpty())
        QCOMPARE(confirmed.stopBits, module.stopBits());
    if (!confirmed.parity.isEmpty())
        QCOMPARE(confirmed.parity, module.parity());
    // The module is given its pauses: a value's "Ok" is digested before
    // the next command, a report before the next question.
    for (const auto &pause : qAsConst(driven.pauses)) {
        if (pause.after == "Ok")
            QCOMPARE(pause.ms, int(Timing::writeAfterOkDelay.count()));
        else if (pause.after.startsWith("baudrate ") || pause.after.startsWith("stop bits "))
            QCOMPARE(pause.ms, int(Timing::readAfterReportDelay.count()));
    }
    QVERIFY(!driven.pauses.isEmpty());
    // Nothing is left armed to send later.
    for (QTimer *t : engine->findChildren<QTimer *>())
        QVERIFY2(!t->isActive() || t->objectName() == QLatin1String("replyGapTimer"),
                 qPrintable(t->objectName()));
}

void TestEngine::behaviourTable()
{
    QFETCH(int, row);
    // The command line's plan: read, write, read back, operate.
    ModuleEngine::Plan plan = ModuleEngine::Plan::read();
    if (behaviours().at(row).write) {
        plan = ModuleEngine::Plan::writing(target());
        plan.readFirst = true;
        plan.verify = true;
    }
    runRow(row, plan);
}

void TestEngine::windowsWritePlan()
{
    QFETCH(int, row);
    const Behaviour b = behaviours().at(row);
    if (!b.write)
        QSKIP("the window reads as the table's read rows do");
    runRow(row, ModuleEngine::Plan::writing(target()));
}

void TestEngine::stopTakesTheReplyAndSendsNothingMore()
{
    makeEngine();
    QSignalSpy failed(engine.get(), &ModuleEngine::failed);
    QVERIFY(engine->open(sim->portPath()));
    connect(sim.get(), &ModuleSimulator::commandReceived, this, [this](const QByteArray &c) {
        if (c == "-baudrate:19200")
            engine->requestStop();
    });
    ModuleEngine::Plan plan = ModuleEngine::Plan::writing(target());
    QVERIFY(engine->start(plan));
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 8000);
    const auto f = failed.at(0).at(0).value<ModuleEngine::Failure>();
    QCOMPARE(f.kind(), Kind::Interrupted);
    // The command under way got its answer, and nothing went out after it.
    QCOMPARE(sim->commands(), QList<QByteArray> {"-baudrate:19200"});
    QCOMPARE(sim->baudRate(), QStringLiteral("19200"));
    QCOMPARE(engine->record().confirmed.baudRate, QStringLiteral("19200"));
    const QString advice = EngineWords::advice(f, Commissioner::audience());
    QVERIFY2(advice.contains(QStringLiteral("скорость 19200, стоп-биты не подтверждены"))
                     && advice.contains(QStringLiteral("«-st» не отправлена")),
             qPrintable(advice));
    // Nor later: the pause that followed was the last thing armed.
    QTRY_VERIFY(!EngineSeam::timer(*engine, "writeTimer")->isActive());
    QCOMPARE(sim->commands().size(), 1);
}

void TestEngine::secondStopGivesTheReplyUp()
{
    makeEngine();
    QSignalSpy failed(engine.get(), &ModuleEngine::failed);
    QVERIFY(engine->open(sim->portPath()));
    sim->setSilent(true);
    QVERIFY(engine->start(ModuleEngine::Plan::read()));
    QTRY_VERIFY(engine->progress().awaiting);
    engine->requestStop();
    QCOMPARE(failed.count(), 0); // the reply is still given its chance
    QVERIFY(engine->isBusy());
    engine->requestStop();
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).value<ModuleEngine::Failure>().kind(), Kind::Interrupted);
    QVERIFY(!engine->progress().awaiting);
    QVERIFY(!EngineSeam::timer(*engine, "timeoutTimer")->isActive());
}

// Stopped in the pause before its first command (the second module of a
// batch included): nothing was sent, and nothing of the module before is
// told as this one's.
void TestEngine::aStopBeforeTheFirstCommandIsNotStarted_data()
{
    QTest::addColumn<bool>("byClosing");
    QTest::newRow("stop") << false;
    QTest::newRow("disconnect") << true;
}

void TestEngine::aStopBeforeTheFirstCommandIsNotStarted()
{
    QFETCH(bool, byClosing);
    makeEngine();
    DrivenModule driven(behaviours().at(0));
    driven.attach(*engine);
    QSignalSpy failed(engine.get(), &ModuleEngine::failed);
    QSignalSpy written(engine.get(), &ModuleEngine::written);
    ModuleEngine::Plan plan = ModuleEngine::Plan::writing(target());
    plan.readFirst = true;
    QVERIFY(engine->open(QStringLiteral("memory")));
    QVERIFY(engine->start(plan));
    driven.run([&] { return !written.isEmpty(); });
    QCOMPARE(driven.module.commands().constLast(), QByteArray("-st"));

    const int sent = driven.module.commands().size();
    QVERIFY(engine->open(QStringLiteral("memory")));
    QVERIFY(engine->start(plan));
    if (byClosing)
        engine->close();
    else
        engine->requestStop();
    QCOMPARE(failed.count(), 1);
    const auto f = failed.at(0).at(0).value<ModuleEngine::Failure>();
    const auto *interrupted = f.as<ModuleEngine::Failure::Interrupted>();
    QVERIFY(interrupted && interrupted->beforeStart);
    QVERIFY(interrupted->command.isEmpty());
    QCOMPARE(driven.module.commands().size(), sent);
    const ModuleResult result = ModuleResult::of(f, Commissioner::audience());
    QVERIFY(!result.started);
    QCOMPARE(result.outcomeName(), QStringLiteral("interrupted"));
    QCOMPARE(result.failure, QStringLiteral("not-started"));
    QCOMPARE(result.message, QStringLiteral("Прервано до начала обмена: ничего не отправлено."));
    QVERIFY(!engine->record().operatingCommandSent);
}

void TestEngine::searchOffersAdaptersPluggedFirstOrSwapped()
{
    QStringList ports {QStringLiteral("ttyS0")};
    makeEngine(&ports);
    engine->setKnownPorts(ports);
    QSignalSpy found(engine.get(), &ModuleEngine::portFound);
    ModuleSimulator second;
    // The first module; the next is plugged in before this one is pulled.
    ports << sim->portPath();
    engine->startSearch();
    EngineSeam::searchTick(*engine);
    QCOMPARE(found.count(), 1);
    QVERIFY(engine->isOpen());
    ports << second.portPath();
    engine->close();
    engine->startSearch();
    EngineSeam::searchTick(*engine);
    QCOMPARE(found.count(), 2);
    QCOMPARE(found.at(1).at(0).toString(), second.portPath());
    engine->close();

    // Pulled and another plugged in within one tick: the same count of ports.
    engine->startSearch();
    ports.removeAll(second.portPath());
    ports << QStringLiteral("/dev/tav-swapped-in");
    EngineSeam::searchTick(*engine);
    QCOMPARE(found.count(), 3);
    QCOMPARE(found.at(2).at(0).toString(), QStringLiteral("/dev/tav-swapped-in"));
    engine->stopSearch();

    // A port that went away and came back is new again.
    ports.removeAll(sim->portPath());
    engine->startSearch();
    EngineSeam::searchTick(*engine);
    QCOMPARE(found.count(), 3);
    ports << sim->portPath();
    EngineSeam::searchTick(*engine);
    QCOMPARE(found.count(), 4);
    engine->close();
}

void TestEngine::foundModuleIsGivenItsStartUpPause()
{
    // The adapter's node is listed a moment before it can be opened.
    if (sim->portPath().startsWith(QLatin1String("socket://")))
        QSKIP("a device node that comes late needs a pseudo-terminal");
    QStringList ports;
    makeEngine(&ports);
    engine->setKnownPorts(ports);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyTAV"));
    ports << link;
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(700, this, [&] { QVERIFY(sim->makeLink(link)); });
    engine->startSearch();
    EngineSeam::searchTick(*engine);
    QVERIFY(engine->state() == ModuleEngine::State::Searching); // retrying within its grace
    QTRY_VERIFY_WITH_TIMEOUT(engine->isOpen(), 3000);
    QVERIFY(clock.elapsed() >= 600);
    QTRY_COMPARE_WITH_TIMEOUT(sim->commands().size(), 1, 5000);
    const qint64 firstCommandAt = clock.elapsed();
    QVERIFY2(firstCommandAt >= 700 + 2900, QByteArray::number(firstCommandAt));
    QCOMPARE(sim->commands().constFirst(), QByteArray("-h"));
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
