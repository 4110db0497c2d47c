#ifndef TAV_EXCHANGELOG_H
#define TAV_EXCHANGELOG_H

#include "linkwords.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>

class QDateTime;
class QFile;
class ModuleEngine;

// What passed between the program and the module, and what the user was
// told: one line per status message, command, reply and message box, each
// stamped with the date, the time and the UTC offset. Kept in memory up to
// a bound (oldest dropped first) and, when a file is given, appended to it
// line by line as it happens.
class ExchangeLog : public QObject
{
    Q_OBJECT

public:
    // About 10,000 lines of a few dozen characters: a day of commissioning
    // in a few megabytes...
    static constexpr int maxLines = 10000;
    // ...and never more characters than that many ordinary lines hold, or
    // a line noise of long replies would fill hundreds of megabytes.
    static constexpr qint64 maxChars = 2000000;
    // A longer line is kept in memory by its beginning and end; the file
    // gets it whole.
    static constexpr int maxLineChars = 1000;

    explicit ExchangeLog(QObject *parent = nullptr);
    ~ExchangeLog() override;

    // Takes down everything `engine` says, sends and receives from now on,
    // and how each exchange ended, in words for `audience`.
    void follow(const ModuleEngine *engine, const LinkWords::Audience &audience);

    void status(const QString &text);
    void sent(const QByteArray &bytes);
    // `dropped`: bytes of the reply beyond what was kept of it.
    void received(const QByteArray &bytes, qint64 dropped = 0);
    // A message box, in one line: its title, text and details.
    void told(const QString &title, const QString &text, const QString &details = {});

    QStringList lines() const;
    void clear();

    // Appends every later line to `path`, flushed per line so that nothing
    // is lost if the program is killed. False, with the reason, if it cannot.
    // A file that later refuses a line is reported once (fileFailed) and
    // written no more; the log itself goes on.
    bool appendToFile(const QString &path, QString *error = nullptr);

    // ISO 8601 with milliseconds and the UTC offset, "2026-12-07T09:15:02.031+03:00".
    static QString timestamp(const QDateTime &at);

signals:
    // `line` as kept (a very long one cut); `count` oldest lines dropped.
    void lineAdded(const QString &line);
    void linesDropped(int count);
    void cleared();
    void fileFailed(const QString &message);
    // A line is about to go to the file: whoever draws on the same terminal
    // (a progress line) makes room first.
    void aboutToWrite();

private:
    void add(const char *direction, const QString &text);

    std::deque<QString> kept;
    qint64 keptChars = 0;
    std::unique_ptr<QFile> file;
    QString filePath;
};

#endif // TAV_EXCHANGELOG_H
