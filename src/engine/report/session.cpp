#include "session.h"

#include "modulerecord.h"
#include "exchangelog.h"
#include "portlist.h"
#include "portmonitor.h"
#include "translations.h"

#include <QCoreApplication>

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("Session", text);
}
} // namespace

bool Session::startLanguage(QCoreApplication &app, QString *problem)
{
    const QString language = languageAsked(app.arguments());
    if (installTranslations(app, language))
        return true;
    installTranslations(app, QStringLiteral("ru"));
    if (problem)
        *problem = tr("нет такого языка: %1 (%2)")
                           .arg(language, availableLanguages().join(QStringLiteral(", ")));
    return false;
}

bool Session::openFiles(const Files &files, ExchangeLog &log, ModuleRecord &record,
                        QString *problem, const std::function<void(const QString &)> &tell)
{
    QString said;
    ModuleRecord::Form form;
    if (!ModuleRecord::formNamed(files.recordForm, &form))
        said = tr("--record-format: spreadsheet или rfc4180");
    QString error;
    if (said.isEmpty() && !files.record.isEmpty()) {
        record.setForm(form);
        if (!record.open(files.record, &error))
            said = tr("нельзя писать в файл учёта %1: %2").arg(files.record, error);
    }
    if (said.isEmpty() && !files.log.isEmpty() && !log.appendToFile(files.log, &error))
        said = tr("нельзя писать в файл журнала %1: %2").arg(files.log, error);
    if (!said.isEmpty()) {
        if (problem)
            *problem = said;
        return false;
    }
    if (record.closedATornRow())
        tell(tr("Последняя строка файла учёта %1 была оборвана (запись в него не удалась): "
                "она закрыта, новые строки идут ниже")
                     .arg(files.record));
    QObject::connect(&log, &ExchangeLog::fileFailed, &log, tell);
    QObject::connect(&record, &ModuleRecord::fileFailed, &record, tell);
    return true;
}

PortMonitor *Session::watchSystemPorts()
{
    auto *monitor = new PortMonitor(systemPortNames, PortMonitor::systemWatchedFolders());
    // One enumeration gives the names and what the port list shows of them.
    monitor->describeWith(systemPortDetails);
    return monitor;
}
