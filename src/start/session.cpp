#include "session.h"

#include "exchangelog.h"
#include "portlist.h"
#include "portmonitor.h"
#include "translations.h"

#include <QCommandLineParser>
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

Session::SharedOptions::SharedOptions()
    : log(QStringLiteral("log"), QCoreApplication::translate("Session", "Дописывать в FILE журнал обмена с метками времени."),
          QStringLiteral("FILE"))
    , record(QStringLiteral("record"),
             QCoreApplication::translate("Session", "Дописывать в FILE строку CSV на модуль: время, порт, адаптер, ответ на -h, "
                "значения до, заданные, подтверждённые и после, исход, код завершения."),
             QStringLiteral("FILE"))
    , recordForm(QStringLiteral("record-format"),
                 QCoreApplication::translate("Session", "Вид файла учёта: spreadsheet (по умолчанию: через «;», UTF-8 с BOM, "
                    "открывается двойным щелчком в таблице) или rfc4180 (через запятую, для "
                    "программ). Файл, в котором уже есть строки, остаётся своего вида."),
                 QStringLiteral("FORM"), ModuleRecord::nameOf(ModuleRecord::defaultForm))
    , lang(QStringLiteral("lang"),
           QCoreApplication::translate("Session", "Язык всего, что печатает программа: ru (по умолчанию) или en."),
           QStringLiteral("language"), QStringLiteral("ru"))
{
}

Session::Files Session::SharedOptions::files(const QCommandLineParser &parser) const
{
    return {parser.value(log), parser.value(record), parser.value(recordForm)};
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

ModuleEngine::Setup Session::engineSetup(PortLister lister, PortMonitor *monitor, bool watch,
                                         std::chrono::milliseconds giveUpAfter)
{
    if (lister)
        return {std::move(lister), monitor, giveUpAfter};
    return {systemPortNames, monitor ? monitor : watch ? watchSystemPorts() : nullptr,
            giveUpAfter};
}

PortMonitor *Session::watchSystemPorts()
{
    auto *monitor = new PortMonitor(systemPortNames, PortMonitor::systemWatchedFolders());
    // One enumeration gives the names and what the port list shows of them.
    monitor->describeWith(systemPortDetails);
    return monitor;
}
