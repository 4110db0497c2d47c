// Search, timers and memory of the real window, each figure printed beside a
// baseline measured in the same run. Run by hand:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_search [--quick]
//   [search|notice|cycles|memory|cli|batch|network|log|flood]
// The Windows build has the search section only (scripts/windows.sh builds
// it; under Wine: wine cmd /c "set QT_QPA_PLATFORM=offscreen&& bench_search.exe").
// --quick shortens the timed windows (for a smoke run); figures are then rough.
// Naming sections runs only those.
#include "commissioner.h"
#include "replyframer.h"
#include "enginewords.h"
#include "exchangelog.h"
#include "logwindow.h"
#include "mainwindow.h"
#include "moduleprotocol.h"
#include "modulesimulator.h"
#include "portlist.h"
#include "portmonitor.h"
#include "seriallink.h"
#include "timing.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QWindow>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>
#ifdef Q_OS_UNIX
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>
#else
#include <windows.h>
#include <psapi.h>
#endif

struct MainWindowProbe
{
    static Ui_MainWindow &ui(MainWindow &w) { return *w.ui; }
};

namespace {
QTextStream out(stdout);

struct Stats
{
    double p50 = 0, p99 = 0, max = 0;
};

Stats stats(std::vector<double> v)
{
    if (v.empty())
        return {};
    std::sort(v.begin(), v.end());
    const auto at = [&](double q) {
        return v[std::min(v.size() - 1, size_t(q * double(v.size())))];
    };
    return {at(0.50), at(0.99), v.back()};
}

QString fmt(const Stats &s, int prec = 2)
{
    return QStringLiteral("%1 / %2 / %3 ms")
            .arg(s.p50, 0, 'f', prec)
            .arg(s.p99, 0, 'f', prec)
            .arg(s.max, 0, 'f', prec);
}

#ifdef Q_OS_UNIX
double cpuMs()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0
            + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

qint64 rssBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}
#else
double cpuMs()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    const auto ms = [](const FILETIME &t) {
        return double((quint64(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

qint64 rssBytes()
{
    PROCESS_MEMORY_COUNTERS counters {};
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return qint64(counters.WorkingSetSize);
}
#endif

// Runs the event loop for `ms`, asleep between events.
void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// How late a 1 ms timer fires while it lives: the event loop's stalls.
class LatenessProbe
{
public:
    LatenessProbe()
    {
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            if (last >= 0)
                late.push_back(std::max(0.0, double(now - last) / 1e6 - 1.0));
            last = now;
        });
        clock.start();
        ticker.start(1);
    }
    Stats lateness() const { return stats(late); }

private:
    std::vector<double> late;
    QElapsedTimer clock;
    QTimer ticker;
    qint64 last = -1;
};

// CPU share and 1 ms timer lateness while `w` (searching or not) runs.
struct Load
{
    double cpuPercent = 0;
    Stats lateness;
    qint64 rssGrowth = 0;
};

Load measureLoad(int ms)
{
    Load l;
    {
        const qint64 rss0 = rssBytes();
        const double cpu0 = cpuMs();
        QElapsedTimer wall;
        wall.start();
        spin(ms);
        l.cpuPercent = (cpuMs() - cpu0) * 100.0 / double(wall.elapsed());
        l.rssGrowth = rssBytes() - rss0;
    }
    const LatenessProbe probe;
    spin(ms / 2);
    l.lateness = probe.lateness();
    return l;
}

void clickFind(MainWindow &w)
{
    QMetaObject::invokeMethod(MainWindowProbe::ui(w).BT_find, "click");
}

Stats tickTimes(MainWindow &w, int ticks)
{
    std::vector<double> times;
    clickFind(w); // start
    for (int i = 0; i < ticks; ++i) {
        QElapsedTimer t;
        t.start();
        QMetaObject::invokeMethod(&w, "onfindTimerKT5");
        times.push_back(t.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
    }
    clickFind(w); // stop
    return stats(times);
}

#ifdef Q_OS_UNIX
bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        spin(2);
    }
    return true;
}

// Closes every message box as soon as it opens.
void closeBoxes(QObject *owner)
{
    auto *t = new QTimer(owner);
    QObject::connect(t, &QTimer::timeout, owner, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->done(QMessageBox::Ok);
    });
    t->start(5);
}

// Times of the module's commands and replies, for the pauses between them.
struct LineTrace
{
    explicit LineTrace(ModuleSimulator &sim)
    {
        QObject::connect(&sim, &ModuleSimulator::replySent, &sim,
                         [this, &sim](const QByteArray &) { replies.push_back(sim.elapsedMs()); });
        QObject::connect(&sim, &ModuleSimulator::commandReceived, &sim,
                         [this, &sim](const QByteArray &c) {
                             commands.push_back({sim.elapsedMs(), c});
                         });
    }
    struct Cmd
    {
        qint64 at;
        QByteArray text;
    };
    std::vector<qint64> replies;
    std::vector<Cmd> commands;

    // For each command after a reply: time from that reply to it, less the
    // quiet gap the reply framing waits, against the pause due after that
    // reply. Returns the smallest (measured - nominal), in ms.
    qint64 shortestPauseMargin(const std::function<int(const QByteArray &previous)> &nominal) const
    {
        qint64 worst = std::numeric_limits<qint64>::max();
        for (size_t i = 1; i < commands.size(); ++i) {
            const int due = nominal(commands[i - 1].text);
            if (due < 0)
                continue;
            // The reply to the earlier command: the first one sent after it.
            qint64 replyAt = -1;
            for (qint64 r : replies) {
                if (r >= commands[i - 1].at) {
                    replyAt = r;
                    break;
                }
            }
            if (replyAt < 0 || replyAt > commands[i].at)
                continue;
            const qint64 pause = commands[i].at - replyAt - 50;
            worst = std::min(worst, pause - due);
        }
        return worst;
    }
};

// The pause the module is given after the reply to `command`; -1 where a
// sequence ends and what comes next is up to the user.
int pauseAfter(const QByteArray &command)
{
    using namespace Timing;
    if (command == "-parity" || command == "-st")
        return -1;
    if (command.contains(':'))
        return int(writeAfterOkDelay.count()); // after "Ok"
    if (command == "-h")
        return int(readAfterOtherReplyDelay.count());
    return int(readAfterReportDelay.count());
}

// The same exchange as the window's, without a window: QSerialPort, the
// same commands, the same framing and pauses, precise timers.
class MinimalClient : public QObject
{
public:
    explicit MinimalClient(const QString &port)
    {
        serial.setPortName(port);
        serial.setBaudRate(9600);
        serial.open(QIODevice::ReadWrite);
        gap.setSingleShot(true);
        gap.setInterval(50);
        connect(&serial, &QSerialPort::readyRead, this, [this] {
            buffer += serial.readAll();
            gap.start();
        });
        connect(&gap, &QTimer::timeout, this, [this] { replyDone(); });
    }
    void run(const QList<QByteArray> &commands)
    {
        queue = commands;
        finished = false;
        QTimer::singleShot(Timing::sequenceStartDelay, Qt::PreciseTimer, this, [this] { next(); });
    }
    bool finished = false;

private:
    void next()
    {
        if (queue.isEmpty()) {
            finished = true;
            return;
        }
        current = queue.takeFirst();
        buffer.clear();
        serial.write(current);
    }
    void replyDone()
    {
        if (queue.isEmpty()) {
            finished = true;
            return;
        }
        QTimer::singleShot(std::max(0, pauseAfter(current)), Qt::PreciseTimer, this,
                           [this] { next(); });
    }
    QSerialPort serial;
    QTimer gap;
    QByteArray buffer;
    QByteArray current;
    QList<QByteArray> queue;
};

int countReplies(const QStringList &messages)
{
    return int(std::count_if(messages.begin(), messages.end(), [](const QString &m) {
        return m.startsWith(QStringLiteral("Получено :"));
    }));
}

void cycles(bool quick)
{
    const int reps = quick ? 1 : 3;
    out << "\n== Read and write cycle on the simulated module (" << reps << " runs)\n";
    qint64 worstWindowMargin = std::numeric_limits<qint64>::max();
    qint64 worstClientMargin = std::numeric_limits<qint64>::max();
    std::vector<double> winRead, winWrite, cliRead, cliWrite;
    for (int rep = 0; rep < reps; ++rep) {
        {
            ModuleSimulator sim;
            LineTrace trace(sim);
            const QString port = sim.portPath();
            MainWindow w(nullptr, [port] { return QStringList {port}; });
            closeBoxes(&w);
            QStringList messages;
            QObject::connect(&w, &MainWindow::statusShown,
                             [&](const QString &m) { messages << m; });
            auto &ui = MainWindowProbe::ui(w);
            QElapsedTimer t;
            t.start();
            ui.BT_Open_Connect->click();
            waitFor([&] { return countReplies(messages) >= 4; }, 10000);
            winRead.push_back(t.elapsed());
            spin(600);
            ui.CB_KT_Speed->setCurrentIndex(8);
            ui.CB_KT_Stop_bit->setCurrentIndex(2);
            ui.CB_KT_Parity->setCurrentIndex(3);
            messages.clear();
            t.restart();
            ui.BT_Write_values->click();
            waitFor([&] { return sim.isOperating() && countReplies(messages) >= 4; }, 15000);
            winWrite.push_back(t.elapsed());
            worstWindowMargin = std::min(worstWindowMargin, trace.shortestPauseMargin(pauseAfter));
            spin(100);
        }
        {
            ModuleSimulator sim;
            LineTrace trace(sim);
            MinimalClient client(sim.portPath());
            QElapsedTimer t;
            t.start();
            client.run({"-h", "-baudrate", "-stop bits", "-parity"});
            waitFor([&] { return client.finished; }, 10000);
            cliRead.push_back(t.elapsed());
            t.restart();
            client.run({"-baudrate:128000", "-stop bits:2", "-parity:even", "-st"});
            waitFor([&] { return client.finished; }, 15000);
            cliWrite.push_back(t.elapsed());
            worstClientMargin = std::min(worstClientMargin, trace.shortestPauseMargin(pauseAfter));
        }
    }
    out << "read cycle, window / minimal client:  " << stats(winRead).p50 << " / "
        << stats(cliRead).p50 << " ms\n";
    out << "write cycle, window / minimal client: " << stats(winWrite).p50 << " / "
        << stats(cliWrite).p50 << " ms\n";
    out << "shortest pause against its nominal (negative: cut short), window / client: "
        << worstWindowMargin << " / " << worstClientMargin << " ms\n";
}

// The command-line program's read against the window's, same module, same
// run; and how soon the program sends its first command after exec.
void commandLine(bool quick)
{
    const int reps = quick ? 1 : 5;
    out << "\n== Command-line read against the window's (" << reps << " runs)\n";
    std::vector<double> winRead, cliRead, firstCommand;
    for (int rep = 0; rep < reps; ++rep) {
        {
            ModuleSimulator sim;
            const QString port = sim.portPath();
            MainWindow w(nullptr, [port] { return QStringList {port}; });
            closeBoxes(&w);
            bool finished = false;
            QObject::connect(&w, &MainWindow::statusShown, [&](const QString &m) {
                finished = finished || m.startsWith(QStringLiteral("Чтение завершено"));
            });
            QElapsedTimer t;
            t.start();
            MainWindowProbe::ui(w).BT_Open_Connect->click();
            waitFor([&] { return finished; }, 10000);
            winRead.push_back(t.elapsed());
        }
        {
            ModuleSimulator sim;
            QElapsedTimer t;
            qint64 first = -1;
            QObject::connect(&sim, &ModuleSimulator::commandReceived, [&](const QByteArray &) {
                if (first < 0)
                    first = t.elapsed();
            });
            QProcess cli;
            t.start();
            cli.start(QStringLiteral(TAV_CLI_PATH), {QStringLiteral("read"), sim.portPath()});
            waitFor([&] { return cli.state() == QProcess::NotRunning; }, 10000);
            cliRead.push_back(t.elapsed());
            firstCommand.push_back(double(first));
        }
    }
    const double win = stats(winRead).p50;
    const double cli = stats(cliRead).p50;
    out << "read, window (click to read finished) / command line (exec to exit): " << win << " / "
        << cli << " ms, ratio " << cli / win << " (target <= 1.05)\n";
    out << "exec to first command, p50 / max: " << stats(firstCommand).p50 << " / "
        << stats(firstCommand).max << " ms (target <= 100 + the 100 ms first pause)\n";
}

// A read and a write cycle through a serial device server (ser2net on the
// loopback, in front of the simulated module) against the same on the
// module's pseudo-terminal, in-process through the command line's engine.
void network(bool quick)
{
    const int reps = quick ? 1 : 3;
    out << "\n== Read and write through ser2net against the pty (" << reps << " runs each, p50)\n";
    if (QStandardPaths::findExecutable(QStringLiteral("ser2net")).isEmpty()) {
        out << "  ser2net is not installed: skipped\n";
        return;
    }
    ModuleSimulator sim;
    const auto freePort = [] {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    };
    const quint16 rawPort = freePort();
    const quint16 rfcPort = freePort();
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("ser2net.yaml")));
    config.open(QIODevice::WriteOnly);
    const QString device = QFileInfo(sim.portPath()).canonicalFilePath();
    config.write(QStringLiteral("connection: &raw\n  accepter: tcp,127.0.0.1,%1\n"
                                "  connector: serialdev,%3,115200n81,local\n"
                                "connection: &rfc\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%2\n"
                                "  connector: serialdev,%3,115200n81,local\n")
                         .arg(rawPort)
                         .arg(rfcPort)
                         .arg(device)
                         .toUtf8());
    config.close();
    QProcess server;
    server.start(QStringLiteral("ser2net"),
                 {QStringLiteral("-n"), QStringLiteral("-c"), config.fileName()});
    server.waitForStarted();
    spin(1000); // listening
    const auto cycle = [&](const QString &port, bool write) {
        CommissionOptions o;
        o.port = port;
        if (write) {
            o.action = CommissionOptions::Action::Write;
            o.target = {QStringLiteral("19200"), QStringLiteral("2"), QStringLiteral("even")};
        }
        QString text;
        QTextStream sink(&text);
        Commissioner cli(
                o, [] { return QStringList(); }, sink, sink);
        bool done = false;
        QObject::connect(&cli, &Commissioner::finished, [&] { done = true; });
        QElapsedTimer t;
        t.start();
        cli.start();
        waitFor([&] { return done; }, 30000);
        const double ms = double(t.elapsed());
        sim.setSettings(QStringLiteral("9600"), QStringLiteral("1"), QStringLiteral("none"));
        spin(200); // the server lets go of the device
        return ms;
    };
    const QString ports[] = {sim.portPath(), QStringLiteral("socket://127.0.0.1:%1").arg(rawPort),
                             QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfcPort)};
    const char *names[] = {"pty (baseline)", "socket://", "rfc2217://"};
    double base[2] = {0, 0};
    for (int i = 0; i < 3; ++i) {
        std::vector<double> reads, writes;
        for (int rep = 0; rep < reps; ++rep) {
            reads.push_back(cycle(ports[i], false));
            writes.push_back(cycle(ports[i], true));
        }
        const double read = stats(reads).p50;
        const double write = stats(writes).p50;
        if (i == 0) {
            base[0] = read;
            base[1] = write;
        }
        out << QStringLiteral("  %1 read %2 ms (%3x), write cycle %4 ms (%5x)\n")
                        .arg(QLatin1String(names[i]), -16)
                        .arg(read, 0, 'f', 0)
                        .arg(read / base[0], 0, 'f', 3)
                        .arg(write, 0, 'f', 0)
                        .arg(write / base[1], 0, 'f', 3);
        out.flush();
    }
    out << "  (target: within 1.05x of the pty)\n";
    server.kill();
    server.waitForFinished();
}

// Twenty modules plugged in and unplugged in turn under --repeat.
void batch()
{
    constexpr int moduleCount = 20;
    out << "\n== Batch: " << moduleCount << " modules plugged in and unplugged in turn\n";
    const int fds0 = int(QDir(QStringLiteral("/proc/self/fd"))
                                 .entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files)
                                 .size());
    QStringList ports;
    std::vector<std::unique_ptr<ModuleSimulator>> modules;
    std::unique_ptr<Commissioner> commissioner;
    std::function<void()> plugNext = [&] {
        modules.push_back(std::make_unique<ModuleSimulator>());
        ModuleSimulator *m = modules.back().get();
        ports.append(m->portPath());
        QObject::connect(m, &ModuleSimulator::commandReceived, m, [&, m](const QByteArray &c) {
            if (c != "-st")
                return;
            QTimer::singleShot(300, m, [&, m] {
                ports.removeAll(m->portPath());
                m->vanish();
                if (int(modules.size()) < moduleCount)
                    QTimer::singleShot(300, plugNext);
                else
                    QTimer::singleShot(300, [&] { commissioner->requestStop(); });
            });
        });
    };
    QString lines;
    QString errors;
    QTextStream linesOut(&lines);
    QTextStream errorsOut(&errors);
    CommissionOptions o;
    o.action = CommissionOptions::Action::Write;
    o.repeat = true;
    o.target = {QStringLiteral("115200"), QStringLiteral("2"), QStringLiteral("odd")};
    commissioner = std::make_unique<Commissioner>(
            o, [&ports] { return ports; }, linesOut, errorsOut);
    QTimer::singleShot(300, plugNext);
    QElapsedTimer t;
    t.start();
    int code = -1;
    QObject::connect(commissioner.get(), &Commissioner::finished, [&code](int c) { code = c; });
    commissioner->start();
    waitFor([&] { return code >= 0; }, 3600 * 1000);
    const double seconds = t.elapsed() / 1000.0;
    int holding = 0;
    for (const auto &m : modules) {
        if (m->isOperating() && m->baudRate() == o.target.baudRate
            && m->stopBits() == o.target.stopBits && m->parity() == o.target.parity)
            ++holding;
    }
    commissioner.reset();
    modules.clear();
    spin(100);
    const int fds = int(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files)
                                .size());
    out << "exit code " << code << " in " << seconds << " s; result lines "
        << lines.trimmed().split(QLatin1Char('\n')).size() << "; modules holding the new values "
        << "and operating " << holding << " of " << moduleCount << "; descriptors left open "
        << fds - fds0 << "\n"
        << errors;
}

void memory(bool quick)
{
    const int n = quick ? 300 : 3000;
    out << "\n== RSS per connect/disconnect cycle (" << n << " cycles after 300 to warm up)\n";
    ModuleSimulator sim;
    const QString port = sim.portPath();
    double perWindowCycle = 0;
    {
        MainWindow w(nullptr, [port] { return QStringList {port}; });
        w.show(); // painted as on a desktop: the looks render into Qt's pixmap cache
        closeBoxes(&w);
        auto &ui = MainWindowProbe::ui(w);
        // As under a running event loop: the replaced port is freed later.
        const auto cycle = [&] {
            ui.BT_Open_Connect->click();
            QCoreApplication::processEvents();
            ui.BT_Open_Connect->click();
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        };
        for (int i = 0; i < 300; ++i)
            cycle();
        const qint64 before = rssBytes();
        for (int i = 0; i < n; ++i)
            cycle();
        perWindowCycle = double(rssBytes() - before) / n;
    }
    QSerialPort bare;
    bare.setPortName(port);
    const auto bareCycle = [&] {
        bare.open(QIODevice::ReadWrite);
        QCoreApplication::processEvents();
        bare.close();
        QCoreApplication::processEvents();
    };
    for (int i = 0; i < 300; ++i)
        bareCycle();
    const qint64 before = rssBytes();
    for (int i = 0; i < n; ++i)
        bareCycle();
    const double perBare = double(rssBytes() - before) / n;
    out << "window: " << perWindowCycle << " bytes/cycle; bare QSerialPort: " << perBare
        << " bytes/cycle\n";
}

void noticing()
{
    out << "\n== A new port noticed by the monitor (a watched folder standing in for /dev)\n";
    QTemporaryDir dir;
    const QString path = dir.path();
    PortMonitor monitor([path] { return QDir(path).entryList(QDir::Files); }, {path});
    monitor.start();
    waitFor([&] { return monitor.hasSnapshot(); }, 2000);
    std::vector<double> times;
    for (int i = 0; i < 20; ++i) {
        const int before = int(monitor.snapshot().size());
        QElapsedTimer t;
        QFile f(path + QStringLiteral("/ttyUSB%1").arg(i));
        t.start();
        f.open(QIODevice::WriteOnly);
        f.close();
        waitFor([&] { return int(monitor.snapshot().size()) > before; }, 2000);
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    out << "plug-in to new snapshot, p50 / p99 / max: " << fmt(stats(times)) << "\n";
}
// A device that streams: `megabytes` MiB with no pauses into the window
// awaiting a reply, against the same flood read and thrown away by a bare
// port. Longest event-loop stall (1 ms timer), growth of memory, length of
// the status message.
void flood(int megabytes)
{
    const qint64 total = qint64(megabytes) * 1024 * 1024;
    const auto run = [&](const std::function<void(ModuleSimulator &)> &start) {
        ModuleSimulator sim;
        QSignalSpy done(&sim, &ModuleSimulator::floodDone);
        start(sim);
        const qint64 rss0 = rssBytes();
        const LatenessProbe probe;
        QElapsedTimer clock;
        clock.start();
        sim.flood(total, QByteArrayLiteral("baudrate 9600 "));
        waitFor([&] { return done.count() > 0; }, 120000);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        spin(1200); // the collect limit runs out, the reply is taken and shown
        out << "  " << megabytes << " MiB in " << seconds << " s; longest stall "
            << probe.lateness().max << " ms; RSS growth " << (rssBytes() - rss0) / 1024 << " KiB\n";
    };

    out << "\n== Flood of " << megabytes << " MiB with no pauses\n";
    out << "baseline, bare port reading and discarding:\n";
    run([](ModuleSimulator &sim) {
        auto *port = new QSerialPort(sim.portPath(), &sim);
        QObject::connect(port, &QSerialPort::readyRead, port, [port] { port->readAll(); });
        port->open(QIODevice::ReadWrite);
    });
    out << "window awaiting a reply:\n";
    QStringList ports;
    MainWindow w(nullptr, [&ports] { return ports; });
    w.show();
    closeBoxes(&w);
    int longest = 0;
    QObject::connect(&w, &MainWindow::statusShown,
                     [&](const QString &text) { longest = std::max(longest, int(text.size())); });
    run([&](ModuleSimulator &sim) {
        w.addPort(sim.portPath());
        QMetaObject::invokeMethod(&w, "openSerialPort");
        QMetaObject::invokeMethod(&w, "sendCommand", Q_ARG(QString, QStringLiteral("-baudrate")),
                                  Q_ARG(bool, true));
    });
    out << "  longest status message: " << longest << " characters\n";
}
// What a day of line noise costs the exchange log: 10,000 reads answered
// by 4 KiB of noise (the longest reply kept), against the same number
// answered as the module answers; with and without the log window open.
void logMemory(bool quick)
{
    const int n = quick ? 2000 : 10000;
    out << "\n== Exchange log RSS growth after " << n
        << " replies (each: the command, the reply, the status line)\n";
    QByteArray noise(ReplyFramer::maxReplyBytes, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char(0x80 + i % 0x7f);
    const auto run = [&](const QByteArray &reply, bool withWindow) {
        malloc_trim(0); // what an earlier run freed must not hide this one's growth
        const qint64 rss0 = rssBytes();
        {
            ExchangeLog log;
            std::unique_ptr<LogWindow> window;
            if (withWindow) {
                window = std::make_unique<LogWindow>(&log);
                window->show();
            }
            for (int i = 0; i < n; ++i) {
                log.sent(QByteArrayLiteral("-baudrate"));
                log.received(reply);
                log.status(QStringLiteral("Получено :")
                           + EngineWords::shownReply(ReplyFramer::decodeReply(reply), 0));
                if (i % 500 == 0)
                    QCoreApplication::processEvents();
            }
            QCoreApplication::processEvents();
            const qint64 grown = rssBytes() - rss0;
            out << QStringLiteral("  %1, %2: %3 MB, %4 lines kept\n")
                            .arg(reply.size() > 100 ? QStringLiteral("4 KiB noise  ")
                                                    : QStringLiteral("baseline     "))
                            .arg(withWindow ? QStringLiteral("log window open  ")
                                            : QStringLiteral("log window closed"))
                            .arg(double(grown) / 1e6, 0, 'f', 1)
                            .arg(log.lines().size());
            out.flush();
        }
    };
    for (const bool withWindow : {false, true}) {
        run(QByteArrayLiteral("baudrate 9600"), withWindow);
        run(noise, withWindow);
    }
}
#endif // Q_OS_UNIX
} // namespace

// One start of a window in this fresh process, to its first exposure on
// screen: the program's own window, or a bare one with the same form and
// nothing behind it. Prints "wall-ms cpu-ms".
// What one reply costs to interpret, against the floor of one substring
// search of the same reply in the same run.
void protocol()
{
    out << "\n== Interpreting a reply, ns a call (1,000,000 calls)\n";
    const QString reply = QStringLiteral("parity even\r\n");
    constexpr int calls = 1000000;
    int sink = 0;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < calls; ++i)
        sink += reply.contains(QLatin1String("parity")) ? 1 : 0;
    const double floor = double(t.nsecsElapsed()) / calls;
    t.restart();
    for (int i = 0; i < calls; ++i)
        sink += int(ModuleProtocol::interpret(reply, -1).kind);
    const double interpret = double(t.nsecsElapsed()) / calls;
    out << "interpret:                 " << interpret << " ns\n";
    out << "floor, one contains():     " << floor << " ns (" << interpret / floor << " x)\n";
    if (sink == 42)
        out << "\n"; // keeps the loops from being optimised away
}

int startOnce(QApplication &app, const QElapsedTimer &sinceMain, bool bare)
{
    std::unique_ptr<QMainWindow> window;
    if (bare) {
        window = std::make_unique<QMainWindow>();
        static Ui_MainWindow form;
        form.setupUi(window.get());
    } else {
        window = std::make_unique<MainWindow>();
    }
    struct Exposed : QObject
    {
        std::function<void()> then;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Expose && then) {
                then();
                then = nullptr;
            }
            return false;
        }
    } exposed;
    exposed.then = [&] {
        out << sinceMain.nsecsElapsed() / 1e6 << ' ' << cpuMs() << Qt::endl;
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    };
    window->show();
    window->windowHandle()->installEventFilter(&exposed);
    return app.exec();
}

// Start-up: fresh processes in turns, the window against a bare window
// with the same form; medians of wall time to the first exposure and of
// the CPU spent by then.
void startUp(bool quick)
{
    const int runs = quick ? 9 : 25;
    const auto sample = [](const char *which) {
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--start-once"), QLatin1String(which)});
        p.waitForFinished(30000);
        const QList<QByteArray> parts = p.readAllStandardOutput().trimmed().split(' ');
        return std::make_pair(parts.value(0).toDouble(), parts.value(1).toDouble());
    };
    std::vector<double> wall[2], cpu[2];
    for (int i = 0; i < runs; ++i) {
        for (int which = 0; which < 2; ++which) {
            const auto [w, c] = sample(which == 0 ? "bare" : "window");
            wall[which].push_back(w);
            cpu[which].push_back(c);
        }
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.at(v.size() / 2);
    };
    out << "\n== Start-up to the first exposure, median of " << runs << " fresh processes\n";
    out << "bare window: " << median(wall[0]) << " ms, CPU " << median(cpu[0]) << " ms\n";
    out << "the window:  " << median(wall[1]) << " ms, CPU " << median(cpu[1]) << " ms\n";
    out << "ratio:       " << median(wall[1]) / median(wall[0]) << "x wall, "
        << median(cpu[1]) / median(cpu[0]) << "x CPU\n";
}

int main(int argc, char *argv[])
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--start-once") == 0)
        return startOnce(app, sinceMain, qstrcmp(argv[2], "bare") == 0);
    QStringList args = app.arguments().mid(1);
    const bool quick = args.removeAll(QStringLiteral("--quick")) > 0;
    // Sections to run, by name; all when none is named.
    const auto wanted = [&args](const char *name) {
        return args.isEmpty() || args.contains(QLatin1String(name));
    };
    const int loadMs = quick ? 2000 : 10000;
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    out.setCodec("UTF-8");
#endif

    out << "System ports: " << systemPortNames().join(QStringLiteral(", ")) << "\n";

    if (wanted("protocol"))
        protocol();
    if (wanted("startup"))
        startUp(quick);
    out.flush();
    if (wanted("search")) {
        out << "\n== Search tick on the GUI thread, p50 / p99 / max (400 ticks)\n";
        MainWindow systemWindow;
        systemWindow.show();
        spin(300); // let a monitor take its first snapshot
        const Stats system = tickTimes(systemWindow, 400);
        const QStringList fixed = systemPortNames();
        MainWindow floorWindow(nullptr, [fixed] { return fixed; });
        const Stats floor = tickTimes(floorWindow, 400);
        out << "system ports:              " << fmt(system) << "\n";
        out << "floor, no enumeration:     " << fmt(floor) << "\n";

        out << "\n== " << loadMs / 1000 << " s idle, then " << loadMs / 1000
            << " s searching (system ports); then half as long each with a 1 ms timer\n";
        const Load idle = measureLoad(loadMs);
        clickFind(systemWindow);
        const Load searching = measureLoad(loadMs);
        clickFind(systemWindow);
        out << "CPU, idle / searching:     " << idle.cpuPercent << " % / " << searching.cpuPercent
            << " % of a core\n";
        out << "1 ms timer lateness p99 / max, idle:      " << idle.lateness.p99 << " / "
            << idle.lateness.max << " ms\n";
        out << "1 ms timer lateness p99 / max, searching: " << searching.lateness.p99 << " / "
            << searching.lateness.max << " ms\n";
        out << "RSS growth, idle / searching: " << idle.rssGrowth << " / " << searching.rssGrowth
            << " bytes\n";
    }
    out.flush();
#ifdef Q_OS_UNIX
    if (wanted("notice"))
        noticing();
    out.flush();
    if (wanted("cycles"))
        cycles(quick);
    out.flush();
    if (wanted("memory"))
        memory(quick);
    out.flush();
    if (wanted("cli"))
        commandLine(quick);
    out.flush();
    if (wanted("batch") && (args.contains(QLatin1String("batch")) || !quick))
        batch();
    out.flush();
    if (wanted("network"))
        network(quick);
    out.flush();
    if (wanted("log"))
        logMemory(quick);
    out.flush();
    if (wanted("flood"))
        flood(quick ? 10 : 200);
    out.flush();
#endif
    return 0;
}
