// What came over the line and what the module holds, as a person is shown it.
#include "enginewords.h"
#include "replyframer.h"

#include "safetext.h"
#include "seriallink.h"

#include <QCoreApplication>
#include <QStringList>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("EngineWords", text);
}
} // namespace

namespace EngineWords {

QString values(const ModuleProtocol::Values &v, Told told)
{
    // A field without a value is named with words that no field's list
    // holds: "паритет none" is a value, "паритет не подтверждён" is not.
    struct Words
    {
        const QString &value;
        const char *known;
        const char *notReported;
        const char *notConfirmed;
    };
    const Words fields[] = {
            {v.baudRate, QT_TRANSLATE_NOOP("EngineWords", "скорость %1"),
             QT_TRANSLATE_NOOP("EngineWords", "скорость не сообщена"),
             QT_TRANSLATE_NOOP("EngineWords", "скорость не подтверждена")},
            {v.stopBits, QT_TRANSLATE_NOOP("EngineWords", "стоп-биты %1"),
             QT_TRANSLATE_NOOP("EngineWords", "стоп-биты не сообщены"),
             QT_TRANSLATE_NOOP("EngineWords", "стоп-биты не подтверждены")},
            {v.parity, QT_TRANSLATE_NOOP("EngineWords", "паритет %1"),
             QT_TRANSLATE_NOOP("EngineWords", "паритет не сообщён"),
             QT_TRANSLATE_NOOP("EngineWords", "паритет не подтверждён")}};
    static const char *const none[] = {
            QT_TRANSLATE_NOOP("EngineWords", "ни одно значение не сообщено"),
            QT_TRANSLATE_NOOP("EngineWords", "ни одно значение не подтверждено")};
    if (v == ModuleProtocol::Values {})
        return tr(none[told == Told::Confirmed ? 1 : 0]);
    QStringList parts;
    for (const Words &f : fields) {
        if (!f.value.isEmpty())
            parts << tr(f.known).arg(f.value);
        else
            parts << tr(told == Told::Confirmed ? f.notConfirmed : f.notReported);
    }
    return parts.join(QStringLiteral(", "));
}

QString sent(const QByteArray &command)
{
    return tr("Передано :") + QString::fromUtf8(command);
}

QString received(const QByteArray &reply, qint64 dropped)
{
    return tr("Получено :") + shownReply(ReplyFramer::decodeReply(reply), dropped);
}

QString appendProblem(const Platform::AppendProblem &problem)
{
    return problem.nobodyReads ? tr("это канал (FIFO), из которого никто не читает")
                               : problem.systemText;
}

QString shownReply(const QString &reply, qint64 droppedBytes)
{
    bool cut = false;
    QString shown = SafeText::escaped(reply, true, EngineWords::maxShownReplyChars, &cut);
    if (cut)
        shown += QChar(0x2026);
    if (droppedBytes > 0)
        shown += tr(" [ответ длиннее %1 байт: ещё %2 байт отброшено]")
                         .arg(ReplyFramer::maxReplyBytes)
                         .arg(droppedBytes);
    return shown;
}

} // namespace EngineWords
