#ifndef TAV_EXCHANGELOG_H
#define TAV_EXCHANGELOG_H

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <memory>

class QFile;
class ModuleEngine;

// What passed between the program and the module, and what the user was
// told: one timestamped line per status message, command and reply. Kept in
// memory up to a bound (oldest dropped first) and, when a file is given,
// appended to it line by line as it happens.
class ExchangeLog : public QObject
{
    Q_OBJECT

public:
    // About 10,000 lines of a few dozen characters: a day of commissioning
    // in well under a few megabytes.
    static constexpr int maxLines = 10000;

    explicit ExchangeLog(QObject *parent = nullptr);
    ~ExchangeLog() override;

    // Takes down everything `engine` says, sends and receives from now on.
    void follow(const ModuleEngine *engine);

    void status(const QString &text);
    void sent(const QByteArray &bytes);
    // `dropped`: bytes of the reply beyond what was kept of it.
    void received(const QByteArray &bytes, qint64 dropped = 0);

    QStringList lines() const;
    void clear();

    // Appends every later line to `path`, flushed per line so that nothing
    // is lost if the program is killed. False, with the reason, if it cannot.
    bool appendToFile(const QString &path, QString *error = nullptr);

    // Raw bytes as readable text: printable ASCII as it is, a backslash
    // doubled, every other byte as \xNN.
    static QString escape(const QByteArray &bytes);

signals:
    void lineAdded(const QString &line);
    void cleared();

private:
    void add(const char *direction, const QString &text);

    std::deque<QString> kept;
    std::unique_ptr<QFile> file;
};

#endif // TAV_EXCHANGELOG_H
