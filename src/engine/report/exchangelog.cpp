#include "exchangelog.h"

#include "safetext.h"

#include "enginewords.h"
#include "filetail.h"
#include "moduleengine.h"
#include "platform.h"
#include "seriallink.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include <cstdlib>

ExchangeLog::ExchangeLog(QObject *parent)
    : QObject(parent)
{
}

ExchangeLog::~ExchangeLog() = default;

void ExchangeLog::follow(const ModuleEngine *engine, const LinkWords::Audience &audience)
{
    connect(engine, &ModuleEngine::noted, this,
            [this, audience](const ModuleEngine::Note &note) { status(EngineWords::say(note, audience)); });
    connect(engine, &ModuleEngine::commandSent, this, &ExchangeLog::sent);
    connect(engine, &ModuleEngine::replyTaken, this, &ExchangeLog::received);
    // How an exchange ended, and, where the status line said it short,
    // what the user is told to do.
    connect(engine, &ModuleEngine::failed, this,
            [this, audience](const ModuleEngine::Failure &failure) {
                const QString summary = EngineWords::summary(failure);
                if (!summary.isEmpty())
                    status(summary);
                status(EngineWords::advice(failure, audience));
            });
    connect(engine, &ModuleEngine::timedOut, this, [this](const QString &command, bool first) {
        status(EngineWords::late(command, first));
        if (first)
            status(LinkWords::noReplyAdvice(command));
    });
}

void ExchangeLog::status(const QString &text)
{
    add("  ", text);
}

void ExchangeLog::sent(const QByteArray &bytes)
{
    add("->", SafeText::escapedBytes(bytes));
}

void ExchangeLog::received(const QByteArray &bytes, qint64 dropped)
{
    QString text = SafeText::escapedBytes(bytes);
    if (dropped > 0)
        text += QCoreApplication::translate("ExchangeLog", " [ещё %1 байт отброшено]").arg(dropped);
    add("<-", text);
}

void ExchangeLog::told(const QString &title, const QString &text, const QString &details)
{
    QStringList parts {text.simplified()};
    if (!details.trimmed().isEmpty())
        parts << details.simplified();
    // Named as a box in the log's language: a title alone ("Critical
    // Error") would read as part of the message.
    add("[]", QCoreApplication::translate("ExchangeLog", "окно «%1»: %2")
                      .arg(title, parts.join(QStringLiteral(" — "))));
}

QStringList ExchangeLog::lines() const
{
    return QStringList(kept.begin(), kept.end());
}

void ExchangeLog::clear()
{
    kept.clear();
    keptChars = 0;
    emit cleared();
}

bool ExchangeLog::appendToFile(const QString &path, QString *error)
{
    auto out = std::make_unique<QFile>();
    if (!FileTail::openToAppend(*out, path, error))
        return false;
    file = std::move(out);
    filePath = path;
    return true;
}

QString ExchangeLog::timestamp(const QDateTime &at)
{
    // Qt writes "Z" for a zero offset and nothing for local time; a log read
    // in another time zone needs the offset spelt out.
    const int offset = at.offsetFromUtc() / 60;
    return at.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))
            + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
            + QStringLiteral("%1:%2")
                      .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
                      .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
}

void ExchangeLog::add(const char *direction, const QString &text)
{
    QString line = timestamp(QDateTime::currentDateTime()) + QLatin1Char(' ')
            + QLatin1String(direction) + QLatin1Char(' ');
    // One event, one line: nothing in a text (a port name, a box's text) may
    // break it or turn it around.
    line += SafeText::escaped(text);

    QString fileError;
    if (file)
        emit aboutToWrite();
    if (file && (file->write(line.toUtf8() + '\n') < 0 || !file->flush())) {
        const QString qtReason = file->errorString();
        file.reset(); // said once; the log goes on in memory
        fileError = FileTail::closeAfterFailure(filePath, "\n", qtReason);
    }

    if (line.size() > maxLineChars) {
        // Its end says how it ended (the bytes dropped from a reply).
        constexpr int tail = 160;
        line = line.left(maxLineChars - tail) + QStringLiteral(" \u2026 ") + line.right(tail);
    }
    kept.push_back(line);
    keptChars += line.size();
    int dropped = 0;
    while (kept.size() > size_t(maxLines) || keptChars > maxChars) {
        keptChars -= kept.front().size();
        kept.pop_front();
        ++dropped;
    }
    if (dropped > 0)
        emit linesDropped(dropped);
    emit lineAdded(line);

    if (!fileError.isEmpty()) {
        const QString message =
                QCoreApplication::translate("ExchangeLog", "Журнал не записывается в файл %1: %2")
                        .arg(filePath, fileError);
        status(message);
        emit fileFailed(message);
    }
}
