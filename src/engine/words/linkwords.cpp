#include "linkwords.h"
#include "replyframer.h"

#include <QCoreApplication>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("LinkWords", text);
}
} // namespace

QString LinkWords::withSystemText(const QString &advice, const QString &systemText)
{
    // A sentence of its own, so that whatever follows does not run into it.
    QString said = systemText.trimmed();
    while (said.endsWith(QLatin1Char('.')))
        said.chop(1);
    return said.isEmpty() ? advice : advice + QLatin1Char(' ') + tr("Система сообщает: %1.").arg(said);
}

QString LinkWords::openFailureAdvice(SerialLink::OpenProblem problem, const QString &portName,
                                      const QString &systemText, const Audience &audience)
{
    if (portName.isEmpty())
        return tr("Порт не выбран: выберите порт в списке или %1.").arg(audience.findPorts);
    QString advice;
    switch (problem) {
    case SerialLink::OpenProblem::NoAccess: // a Unix device's rights; Windows has no such case
#ifdef Q_OS_UNIX
        advice = tr("Нет доступа к порту %1. Добавьте пользователя в группу dialout "
                    "(sudo usermod -aG dialout $USER) и войдите в систему заново.");
#else
        advice = tr("Нет доступа к порту %1.");
#endif
        break;
    case SerialLink::OpenProblem::Busy:
#ifdef Q_OS_LINUX
        advice = tr("Порт %1 занят другой программой. Закройте её и попробуйте снова; "
                    "в Linux порт часто держат ModemManager или brltty.");
#else
        advice = tr("Порт %1 занят другой программой. Закройте её и попробуйте снова.");
#endif
        break;
    case SerialLink::OpenProblem::NotFound:
        advice = tr("Порт %1 не найден: адаптер отключён или имя порта неверно. "
                    "Подключите адаптер и %2.")
                         .arg(QStringLiteral("%1"), audience.findPorts);
        if (!noAdapterHint().isEmpty())
            advice += QLatin1Char(' ') + noAdapterHint();
        break;
    case SerialLink::OpenProblem::Other:
        advice = tr("Не удалось открыть порт %1.");
        break;
    }
    return withSystemText(advice.arg(portName), systemText);
}

QString LinkWords::portNameExamples()
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM5, COM12");
#else
    return QStringLiteral("ttyUSB0, /dev/serial/by-id/...");
#endif
}

QString LinkWords::slotExample()
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM5");
#else
    // A bench slot is a USB socket: by-path names it for every adapter
    // plugged there, by-id only one adapter.
    return QStringLiteral("/dev/serial/by-path/...");
#endif
}

QString LinkWords::noAdapterHint()
{
#ifdef Q_OS_WIN
    return tr("Если адаптер подключён, но его COM-порта нет в «Диспетчере устройств» "
              "(раздел «Порты (COM и LPT)»), а сам адаптер стоит в «Других устройствах» "
              "или с жёлтым знаком, установите драйвер адаптера.");
#else
    return {};
#endif
}

QString LinkWords::noReplyAdvice(const QString &command)
{
    return tr("Модуль не ответил на команду «%1» за %2\u00a0с. Проверьте питание модуля, "
              "подключение линий A и B, выбранный порт и что модуль в режиме настройки.")
            .arg(command)
            .arg(ReplyFramer::replyTimeout.count() / 1000);
}

QString LinkWords::linkLostAdvice(const QString &portName, const QString &systemText,
                                  const Audience &audience)
{
    const QString advice =
            tr("Связь с портом %1 потеряна: адаптер отключён. Подключите его и %2.")
                    .arg(portName, audience.retry);
    return withSystemText(advice, systemText);
}

QString LinkWords::networkAdvice(NetworkLink::Problem problem, const PortAddress &address,
                                const QString &systemText, const Audience &audience)
{
    const QString &name = address.name();
    const QString where = address.where();
    QString text;
    QString said = systemText;
    switch (problem) {
    case NetworkLink::Problem::BadName:
        text = tr("Имя сетевого порта «%1» неполно: нужно socket://АДРЕС:ПОРТ или "
                  "rfc2217://АДРЕС:ПОРТ.")
                       .arg(name);
        break;
    case NetworkLink::Problem::HostNotFound:
        text = tr("Адрес %1 не найден: проверьте имя или IP-адрес шлюза и настройки сети (DNS).")
                       .arg(address.isValid() ? address.host() : name);
        break;
    case NetworkLink::Problem::TurnedAway:
        said = tr("шлюз ответил «%1»").arg(systemText);
        Q_FALLTHROUGH();
    case NetworkLink::Problem::Refused:
        text = tr("Шлюз %1 отказал в соединении: проверьте номер TCP-порта, что порт шлюза "
                  "включён (режим «TCP-сервер» или RFC 2217) и что к нему не подключён другой "
                  "клиент.")
                       .arg(where);
        break;
    case NetworkLink::Problem::TimedOut:
        text = tr("Шлюз %1 не ответил за %2\u00a0с: проверьте, что он включён и доступен по сети "
                  "(ping), его адрес и межсетевой экран.")
                       .arg(where)
                       .arg(NetworkLink::connectLimit.count() / 1000);
        break;
    case NetworkLink::Problem::Lost:
        text = tr("Соединение со шлюзом %1 потеряно: проверьте сеть и питание шлюза и %2.")
                       .arg(where, audience.retry);
        break;
    case NetworkLink::Problem::NoComPortAnswer:
    case NetworkLink::Problem::NoComPort:
        said = problem == NetworkLink::Problem::NoComPort
                ? tr("сервер отказался от COM-PORT-OPTION")
                : tr("нет ответа на COM-PORT-OPTION");
        text = tr("Шлюз %1 не поддерживает RFC 2217 (COM-PORT-OPTION): похоже, его порт в "
                  "режиме «raw» («TCP-сервер»). Включите на шлюзе RFC 2217 или откройте порт "
                  "как socket://%1, задав на шлюзе 9600 бод, 8N1.")
                       .arg(where);
        break;
    }
    return withSystemText(text, said);
}

namespace LinkWords {

// What the system said of a port that cannot be opened, or who holds it.
static QString systemSaid(const ModuleLink::Problem &problem)
{
    using Kind = Platform::Holder::Kind;
    const Platform::Holder h = problem.serial() ? problem.serial()->holder : Platform::Holder {};
    const QString process = h.program.isEmpty() ? tr("процесс %1").arg(h.pid)
                                                : tr("%1, процесс %2").arg(h.program).arg(h.pid);
    switch (h.kind) {
    case Kind::None:
        break;
    case Kind::Flock:
        return h.pid > 0 ? tr("его держит %1 (flock)").arg(process)
                         : tr("его держит другая программа (вызовом flock())");
    case Kind::LockFile:
        return tr("файл блокировки %1: %2").arg(h.path, process);
    case Kind::UnreadableLockFile:
        return tr("файл блокировки %1 есть, но прочитать его нельзя (%2): чей он, неизвестно")
                .arg(h.path, h.error);
    case Kind::BlockingLockFile:
        return tr("файл блокировки %1 — не обычный файл (канал или устройство): порт не открыть, "
                  "пока этот файл не удалён")
                .arg(h.path);
    }
    return problem.systemText;
}

} // namespace LinkWords

QString LinkWords::problemSummary(const ModuleLink::Problem &problem)
{
    // A gateway's problem is told whole by its advice.
    if (problem.address.isGateway())
        return {};
    if (problem.kind == ModuleLink::Problem::Kind::Lost)
        return tr("Связь с портом %1 потеряна: %2").arg(problem.address.name(), problem.systemText);
    QString reason = systemSaid(problem);
    if (problem.address.name().isEmpty()) {
        reason = tr("порт не выбран");
    } else {
#ifdef Q_OS_LINUX
        const auto why = problem.serial() ? problem.serial()->why : SerialLink::OpenProblem::Other;
        if (why == SerialLink::OpenProblem::NoAccess)
            reason += tr(" (нет прав: добавьте пользователя в группу dialout и войдите заново)");
        else if (why == SerialLink::OpenProblem::Busy)
            reason += tr(" (порт занят другой программой)");
#endif
    }
    return tr("Не удалось открыть порт %1: %2").arg(problem.address.name(), reason);
}

QString LinkWords::problemAdvice(const ModuleLink::Problem &problem, const Audience &audience)
{
    if (const auto *gateway = std::get_if<NetworkLink::Problem>(&problem.why))
        return networkAdvice(*gateway, problem.address, problem.systemText, audience);
    if (problem.kind == ModuleLink::Problem::Kind::Lost)
        return linkLostAdvice(problem.address.name(), problem.systemText, audience);
    return openFailureAdvice(problem.serial()->why, problem.address.name(),
                                        problem.address.name().isEmpty() ? QString() : systemSaid(problem),
                                        audience);
}
