#include "portmonitor.h"

#include "logging.h"

#include <QFileSystemWatcher>
#include <QTimer>

#include <chrono>
#include <utility>

using namespace std::chrono_literals;

namespace {
constexpr auto settleDelay = 300ms;
} // namespace

PortMonitor::PortMonitor(PortLister enumerate, const QStringList &watchedFolders,
                         QObject *parent)
    : QObject(parent)
    , enumerate(std::move(enumerate))
    , folders(watchedFolders)
{
    worker.setObjectName(QStringLiteral("PortMonitor"));
    runner = new QObject;
    runner->moveToThread(&worker);
    connect(&worker, &QThread::finished, runner, &QObject::deleteLater);

    settleTimer = new QTimer(this);
    settleTimer->setSingleShot(true);
    settleTimer->setInterval(settleDelay);
    connect(settleTimer, &QTimer::timeout, this, &PortMonitor::rescan);
}

PortMonitor::~PortMonitor()
{
    // A monitor that was never started has no thread to delete its runner:
    // a wait on a fixed path, which looks at the path itself, never starts it.
    if (!worker.isRunning() && !worker.isFinished()) {
        delete runner;
        return;
    }
    worker.quit();
    worker.wait();
}

QStringList PortMonitor::systemWatchedFolders()
{
#ifdef Q_OS_LINUX
    return {QStringLiteral("/dev")};
#else
    return {};
#endif
}

void PortMonitor::start(const QStringList &initial)
{
    if (worker.isRunning())
        return;
    worker.start(QThread::LowPriority);
    if (!folders.isEmpty()) {
        watcher = new QFileSystemWatcher(this);
        watcher->addPaths(folders);
        connect(watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
            rescan();
            settleTimer->start();
        });
    }
    if (!initial.isEmpty()) {
        ports = initial;
        snapshotTaken = true;
    }
    rescan();
}

bool PortMonitor::isWatching() const
{
    return watcher && !watcher->directories().isEmpty();
}

void PortMonitor::poll()
{
    if (!isWatching() && !(sinceScan.isValid() && sinceScan.elapsed() < pollInterval.count()))
        rescan();
}

void PortMonitor::rescan()
{
    if (!worker.isRunning())
        return;
    if (running) {
        rescanPending = true;
        return;
    }
    running = true;
    sinceScan.start();
    // The destructor waits for the worker, so `this` outlives the call; the
    // result is posted back and dropped with the monitor if it is gone by then.
    QMetaObject::invokeMethod(runner, [this] {
        QList<PortDetails> details;
        QStringList names;
        if (describer) {
            details = describer();
            for (const PortDetails &d : qAsConst(details))
                names.append(d.name);
        } else {
            names = enumerate();
        }
        QMetaObject::invokeMethod(this, [this, names, details] { onEnumerated(names, details); },
                                  Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void PortMonitor::onEnumerated(const QStringList &names, const QList<PortDetails> &details)
{
    running = false;
    described = details;
    const bool changed = !snapshotTaken || names != ports;
    ports = names;
    snapshotTaken = true;
    if (rescanPending) {
        rescanPending = false;
        rescan();
    }
    if (changed) {
        qCDebug(lcSearch) << "port list" << ports;
        emit portsChanged(ports);
    }
}
