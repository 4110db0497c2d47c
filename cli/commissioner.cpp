#include "commissioner.h"

#include "exchangelog.h"
#include "seriallink.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <utility>

using Failure = ModuleEngine::Failure;
using FailureKind = ModuleEngine::FailureKind;

namespace {
// How long the command line waits for a reply that missed its time-out
// before it gives the module up; the window waits for its user instead.
constexpr std::chrono::milliseconds lateReplyLimit {10000};

QJsonValue toJson(const ModuleProtocol::Values &values)
{
    const auto value = [](const QString &v) { return v.isEmpty() ? QJsonValue() : QJsonValue(v); };
    return QJsonObject {{QStringLiteral("baudRate"), value(values.baudRate)},
                        {QStringLiteral("stopBits"), value(values.stopBits)},
                        {QStringLiteral("parity"), value(values.parity)}};
}

QString outcomeName(int code)
{
    switch (code) {
    case ExitCode::done:
        return QStringLiteral("done");
    case ExitCode::cannotOpen:
        return QStringLiteral("cannot-open");
    case ExitCode::noReply:
        return QStringLiteral("no-reply");
    case ExitCode::refused:
        return QStringLiteral("refused");
    case ExitCode::notUnderstood:
        return QStringLiteral("not-understood");
    case ExitCode::interrupted:
        return QStringLiteral("interrupted");
    default:
        return QStringLiteral("failed");
    }
}

int exitCodeOf(FailureKind kind)
{
    switch (kind) {
    case FailureKind::CannotOpen:
        return ExitCode::cannotOpen;
    case FailureKind::NoReply:
    case FailureKind::LinkLost:
        return ExitCode::noReply;
    case FailureKind::Refused:
        return ExitCode::refused;
    case FailureKind::Interrupted:
        return ExitCode::interrupted;
    case FailureKind::NotUnderstood:
    case FailureKind::LeftConfiguration:
    case FailureKind::OperatingNotConfirmed:
    case FailureKind::ReadBackDiffers:
        break;
    }
    return ExitCode::notUnderstood;
}
} // namespace

Commissioner::Commissioner(CommissionOptions options, PortLister listPorts, QTextStream &out,
                           QTextStream &err, ExchangeLog *log, PortMonitor *monitor,
                           QObject *parent)
    : QObject(parent)
    , options(std::move(options))
    , out(out)
    , err(err)
    , log(log)
    , engine(new ModuleEngine(std::move(listPorts), monitor, this))
{
    engine->setAudience(SerialLink::Audience::CommandLine);
    engine->setGiveUpAfter(lateReplyLimit);
    if (log)
        log->follow(engine);

    connect(engine, &ModuleEngine::readFinished, this, [this](const ModuleProtocol::Values &v) {
        moduleEnded(v.isComplete() ? ExitCode::done : ExitCode::notUnderstood,
                    v.isComplete() ? QString()
                                   : tr("Модуль сообщил не все значения: %1").arg(v.text()));
    });
    connect(engine, &ModuleEngine::written, this, [this] { moduleEnded(ExitCode::done, {}); });
    connect(engine, &ModuleEngine::failed, this, [this](const Failure &f) {
        moduleEnded(exitCodeOf(f.kind), f.advice);
    });
    connect(engine, &ModuleEngine::portFound, this, [this](const QString &name) {
        modulePort = name;
    });
    connect(engine, &ModuleEngine::searchEnded, this, [this](bool connected) {
        // A found port that cannot be opened is a module's failure, told apart.
        if (connected || !modulePort.isEmpty())
            return;
        if (!stopping)
            say(tr("Новый адаптер не подключён за %1 с").arg(this->options.waitTimeout.count()));
        // A batch ends as its modules did; waiting in vain for the first is a failure.
        finish(stopping ? ExitCode::interrupted
                        : done + failed == 0 ? ExitCode::noReply
                                             : lastFailure);
    });
}

Commissioner::~Commissioner()
{
    engine->disconnect(this);
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
    if (options.port.isEmpty())
        waitForAdapter();
    else
        startOn(options.port);
}

void Commissioner::startOn(const QString &portName)
{
    modulePort = portName;
    if (engine->open(portName))
        engine->start(plan());
}

void Commissioner::waitForAdapter()
{
    modulePort.clear();
    say(tr("Ожидание нового адаптера (до %1 с)").arg(options.waitTimeout.count()));
    // The ports present when the batch began are not offered; those that
    // come later are, even while an earlier module is still plugged in.
    if (!ended && done + failed == 0)
        engine->setKnownPorts(engine->currentPorts());
    engine->startSearch(plan(), options.waitTimeout);
}

void Commissioner::say(const QString &text)
{
    err << text << Qt::endl;
    if (log)
        log->status(text);
}

void Commissioner::requestStop()
{
    stopping = true;
    if (engine->isSearching()) {
        modulePort.clear();
        engine->stopSearch();
    } else if (engine->isBusy()) {
        engine->requestStop();
    }
}

void Commissioner::moduleEnded(int code, const QString &message)
{
    report(modulePort, code, message);
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
    if (options.port.isEmpty() && options.repeat && !stopping
        && lastCode != ExitCode::interrupted) {
        err << tr("Отключите адаптер %1 и подключите следующий").arg(finishedPort) << Qt::endl;
        waitForAdapter();
        return;
    }
    finish(stopping ? ExitCode::interrupted : lastCode);
}

void Commissioner::finish(int code)
{
    if (ended)
        return;
    ended = true;
    if (options.repeat || code == ExitCode::interrupted)
        err << tr("Модулей готово: %1, с ошибкой: %2").arg(done).arg(failed) << Qt::endl;
    emit finished(code);
}

void Commissioner::report(const QString &portName, int code, const QString &message)
{
    if (code == ExitCode::done)
        ++done;
    else
        ++failed;
    const ModuleEngine::Record &r = engine->record();
    const bool writing = options.action == CommissionOptions::Action::Write;
    // Without a read-back, each value the module confirmed is what it holds.
    const bool haveAfter = r.haveAfter || (writing && code == ExitCode::done);
    const ModuleProtocol::Values after = r.haveAfter ? r.after : r.confirmed;
    const QString serialNumber = engine->adapter().serialNumber;
    QString line = portName;
    if (!serialNumber.isEmpty())
        line += QStringLiteral(" [%1]").arg(serialNumber);
    if (code == ExitCode::done && !writing) {
        line += QStringLiteral(": ") + r.before.text();
    } else if (code == ExitCode::done) {
        line += tr(": готово: %1 (было: %2)").arg(after.text(), r.before.text());
        if (!options.operate)
            line += tr("; режим работы не включён (--no-run)");
    } else {
        line += tr(": ошибка %1: %2").arg(code).arg(message);
    }
    // The log ends each module's story with its result, as printed.
    if (log)
        log->status(line);
    if (options.json) {
        QJsonObject o {{QStringLiteral("time"),
                        QDateTime::currentDateTime().toString(Qt::ISODateWithMs)},
                       {QStringLiteral("port"), portName},
                       {QStringLiteral("serialNumber"),
                        serialNumber.isEmpty() ? QJsonValue() : QJsonValue(serialNumber)},
                       {QStringLiteral("before"), r.haveBefore ? toJson(r.before) : QJsonValue()},
                       {QStringLiteral("after"), haveAfter ? toJson(after) : QJsonValue()},
                       {QStringLiteral("outcome"), outcomeName(code)},
                       {QStringLiteral("exitCode"), code}};
        if (writing) {
            o.insert(QStringLiteral("confirmed"), toJson(r.confirmed));
            o.insert(QStringLiteral("operatingModeSent"), r.operatingCommandSent);
            o.insert(QStringLiteral("operating"), r.operating);
        }
        if (!message.isEmpty())
            o.insert(QStringLiteral("message"), message);
        out << QJsonDocument(o).toJson(QJsonDocument::Compact) << Qt::endl;
    } else {
        out << line << Qt::endl;
    }
}
