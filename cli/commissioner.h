#ifndef TAV_COMMISSIONER_H
#define TAV_COMMISSIONER_H

#include "linkwords.h"
#include "moduleengine.h"
#include "moduleprotocol.h"
#include "moduleresult.h"
#include "portlist.h"
#include "timing.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

QT_BEGIN_NAMESPACE
class QTextStream;
QT_END_NAMESPACE

class ModuleRecord;
class ExchangeLog;
class PortMonitor;
class ProgressLine;
class QTimer;

struct CommissionOptions
{
    enum class Action { Read, Write };
    Action action = Action::Read;
    // The port to use; empty when waiting for a newly plugged adapter.
    QString port;
    // With `port`: wait for that port to be there (and, with `repeat`, to go
    // and come back for each next module) instead of using it at once.
    bool waitForPort = false;
    // Zero: no limit.
    std::chrono::seconds waitTimeout =
            std::chrono::duration_cast<std::chrono::seconds>(Timing::searchLimit);
    // After each module, wait for its adapter to go and for the next one.
    bool repeat = false;
    ModuleProtocol::Values target;
    // Read the values back after writing them, before operating mode.
    bool verify = true;
    // Switch the module into operating mode at the end.
    bool operate = true;
    bool json = false;
};

// The command line's front end on the engine: it starts a read or a write
// (on a named port, or on each adapter plugged in while it waits), and maps
// what the engine reports to result lines, JSON and exit codes. It never
// blocks: start() returns at once and finished() tells the end.
class Commissioner : public QObject
{
    Q_OBJECT

public:
    // `listPorts` names the ports the wait compares: left empty, the
    // system's, watched while a port is waited for; where a `monitor` is
    // given its snapshot is used instead.
    Commissioner(CommissionOptions options, PortLister listPorts, QTextStream &out,
                 QTextStream &err, ExchangeLog *log = nullptr, PortMonitor *monitor = nullptr,
                 QObject *parent = nullptr);
    // Appends a row to `record` at the end of every exchange with a module.
    void keepRecord(ModuleRecord *record);
    // Progress on stderr, rewritten in place, for a terminal as wide as
    // `columns` says at each rewrite.
    void showProgress(std::function<int()> columns);
    ~Commissioner() override;

    void start();
    // Ctrl+C: the step under way gets its reply, nothing more is sent. A
    // second request gives that reply up; the result is printed either way.
    void requestStop();

    // How long a reply that missed its time-out is still waited for, from
    // its command, before the module is given up; the window waits for its
    // user instead.
    static constexpr std::chrono::milliseconds lateReplyLimit {10000};
    // What the command line asks a technician to do next: what to run.
    static LinkWords::Audience audience();

    int modulesDone() const { return done; }
    int modulesFailed() const { return failed; }

signals:
    void finished(int exitCode);

private:
    ModuleEngine::Plan plan() const;
    void startOn(const QString &portName);
    void waitForAdapter();
    void moduleEnded(const ModuleResult &result);
    void afterModule();
    void finish(int code);
    // Progress for the person at the bench: stderr and the log.
    void say(const QString &text);
    void report(const ModuleResult &result);
    void updateProgress();
    void print(QTextStream &to, const QString &line);
    bool waiting() const { return options.port.isEmpty() || options.waitForPort; }

    CommissionOptions options;
    QTextStream &out;
    QTextStream &err;
    ExchangeLog *log = nullptr;
    ModuleEngine *engine = nullptr;
    std::unique_ptr<ProgressLine> progress;
    QTimer *progressTick = nullptr;
    QElapsedTimer sentClock;
    QString modulePort; // the port of the module under way
    int lastCode = ExitCode::done;
    int lastFailure = ExitCode::done;
    bool stopping = false;
    bool ended = false;
    int done = 0;
    int failed = 0;
    int notStarted = 0;
};

#endif // TAV_COMMISSIONER_H
