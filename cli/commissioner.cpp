#include "commissioner.h"

#include "enginewords.h"
#include "exchangelog.h"
#include "modulerecord.h"
#include "linkwords.h"
#include "progressline.h"
#include "session.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <QTimer>

#include <utility>


namespace {
using Told = EngineWords::Told;
} // namespace

Commissioner::Commissioner(CommissionOptions options, PortLister listPorts, QTextStream &out,
                           QTextStream &err, ExchangeLog *log, PortMonitor *monitor,
                           QObject *parent)
    : QObject(parent)
    , options(std::move(options))
    , out(out)
    , err(err)
    , log(log)
    , engine(new ModuleEngine(
              Session::engineSetup(std::move(listPorts), monitor, waiting(), lateReplyLimit), this))
{
    if (log)
        log->follow(engine, Commissioner::audience());

    onEachEnding(engine, Commissioner::audience(), this, [this](const ModuleResult &r) { moduleEnded(r); });
    connect(engine, &ModuleEngine::portFound, this, [this](const QString &name) {
        modulePort = name;
        // A batch's next module arrived: said at once, not only with its result.
        if (waiting())
            say(tr("Найден порт %1").arg(name));
    });
    connect(engine, &ModuleEngine::searchEnded, this, [this](bool connected) {
        // A found port that cannot be opened is a module's failure, told apart.
        if (connected || !modulePort.isEmpty())
            return;
        if (!stopping)
            say(this->options.waitForPort
                        ? tr("Порт %1 не появился за %2\u00a0с")
                                  .arg(this->options.port)
                                  .arg(this->options.waitTimeout.count())
                        : (tr("Новый адаптер не подключён за %1\u00a0с")
                                   .arg(this->options.waitTimeout.count())
                           + (LinkWords::noAdapterHint().isEmpty()
                                      ? QString()
                                      : QStringLiteral(". ") + LinkWords::noAdapterHint())));
        // A batch ends as its modules did; waiting in vain for the first is a failure.
        finish(stopping ? ExitCode::interrupted
                        : done + failed + notStarted == 0 ? ExitCode::noReply
                                             : lastFailure);
    });
}

Commissioner::~Commissioner()
{
    engine->disconnect(this);
}

void Commissioner::showProgress(std::function<int()> columns)
{
    progress = std::make_unique<ProgressLine>(err, std::move(columns));
    // A log written to the same terminal never glues onto the progress line.
    if (log)
        connect(log, &ExchangeLog::aboutToWrite, this, [this] { progress->clear(); });
    progressTick = new QTimer(this);
    progressTick->setInterval(std::chrono::milliseconds(200));
    connect(progressTick, &QTimer::timeout, this, &Commissioner::updateProgress);
    connect(engine, &ModuleEngine::commandSent, this, [this] {
        sentClock.start();
        progressTick->start();
        // Once the engine awaits the reply, which it does right after this.
        QMetaObject::invokeMethod(this, &Commissioner::updateProgress, Qt::QueuedConnection);
    });
    connect(engine, &ModuleEngine::progressed, this, &Commissioner::updateProgress);
}

void Commissioner::updateProgress()
{
    if (!engine->isBusy()) {
        progressTick->stop();
        return;
    }
    // "ttyUSB0: шаг 3 из 12: -stop bits, ответ ждём 1.2\u00a0с", then, in the
    // pause that follows, "ttyUSB0: шаг 3 из 12: -stop bits, ответ получен".
    // The step named is the one whose command is shown, awaited or answered.
    const ModuleEngine::Progress at = engine->progress();
    if (at.sent == 0)
        return;
    QString line = tr("%1: шаг %2 из %3: %4")
                           .arg(modulePort)
                           .arg(at.sent)
                           .arg(at.count)
                           .arg(at.command);
    line += at.awaiting ? tr(", ответ ждём %1\u00a0с").arg(sentClock.elapsed() / 1000.0, 0, 'f', 1)
                     : tr(", ответ получен");
    progress->show(line);
}

void Commissioner::print(QTextStream &to, const QString &line)
{
    if (progress)
        progress->clear();
    to << line << Qt::endl;
}

ModuleEngine::Plan Commissioner::plan() const
{
    if (options.action == CommissionOptions::Action::Read)
        return ModuleEngine::Plan::read();
    ModuleEngine::Plan p = ModuleEngine::Plan::writing(options.target);
    p.readFirst = true;
    p.verify = options.verify;
    p.operate = options.operate;
    return p;
}

void Commissioner::start()
{
    if (waiting())
        waitForAdapter();
    else
        startOn(options.port);
}

void Commissioner::startOn(const QString &portName)
{
    modulePort = portName;
    engine->run(portName, plan());
}

void Commissioner::waitForAdapter()
{
    modulePort.clear();
    const bool limited = options.waitTimeout.count() > 0;
    // Without a limit, a year stands for "until Ctrl+C".
    const std::chrono::milliseconds limit =
            limited ? std::chrono::milliseconds(options.waitTimeout) : std::chrono::hours(24 * 365);
    const QString upTo = limited ? tr(" (до %1\u00a0с)").arg(options.waitTimeout.count())
                                 : tr(" (Ctrl+C - закончить)");
    if (options.waitForPort) {
        // The next module in the same slot: its port goes away first.
        const bool goneFirst = done + failed + notStarted > 0;
        say((goneFirst ? tr("Ожидание следующего модуля на порту %1") : tr("Ожидание порта %1"))
                    .arg(options.port)
            + upTo);
        engine->waitForSlot(options.port, plan(), limit, goneFirst);
        return;
    }
    say(tr("Ожидание нового адаптера") + upTo);
    // The ports present when the batch began are not offered; those that
    // come later are, even while an earlier module is still plugged in.
    if (!ended && done + failed + notStarted == 0)
        engine->setKnownPorts();
    engine->startSearch(plan(), limit);
}

void Commissioner::keepRecord(ModuleRecord *record)
{
    record->follow(engine, Commissioner::audience());
}

LinkWords::Audience Commissioner::audience()
{
    return {tr("запустите команду снова"),
            tr("найдите его порт командой «tav-configurator-cli ports»"),
            tr("укажите порт в команде"), tr("прервите команду (Ctrl+C)")};
}

void Commissioner::say(const QString &text)
{
    print(err, text);
    if (log)
        log->status(text);
}

void Commissioner::requestStop()
{
    stopping = true;
    if (engine->state() == ModuleEngine::State::Searching) {
        modulePort.clear();
        engine->stopSearch();
    } else if (engine->isBusy()) {
        engine->requestStop();
        // The reply to the command under way is still taken: say so, or a
        // person would think the first Ctrl+C went unheard.
        if (engine->isBusy() && engine->progress().awaiting)
            say(tr("Остановка после ответа модуля на «%1» (Ctrl+C ещё раз — не ждать ответа)")
                        .arg(engine->progress().command));
    }
}

void Commissioner::moduleEnded(const ModuleResult &result)
{
    report(result);
    const int code = result.exitCode();
    lastCode = code;
    if (code != ExitCode::done && code != ExitCode::interrupted)
        lastFailure = code;
    // Not from inside the engine's own signal.
    QMetaObject::invokeMethod(this, &Commissioner::afterModule, Qt::QueuedConnection);
}

void Commissioner::afterModule()
{
    const QString finishedPort = modulePort;
    engine->close();
    if (waiting() && options.repeat && !stopping && lastCode != ExitCode::interrupted) {
        print(err, tr("Отключите адаптер %1 и подключите следующий").arg(finishedPort));
        waitForAdapter();
        return;
    }
    // A module that finished its write under a stop request is done: the
    // exit code is its result's.
    finish(lastCode);
}

void Commissioner::finish(int code)
{
    if (ended)
        return;
    ended = true;
    // A batch ends with its count; one module's result line says it all.
    if (options.repeat) {
        QString total = tr("Модулей готово: %1, с ошибкой: %2").arg(done).arg(failed);
        if (notStarted > 0)
            total += tr(", не начато: %1").arg(notStarted);
        print(err, total);
    }
    emit finished(code);
}

void Commissioner::report(const ModuleResult &result)
{
    const int code = result.exitCode();
    if (!result.started)
        ++notStarted;
    else if (code == ExitCode::done)
        ++done;
    else
        ++failed;
    const ModuleReport facts = ModuleReport::of(*engine, result);
    const bool writing = facts.record.write;
    QString line = facts.port;
    if (!facts.adapter.serialNumber.isEmpty())
        line += QStringLiteral(" [%1]").arg(facts.adapter.serialNumber);
    if (code == ExitCode::done && !writing) {
        line += QStringLiteral(": ") + EngineWords::values(facts.record.before, Told::Reported);
    } else if (code == ExitCode::done) {
        line += tr(": готово: %1 (было: %2)")
                        .arg(EngineWords::values(facts.after(), facts.record.haveAfter
                                                                ? Told::Reported
                                                                : Told::Confirmed),
                             EngineWords::values(facts.record.before, Told::Reported));
        if (!options.operate)
            line += tr("; режим работы не включён (--no-run)");
    } else {
        line += tr(": ошибка %1: %2").arg(code).arg(result.message);
    }
    // The log ends each module's story with its result, as printed.
    if (log)
        log->status(line);
    print(out, options.json ? QString::fromUtf8(QJsonDocument(facts.toJson()).toJson(
                                      QJsonDocument::Compact))
                            : line);
    // A person watching a bench's JSON go by would miss a refused module
    // among the lines: the terminal that shows the progress says it too.
    if (options.json && progress)
        print(err, line);
}
