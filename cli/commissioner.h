#ifndef TAV_COMMISSIONER_H
#define TAV_COMMISSIONER_H

#include "moduleprotocol.h"
#include "portlist.h"

#include <QObject>
#include <QString>

#include <chrono>

QT_BEGIN_NAMESPACE
class QSerialPort;
class QTextStream;
QT_END_NAMESPACE

class ExchangeLog;
class PortMonitor;
class ReplyFramer;

// What the command-line program returns; --help and the README list them.
namespace ExitCode {
constexpr int done = 0;
constexpr int usage = 2;
constexpr int cannotOpen = 3;
constexpr int noReply = 4;
constexpr int refused = 5;
constexpr int notUnderstood = 6;
constexpr int interrupted = 130;
} // namespace ExitCode

struct CommissionOptions
{
    enum class Action { Read, Write };
    Action action = Action::Read;
    // The port to use; empty when waiting for a newly plugged adapter.
    QString port;
    std::chrono::seconds waitTimeout {120};
    // After each module, wait for its adapter to go and for the next one.
    bool repeat = false;
    ModuleProtocol::Values target;
    // Read the values back after writing them, before operating mode.
    bool verify = true;
    // Switch the module into operating mode at the end.
    bool operate = true;
    bool json = false;
};

// Reads or commissions modules through the same engine as the window: the
// port set-up, the reply framing, the command table, the pauses, the
// decision and the search's detection. Runs to the end in run(), which
// spins the event loop it needs; requestStop() (Ctrl+C) ends it between
// steps, never between a command and its reply.
class Commissioner : public QObject
{
    Q_OBJECT

public:
    // `listPorts` names the ports the wait compares (the system's, or a
    // test's); where a `monitor` is given its snapshot is used instead.
    Commissioner(CommissionOptions options, PortLister listPorts, QTextStream &out,
                 QTextStream &err, ExchangeLog *log = nullptr, PortMonitor *monitor = nullptr,
                 QObject *parent = nullptr);
    ~Commissioner() override;

    int run();
    void requestStop() { stopRequested = true; }

    int modulesDone() const { return done; }
    int modulesFailed() const { return failed; }

private:
    struct Result
    {
        int code = ExitCode::done;
        QString message;
        ModuleProtocol::Values before;
        ModuleProtocol::Values after;
        bool haveBefore = false;
        bool haveAfter = false;
    };
    enum class ReplyStatus { Reply, NoReply, LinkLost };

    // Opens `portName` (retried for a while if it was just plugged in), then
    // reads or commissions the module and reports it.
    int commissionOn(const QString &portName, bool justPlugged);
    int runWaiting();
    QString waitForNewPort(int &code);
    bool waitUntilGone(const QString &portName);
    QStringList currentPorts();
    int openPort(const QString &portName, bool retry);
    void closePort();

    Result commission();
    int readValues(ModuleProtocol::Values &values, QString &message, bool startPause);
    int writeValues(QString &message);
    ReplyStatus exchange(const QString &command, QString &reply);
    int failedExchange(ReplyStatus status, const QString &command, QString &message);
    void pause(std::chrono::milliseconds length);
    bool stopping() const { return stopRequested; }
    void report(const QString &portName, const Result &result);
    void status(const QString &text);

    CommissionOptions options;
    PortLister listPorts;
    QTextStream &out;
    QTextStream &err;
    ExchangeLog *log = nullptr;
    PortMonitor *monitor = nullptr;
    QSerialPort *port = nullptr;
    ReplyFramer *framer = nullptr;
    QString lastOpenError;
    bool stopRequested = false;
    int done = 0;
    int failed = 0;
};

#endif // TAV_COMMISSIONER_H
