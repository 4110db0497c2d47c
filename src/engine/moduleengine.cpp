#include "moduleengine.h"

#include "logging.h"
#include "networklink.h"
#include "portmonitor.h"
#include "replyframer.h"
#include "timing.h"

#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <utility>

using namespace Timing;
using ModuleProtocol::Field;
using ModuleProtocol::Kind;
using Told = ModuleProtocol::Values::Told;

namespace {
constexpr Field settingFields[] = {Field::Speed, Field::StopBits, Field::Parity};

// The adapter as the connect line names it, so that a log tells which of
// a batch's adapters it was: " (адаптер: серийный номер …, USB …)".
QString adapterText(const PortDetails &adapter)
{
    QStringList facts;
    if (!adapter.serialNumber.isEmpty())
        facts << ModuleEngine::tr("серийный номер %1").arg(adapter.serialNumber);
    if (!adapter.usbId.isEmpty())
        facts << ModuleEngine::tr("USB %1").arg(adapter.usbId);
    return facts.isEmpty()
            ? QString()
            : ModuleEngine::tr(" (адаптер: %1)").arg(facts.join(QStringLiteral(", ")));
}
} // namespace

ModuleEngine::ModuleEngine(PortLister lister, PortMonitor *portMonitor, QObject *parent)
    : QObject(parent)
    , listPorts(std::move(lister))
    , monitor(portMonitor)
    , frames(new ReplyFramer(this))
{
    qRegisterMetaType<ModuleEngine::Failure>();
    qRegisterMetaType<ModuleEngine::FieldState>();
    qRegisterMetaType<ModuleProtocol::Values>();
    qRegisterMetaType<ModuleProtocol::Field>();
    if (monitor)
        monitor->setParent(this);

    // Object names let the window, tests and diagnostics tell the timers apart.
    const auto makeTimer = [this](const char *name, std::chrono::milliseconds interval) {
        auto *timer = new QTimer(this);
        timer->setObjectName(QLatin1String(name));
        timer->setInterval(interval);
        // A coarse timer may fire up to 5 % early; the module is given its
        // full pauses.
        timer->setTimerType(Qt::PreciseTimer);
        return timer;
    };
    find = makeTimer("findTimer", findTickInterval);
    find->setTimerType(Qt::CoarseTimer);
    readPause = makeTimer("readTimer", sequenceStartDelay);
    writePause = makeTimer("writeTimer", sequenceStartDelay);
    openRetry = makeTimer("openRetryTimer", foundPortRetryInterval);
    openRetry->setSingleShot(true);
    giveUp = makeTimer("giveUpTimer", SerialLink::replyTimeout);
    giveUp->setSingleShot(true);

    connect(find, &QTimer::timeout, this, &ModuleEngine::searchTick);
    connect(readPause, &QTimer::timeout, this, &ModuleEngine::readTick);
    connect(writePause, &QTimer::timeout, this, &ModuleEngine::writeTick);
    connect(openRetry, &QTimer::timeout, this, &ModuleEngine::tryFoundPort);
    connect(giveUp, &QTimer::timeout, this, [this] {
        frames->cancel();
        answerDue = false;
        // Said apart from the time-out, which told the same advice already.
        fail(FailureKind::NoReply,
             SerialLink::noReplyAdvice(lastSent)
                     + tr(" Ответ не пришёл и за %1\u00a0с после команды: модуль пропущен.")
                               .arg(giveUpLimit.count() / 1000),
             lastSent);
    });
    connect(frames, &ReplyFramer::timedOut, this, &ModuleEngine::replyTimedOut);
    connect(frames, &ReplyFramer::replyReady, this, &ModuleEngine::onReply);
}

ModuleEngine::~ModuleEngine()
{
    // The port is a child and outlives this body: it must not call back.
    if (serial)
        serial->disconnect(this);
}

QTimer *ModuleEngine::timeoutTimer() const
{
    return frames->timeoutTimer();
}

// --- The link -----------------------------------------------------------------

bool ModuleEngine::isOpen() const
{
    return (serial && serial->isOpen()) || (network && network->isOpen());
}

void ModuleEngine::releasePort()
{
    waitingPlan.reset();
    if (network) {
        network->disconnect(this);
        network->close();
        network->deleteLater();
        network = nullptr;
    }
    if (!serial)
        return;
    // A replaced port must never deliver its bytes or errors to the next
    // one's exchange. Freed later: it may still be signalling.
    serial->disconnect(this);
    serial->close();
    claim.release();
    serial->deleteLater();
    serial = nullptr;
}

bool ModuleEngine::tryOpen(const QString &portName, bool announce)
{
    releasePort();
    currentPort = portName;
    if (NetworkLink::isNetworkName(portName)) {
        openNetwork(portName);
        return true;
    }
    serial = new QSerialPort(this);
    serial->setObjectName(QStringLiteral("serial"));
    connect(serial, &QSerialPort::readyRead, this, &ModuleEngine::readAvailable);
    SerialLink::configurePort(*serial, portName);
    heldBy.clear();
    adapterDetails = PortDetails {portName, {}, {}, {}, {}, {}};
    if (portName.isEmpty())
        return false;
    // Another program on the line would take the module's replies: nothing
    // is sent to a port that is held, whatever Qt's own lock says.
    if (!claim.take(portName, &heldBy))
        return false;
    if (!serial->open(QIODevice::ReadWrite)) {
        claim.release();
        return false;
    }
    // Bytes from before this connection (a late reply to a closed one)
    // answer nothing that will be sent on it.
    serial->clear();
    // Only now: open() itself signals NoError and, on failure, the error its
    // caller reports. One failure, one report.
    connect(serial, &QSerialPort::errorOccurred, this, &ModuleEngine::handlePortError);
    adapterDetails = portDetails(portName);
    if (announce)
        emit status(tr("Порт %1 открыт").arg(portName) + adapterText(adapterDetails));
    emit stateChanged();
    return true;
}

ModuleEngine::Record ModuleEngine::recordFor(const Plan &p) const
{
    Record r;
    r.write = p.write;
    if (p.write)
        r.requested = p.target;
    return r;
}

bool ModuleEngine::run(const QString &portName, const Plan &p)
{
    return openFor(portName, recordFor(p)) && start(p);
}

bool ModuleEngine::open(const QString &portName)
{
    return openFor(portName, {});
}

bool ModuleEngine::openFor(const QString &portName, const Record &expected)
{
    // Nothing of an earlier module may pass for this one's.
    rec = expected;
    if (tryOpen(portName))
        return true;
    reportOpenFailure(portName);
    return false;
}

void ModuleEngine::reportOpenFailure(const QString &portName)
{
    const bool held = !heldBy.isEmpty();
    const QString systemText = held ? heldBy : serial->errorString();
    const auto problem = held ? SerialLink::OpenProblem::Busy
                              : SerialLink::openProblem(serial->error(), portName);
    QString reason = systemText;
    if (portName.isEmpty()) {
        reason = tr("порт не выбран");
    } else {
#ifdef Q_OS_LINUX
        if (problem == SerialLink::OpenProblem::NoAccess)
            reason += tr(" (нет прав: добавьте пользователя в группу dialout и войдите заново)");
        else if (problem == SerialLink::OpenProblem::Busy)
            reason += tr(" (порт занят другой программой)");
#endif
    }
    qCDebug(lcLink) << "cannot open" << portName << reason;
    stopTimers();
    fail(FailureKind::CannotOpen,
         SerialLink::openFailureAdvice(problem, portName,
                                       portName.isEmpty() ? QString() : systemText, audience),
         {}, tr("Не удалось открыть порт %1: %2").arg(portName, reason));
}

void ModuleEngine::close()
{
    const bool wasOpen = isOpen();
    // Closing in the middle of an exchange ends it like a stop would: the
    // user, the log and the record learn what the module took.
    QString ended;
    if (current != Activity::Idle)
        ended = answerDue ? tr("Прервано отключением: ответ на «%1» не дождались.").arg(lastSent)
                          : tr("Прервано отключением после ответа на «%1».").arg(lastSent);
    else if (waitingPlan)
        ended = tr("Прервано до начала обмена: ничего не отправлено.");
    stopAll();
    if (wasOpen)
        emit status(tr("Отключено от порта %1").arg(currentPort));
    if (ended.isEmpty())
        setActivity(Activity::Idle);
    else
        fail(FailureKind::Interrupted, ended);
}

void ModuleEngine::stopAll()
{
    closeLink();
    frames->cancel();
    answerDue = false;
    find->stop();
    openRetry->stop();
    stopTimers();
}

void ModuleEngine::closeLink()
{
    waitingPlan.reset();
    if (serial && serial->isOpen())
        serial->close();
    if (network && network->isOpen())
        network->close();
    claim.release();
}

QIODevice *ModuleEngine::device() const
{
    if (network)
        return network;
    return serial;
}

void ModuleEngine::readAvailable()
{
    if (QIODevice *link = device())
        frames->feed(link->readAll());
}

void ModuleEngine::openNetwork(const QString &name)
{
    network = new NetworkLink(name, this);
    network->setObjectName(QStringLiteral("network"));
    connect(network, &QIODevice::readyRead, this, &ModuleEngine::readAvailable);
    connect(network, &NetworkLink::ready, this, [this] {
        emit status(tr("Порт %1 открыт").arg(currentPort));
        emit stateChanged();
        if (waitingPlan) {
            const auto [waiting, pause] = *waitingPlan;
            waitingPlan.reset();
            begin(waiting, pause, true);
        }
    });
    connect(network, &NetworkLink::failed, this,
            [this](NetworkLink::Problem problem, const QString &systemText) {
                const bool wasReady = network->isReady();
                const QString advice =
                        NetworkLink::advice(problem, currentPort, systemText, audience);
                // Closed before anything is reported, as a lost serial port is.
                stopAll();
                emit stateChanged();
                if (wasReady && problem == NetworkLink::Problem::Lost)
                    fail(FailureKind::LinkLost, advice, lastSent);
                else
                    fail(FailureKind::CannotOpen, advice);
            });
    emit status(tr("Соединение с %1…").arg(name));
    network->start();
    emit stateChanged();
}

void ModuleEngine::handlePortError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError)
        return;
    qCDebug(lcLink) << "port error" << error;
    if (!SerialLink::errorEndsLink(error))
        return;
    const QString name = serial ? serial->portName() : currentPort;
    const QString reason = serial ? serial->errorString() : QString();
    // Closed before anything is reported: a hung-up port raises ReadError
    // on every pass of the event loop until it is closed.
    stopAll();
    fail(FailureKind::LinkLost, SerialLink::linkLostAdvice(name, reason, audience), lastSent,
         tr("Связь с портом %1 потеряна: %2").arg(name, reason));
}

// --- Exchanges ----------------------------------------------------------------

bool ModuleEngine::isBusy() const
{
    return current != Activity::Idle || (network && network->isOpen() && !network->isReady());
}

bool ModuleEngine::isAwaitingReply() const
{
    return frames->isAwaiting();
}

void ModuleEngine::setActivity(Activity activity)
{
    current = activity;
    emit stateChanged();
}

bool ModuleEngine::start(const Plan &newPlan, std::chrono::milliseconds firstPause)
{
    return begin(newPlan, firstPause, true);
}

bool ModuleEngine::begin(const Plan &newPlan, std::chrono::milliseconds firstPause, bool announce)
{
    // A gateway still being connected to: the plan starts once it is.
    if (network && network->isOpen() && !network->isReady() && current == Activity::Idle) {
        waitingPlan = std::make_pair(newPlan, firstPause);
        return true;
    }
    QString refusal;
    if (!isOpen())
        refusal = tr("Нет соединения: выберите порт и нажмите «Соединиться»");
    else if (current == Activity::Reading)
        refusal = tr("Идёт чтение: дождитесь его окончания");
    else if (current == Activity::Writing)
        refusal = tr("Идёт запись: дождитесь её окончания");
    else if (frames->isAwaiting())
        refusal = tr("Модуль ещё не ответил на «%1»: дождитесь ответа или нажмите «Отключиться»")
                          .arg(lastSent);
    else if (newPlan.write && !newPlan.target.isComplete())
        // An empty value would send a bare prefix, which the module refuses
        // half-way through the write.
        refusal = tr("Не все значения выбраны: считайте модуль или выберите значения");
    if (!refusal.isEmpty()) {
        emit status(refusal);
        return false;
    }

    plan = newPlan;
    passes.clear();
    if (plan.write) {
        if (plan.readFirst)
            passes.append(Pass::Read);
        passes.append(Pass::Values);
        if (plan.verify)
            passes.append(Pass::Read);
        if (plan.operate)
            passes.append(Pass::Operate);
    } else {
        passes.append(Pass::Read);
    }
    pass = 0;
    answered = 0;
    steps = 0;
    for (const Pass each : qAsConst(passes))
        steps += each == Pass::Read ? int(ModuleProtocol::readCommands.size())
                                    : each == Pass::Values ? ModuleProtocol::writeStepCount - 1
                                                           : 1;
    rec = recordFor(plan);
    timedOutOnce = false;
    stopRequests = 0;
    answerDue = false;
    setActivity(plan.write ? Activity::Writing : Activity::Reading);
    if (announce)
        emit status(plan.write ? tr("Запись начата") : tr("Чтение начато"));
    emit progressed(answered, steps);
    beginPass(firstPause);
    return true;
}

void ModuleEngine::beginPass(std::chrono::milliseconds pause)
{
    switch (passes.at(pass)) {
    case Pass::Read:
        // What the module holds now is what this read finds, nothing older.
        readStep = 0;
        readValues = {};
        for (const Field field : settingFields)
            emit fieldChanged(field, FieldState::Unknown, {});
        readPause->start(pause);
        break;
    case Pass::Values:
        writeStep = 0;
        writePause->start(pause);
        break;
    case Pass::Operate:
        writeStep = ModuleProtocol::writeStepCount - 1;
        writePause->start(pause);
        break;
    }
}

void ModuleEngine::readTick()
{
    readPause->stop();
    if (current == Activity::Idle || passes.value(pass) != Pass::Read || frames->isAwaiting()
        || readStep < 0 || readStep >= ModuleProtocol::readCommands.size())
        return;
    const QString command = ModuleProtocol::readCommands.at(readStep);
    emit traffic(tr("Передано :") + command);
    transmit(command);
    ++readStep;
}

void ModuleEngine::writeTick()
{
    writePause->stop();
    if (current != Activity::Writing || frames->isAwaiting())
        return;
    const Pass now = passes.value(pass);
    const bool valueStep =
            now == Pass::Values && writeStep >= 0 && writeStep < ModuleProtocol::writeStepCount - 1;
    const bool operateStep =
            now == Pass::Operate && writeStep == ModuleProtocol::writeStepCount - 1;
    if (!valueStep && !operateStep)
        return;
    if (valueStep && writeStep == 0) {
        for (const Field field : settingFields)
            emit fieldChanged(field, FieldState::Pending, plan.target.value(field));
    }
    const Field field = ModuleProtocol::writeSteps[writeStep].field;
    const QString value = plan.target.value(field);
    const QString command = ModuleProtocol::writeCommand(writeStep, value);
    emit traffic(tr("Передано :") + command);
    if (valueStep)
        emit fieldChanged(field, FieldState::Sending, value);
    else
        rec.operatingCommandSent = true;
    transmit(command);
    ++writeStep;
}

void ModuleEngine::transmit(const QString &command)
{
    const QByteArray bytes = command.toUtf8();
    lastSent = command;
    answerDue = current != Activity::Idle;
    // Writing to a closed port only warns; the time-out tells the user.
    if (isOpen()) {
        device()->write(bytes);
        emit commandSent(bytes);
    }
    frames->expectReply();
}

void ModuleEngine::send(const QString &command, bool awaitReply)
{
    if (current != Activity::Idle || frames->isAwaiting())
        return; // one command at a time
    timedOutOnce = false;
    transmit(command);
    if (!awaitReply)
        frames->cancel();
}

void ModuleEngine::onReply(const QByteArray &bytes, qint64 dropped)
{
    giveUp->stop();
    emit replyTaken(bytes, dropped);
    reply = SerialLink::decodeReply(bytes);
    emit traffic(tr("Получено :") + SerialLink::shownReply(reply, dropped));
    takeReply();
}

void ModuleEngine::takeReply()
{
    qCDebug(lcLink) << "reply" << reply;
    // A reply is credited only to the command of the plan it answers.
    if (!answerDue || current == Activity::Idle)
        return;
    answerDue = false;
    emit progressed(++answered, steps);
    if (passes.value(pass) == Pass::Read)
        takeReadReply();
    else
        takeWriteReply();
}

void ModuleEngine::takeReadReply()
{
    const int step = readStep - 1;
    const Field asked = ModuleProtocol::fieldOfReadStep(step);
    Kind kind = Kind::Unrecognised;
    if (step == 0 && pass == 0)
        rec.hello = reply;
    if (step > 0) {
        const auto outcome = ModuleProtocol::interpret(reply, ModuleProtocol::Sequence::Read, 0);
        if (outcome.field == asked && outcome.index > 0) {
            kind = outcome.kind;
            const QString value = ModuleProtocol::valuesOf(asked).at(outcome.index - 1);
            readValues.set(asked, value);
            emit fieldChanged(asked, FieldState::Read, value);
        } else {
            // Not a value this field knows, or a report of another setting:
            // what the module holds stays unknown.
            if (outcome.field == asked)
                kind = outcome.kind;
            emit fieldChanged(asked, FieldState::Unreadable, {});
        }
    }
    if (readStep < ModuleProtocol::readCommands.size()) {
        nextStep(kind);
        return;
    }

    const bool readBack = plan.write && pass > 0;
    if (readBack) {
        rec.after = readValues;
        rec.haveAfter = true;
        if (rec.after != plan.target) {
            fail(FailureKind::ReadBackDiffers,
                 tr("Считано после записи: %1, а записано: %2. Модуль не переведен в режим "
                    "работы.")
                         .arg(rec.after.text(Told::Reported), plan.target.text(Told::Reported)),
                 ModuleProtocol::readCommands.constLast());
            return;
        }
    } else {
        rec.before = readValues;
        rec.haveBefore = true;
    }
    ++pass;
    if (pass < passes.size()) {
        if (stopRequests > 0)
            fail(FailureKind::Interrupted, interruptedText());
        else
            beginPass(pauseAfter(kind));
        return;
    }
    if (plan.write) {
        finishPlan();
        return;
    }
    emit status(tr("Чтение завершено: %1").arg(readValues.text(Told::Reported)));
    setActivity(Activity::Idle);
    emit readFinished(readValues);
}

void ModuleEngine::takeWriteReply()
{
    const QString command = lastSent;
    const auto outcome =
            ModuleProtocol::interpret(reply, ModuleProtocol::Sequence::Write, writeStep);
    const bool operateStep = passes.value(pass) == Pass::Operate;
    const Field field = operateStep ? Field::None : ModuleProtocol::fieldOfWriteStep(writeStep);

    switch (outcome.kind) {
    case Kind::Accepted:
        if (operateStep) {
            fail(FailureKind::OperatingNotConfirmed,
                 tr("Модуль ответил «Ok» на «%1» вместо «module is working»: неизвестно, "
                    "перешёл ли он в режим работы. Проверьте модуль и запишите настройки снова.")
                         .arg(command),
                 command);
            return;
        }
        rec.confirmed.set(field, plan.target.value(field));
        emit fieldChanged(field, FieldState::Confirmed, plan.target.value(field));
        if (writeStep < ModuleProtocol::writeStepCount - 1) {
            nextStep(Kind::Accepted);
            return;
        }
        ++pass;
        if (pass >= passes.size())
            finishPlan();
        else if (stopRequests > 0)
            fail(FailureKind::Interrupted, interruptedText());
        else
            beginPass(pauseAfter(Kind::Accepted));
        return;
    case Kind::Rejected:
        if (field != Field::None)
            emit fieldChanged(field, FieldState::Refused, {}); // the module holds its old value
        fail(FailureKind::Refused,
             (operateStep ? tr("Модуль отклонил команду «%1»: он не переведен в режим работы.")
                          : tr("Модуль отклонил команду «%1». Запись остановлена, модуль не "
                               "переведен в режим работы."))
                     .arg(command),
             command);
        return;
    case Kind::ModuleWorking:
        if (operateStep) {
            rec.operating = true;
            finishPlan();
            return;
        }
        // The module has left configuration mode: it takes no more values.
        closeLink();
        fail(FailureKind::LeftConfiguration,
             tr("Модуль перешёл в режим работы в ответ на «%1», не подтвердив все значения: "
                "запись не завершена. Переведите модуль в режим настройки и запишите "
                "настройки снова.")
                     .arg(command),
             command);
        return;
    default:
        fail(FailureKind::NotUnderstood,
             tr("Ответ на команду «%1» не распознан: «%2». Запись остановлена, модуль не "
                "переведен в режим работы.")
                     .arg(command, SerialLink::shownReply(reply, 0)),
             command);
        return;
    }
}

void ModuleEngine::nextStep(Kind after)
{
    if (stopRequests > 0) {
        fail(FailureKind::Interrupted, interruptedText());
        return;
    }
    (passes.value(pass) == Pass::Read ? readPause : writePause)->start(pauseAfter(after));
}

void ModuleEngine::finishPlan()
{
    stopTimers();
    // The module that operates no longer listens to commands.
    if (rec.operating)
        closeLink();
    const QString confirmed = rec.confirmed.text(Told::Confirmed);
    emit status(rec.operating ? tr("Записано: %1. Модуль переведен в режим работы.").arg(confirmed)
                              : tr("Записано: %1. Режим работы не включён.").arg(confirmed));
    setActivity(Activity::Idle);
    emit written(rec.confirmed, rec.operating);
}

QString ModuleEngine::interruptedText() const
{
    return answerDue
            ? tr("Прервано: ответ на «%1» не дождались.").arg(lastSent)
            : tr("Прервано после ответа на «%1»: больше ничего не отправлено.").arg(lastSent);
}

QString ModuleEngine::stoppedWriteText() const
{
    const QString operating = rec.operatingCommandSent ? tr("«%1» отправлена")
                                                       : tr("«%1» не отправлена");
    const QString sent = operating.arg(ModuleProtocol::operatingModeCommand);
    if (rec.confirmed == Values {})
        return tr(" Модуль не подтвердил ни одного значения; %1.").arg(sent);
    return tr(" Модуль подтвердил: %1; %2.").arg(rec.confirmed.text(Told::Confirmed), sent);
}

void ModuleEngine::fail(FailureKind kind, const QString &advice, const QString &command,
                        const QString &statusText)
{
    // Whatever stops a write part-way, the user learns what the module took.
    const QString told = current == Activity::Writing ? advice + stoppedWriteText() : advice;
    stopTimers();
    setActivity(Activity::Idle);
    emit status(statusText.isEmpty() ? told : statusText);
    emit failed({kind, command, told});
}

void ModuleEngine::stopTimers()
{
    readPause->stop();
    writePause->stop();
    giveUp->stop();
}

void ModuleEngine::replyTimedOut()
{
    frames->timeoutTimer()->stop();
    const bool first = !timedOutOnce;
    timedOutOnce = true;
    const QString advice = SerialLink::noReplyAdvice(lastSent);
    // The reply is still awaited: a late one resumes the sequence. Only the
    // user (or the command line's limit) gives it up.
    emit status(first ? tr("Ошибка") : advice + tr(" Ответ всё ещё ожидается."));
    if (giveUpLimit.count() > 0)
        giveUp->start(
                std::max(giveUpLimit - SerialLink::replyTimeout, std::chrono::milliseconds(0)));
    emit timedOut(lastSent, advice, first);
}

void ModuleEngine::requestStop()
{
    ++stopRequests;
    if (current == Activity::Idle && waitingPlan) {
        // Still connecting to a gateway: nothing was sent yet.
        stopAll();
        fail(FailureKind::Interrupted, tr("Прервано до начала обмена: ничего не отправлено."));
        return;
    }
    if (current == Activity::Idle)
        return;
    if (answerDue && stopRequests < 2) {
        emit status(tr("Остановка: после ответа на «%1» ничего больше не будет отправлено")
                            .arg(lastSent));
        return;
    }
    const QString text = interruptedText();
    frames->cancel();
    answerDue = false;
    fail(FailureKind::Interrupted, text);
}

// --- The search ---------------------------------------------------------------

QStringList ModuleEngine::currentPorts()
{
    if (!monitor || !monitorStarted)
        return listPorts();
    // The monitor's snapshot costs nothing to read; enumerating here would
    // stall the caller's thread for milliseconds every tick.
    monitor->poll();
    return monitor->snapshot();
}

void ModuleEngine::setKnownPorts(const QStringList &names)
{
    known = names;
    if (monitor && !monitorStarted) {
        monitorStarted = true;
        monitor->start(names);
    }
}

bool ModuleEngine::isSearching() const
{
    return find->isActive() || openRetry->isActive();
}

void ModuleEngine::startSearch(const Plan &plan, std::chrono::milliseconds limit)
{
    if (isOpen()) {
        emit status(tr("Поиск недоступен, пока порт открыт: сначала нажмите «Отключиться»"));
        return;
    }
    searchPlan = plan;
    rec = recordFor(plan);
    slot.clear();
    searchTicks = 0;
    tickLimit = int(limit / findTickInterval);
    find->start();
    emit status(tr("Поиск начат"));
}

void ModuleEngine::waitForSlot(const QString &port, const Plan &plan,
                               std::chrono::milliseconds limit, bool goneFirst)
{
    startSearch(plan, limit);
    if (!find->isActive())
        return;
    slot = port;
    slotMustGo = goneFirst;
    emit status(goneFirst ? tr("Ожидание, пока порт %1 исчезнет и появится снова").arg(port)
                          : tr("Ожидание порта %1").arg(port));
}

QString ModuleEngine::slotDevice()
{
    // A path is looked at directly (a link to nothing is not there): one
    // stat a tick, no enumeration. A bare name is looked for in the list.
    const bool path = slot.contains(QLatin1Char('/')) || slot.contains(QLatin1Char('\\'));
    if (path ? !QFileInfo::exists(slot) : !currentPorts().contains(slot))
        return {};
    const QString device = Platform::deviceIdentity(slot);
    return device.isEmpty() ? slot : device;
}

void ModuleEngine::stopSearch()
{
    if (!isSearching())
        return;
    find->stop();
    openRetry->stop();
    emit status(tr("Поиск остановлен"));
    emit searchEnded(false);
}

QStringList ModuleEngine::arrivedPorts()
{
    if (!slot.isEmpty()) {
        // A fixed slot: its port, once it is there; when the last module
        // must go first, once another device is there (it may be swapped
        // between two looks).
        const QString device = slotDevice();
        if (device != slotTaken)
            slotMustGo = false;
        if (device.isEmpty() || slotMustGo)
            return {};
        slotTaken = device;
        return {slot};
    }
    const QStringList ports = currentPorts();
    // A port that went away is forgotten, so that it is new when it comes
    // back; one plugged in while the last module was being set up is new
    // too. Compared by name: an adapter that replaces another within one
    // tick is still found.
    QStringList stillThere;
    for (const QString &name : qAsConst(known)) {
        if (ports.contains(name))
            stillThere.append(name);
    }
    known = stillThere;
    const QStringList found = newPortNames(ports, known);
    if (!found.isEmpty()) {
        qCDebug(lcSearch) << "ports now" << ports << "new" << found;
        // The last one is taken; the others stay new for the next search.
        known.append(found.constLast());
    }
    return found;
}

void ModuleEngine::searchTick()
{
    const QStringList found = arrivedPorts();
    emit searchTicked();
    ++searchTicks;
    const bool gaveUp = searchTicks > tickLimit;
    if (gaveUp) {
        find->stop();
        const QString hint = SerialLink::noAdapterHint();
        emit status(hint.isEmpty() ? tr("Модуль не найден")
                                   : tr("Модуль не найден. %1").arg(hint));
        // This tick's look at the ports still counts.
    }
    if (found.isEmpty()) {
        if (gaveUp)
            emit searchEnded(false);
        return;
    }
    // Stopped first: a port that fails to open is reported, perhaps in a
    // modal box, whose event loop must not run further ticks.
    find->stop();
    for (const QString &name : found)
        emit portFound(name);
    foundPort = found.constLast();
    emit status(tr("Найден порт %1").arg(foundPort));
    foundClock.start();
    tryFoundPort();
}

void ModuleEngine::tryFoundPort()
{
    // Quietly: the status keeps "found" until the first command goes out.
    if (tryOpen(foundPort, false)) {
        openRetry->stop();
        emit searchEnded(true);
        // A module just powered up by its adapter needs time to start.
        begin(searchPlan, readAfterFindDelay, false);
        return;
    }
    // A port another program holds (its flock or lock file) may be let go
    // in a moment, as a port Qt cannot open yet may.
    const auto problem = heldBy.isEmpty() ? SerialLink::openProblem(serial->error(), foundPort)
                                          : SerialLink::OpenProblem::Busy;
    if (SerialLink::mayPassSoon(problem)
        && foundClock.elapsed() + foundPortRetryInterval.count() <= foundPortGrace.count()) {
        if (!openRetry->isActive())
            emit status(tr("Найден порт %1, ожидание доступа к нему").arg(foundPort));
        openRetry->start();
        return;
    }
    openRetry->stop();
    emit searchEnded(false);
    reportOpenFailure(foundPort);
}
