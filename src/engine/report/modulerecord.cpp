#include "modulerecord.h"

#include "enginewords.h"
#include "safetext.h"

#include "filetail.h"
#include "moduleengine.h"
#include "moduleresult.h"
#include "platform.h"
#include "seriallink.h"

#include <QFile>

#include <optional>

namespace {
const QByteArray byteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

QChar separatorOf(ModuleRecord::Form form)
{
    return form == ModuleRecord::Form::Spreadsheet ? QLatin1Char(';') : QLatin1Char(',');
}

// The form of a file that already has its header, told by the header's
// separator alone: an editor may have added a byte-order mark to either.
std::optional<ModuleRecord::Form> formOfFile(const QString &path)
{
    QFile existing(path);
    if (!existing.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray first = existing.readLine(4096);
    if (first.startsWith(byteOrderMark))
        first.remove(0, byteOrderMark.size());
    const QByteArray name = ModuleReport::csvHeader().constFirst().toLatin1();
    if (first.startsWith(name + ';'))
        return ModuleRecord::Form::Spreadsheet;
    if (first.startsWith(name + ','))
        return ModuleRecord::Form::Rfc4180;
    if (first.contains(';') != first.contains(','))
        return first.contains(';') ? ModuleRecord::Form::Spreadsheet : ModuleRecord::Form::Rfc4180;
    return std::nullopt;
}

// One cell: characters that would break or hide something in a line are
// written as codes, as in the log; a text a spreadsheet would run as a
// formula (the module's own hello can say anything) is made plain text.
QString cell(const QString &text)
{
    QString safe = SafeText::escaped(text);
    static const QString formulaStarts = QStringLiteral("=+-@");
    if (!safe.isEmpty() && formulaStarts.contains(safe.at(0)))
        safe.prepend(QLatin1Char('\''));
    // Quoted where either form's separator stands in it: a cell reads the
    // same whichever separator the reader takes.
    if (safe.contains(QLatin1Char(',')) || safe.contains(QLatin1Char(';'))
        || safe.contains(QLatin1Char('"')) || safe.startsWith(QLatin1Char(' '))
        || safe.endsWith(QLatin1Char(' '))) {
        safe.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        safe = QLatin1Char('"') + safe + QLatin1Char('"');
    }
    return safe;
}
} // namespace

ModuleRecord::ModuleRecord(QObject *parent)
    : QObject(parent)
{
}

ModuleRecord::~ModuleRecord() = default;

QString ModuleRecord::nameOf(Form form)
{
    return form == Form::Spreadsheet ? QStringLiteral("spreadsheet") : QStringLiteral("rfc4180");
}

bool ModuleRecord::formNamed(const QString &name, Form *form)
{
    for (const Form f : {Form::Spreadsheet, Form::Rfc4180}) {
        if (name == nameOf(f)) {
            *form = f;
            return true;
        }
    }
    return false;
}

bool ModuleRecord::open(const QString &path, QString *error)
{
    auto out = std::make_unique<QFile>();
    if (!FileTail::openToAppend(*out, path, error))
        return false;
    // A new file gets its header, once, however many programs start on it
    // at the same moment; one that cannot take even that (a full disk) is
    // refused now, before any module is touched.
    const Platform::FileLock lock(*out, std::chrono::seconds(5));
    torn = false;
    if (out->size() == 0) {
        rowForm = newFileForm;
    } else if (const auto form = formOfFile(path)) {
        rowForm = *form;
    } else {
        // Rows in a form its readers do not expect would mix two forms in
        // one file.
        if (error)
            *error = tr("его первая строка - не заголовок файла учёта: не понять, через «;» "
                        "или через «,» писать строки");
        return false;
    }
    if (out->size() > 0 && !FileTail::endsWithLineEnd(path)) {
        // A row torn by an earlier failed write is closed, so that the next
        // row is not glued into it.
        const QByteArray end("\r\n");
        if (out->write(end) != end.size() || !out->flush()) {
            if (error)
                *error = out->errorString();
            return false;
        }
        torn = true;
    }
    if (out->size() == 0) {
        QByteArray header = row(ModuleReport::csvHeader(), rowForm);
        if (rowForm == Form::Spreadsheet)
            header.prepend(byteOrderMark);
        if (out->write(header) != header.size() || !out->flush()) {
            if (error)
                *error = out->errorString();
            return false;
        }
    }
    file = std::move(out);
    filePath = path;
    return true;
}

bool ModuleRecord::isOpen() const
{
    return file != nullptr;
}

QByteArray ModuleRecord::row(const QStringList &fields, Form form)
{
    QStringList cells;
    cells.reserve(fields.size());
    for (const QString &field : fields)
        cells.append(cell(field));
    return (cells.join(separatorOf(form)) + QStringLiteral("\r\n")).toUtf8();
}

void ModuleRecord::add(const ModuleReport &report)
{
    write(row(report.csvFields(), rowForm));
}

void ModuleRecord::write(const QByteArray &bytes)
{
    if (!file)
        return;
    // One write of the whole row: with O_APPEND it lands whole at the end.
    if (file->write(bytes) == bytes.size() && file->flush())
        return;
    const QString qtReason = file->errorString();
    file.reset();
    // What did land of the row is closed with a line end where the file
    // still takes one; the next open() closes it otherwise.
    const QString reason = FileTail::closeAfterFailure(filePath, "\r\n", qtReason);
    emit fileFailed(tr("Запись в файл учёта %1 прекращена: %2").arg(filePath, reason));
}

void ModuleRecord::follow(const ModuleEngine *engine, const LinkWords::Audience &audience)
{
    connect(engine, &ModuleEngine::stateChanged, this, [this, engine] {
        if (engine->isBusy())
            engaged = true;
    });
    onEachEnding(engine, audience, this, [this, engine](const ModuleResult &result) {
        // A link lost while nothing ran ends no module.
        if (!engaged && result.outcome != ModuleResult::Outcome::CannotOpen)
            return;
        engaged = false;
        add(ModuleReport::of(*engine, result));
    });
}
