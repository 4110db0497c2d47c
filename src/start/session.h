#ifndef TAV_SESSION_H
#define TAV_SESSION_H

#include "moduleengine.h"
#include "modulerecord.h"
#include "portlist.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>

QT_BEGIN_NAMESPACE
class QCommandLineParser;
class QCoreApplication;
QT_END_NAMESPACE

class ExchangeLog;
class PortMonitor;

// How both programs begin a run: in the language asked for, with the log
// and the record open before any work, and the system's ports watched
// where a port is waited for.
namespace Session {

// Installs the language the arguments ask for with --lang. One the program
// does not have falls back to Russian; `problem` then says so, and false.
bool startLanguage(QCoreApplication &app, QString *problem);

struct Files
{
    QString log; // empty: no log file
    QString record; // empty: no record
    QString recordForm = ModuleRecord::nameOf(ModuleRecord::defaultForm);
};

// The options both programs take, one declaration: --log, --record,
// --record-format and --lang.
struct SharedOptions
{
    SharedOptions();
    QList<QCommandLineOption> all() const { return {log, record, recordForm, lang}; }
    Files files(const QCommandLineParser &parser) const;

    QCommandLineOption log;
    QCommandLineOption record;
    QCommandLineOption recordForm;
    QCommandLineOption lang;
};

// Opens what `files` names: a file that cannot be written is said at once
// (false, with `problem`), not found missing after a day's work. A file
// that fails later (a full disk) is told through `tell`, once; the work
// goes on.
bool openFiles(const Files &files, ExchangeLog &log, ModuleRecord &record, QString *problem,
               const std::function<void(const QString &)> &tell);

// Watches the system's serial ports, so that waiting for one costs nothing.
PortMonitor *watchSystemPorts();

// The engine's ports as both programs set them up: the system's, watched
// where `watch` (a wait for a port), unless a lister of its own is given
// (a test's), which only a monitor of its own watches.
ModuleEngine::Setup engineSetup(PortLister lister, PortMonitor *monitor, bool watch,
                                std::chrono::milliseconds giveUpAfter = {});

} // namespace Session

#endif // TAV_SESSION_H
