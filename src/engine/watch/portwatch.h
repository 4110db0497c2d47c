#ifndef TAV_PORTWATCH_H
#define TAV_PORTWATCH_H

#include "portaddress.h"
#include "portlist.h"
#include "seriallink.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>

class PortMonitor;
class QTimer;

// The wait for a module's port: a port not seen before (a newly plugged
// adapter), or one fixed slot filled (again). It looks every tick, gives
// up after its limit, and gives a found port the grace a fresh one needs
// before it can be opened. It opens nothing itself.
struct EngineSeam;

class PortWatch : public QObject
{
    Q_OBJECT

public:
    // `listPorts` names the ports; where a `monitor` is given its snapshot
    // is read instead, once it has started (the watch then owns it).
    explicit PortWatch(PortLister listPorts, PortMonitor *monitor = nullptr,
                       QObject *parent = nullptr);

    // Looks for a new port, up to `limit`.
    void start(std::chrono::milliseconds limit);
    // Looks for `port` to be there, up to `limit`; with `goneFirst`, for
    // another device than the one last taken from it.
    void startSlot(const QString &port, std::chrono::milliseconds limit, bool goneFirst);
    // Stops looking and retrying; false if it was not.
    bool stop();
    bool isActive() const;
    // One look at the ports.
    void tick();

    // The found port could not be opened with `problem`: whether it is
    // tried again (retry() follows), within the found port's grace.
    bool retryLater(SerialLink::OpenProblem problem);
    // How often the found port has been tried again.
    int tries() const { return retries; }
    // The found port is opened: no more tries.
    void settle();

    // Ports not offered by the search: those present at the last look,
    // those it connected to while they stay.
    void setKnownPorts(const QStringList &names);
    QStringList currentPorts();
    // Starts watching the ports with no list at hand: the first one comes
    // from the monitor's thread (listed()). False without a monitor.
    bool watchFromNothing();
    // What the system told of the ports at the monitor's last look.
    QList<PortDetails> listedDetails() const;

signals:
    void ticked();
    // Ports that came; the last is the one to open, now (`arrived`) and
    // after each retry.
    void found(const QStringList &ports);
    void arrived(const QString &port);
    void gaveUp();
    // The monitor's port list changed (its first one included).
    void listed(const QStringList &ports);

private:
    // The window's `searchTicks` and `knownPorts` read these.
    friend struct EngineSeam;
    QString slotDevice();
    QStringList arrivedPorts();

    PortLister listPorts;
    PortMonitor *monitor = nullptr;
    bool monitorStarted = false;
    QTimer *find = nullptr;
    QTimer *openRetry = nullptr;
    QStringList known;
    int tickCount = 0;
    int tickLimit = 0;
    QString foundPort;
    int retries = 0;
    QElapsedTimer foundClock;
    // With a fixed slot: the port waited for, whether the device last taken
    // must go first, and which device that was.
    PortAddress slot;
    bool slotMustGo = false;
    QString slotTaken;
};

#endif // TAV_PORTWATCH_H
