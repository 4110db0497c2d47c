#include "enginewords.h"

#include "safetext.h"
#include "seriallink.h"

#include <QCoreApplication>
#include <QStringList>

using Told = EngineWords::Told;
using Values = ModuleProtocol::Values;
using Note = ModuleEngine::Note;
using Failure = ModuleEngine::Failure;
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

static QString refusal(Refusal why, const QString &awaited, const Audience &audience)
{
    switch (why) {
    case Refusal::NotConnected:
        return tr("Нет соединения: %1").arg(audience.connect);
    case Refusal::Reading:
        return tr("Идёт чтение: дождитесь его окончания");
    case Refusal::Writing:
        return tr("Идёт запись: дождитесь её окончания");
    case Refusal::Awaiting:
        return tr("Модуль ещё не ответил на «%1»: дождитесь ответа или %2")
                .arg(awaited, audience.stop);
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

static QString searchUnavailable(const Audience &audience)
{
    return tr("Поиск недоступен, пока порт открыт: сначала %1").arg(audience.stop);
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

static QString lockIgnored(const QString &path, qint64 pid)
{
    return pid == 0 ? tr("Файл блокировки %1 не учтён: это не обычный файл").arg(path)
                    : tr("Файл блокировки %1 не учтён: процесса с номером %2 быть не может")
                              .arg(path)
                              .arg(pid);
}

QString say(const Note &note, const Audience &audience)
{
    return std::visit(
            Overloaded {
                    [](const Note::PortOpened &n) { return portOpened(n.port, n.adapter); },
                    [](const Note::ConnectingTo &n) { return connectingTo(n.port); },
                    [](const Note::Disconnected &n) { return disconnected(n.port); },
                    [&audience](const Note::NotStarted &n) {
                        return refusal(n.refusal, n.command, audience);
                    },
                    [](const Note::Started &n) { return started(n.write); },
                    [](const Note::ReadDone &n) { return readDone(n.values); },
                    [](const Note::Written &n) { return written(n.values, n.operating); },
                    [](const Note::Stopping &n) { return stopping(n.command); },
                    [&audience](const Note::SearchUnavailable &) {
                        return searchUnavailable(audience);
                    },
                    [](const Note::SearchStarted &) { return searchStarted(); },
                    [](const Note::WaitingForSlot &n) {
                        return waitingForSlot(n.port, n.goneFirst);
                    },
                    [](const Note::SearchStopped &) { return searchStopped(); },
                    [](const Note::NotFound &) { return notFound(); },
                    [](const Note::Found &n) { return found(n.port); },
                    [](const Note::WaitingForAccess &n) { return waitingForAccess(n.port); },
                    [](const Note::LockIgnored &n) { return lockIgnored(n.path, n.pid); },
            },
            note.what);
}

static QString whatHappened(const Failure &failure, const Audience &audience)
{
    return std::visit(
            Overloaded {
                    [&audience](const Failure::CannotOpen &f) {
                        return LinkWords::problemAdvice(f.problem, audience);
                    },
                    [&audience](const Failure::LinkLost &f) {
                        return LinkWords::problemAdvice(f.problem, audience);
                    },
                    [](const Failure::NoReply &f) { return gaveUp(f.command, f.waited); },
                    [](const Failure::Refused &f) {
                        return refused(f.command, f.operatingCommand);
                    },
                    [](const Failure::NotUnderstood &f) {
                        return notUnderstood(f.command, f.reply, f.operatingCommand);
                    },
                    [](const Failure::LeftConfiguration &f) {
                        return leftConfiguration(f.command);
                    },
                    [](const Failure::OperatingNotConfirmed &f) {
                        return operatingNotConfirmed(f.command);
                    },
                    [](const Failure::ReadBackDiffers &f) {
                        return readBackDiffers(f.found, f.target);
                    },
                    [](const Failure::Interrupted &f) {
                        return f.beforeStart ? interruptedBeforeStart()
                                             : interrupted(f.command, f.awaiting, f.byClosing);
                    },
            },
            failure.what);
}

QString advice(const Failure &failure, const Audience &audience)
{
    const QString text = whatHappened(failure, audience);
    // Whatever stops a write part-way, the user learns what the module took.
    return failure.writeLeft ? text
                    + writeLeft(failure.writeLeft->confirmed,
                                failure.writeLeft->operatingCommandSent)
                             : text;
}

QString summary(const Failure &failure)
{
    if (const auto *f = failure.as<Failure::CannotOpen>())
        return LinkWords::problemSummary(f->problem);
    if (const auto *f = failure.as<Failure::LinkLost>())
        return LinkWords::problemSummary(f->problem);
    return {};
}

QString late(const QString &command, bool first)
{
    return first ? tr("Ошибка") : LinkWords::noReplyAdvice(command) + tr(" Ответ всё ещё ожидается.");
}

} // namespace EngineWords
