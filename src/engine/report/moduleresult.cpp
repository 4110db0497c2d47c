#include "moduleresult.h"

#include "enginewords.h"
#include "exchangelog.h"

#include <QCoreApplication>
#include <QJsonValue>
#include <QMetaEnum>

#include <iterator>

using FailureKind = ModuleEngine::FailureKind;

namespace {
using Outcome = ModuleResult::Outcome;

Outcome outcomeOf(FailureKind kind)
{
    switch (kind) {
    case FailureKind::CannotOpen:
        return Outcome::CannotOpen;
    case FailureKind::NoReply:
    case FailureKind::LinkLost:
        return Outcome::NoReply;
    case FailureKind::Refused:
        return Outcome::Refused;
    case FailureKind::Interrupted:
        return Outcome::Interrupted;
    case FailureKind::NotUnderstood:
    case FailureKind::LeftConfiguration:
    case FailureKind::OperatingNotConfirmed:
    case FailureKind::ReadBackDiffers:
        break;
    }
    return Outcome::NotUnderstood;
}

// "ReadBackDiffers" -> "read-back-differs": the engine's own names, spelt
// as programs on the other end expect.
QString nameOf(FailureKind kind)
{
    const QString name = QString::fromLatin1(
            QMetaEnum::fromType<FailureKind>().valueToKey(int(kind)));
    QString spelt;
    for (const QChar c : name) {
        if (c.isUpper() && !spelt.isEmpty())
            spelt += QLatin1Char('-');
        spelt += c.toLower();
    }
    return spelt;
}

QJsonValue orNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

// Numbers where the module's values are numbers: programs compare them so.
QJsonValue toJson(const ModuleProtocol::Values &v)
{
    const auto number = [](const QString &text) {
        bool ok = false;
        const double n = text.toDouble(&ok);
        return ok ? QJsonValue(n) : orNull(text);
    };
    return QJsonObject {{QStringLiteral("baudRate"), number(v.baudRate)},
                        {QStringLiteral("stopBits"), number(v.stopBits)},
                        {QStringLiteral("parity"), orNull(v.parity)}};
}

QString yesNo(bool yes)
{
    return yes ? QStringLiteral("true") : QStringLiteral("false");
}
} // namespace

namespace {
// Each outcome as programs name it, and the command line's exit code for it,
// in the order of ModuleResult::Outcome.
struct OutcomeFacts
{
    const char *name;
    int exitCode;
};
constexpr OutcomeFacts outcomes[] = {
        {"done", ExitCode::done},         {"cannot-open", ExitCode::cannotOpen},
        {"no-reply", ExitCode::noReply},  {"refused", ExitCode::refused},
        {"not-understood", ExitCode::notUnderstood}, {"interrupted", ExitCode::interrupted}};
static_assert(std::size(outcomes) == size_t(Outcome::Interrupted) + 1);
} // namespace

QString ModuleResult::outcomeName() const
{
    return QLatin1String(outcomes[int(outcome)].name);
}

int ModuleResult::exitCode() const
{
    return outcomes[int(outcome)].exitCode;
}

ModuleResult ModuleResult::ofRead(const ModuleProtocol::Values &values)
{
    if (values.isComplete())
        return {};
    return {Outcome::NotUnderstood, QStringLiteral("incomplete-read"),
            QCoreApplication::translate("ModuleResult", "Модуль сообщил не все значения: %1")
                    .arg(EngineWords::values(values, EngineWords::Told::Reported))};
}

ModuleResult ModuleResult::of(const ModuleEngine::Failure &failure, const LinkWords::Audience &audience)
{
    const auto *interrupted = failure.as<ModuleEngine::Failure::Interrupted>();
    const bool notStarted = interrupted && interrupted->beforeStart;
    return {outcomeOf(failure.kind()),
            notStarted ? QStringLiteral("not-started") : nameOf(failure.kind()),
            EngineWords::advice(failure, audience), !notStarted};
}

void onEachEnding(const ModuleEngine *engine, const LinkWords::Audience &audience, QObject *context,
                  const std::function<void(const ModuleResult &)> &ended)
{
    QObject::connect(engine, &ModuleEngine::readFinished, context,
                     [ended](const ModuleProtocol::Values &v) { ended(ModuleResult::ofRead(v)); });
    QObject::connect(engine, &ModuleEngine::written, context,
                     [ended] { ended(ModuleResult::ofWrite()); });
    QObject::connect(engine, &ModuleEngine::failed, context,
                     [ended, audience](const ModuleEngine::Failure &f) {
                         ended(ModuleResult::of(f, audience));
                     });
}

ModuleReport ModuleReport::of(const ModuleEngine &engine, const ModuleResult &result)
{
    // Every report of one ending, printed or kept, bears the same time.
    const QDateTime ended = engine.record().ended;
    return {ended.isValid() ? ended : QDateTime::currentDateTime(), engine.portName(), engine.adapter(), engine.record(),
            result};
}

bool ModuleReport::haveAfter() const
{
    return record.haveAfter || (record.write && result.outcome == Outcome::Done);
}

ModuleProtocol::Values ModuleReport::after() const
{
    if (!haveAfter())
        return {};
    return record.haveAfter ? record.after : record.confirmed;
}

QJsonObject ModuleReport::toJson() const
{
    const bool write = record.write;
    return {{QStringLiteral("time"), ExchangeLog::timestamp(time)},
            {QStringLiteral("action"), write ? QStringLiteral("write") : QStringLiteral("read")},
            {QStringLiteral("port"), port},
            {QStringLiteral("serialNumber"), orNull(adapter.serialNumber)},
            {QStringLiteral("usbId"), orNull(adapter.usbId)},
            {QStringLiteral("hello"), orNull(record.hello)},
            {QStringLiteral("before"), record.haveBefore ? ::toJson(record.before) : QJsonValue()},
            {QStringLiteral("requested"), write ? ::toJson(record.requested) : QJsonValue()},
            {QStringLiteral("confirmed"), write ? ::toJson(record.confirmed) : QJsonValue()},
            {QStringLiteral("after"), haveAfter() ? ::toJson(after()) : QJsonValue()},
            {QStringLiteral("operatingModeSent"),
             write ? QJsonValue(record.operatingCommandSent) : QJsonValue()},
            {QStringLiteral("operating"),
             write && record.operatingKnown() ? QJsonValue(record.operating) : QJsonValue()},
            {QStringLiteral("outcome"), result.outcomeName()},
            {QStringLiteral("failure"), orNull(result.failure)},
            {QStringLiteral("exitCode"), result.exitCode()},
            {QStringLiteral("message"), orNull(result.message)}};
}

QStringList ModuleReport::csvHeader()
{
    QStringList header {QStringLiteral("time"),          QStringLiteral("action"),
                        QStringLiteral("port"),          QStringLiteral("serial_number"),
                        QStringLiteral("usb_id"),        QStringLiteral("hello")};
    for (const char *values : {"before", "requested", "confirmed", "after"}) {
        for (const char *field : {"baud_rate", "stop_bits", "parity"})
            header << QStringLiteral("%1_%2").arg(QLatin1String(values), QLatin1String(field));
    }
    header << QStringLiteral("operating_mode_sent") << QStringLiteral("operating")
           << QStringLiteral("outcome") << QStringLiteral("failure")
           << QStringLiteral("exit_code") << QStringLiteral("message");
    return header;
}

QStringList ModuleReport::csvFields() const
{
    const bool write = record.write;
    QStringList fields {ExchangeLog::timestamp(time),
                        write ? QStringLiteral("write") : QStringLiteral("read"),
                        port,
                        adapter.serialNumber,
                        adapter.usbId,
                        record.hello};
    const ModuleProtocol::Values none;
    const ModuleProtocol::Values end = after();
    for (const ModuleProtocol::Values *v : {&record.before, write ? &record.requested : &none,
                                            write ? &record.confirmed : &none, &end}) {
        fields << v->baudRate << v->stopBits << v->parity;
    }
    fields << (write ? yesNo(record.operatingCommandSent) : QString())
           << (write && record.operatingKnown() ? yesNo(record.operating) : QString())
           << result.outcomeName() << result.failure
           << QString::number(result.exitCode()) << result.message;
    return fields;
}
