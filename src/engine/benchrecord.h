#ifndef TAV_BENCHRECORD_H
#define TAV_BENCHRECORD_H

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

QT_BEGIN_NAMESPACE
class QFile;
QT_END_NAMESPACE

class ModuleEngine;
struct ModuleReport;

// The commissioning record: one CSV row (RFC 4180) appended per module, the
// header once at the top of a new file, each row written whole and flushed
// at once, so a run that is killed loses nothing and two programs appending
// to one file do not mix their rows.
class BenchRecord : public QObject
{
    Q_OBJECT

public:
    explicit BenchRecord(QObject *parent = nullptr);
    ~BenchRecord() override;

    // False, with the reason, if `path` cannot be appended to.
    bool open(const QString &path, QString *error = nullptr);
    bool isOpen() const;

    void add(const ModuleReport &report);
    // A row at the end of each of `engine`'s exchanges, and for each port it
    // could not open; nothing for a link lost while no exchange ran.
    void follow(const ModuleEngine *engine);

    // One row as written, with its line end.
    static QByteArray row(const QStringList &fields);

signals:
    // The file stopped taking rows; told once, nothing more is written.
    void fileFailed(const QString &message);

private:
    void write(const QByteArray &bytes);

    std::unique_ptr<QFile> file;
    QString filePath;
    bool engaged = false;
};

#endif // TAV_BENCHRECORD_H
