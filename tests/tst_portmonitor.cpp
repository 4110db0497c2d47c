// The port monitor on its own: a temporary folder stands in for /dev.
#include "portmonitor.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

class TestPortMonitor : public QObject
{
    Q_OBJECT

private slots:
    void watchedFolderChangesAreSeenOffTheCallersThread();
    void withoutAWatchPollsAreMergedWhileOneRuns();
    void portNamesDifferByCase();
    void aChangeDuringAScanIsNotLost();
    void aNodeNamedLateIsCaughtBySettling();
};

namespace {
bool touch(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly);
}
} // namespace

void TestPortMonitor::watchedFolderChangesAreSeenOffTheCallersThread()
{
    QTemporaryDir dev;
    QVERIFY(dev.isValid());
    const QString folder = dev.path();
    QVERIFY(touch(folder + QStringLiteral("/ttyS0")));

    QAtomicInt calls;
    QAtomicInt callsOnCallersThread;
    QThread *const caller = QThread::currentThread();
    PortMonitor monitor(
            [&, folder] {
                calls.ref();
                if (QThread::currentThread() == caller)
                    callsOnCallersThread.ref();
                return QDir(folder).entryList(QDir::Files);
            },
            {folder});
    QSignalSpy changed(&monitor, &PortMonitor::portsChanged);
    QVERIFY(!monitor.hasSnapshot());
    monitor.start();
    QVERIFY(monitor.isWatching());
    QTRY_VERIFY(monitor.hasSnapshot());
    QCOMPARE(monitor.snapshot(), QStringList {QStringLiteral("ttyS0")});

    // Nothing runs between changes, the owner's polls included.
    QTRY_VERIFY(calls.loadAcquire() >= 1);
    QTest::qWait(400); // the absence of calls needs a span of time
    const int settled = calls.loadAcquire();
    for (int i = 0; i < 20; ++i)
        monitor.poll();
    QTest::qWait(400);
    QCOMPARE(calls.loadAcquire(), settled);

    QVERIFY(touch(folder + QStringLiteral("/ttyUSB0")));
    QTRY_COMPARE_WITH_TIMEOUT(monitor.snapshot(),
                              (QStringList {QStringLiteral("ttyS0"), QStringLiteral("ttyUSB0")}),
                              2000);
    QVERIFY(QFile::remove(folder + QStringLiteral("/ttyS0")));
    QTRY_COMPARE_WITH_TIMEOUT(monitor.snapshot(), QStringList {QStringLiteral("ttyUSB0")}, 2000);
    QVERIFY(changed.count() >= 3);
    QCOMPARE(callsOnCallersThread.loadAcquire(), 0);
}

void TestPortMonitor::withoutAWatchPollsAreMergedWhileOneRuns()
{
    QAtomicInt calls;
    QAtomicInt running;
    QAtomicInt overlapped;
    QStringList names {QStringLiteral("COM1")};
    PortMonitor monitor(
            [&] {
                if (running.fetchAndAddOrdered(1) != 0)
                    overlapped.ref();
                calls.ref();
                QThread::msleep(100); // an enumeration as slow as a bad driver's
                running.deref();
                return QStringList {QStringLiteral("COM1")};
            },
            {});
    monitor.start(names);
    QVERIFY(!monitor.isWatching());
    QVERIFY(monitor.hasSnapshot());
    for (int i = 0; i < 50; ++i)
        monitor.poll(); // a tick's worth each
    QTRY_COMPARE(running.loadAcquire(), 0);
    QTest::qWait(250);
    // Bounded: no poll within a pollInterval of the last enumeration starts one.
    QCOMPARE(calls.loadAcquire(), 1);
    QCOMPARE(overlapped.loadAcquire(), 0);
    QTRY_VERIFY_WITH_TIMEOUT((monitor.poll(), calls.loadAcquire() >= 2),
                             2 * int(PortMonitor::pollInterval.count()));
}

// Linux device names differ by case alone (ttyUSB0 is not TTYUSB0); a
// search that folded case would miss such a port.
void TestPortMonitor::portNamesDifferByCase()
{
    const QStringList known {QStringLiteral("ttyS0"), QStringLiteral("TTYUSB0")};
    const QStringList now {QStringLiteral("ttyS0"), QStringLiteral("ttyUSB0")};
    QCOMPARE(newPortNames(now, known), QStringList {QStringLiteral("ttyUSB0")});
}

// A scan slow enough that the change, and the look a moment after it, both
// fall while it runs: the list it returns is stale, and a later one must come.
void TestPortMonitor::aChangeDuringAScanIsNotLost()
{
    QTemporaryDir dev;
    const QString folder = dev.path();
    QAtomicInt scanning;
    PortMonitor monitor(
            [&, folder] {
                const QStringList names = QDir(folder).entryList(QDir::Files);
                scanning.storeRelease(1);
                QThread::msleep(800);
                scanning.storeRelease(0);
                return names;
            },
            {folder});
    monitor.start();
    QTRY_VERIFY_WITH_TIMEOUT(monitor.hasSnapshot() && scanning.loadAcquire() == 0, 3000);
    QVERIFY(touch(folder + QStringLiteral("/ttyUSB0")));
    QTRY_VERIFY(scanning.loadAcquire() == 1);
    QVERIFY(touch(folder + QStringLiteral("/ttyUSB1")));
    QTRY_COMPARE_WITH_TIMEOUT(monitor.snapshot(),
                              (QStringList {QStringLiteral("ttyUSB0"), QStringLiteral("ttyUSB1")}),
                              5000);
}

// udev may name a device after its folder changed, with no change after:
// only the second look shortly after the change finds it.
void TestPortMonitor::aNodeNamedLateIsCaughtBySettling()
{
    QTemporaryDir dev;
    const QString folder = dev.path();
    QAtomicInt named;
    PortMonitor monitor(
            [&] {
                return named.loadAcquire() ? QStringList {QStringLiteral("ttyACM0")}
                                           : QStringList();
            },
            {folder});
    monitor.start();
    QTRY_VERIFY(monitor.hasSnapshot());
    QVERIFY(touch(folder + QStringLiteral("/ttyACM0.tmp")));
    QTimer::singleShot(100, this, [&] { named.storeRelease(1); });
    QTRY_COMPARE_WITH_TIMEOUT(monitor.snapshot(), QStringList {QStringLiteral("ttyACM0")}, 2000);
}

QTEST_GUILESS_MAIN(TestPortMonitor)
#include "tst_portmonitor.moc"
