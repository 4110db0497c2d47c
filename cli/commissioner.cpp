#include "commissioner.h"

#include "exchangelog.h"
#include "logging.h"
#include "moduleprotocol.h"
#include "portmonitor.h"
#include "replyframer.h"
#include "seriallink.h"
#include "timing.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTextStream>
#include <QTimer>

#include <utility>

using namespace Timing;

namespace {
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
} // namespace

Commissioner::Commissioner(CommissionOptions options, PortLister listPorts, QTextStream &out,
                           QTextStream &err, ExchangeLog *log, PortMonitor *monitor,
                           QObject *parent)
    : QObject(parent)
    , options(std::move(options))
    , listPorts(std::move(listPorts))
    , out(out)
    , err(err)
    , log(log)
    , monitor(monitor)
    , framer(new ReplyFramer(this))
{
}

Commissioner::~Commissioner()
{
    closePort();
}

int Commissioner::run()
{
    if (options.port.isEmpty())
        return runWaiting();
    return commissionOn(options.port, false);
}

void Commissioner::status(const QString &text)
{
    if (log)
        log->status(text);
}

// --- One module --------------------------------------------------------------

int Commissioner::commissionOn(const QString &portName, bool justPlugged)
{
    Result result;
    result.code = openPort(portName, justPlugged);
    if (result.code != ExitCode::done) {
        result.message = lastOpenError;
    } else {
        // A module just powered up by its adapter needs time to start.
        if (justPlugged)
            pause(readAfterFindDelay);
        result = commission();
    }
    closePort();
    report(portName, result);
    return result.code;
}

int Commissioner::openPort(const QString &portName, bool retry)
{
    closePort();
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        port = new QSerialPort(this);
        SerialLink::configurePort(*port, portName);
        if (port->open(QIODevice::ReadWrite))
            break;
        const auto problem = SerialLink::openProblem(port->error(), portName);
        const QString systemText = port->errorString();
        closePort();
        // As the search does: a freshly plugged port may be out of reach
        // for a moment (udev, ModemManager).
        if (retry && SerialLink::mayPassSoon(problem)
            && clock.elapsed() + foundPortRetryInterval.count() <= foundPortGrace.count()
            && !stopping()) {
            pause(foundPortRetryInterval);
            continue;
        }
        qCDebug(lcLink) << "cannot open" << portName << systemText;
        lastOpenError = SerialLink::openFailureAdvice(problem, portName, systemText,
                                                      SerialLink::Audience::CommandLine);
        status(lastOpenError);
        return ExitCode::cannotOpen;
    }
    connect(port, &QSerialPort::readyRead, this, [this] { framer->feed(port->readAll()); });
    status(tr("Порт %1 открыт").arg(portName));
    return ExitCode::done;
}

void Commissioner::closePort()
{
    framer->cancel();
    if (!port)
        return;
    port->disconnect(this);
    port->close();
    port->deleteLater();
    port = nullptr;
}

Commissioner::Result Commissioner::commission()
{
    Result r;
    r.code = readValues(r.before, r.message, true);
    r.haveBefore = r.code == ExitCode::done || r.code == ExitCode::notUnderstood;
    if (options.action == CommissionOptions::Action::Read) {
        if (r.code == ExitCode::notUnderstood && r.message.isEmpty())
            r.message = tr("Модуль сообщил не все значения: %1").arg(r.before.text());
        return r;
    }
    // A module that does not say what it holds can still be written.
    if (r.code != ExitCode::done && r.code != ExitCode::notUnderstood)
        return r;
    r.message.clear();
    if (stopping()) {
        r.code = ExitCode::interrupted;
        return r;
    }
    pause(readAfterReportDelay);

    r.code = writeValues(r.message);
    if (r.code != ExitCode::done)
        return r;
    if (options.verify) {
        r.code = readValues(r.after, r.message, false);
        r.haveAfter = r.code == ExitCode::done || r.code == ExitCode::notUnderstood;
        if (r.code == ExitCode::done && r.after != options.target) {
            r.code = ExitCode::notUnderstood;
            r.message = tr("Считано после записи: %1, а записано: %2. Модуль не переведён в "
                           "режим работы.")
                                .arg(r.after.text(), options.target.text());
        }
        if (r.code != ExitCode::done)
            return r;
        if (stopping()) {
            r.code = ExitCode::interrupted;
            return r;
        }
        pause(readAfterReportDelay);
    }
    if (options.operate) {
        QString reply;
        const QString command = ModuleProtocol::operatingModeCommand;
        const ReplyStatus s = exchange(command, reply);
        if (s != ReplyStatus::Reply) {
            r.code = failedExchange(s, command, r.message);
            return r;
        }
        const auto outcome = ModuleProtocol::interpret(reply, ModuleProtocol::Sequence::Write,
                                                       ModuleProtocol::writeStepCount);
        if (outcome.kind == ModuleProtocol::Kind::Rejected) {
            r.code = ExitCode::refused;
            r.message = tr("Модуль отклонил команду «%1»: он не переведён в режим работы.")
                                .arg(command);
            return r;
        }
        if (outcome.kind != ModuleProtocol::Kind::ModuleWorking) {
            r.code = ExitCode::notUnderstood;
            r.message = tr("Ответ на команду «%1» не распознан: «%2».")
                                .arg(command, SerialLink::shownReply(reply, 0));
            return r;
        }
    }
    if (!options.verify) {
        r.after = options.target; // each value confirmed by the module's "Ok"
        r.haveAfter = true;
    }
    return r;
}

int Commissioner::readValues(ModuleProtocol::Values &values, QString &message, bool startPause)
{
    values = {};
    if (startPause)
        pause(sequenceStartDelay);
    const QStringList &commands = ModuleProtocol::readCommands;
    for (int i = 0; i < commands.size(); ++i) {
        QString reply;
        const ReplyStatus s = exchange(commands.at(i), reply);
        if (s != ReplyStatus::Reply)
            return failedExchange(s, commands.at(i), message);
        const auto outcome = ModuleProtocol::interpret(reply, ModuleProtocol::Sequence::Read, 0);
        if (outcome.index >= 1)
            values.set(outcome.field, ModuleProtocol::valuesOf(outcome.field).at(outcome.index - 1));
        if (i + 1 < commands.size()) {
            if (stopping())
                return ExitCode::interrupted;
            pause(pauseAfter(outcome.kind));
        }
    }
    status(tr("Чтение завершено: %1").arg(values.text()));
    return values.isComplete() ? ExitCode::done : ExitCode::notUnderstood;
}

int Commissioner::writeValues(QString &message)
{
    status(tr("Запись начата"));
    const ModuleProtocol::Values &t = options.target;
    const QString values[] = {t.baudRate, t.stopBits, t.parity};
    for (int step = 0; step + 1 < ModuleProtocol::writeStepCount; ++step) {
        const QString command = ModuleProtocol::writeCommand(step, values[step]);
        QString reply;
        const ReplyStatus s = exchange(command, reply);
        if (s != ReplyStatus::Reply)
            return failedExchange(s, command, message);
        const auto outcome =
                ModuleProtocol::interpret(reply, ModuleProtocol::Sequence::Write, step + 1);
        if (outcome.kind == ModuleProtocol::Kind::Rejected) {
            message = tr("Модуль отклонил команду «%1». Запись остановлена, модуль не переведён "
                         "в режим работы.")
                              .arg(command);
            return ExitCode::refused;
        }
        if (outcome.kind != ModuleProtocol::Kind::Accepted) {
            message = tr("Ответ на команду «%1» не распознан: «%2». Запись остановлена, модуль "
                         "не переведён в режим работы.")
                              .arg(command, SerialLink::shownReply(reply, 0));
            return ExitCode::notUnderstood;
        }
        // The step is whole: command and its answer. Only now may Ctrl+C end it.
        if (stopping())
            return ExitCode::interrupted;
        pause(pauseAfter(outcome.kind));
    }
    return ExitCode::done;
}

Commissioner::ReplyStatus Commissioner::exchange(const QString &command, QString &reply)
{
    if (!port || !port->isOpen())
        return ReplyStatus::LinkLost;
    const QByteArray bytes = command.toUtf8();
    status(tr("Передано :") + command);
    port->write(bytes);
    if (log)
        log->sent(bytes);
    framer->expectReply();

    ReplyStatus result = ReplyStatus::NoReply;
    QEventLoop loop;
    const auto onReply = connect(framer, &ReplyFramer::replyReady, &loop,
                                 [&](const QByteArray &r, qint64 dropped) {
                                     if (log)
                                         log->received(r, dropped);
                                     reply = SerialLink::decodeReply(r);
                                     status(tr("Получено :") + SerialLink::shownReply(reply, dropped));
                                     result = ReplyStatus::Reply;
                                     loop.quit();
                                 });
    const auto onTimeout = connect(framer, &ReplyFramer::timedOut, &loop, &QEventLoop::quit);
    const auto onError = connect(port, &QSerialPort::errorOccurred, &loop,
                                 [&](QSerialPort::SerialPortError error) {
                                     if (SerialLink::errorEndsLink(error)) {
                                         result = ReplyStatus::LinkLost;
                                         loop.quit();
                                     }
                                 });
    loop.exec();
    disconnect(onReply);
    disconnect(onTimeout);
    disconnect(onError);
    framer->cancel();
    return result;
}

int Commissioner::failedExchange(ReplyStatus status, const QString &command, QString &message)
{
    if (status == ReplyStatus::LinkLost) {
        const QString name = port ? port->portName() : options.port;
        message = SerialLink::linkLostAdvice(name, port ? port->errorString() : QString(),
                                             SerialLink::Audience::CommandLine);
        closePort(); // a hung-up port would raise errors on every pass of the loop
    } else {
        message = SerialLink::noReplyAdvice(command);
    }
    this->status(message);
    return ExitCode::noReply;
}

void Commissioner::pause(std::chrono::milliseconds length)
{
    QEventLoop loop;
    QTimer::singleShot(length, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// --- Waiting for adapters ------------------------------------------------------

QStringList Commissioner::currentPorts()
{
    if (!monitor)
        return listPorts();
    monitor->poll();
    return monitor->snapshot();
}

int Commissioner::runWaiting()
{
    if (monitor)
        monitor->start(listPorts());
    int lastFailure = ExitCode::done;
    int code = ExitCode::done;
    for (;;) {
        const QString portName = waitForNewPort(code);
        if (portName.isEmpty()) {
            // No next adapter in time: the batch is over and ends as its modules did.
            if (code == ExitCode::noReply && options.repeat && done + failed > 0)
                code = lastFailure;
            break;
        }
        code = commissionOn(portName, true);
        if (code != ExitCode::done && code != ExitCode::interrupted)
            lastFailure = code;
        if (!options.repeat || code == ExitCode::interrupted)
            break;
        err << tr("Отключите адаптер %1 и подключите следующий").arg(portName) << Qt::endl;
        if (!waitUntilGone(portName)) {
            code = ExitCode::interrupted;
            break;
        }
    }
    if (options.repeat || code == ExitCode::interrupted)
        err << tr("Модулей готово: %1, с ошибкой: %2").arg(done).arg(failed) << Qt::endl;
    return code;
}

QString Commissioner::waitForNewPort(int &code)
{
    QStringList known = currentPorts();
    const QString waiting = tr("Ожидание нового адаптера (до %1 с)").arg(options.waitTimeout.count());
    status(waiting);
    err << waiting << Qt::endl;
    QElapsedTimer clock;
    clock.start();
    while (!stopping()) {
        if (clock.elapsed() >= std::chrono::milliseconds(options.waitTimeout).count()) {
            code = ExitCode::noReply;
            err << tr("Новый адаптер не подключён за %1 с").arg(options.waitTimeout.count())
                << Qt::endl;
            return {};
        }
        pause(findTickInterval);
        const QStringList ports = currentPorts();
        // Compared by name, as the window's search does.
        if (!portSetChanged(ports, known))
            continue;
        const QStringList found = newPortNames(ports, known);
        known = ports;
        qCDebug(lcSearch) << "ports now" << ports << "new" << found;
        if (!found.isEmpty()) {
            status(tr("Найден порт %1").arg(found.constLast()));
            return found.constLast();
        }
    }
    code = ExitCode::interrupted;
    return {};
}

bool Commissioner::waitUntilGone(const QString &portName)
{
    while (!stopping()) {
        if (!currentPorts().contains(portName))
            return true;
        pause(findTickInterval);
    }
    return false;
}

// --- Results -----------------------------------------------------------------

void Commissioner::report(const QString &portName, const Result &result)
{
    if (result.code == ExitCode::done)
        ++done;
    else
        ++failed;
    const QString serialNumber = QSerialPortInfo(portName).serialNumber();
    if (options.json) {
        QJsonObject o {{QStringLiteral("time"),
                        QDateTime::currentDateTime().toString(Qt::ISODateWithMs)},
                       {QStringLiteral("port"), portName},
                       {QStringLiteral("serialNumber"),
                        serialNumber.isEmpty() ? QJsonValue() : QJsonValue(serialNumber)},
                       {QStringLiteral("before"),
                        result.haveBefore ? toJson(result.before) : QJsonValue()},
                       {QStringLiteral("after"),
                        result.haveAfter ? toJson(result.after) : QJsonValue()},
                       {QStringLiteral("outcome"), outcomeName(result.code)},
                       {QStringLiteral("exitCode"), result.code}};
        if (!result.message.isEmpty())
            o.insert(QStringLiteral("message"), result.message);
        out << QJsonDocument(o).toJson(QJsonDocument::Compact) << Qt::endl;
        return;
    }
    QString line = portName;
    if (!serialNumber.isEmpty())
        line += QStringLiteral(" [%1]").arg(serialNumber);
    if (result.code == ExitCode::done && options.action == CommissionOptions::Action::Read) {
        line += QStringLiteral(": ") + result.before.text();
    } else if (result.code == ExitCode::done) {
        line += tr(": готово: %1 (было: %2)")
                        .arg(result.after.text(), result.before.text());
        if (!options.operate)
            line += tr("; режим работы не включён (--no-run)");
    } else {
        line += tr(": ошибка %1: %2").arg(result.code).arg(result.message);
    }
    out << line << Qt::endl;
}
