#include "enginewords.h"

#include "seriallink.h"

#include <QCoreApplication>
#include <QStringList>

using Told = ModuleProtocol::Values::Told;

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("EngineWords", text);
}

// The adapter as the connect line names it, so that a log tells which of
// a batch's adapters it was: " (адаптер: серийный номер …, USB …)".
QString adapterText(const PortDetails &adapter)
{
    QStringList facts;
    if (!adapter.serialNumber.isEmpty())
        facts << tr("серийный номер %1").arg(adapter.serialNumber);
    if (!adapter.usbId.isEmpty())
        facts << tr("USB %1").arg(adapter.usbId);
    return facts.isEmpty() ? QString()
                           : tr(" (адаптер: %1)").arg(facts.join(QStringLiteral(", ")));
}
} // namespace

QString EngineWords::portOpened(const QString &port, const PortDetails &adapter)
{
    return tr("Порт %1 открыт").arg(port) + adapterText(adapter);
}

QString EngineWords::connectingTo(const QString &port)
{
    return tr("Соединение с %1…").arg(port);
}

QString EngineWords::disconnected(const QString &port)
{
    return tr("Отключено от порта %1").arg(port);
}

QString EngineWords::linkProblem(const ModuleLink::Problem &problem)
{
    // A gateway's problem is told whole by its advice.
    if (problem.network)
        return {};
    if (problem.kind == ModuleLink::Problem::Kind::Lost)
        return tr("Связь с портом %1 потеряна: %2").arg(problem.port, problem.systemText);
    QString reason = problem.systemText;
    if (problem.port.isEmpty()) {
        reason = tr("порт не выбран");
    } else {
#ifdef Q_OS_LINUX
        if (problem.serial == SerialLink::OpenProblem::NoAccess)
            reason += tr(" (нет прав: добавьте пользователя в группу dialout и войдите заново)");
        else if (problem.serial == SerialLink::OpenProblem::Busy)
            reason += tr(" (порт занят другой программой)");
#endif
    }
    return tr("Не удалось открыть порт %1: %2").arg(problem.port, reason);
}

QString EngineWords::linkAdvice(const ModuleLink::Problem &problem, LinkWords::Audience audience)
{
    if (problem.network)
        return LinkWords::networkAdvice(problem.gateway, problem.port, problem.systemText,
                                        audience);
    if (problem.kind == ModuleLink::Problem::Kind::Lost)
        return LinkWords::linkLostAdvice(problem.port, problem.systemText, audience);
    return LinkWords::openFailureAdvice(problem.serial, problem.port,
                                        problem.port.isEmpty() ? QString() : problem.systemText,
                                        audience);
}

QString EngineWords::refusal(Refusal why, const QString &awaited)
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

QString EngineWords::started(bool write)
{
    return write ? tr("Запись начата") : tr("Чтение начато");
}

QString EngineWords::sent(const QString &command)
{
    return tr("Передано :") + command;
}

QString EngineWords::received(const QString &shownReply)
{
    return tr("Получено :") + shownReply;
}

QString EngineWords::readDone(const Values &values)
{
    return tr("Чтение завершено: %1").arg(values.text(Told::Reported));
}

QString EngineWords::readBackDiffers(const Values &after, const Values &target)
{
    return tr("Считано после записи: %1, а записано: %2. Модуль не переведен в режим "
              "работы.")
            .arg(after.text(Told::Reported), target.text(Told::Reported));
}

QString EngineWords::operatingNotConfirmed(const QString &command)
{
    return tr("Модуль ответил «Ok» на «%1» вместо «module is working»: неизвестно, "
              "перешёл ли он в режим работы. Проверьте модуль и запишите настройки снова.")
            .arg(command);
}

QString EngineWords::refused(const QString &command, bool operatingCommand)
{
    return (operatingCommand ? tr("Модуль отклонил команду «%1»: он не переведен в режим работы.")
                             : tr("Модуль отклонил команду «%1». Запись остановлена, модуль не "
                                  "переведен в режим работы."))
            .arg(command);
}

QString EngineWords::leftConfiguration(const QString &command)
{
    return tr("Модуль перешёл в режим работы в ответ на «%1», не подтвердив все значения: "
              "запись не завершена. Переведите модуль в режим настройки и запишите "
              "настройки снова.")
            .arg(command);
}

QString EngineWords::notUnderstood(const QString &command, const QString &shownReply)
{
    return tr("Ответ на команду «%1» не распознан: «%2». Запись остановлена, модуль не "
              "переведен в режим работы.")
            .arg(command, shownReply);
}

QString EngineWords::written(const Values &confirmed, bool operating)
{
    const QString values = confirmed.text(Told::Confirmed);
    return operating ? tr("Записано: %1. Модуль переведен в режим работы.").arg(values)
                     : tr("Записано: %1. Режим работы не включён.").arg(values);
}

QString EngineWords::writeLeft(const Values &confirmed, bool operatingCommandSent)
{
    const QString operating =
            operatingCommandSent ? tr("«%1» отправлена") : tr("«%1» не отправлена");
    const QString sent = operating.arg(ModuleProtocol::operatingModeCommand);
    if (confirmed == Values {})
        return tr(" Модуль не подтвердил ни одного значения; %1.").arg(sent);
    return tr(" Модуль подтвердил: %1; %2.").arg(confirmed.text(Told::Confirmed), sent);
}

QString EngineWords::interrupted(const QString &command, bool awaiting, bool byClosing)
{
    if (byClosing)
        return awaiting ? tr("Прервано отключением: ответ на «%1» не дождались.").arg(command)
                        : tr("Прервано отключением после ответа на «%1».").arg(command);
    return awaiting
            ? tr("Прервано: ответ на «%1» не дождались.").arg(command)
            : tr("Прервано после ответа на «%1»: больше ничего не отправлено.").arg(command);
}

QString EngineWords::interruptedBeforeStart()
{
    return tr("Прервано до начала обмена: ничего не отправлено.");
}

QString EngineWords::stopping(const QString &command)
{
    return tr("Остановка: после ответа на «%1» ничего больше не будет отправлено").arg(command);
}

QString EngineWords::late(const QString &advice, bool first)
{
    return first ? tr("Ошибка") : advice + tr(" Ответ всё ещё ожидается.");
}

QString EngineWords::gaveUp(const QString &command, std::chrono::milliseconds after)
{
    // Said apart from the time-out, which told the same advice already.
    return LinkWords::noReplyAdvice(command)
            + tr(" Ответ не пришёл и за %1\u00a0с после команды: модуль пропущен.")
                      .arg(after.count() / 1000);
}

QString EngineWords::searchUnavailable()
{
    return tr("Поиск недоступен, пока порт открыт: сначала нажмите «Отключиться»");
}

QString EngineWords::searchStarted()
{
    return tr("Поиск начат");
}

QString EngineWords::waitingForSlot(const QString &port, bool goneFirst)
{
    return goneFirst ? tr("Ожидание, пока порт %1 исчезнет и появится снова").arg(port)
                     : tr("Ожидание порта %1").arg(port);
}

QString EngineWords::searchStopped()
{
    return tr("Поиск остановлен");
}

QString EngineWords::notFound()
{
    const QString hint = LinkWords::noAdapterHint();
    return hint.isEmpty() ? tr("Модуль не найден") : tr("Модуль не найден. %1").arg(hint);
}

QString EngineWords::found(const QString &port)
{
    return tr("Найден порт %1").arg(port);
}

QString EngineWords::waitingForAccess(const QString &port)
{
    return tr("Найден порт %1, ожидание доступа к нему").arg(port);
}
