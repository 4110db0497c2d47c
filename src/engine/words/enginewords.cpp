#include "enginewords.h"

#include "safetext.h"
#include "seriallink.h"

#include <QCoreApplication>
#include <QStringList>

using Told = EngineWords::Told;
using Values = ModuleProtocol::Values;
using Note = ModuleEngine::Note;
using Failure = ModuleEngine::Failure;
using Kind = ModuleEngine::FailureKind;
using Refusal = ModuleEngine::Refusal;

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("EngineWords", text);
}

} // namespace

namespace EngineWords {

// The adapter as the connect line names it, so that a log tells which of
// a batch's adapters it was: " (адаптер: серийный номер …, USB …)".
static QString adapterText(const PortDetails &adapter)
{
    QStringList facts;
    if (!adapter.serialNumber.isEmpty())
        facts << tr("серийный номер %1").arg(adapter.serialNumber);
    if (!adapter.usbId.isEmpty())
        facts << tr("USB %1").arg(adapter.usbId);
    return facts.isEmpty() ? QString()
                           : tr(" (адаптер: %1)").arg(facts.join(QStringLiteral(", ")));
}
static QString portOpened(const QString &port, const PortDetails &adapter)
{
    return tr("Порт %1 открыт").arg(port) + adapterText(adapter);
}

static QString connectingTo(const QString &port)
{
    return tr("Соединение с %1…").arg(port);
}

static QString disconnected(const QString &port)
{
    return tr("Отключено от порта %1").arg(port);
}

static QString refusal(Refusal why, const QString &awaited)
{
    switch (why) {
    case Refusal::NotConnected:
        return tr("Нет соединения: выберите порт и нажмите «Соединиться»");
    case Refusal::Reading:
        return tr("Идёт чтение: дождитесь его окончания");
    case Refusal::Writing:
        return tr("Идёт запись: дождитесь её окончания");
    case Refusal::Awaiting:
        return tr("Модуль ещё не ответил на «%1»: дождитесь ответа или нажмите «Отключиться»")
                .arg(awaited);
    case Refusal::Incomplete:
        break;
    }
    return tr("Не все значения выбраны: считайте модуль или выберите значения");
}

static QString started(bool write)
{
    return write ? tr("Запись начата") : tr("Чтение начато");
}

static QString readDone(const Values &read)
{
    return tr("Чтение завершено: %1").arg(EngineWords::values(read, Told::Reported));
}

static QString readBackDiffers(const Values &after, const Values &target)
{
    return tr("Считано после записи: %1, а записано: %2. Модуль не переведен в режим "
              "работы.")
            .arg(EngineWords::values(after, Told::Reported), EngineWords::values(target, Told::Reported));
}

static QString operatingNotConfirmed(const QString &command)
{
    return tr("Модуль ответил «Ok» на «%1» вместо «module is working»: неизвестно, "
              "перешёл ли он в режим работы. Проверьте модуль и запишите настройки снова.")
            .arg(command);
}

static QString refused(const QString &command, bool operatingCommand)
{
    return (operatingCommand ? tr("Модуль отклонил команду «%1»: он не переведен в режим работы.")
                             : tr("Модуль отклонил команду «%1». Запись остановлена, модуль не "
                                  "переведен в режим работы."))
            .arg(command);
}

static QString leftConfiguration(const QString &command)
{
    return tr("Модуль перешёл в режим работы в ответ на «%1», не подтвердив все значения: "
              "запись не завершена. Переведите модуль в режим настройки и запишите "
              "настройки снова.")
            .arg(command);
}

static QString notUnderstood(const QString &command, const QString &reply,
                             bool operatingCommand)
{
    const QString shown = shownReply(reply, 0);
    if (operatingCommand)
        return tr("Команда «%1» отправлена, но ответ на неё не распознан: «%2». Модуль, "
                  "возможно, уже в режиме работы: проверьте, прочитав его.")
                .arg(command, shown);
    return tr("Ответ на команду «%1» не распознан: «%2». Запись остановлена, модуль не "
              "переведен в режим работы.")
            .arg(command, shown);
}

static QString written(const Values &confirmed, bool operating)
{
    const QString told = EngineWords::values(confirmed, Told::Confirmed);
    return operating ? tr("Записано: %1. Модуль переведен в режим работы.").arg(told)
                     : tr("Записано: %1. Режим работы не включён.").arg(told);
}

static QString writeLeft(const Values &confirmed, bool operatingCommandSent)
{
    const QString operating =
            operatingCommandSent ? tr("«%1» отправлена") : tr("«%1» не отправлена");
    const QString sent = operating.arg(ModuleProtocol::operatingModeCommand);
    if (confirmed == Values {})
        return tr(" Модуль не подтвердил ни одного значения; %1.").arg(sent);
    return tr(" Модуль подтвердил: %1; %2.").arg(EngineWords::values(confirmed, Told::Confirmed), sent);
}

static QString interrupted(const QString &command, bool awaiting, bool byClosing)
{
    if (byClosing)
        return awaiting ? tr("Прервано отключением: ответ на «%1» не дождались.").arg(command)
                        : tr("Прервано отключением после ответа на «%1».").arg(command);
    return awaiting
            ? tr("Прервано: ответ на «%1» не дождались.").arg(command)
            : tr("Прервано после ответа на «%1»: больше ничего не отправлено.").arg(command);
}

static QString interruptedBeforeStart()
{
    return tr("Прервано до начала обмена: ничего не отправлено.");
}

static QString stopping(const QString &command)
{
    return tr("Остановка: после ответа на «%1» ничего больше не будет отправлено").arg(command);
}

static QString gaveUp(const QString &command, std::chrono::milliseconds after)
{
    // Said apart from the time-out, which told the same advice already.
    return LinkWords::noReplyAdvice(command)
            + tr(" Ответ не пришёл и за %1\u00a0с после команды: модуль пропущен.")
                      .arg(after.count() / 1000);
}

static QString searchUnavailable()
{
    return tr("Поиск недоступен, пока порт открыт: сначала нажмите «Отключиться»");
}

static QString searchStarted()
{
    return tr("Поиск начат");
}

static QString waitingForSlot(const QString &port, bool goneFirst)
{
    return goneFirst ? tr("Ожидание, пока порт %1 исчезнет и появится снова").arg(port)
                     : tr("Ожидание порта %1").arg(port);
}

static QString searchStopped()
{
    return tr("Поиск остановлен");
}

static QString notFound()
{
    const QString hint = LinkWords::noAdapterHint();
    return hint.isEmpty() ? tr("Модуль не найден") : tr("Модуль не найден. %1").arg(hint);
}

static QString found(const QString &port)
{
    return tr("Найден порт %1").arg(port);
}

static QString waitingForAccess(const QString &port)
{
    return tr("Найден порт %1, ожидание доступа к нему").arg(port);
}

QString say(const Note &note)
{
    switch (note.kind) {
    case Note::Kind::PortOpened:
        return portOpened(note.port, note.adapter);
    case Note::Kind::ConnectingTo:
        return connectingTo(note.port);
    case Note::Kind::Disconnected:
        return disconnected(note.port);
    case Note::Kind::NotStarted:
        return refusal(note.refusal, note.command);
    case Note::Kind::Started:
        return started(note.write);
    case Note::Kind::ReadDone:
        return readDone(note.values);
    case Note::Kind::Written:
        return written(note.values, note.operating);
    case Note::Kind::Stopping:
        return stopping(note.command);
    case Note::Kind::SearchUnavailable:
        return searchUnavailable();
    case Note::Kind::SearchStarted:
        return searchStarted();
    case Note::Kind::WaitingForSlot:
        return waitingForSlot(note.port, note.goneFirst);
    case Note::Kind::SearchStopped:
        return searchStopped();
    case Note::Kind::NotFound:
        return notFound();
    case Note::Kind::Found:
        return found(note.port);
    case Note::Kind::WaitingForAccess:
        return waitingForAccess(note.port);
    case Note::Kind::LockIgnored:
        return note.pid == 0
                ? tr("Файл блокировки %1 не учтён: это не обычный файл").arg(note.port)
                : tr("Файл блокировки %1 не учтён: процесса с номером %2 быть не может")
                          .arg(note.port)
                          .arg(note.pid);
    }
    return {};
}

static QString whatHappened(const Failure &failure, Audience audience)
{
    switch (failure.kind) {
    case Kind::CannotOpen:
    case Kind::LinkLost:
        return LinkWords::problemAdvice(failure.problem, audience);
    case Kind::NoReply:
        return gaveUp(failure.command, failure.waited);
    case Kind::Refused:
        return refused(failure.command, failure.operatingCommand);
    case Kind::NotUnderstood:
        return notUnderstood(failure.command, failure.reply, failure.operatingCommand);
    case Kind::LeftConfiguration:
        return leftConfiguration(failure.command);
    case Kind::OperatingNotConfirmed:
        return operatingNotConfirmed(failure.command);
    case Kind::ReadBackDiffers:
        return readBackDiffers(failure.found, failure.target);
    case Kind::Interrupted:
        return failure.beforeStart
                ? interruptedBeforeStart()
                : interrupted(failure.command, failure.awaiting, failure.byClosing);
    }
    return {};
}

QString advice(const Failure &failure, Audience audience)
{
    const QString text = whatHappened(failure, audience);
    // Whatever stops a write part-way, the user learns what the module took.
    return failure.duringWrite
            ? text + writeLeft(failure.confirmed, failure.operatingCommandSent)
            : text;
}

QString summary(const Failure &failure)
{
    if (failure.kind != Kind::CannotOpen && failure.kind != Kind::LinkLost)
        return {};
    return LinkWords::problemSummary(failure.problem);
}

QString late(const QString &command, bool first)
{
    return first ? tr("Ошибка") : LinkWords::noReplyAdvice(command) + tr(" Ответ всё ещё ожидается.");
}

} // namespace EngineWords
