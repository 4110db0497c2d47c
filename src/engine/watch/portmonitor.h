#ifndef TAV_PORTMONITOR_H
#define TAV_PORTMONITOR_H

#include "portlist.h"

#include <QObject>
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>

#include <chrono>

class QFileSystemWatcher;
class QTimer;

// Keeps a current snapshot of the serial port names without ever enumerating
// on the caller's thread: enumeration can take tens of milliseconds (it walks
// every tty the system has), so it runs on a worker thread and its result
// comes back queued. Where a folder can be watched (/dev on Linux), a change
// in it triggers the enumeration and nothing runs between changes; elsewhere
// (Windows) the owner calls poll() on its own tick, and an enumeration runs
// at most once a pollInterval and never two at a time.
class PortMonitor : public QObject
{
    Q_OBJECT

public:
    // `enumerate` is called on the worker thread only.
    PortMonitor(PortLister enumerate, const QStringList &watchedFolders,
                QObject *parent = nullptr);
    ~PortMonitor() override;

    // The folders whose changes mean a port may have come or gone: /dev on
    // Linux; none where device nodes cannot be watched (Windows, macOS).
    static QStringList systemWatchedFolders();

    // Starts watching with `initial` as the snapshot (an enumeration the
    // owner already has), then enumerates once in the background.
    void start(const QStringList &initial = {});
    bool hasSnapshot() const { return snapshotTaken; }
    QStringList snapshot() const { return ports; }
    // With a `describe`r (called on the worker thread instead of
    // `enumerate`), each snapshot keeps what the system tells of its ports.
    void describeWith(std::function<QList<PortDetails>()> describe) { describer = std::move(describe); }
    QList<PortDetails> details() const { return described; }
    bool isWatching() const;

    // An enumeration of Windows' ports (SetupAPI and the registry) costs a
    // few milliseconds of the worker's time; a newly plugged module needs
    // seconds to start, so a second's delay in noticing it costs nothing.
    static constexpr std::chrono::milliseconds pollInterval {1000};

    // For an owner's periodic tick: where nothing is watched, asks for a
    // fresh enumeration unless one is running or ran less than a
    // pollInterval ago.
    void poll();
    // Asks for a fresh enumeration; requests made while one runs are merged.
    void rescan();

signals:
    void portsChanged(const QStringList &ports);

private:
    void onEnumerated(const QStringList &names, const QList<PortDetails> &details);

    PortLister enumerate;
    std::function<QList<PortDetails>()> describer;
    QList<PortDetails> described;
    QStringList folders;
    QThread worker;
    QObject *runner = nullptr; // lives on the worker thread
    QFileSystemWatcher *watcher = nullptr;
    // A second look shortly after a change: udev may still be naming the
    // device, and a node may come a moment after its folder changed.
    QTimer *settleTimer = nullptr;
    QStringList ports;
    QElapsedTimer sinceScan; // since the last enumeration began
    bool snapshotTaken = false;
    bool running = false;
    bool rescanPending = false;
};

#endif // TAV_PORTMONITOR_H
