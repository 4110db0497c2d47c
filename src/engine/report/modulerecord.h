#ifndef TAV_MODULERECORD_H
#define TAV_MODULERECORD_H

#include "linkwords.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

QT_BEGIN_NAMESPACE
class QFile;
QT_END_NAMESPACE

class ModuleEngine;
struct ModuleReport;

// The commissioning record: one CSV row appended per module, the header once
// at the top of a new file, each row written whole and flushed at once, so a
// run that is killed loses nothing and two programs appending to one file do
// not mix their rows.
//
// Two forms. For a spreadsheet (the default): cells apart by ';' in UTF-8
// with a byte-order mark, which a spreadsheet with Russian (or any European)
// regional settings opens by a double-click, one value per cell, Cyrillic
// readable. For programs: RFC 4180, ',' and no byte-order mark. A file that
// already has rows keeps its own form.
class ModuleRecord : public QObject
{
    Q_OBJECT

public:
    enum class Form { Spreadsheet, Rfc4180 };
    static constexpr Form defaultForm = Form::Spreadsheet;
    // "spreadsheet" or "rfc4180", as the option names the form.
    static QString nameOf(Form form);

    explicit ModuleRecord(QObject *parent = nullptr);
    ~ModuleRecord() override;

    // The form of a new file; set before open().
    void setForm(Form form) { newFileForm = form; }
    // "spreadsheet" or "rfc4180"; false for another name.
    static bool formNamed(const QString &name, Form *form);

    // False, with the reason, if `path` cannot be appended to.
    bool open(const QString &path, QString *error = nullptr);
    bool isOpen() const;
    // open() found the file's last row torn (no line end) and closed it.
    bool closedATornRow() const { return torn; }

    void add(const ModuleReport &report);
    // A row at the end of each of `engine`'s exchanges, and for each port it
    // could not open; nothing for a link lost while no exchange ran.
    void follow(const ModuleEngine *engine, const LinkWords::Audience &audience);

    // One row as written, with its line end.
    static QByteArray row(const QStringList &fields, Form form);

signals:
    // The file stopped taking rows; told once, nothing more is written.
    void fileFailed(const QString &message);

private:
    void write(const QByteArray &bytes);

    std::unique_ptr<QFile> file;
    QString filePath;
    Form newFileForm = defaultForm;
    Form rowForm = defaultForm;
    bool engaged = false;
    bool torn = false;
};

#endif // TAV_MODULERECORD_H
