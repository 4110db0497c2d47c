#include "exchangelog.h"

#include "moduleengine.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

ExchangeLog::ExchangeLog(QObject *parent)
    : QObject(parent)
{
}

ExchangeLog::~ExchangeLog() = default;

void ExchangeLog::follow(const ModuleEngine *engine)
{
    connect(engine, &ModuleEngine::status, this, &ExchangeLog::status);
    connect(engine, &ModuleEngine::commandSent, this, &ExchangeLog::sent);
    connect(engine, &ModuleEngine::replyTaken, this, &ExchangeLog::received);
}

void ExchangeLog::status(const QString &text)
{
    add("  ", text);
}

void ExchangeLog::sent(const QByteArray &bytes)
{
    add("->", escape(bytes));
}

void ExchangeLog::received(const QByteArray &bytes, qint64 dropped)
{
    QString text = escape(bytes);
    if (dropped > 0)
        text += QCoreApplication::translate("ExchangeLog", " [ещё %1 байт отброшено]").arg(dropped);
    add("<-", text);
}

QStringList ExchangeLog::lines() const
{
    return QStringList(kept.begin(), kept.end());
}

void ExchangeLog::clear()
{
    kept.clear();
    emit cleared();
}

bool ExchangeLog::appendToFile(const QString &path, QString *error)
{
    auto out = std::make_unique<QFile>(path);
    if (!out->open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = out->errorString();
        return false;
    }
    file = std::move(out);
    return true;
}

QString ExchangeLog::escape(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\\')
            text += QStringLiteral("\\\\");
        else if (byte >= 0x20 && byte < 0x7f)
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return text;
}

void ExchangeLog::add(const char *direction, const QString &text)
{
    const QString line = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz "))
            + QLatin1String(direction) + QLatin1Char(' ') + text;
    kept.push_back(line);
    while (kept.size() > size_t(maxLines))
        kept.pop_front();
    if (file) {
        file->write(line.toUtf8() + '\n');
        file->flush();
    }
    emit lineAdded(line);
}
