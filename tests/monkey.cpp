// The real window against the simulated module, driven at random for a
// bounded time: clicks (on disabled buttons too, through their slots),
// choices in the lists, port errors, and faults of the module and the line.
// After every step it checks what must always hold. Seeded: a failure
// prints the seed and the last steps, and the same seed replays the run.
//   tav-monkey [--seconds N] [--seed S]
#include "modulerecord.h"
#include "replyframer.h"
#include "indicatorstyles.h"
#include "modulesimulator.h"
#include "seriallink.h"
#include "statewords.h"
#include "testsupport.h"

#include "moduleresult.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QFile>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <random>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

QTextStream out(stdout);

qint64 cpuMs()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return (qint64(u.ru_utime.tv_sec) + u.ru_stime.tv_sec) * 1000
            + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000;
}

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

class Monkey : public QObject
{
public:
    explicit Monkey(quint64 seed)
        : seed(seed)
        , rng(seed)
    {
        newModule();
        // A port that is not there, and one another program holds.
        ports << QStringLiteral("/dev/tav-monkey-missing");
        if (held.isValid()) {
            holder.setPortName(held.portPath());
            if (holder.open(QIODevice::ReadWrite))
                ports << held.portPath();
        }
        recordPath = scratch.filePath(QStringLiteral("record.csv"));
        if (!record.open(recordPath))
            fail(QStringLiteral("no record"));
        openWindow();
        boxTimer.setInterval(10);
        connect(&boxTimer, &QTimer::timeout, this, [this] { watchBoxes(); });
        boxTimer.start();
    }

    int run(int seconds)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < qint64(seconds) * 1000) {
            step();
            check();
            if (++steps % 25 == 0)
                checkIdleCost();
        }
        w.reset();
        if (QApplication::activeModalWidget())
            fail(QStringLiteral("a box outlived the window"));
        out << "monkey: " << steps << " steps in " << clock.elapsed() / 1000.0 << " s, seed "
            << seed << "; boxes " << boxCount << ", writes reported done " << writesDone
            << ", modules " << modules << ", idle checks " << idleChecks << ", reads checked "
            << readsChecked << ", endings recorded " << endings << ", windows closed "
            << windowsClosed << "; invariants checked " << invariants << " ("
            << qRound(invariants * 60000.0 / std::max<qint64>(clock.elapsed(), 1))
            << " a minute)\n";
        out.flush();
        return 0;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
    bool chance(int percent) { return pick(100) < percent; }

    void note(const QString &what)
    {
        history.push_back(QStringLiteral("%1: %2").arg(steps).arg(what));
        if (history.size() > 40)
            history.pop_front();
    }

    [[noreturn]] void fail(const QString &why)
    {
        out << "MONKEY FAILURE: " << why << "\nseed " << seed << " (rerun with --seed " << seed
            << "); last steps:\n";
        for (const QString &h : history)
            out << "  " << h << "\n";
        out.flush();
        std::_Exit(1);
    }

    void newModule()
    {
        if (sim)
            ports.removeAll(sim->portPath());
        sim = std::make_unique<ModuleSimulator>();
        if (!sim->isValid())
            fail(QStringLiteral("no pseudo-terminal: ") + sim->errorString());
        ports.append(sim->portPath());
        ++modules;
    }

    Ui_MainWindow &ui() { return MainWindowProbe::ui(*w); }
    ModuleEngine &engine() { return MainWindowProbe::engine(*w); }

    // The window as a technician starts it, with a record; and what the
    // engine tells, kept apart from what the window shows of it.
    void openWindow()
    {
        w = std::make_unique<MainWindow>(nullptr, [this] { return ports; });
        connect(w.get(), &MainWindow::statusShown, this, &Monkey::checkReadSummary);
        w->keepRecord(&record);
        ModuleEngine *e = &engine();
        told.clear();
        linkedPort.clear();
        engaged = false;
        connect(e, &ModuleEngine::noted, this, [this](const ModuleEngine::Note &n) {
            using Note = ModuleEngine::Note;
            const auto *opened = n.as<Note::PortOpened>();
            const auto *connecting = n.as<Note::ConnectingTo>();
            if (opened || connecting) {
                told.clear();
                linkedPort = opened ? opened->port : connecting->port;
            }
        });
        connect(e, &ModuleEngine::portFound, this, [this](const QString &port) {
            told.clear();
            linkedPort = port;
        });
        connect(e, &ModuleEngine::fieldChanged, this,
                [this](ModuleProtocol::Field f, ModuleEngine::FieldState state, const QString &v) {
                    using State = ModuleEngine::FieldState;
                    if (state == State::Read || state == State::Confirmed)
                        told.insert(int(f), v);
                    else if (state != State::Pending && state != State::Sending)
                        told.remove(int(f));
                });
        connect(e, &ModuleEngine::stateChanged, this, [this, e] {
            if (e->isBusy())
                engaged = true;
        });
        const auto ended = [this](bool counts) {
            if (!counts && !std::exchange(engaged, false))
                return;
            engaged = false;
            ++endings;
        };
        connect(e, &ModuleEngine::readFinished, this, [ended] { ended(false); });
        connect(e, &ModuleEngine::written, this, [ended] { ended(false); });
        connect(e, &ModuleEngine::failed, this, [this, ended](const ModuleEngine::Failure &f) {
            const auto *cannotOpen = f.as<ModuleEngine::Failure::CannotOpen>();
            if (cannotOpen) {
                told.clear();
                linkedPort = cannotOpen->problem.address.name();
            }
            ended(cannotOpen != nullptr);
        });
        w->show();
    }

    void click(QPushButton *button, MainWindowProbe::Slot slot)
    {
        if (button->isEnabled()) {
            note(QStringLiteral("click ") + button->text());
            QTest::mouseClick(button, Qt::LeftButton);
        } else {
            // A disabled button's slot may still be reached (a shortcut, a
            // queued call); it must refuse, not misbehave.
            note(QStringLiteral("slot of ") + button->objectName() + QStringLiteral(" (disabled)"));
            slot(*w);
        }
    }

    void step()
    {
        static const QByteArray garbage[] = {
                QByteArray("\0\0\0", 3), QByteArray("\xff\xfe\x80 baudrate", 12),
                QByteArray("Ok"), QByteArray("?"), QByteArray("parity odd\0parity even", 22),
                QByteArray("module is working"), QByteArray("stop bits 7"), QByteArray()};
        static const QByteArray readCommands[] = {"-h", "-baudrate", "-stop bits", "-parity"};
        // Sequences take seconds: let many of them run their course, so that
        // writes get done too, not only interrupted.
        const bool busy = MainWindowProbe::readTimer(*w)->isActive()
                || MainWindowProbe::writeTimer(*w)->isActive()
                || MainWindowProbe::awaitingReply(*w);
        const int action = busy && chance(70) ? 99 : pick(20);
        switch (action) {
        case 0:
        case 1:
        case 2:
            click(ui().BT_Open_Connect, &MainWindowProbe::on_BT_Open_Connect_clicked);
            break;
        case 3:
        case 4:
            click(ui().BT_Read_values, &MainWindowProbe::on_BT_Read_values_clicked);
            break;
        case 5:
        case 6:
            click(ui().BT_Write_values, &MainWindowProbe::on_BT_Write_values_clicked);
            break;
        case 7:
            click(ui().BT_find, &MainWindowProbe::on_BT_find_clicked);
            break;
        case 8:
            click(ui().BT_Open_Connect_2, &MainWindowProbe::on_BT_Open_Connect_2_clicked);
            break;
        case 9: {
            QComboBox *boxes[] = {ui().CB_KT_Speed, ui().CB_KT_Stop_bit, ui().CB_KT_Parity,
                                  ui().cbPorts};
            QComboBox *box = boxes[pick(4)];
            if (box->count() > 0) {
                const int index = pick(box->count());
                note(QStringLiteral("choose %1 in %2").arg(index).arg(box->objectName()));
                box->setCurrentIndex(index);
            }
            break;
        }
        case 10: {
            const QSerialPort::SerialPortError errors[] = {
                    QSerialPort::NoError,           QSerialPort::ReadError,
                    QSerialPort::WriteError,        QSerialPort::ResourceError,
                    QSerialPort::TimeoutError,      QSerialPort::UnknownError,
                    QSerialPort::DeviceNotFoundError, QSerialPort::NotOpenError};
            const auto error = errors[pick(8)];
            note(QStringLiteral("port error %1").arg(int(error)));
            MainWindowProbe::handleError(*w, error);
            break;
        }
        case 11: {
            const int ms = chance(70) ? pick(400) : pick(4500);
            note(QStringLiteral("fault: replies %1 ms late").arg(ms));
            sim->setReplyDelay(std::chrono::milliseconds(ms));
            break;
        }
        case 12: {
            const bool silent = chance(30);
            note(QStringLiteral("fault: silent %1").arg(silent));
            sim->setSilent(silent);
            break;
        }
        case 13: {
            const int pieces = 1 + pick(5);
            const int pause = pick(90);
            note(QStringLiteral("fault: replies in %1 pieces %2 ms apart").arg(pieces).arg(pause));
            sim->setSplitReplies(pieces, std::chrono::milliseconds(pause));
            break;
        }
        case 14: {
            const QByteArray &command = readCommands[pick(4)];
            const QByteArray &reply = garbage[pick(8)];
            note(QStringLiteral("fault: %1 answered by %2")
                         .arg(QString::fromLatin1(command), QString::fromLatin1(reply.toHex())));
            sim->setReply(command, reply);
            honest = false;
            break;
        }
        case 15: {
            const QByteArray &bytes = garbage[pick(8)];
            note(QStringLiteral("fault: unsolicited %1").arg(QString::fromLatin1(bytes.toHex())));
            sim->sendUnsolicited(bytes);
            honest = false;
            break;
        }
        case 16:
            if (chance(40)) {
                note(QStringLiteral("fault: flood of 64 KiB"));
                sim->flood(64 * 1024, QByteArrayLiteral("noise "));
                honest = false;
            } else {
                note(QStringLiteral("faults off"));
                sim->clearFaults();
                honest = true;
            }
            break;
        case 17:
            if (chance(50)) {
                note(QStringLiteral("wait 500 ms"));
                spin(500);
            } else if (chance(30)) {
                note(QStringLiteral("module vanishes"));
                sim->vanish();
                ports.removeAll(sim->portPath());
            } else {
                note(QStringLiteral("a new module is plugged in"));
                newModule();
            }
            break;
        case 18:
            if (chance(50)) {
                commission();
            } else if (chance(50)) {
                note(QStringLiteral("close the window"));
                if (w->close())
                    reopen();
            } else if (MainWindowProbe::findTimer(*w)->isActive()) {
                note(QStringLiteral("the search runs out of time"));
                for (int i = 0; i < 1300 && MainWindowProbe::findTimer(*w)->isActive(); ++i)
                    MainWindowProbe::onfindTimerKT5(*w);
            } else {
                click(ui().BT_find, &MainWindowProbe::on_BT_find_clicked);
            }
            break;
        default: {
            const int ms = chance(80) ? pick(300) : pick(3500);
            note(QStringLiteral("wait %1 ms").arg(ms));
            spin(ms);
            break;
        }
        }
        spin(pick(60));
    }

    // A whole write as a technician does it, so that writes get done (and
    // checked against the module) and not only interrupted; the faults and
    // the boxes may still get in its way.
    void commission()
    {
        const bool healthy = chance(70);
        if (healthy) {
            sim->clearFaults();
            honest = true;
        }
        note(QStringLiteral("commission%1: refresh, connect, read, write")
                     .arg(healthy ? QStringLiteral(" (faults off)") : QString()));
        const auto idleWithin = [this](int ms) {
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < ms) {
                if (ui().BT_Write_values->isEnabled())
                    return true;
                spin(50);
            }
            return false;
        };
        if (!ui().BT_Write_values->isEnabled()) {
            if (ui().BT_Open_Connect->text() == QStringLiteral("Отключиться"))
                return; // a sequence under way: not now
            QTest::mouseClick(ui().BT_Open_Connect_2, Qt::LeftButton);
            ui().cbPorts->setCurrentText(sim->portPath());
            QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
            if (!idleWithin(6000))
                return;
        }
        for (QComboBox *box : {ui().CB_KT_Speed, ui().CB_KT_Stop_bit, ui().CB_KT_Parity})
            box->setCurrentIndex(1 + pick(box->count() - 1));
        note(QStringLiteral("write %1 %2 %3")
                     .arg(ui().CB_KT_Speed->currentText(), ui().CB_KT_Stop_bit->currentText(),
                          ui().CB_KT_Parity->currentText()));
        QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000 && (MainWindowProbe::writeTimer(*w)->isActive()
                                       || MainWindowProbe::awaitingReply(*w)))
            spin(50);
    }

    void reopen()
    {
        ++windowsClosed;
        note(QStringLiteral("the window closed; started again"));
        w.reset();
        openWindow();
    }

    // What must hold whatever happened.
    void check()
    {
        checkTruth();
        const QSerialPort *port = MainWindowProbe::serial(*w);
        const bool open = port && port->isOpen();
        if (ui().BT_Open_Connect->text() == QStringLiteral("Отключиться") && !open)
            fail(QStringLiteral("looks connected with the port closed"));
        if ((ui().BT_Read_values->isEnabled() || ui().BT_Write_values->isEnabled()) && !open)
            fail(QStringLiteral("offers read or write without an open port"));
        const bool awaiting = MainWindowProbe::awaitingReply(*w);
        if (MainWindowProbe::timeoutTimer(*w)->isActive() && !awaiting)
            fail(QStringLiteral("reply time-out runs with no reply awaited"));
        if ((MainWindowProbe::readTimer(*w)->isActive() || MainWindowProbe::writeTimer(*w)->isActive())
            && !open)
            fail(QStringLiteral("a sequence goes on without a link"));
        if (MainWindowProbe::findTimer(*w)->isActive() && open)
            fail(QStringLiteral("searching with a port open"));
        if (MainWindowProbe::readBuffer(*w).size() > ReplyFramer::maxReplyBytes)
            fail(QStringLiteral("reply beyond its bound"));
        if (ui().BT_Read_values->isEnabled()
            && (MainWindowProbe::readTimer(*w)->isActive()
                || MainWindowProbe::writeTimer(*w)->isActive() || awaiting))
            fail(QStringLiteral("a sequence goes on while the window shows idle"));
    }

    // Nothing shown is untrue: each look, word, box and row against what
    // the engine told.
    void checkTruth()
    {
        ModuleEngine &e = engine();
        const QString shownPort = ui().cbPorts->currentText();
        const std::pair<QComboBox *, ModuleProtocol::Field> fields[] = {
                {ui().CB_KT_Speed, ModuleProtocol::Field::Speed},
                {ui().CB_KT_Stop_bit, ModuleProtocol::Field::StopBits},
                {ui().CB_KT_Parity, ModuleProtocol::Field::Parity}};
        for (const auto &[box, field] : fields) {
            ++invariants;
            if (box->styleSheet() != styleGreen)
                continue;
            if (shownPort != linkedPort)
                fail(QStringLiteral("%1 green beside %2, told on %3")
                             .arg(box->objectName(), shownPort, linkedPort));
            if (!told.contains(int(field)) || told.value(int(field)) != box->currentText())
                fail(QStringLiteral("%1 green with \"%2\", the module told \"%3\"")
                             .arg(box->objectName(), box->currentText(),
                                  told.value(int(field), QStringLiteral("nothing"))));
        }

        // "Поиск": its look and words are the search's.
        ++invariants;
        const QString look = ui().BT_find->styleSheet();
        const QString words = ui().BT_find->toolTip();
        const auto says = [&words](StateWords::Search s) {
            return words.endsWith(StateWords::search(s));
        };
        if (e.state() == ModuleEngine::State::Searching) {
            if ((look != styleGray && look != styleLight) || !says(StateWords::Search::Searching))
                fail(QStringLiteral("searching, but \"Поиск\" says ") + words);
        } else if (look == styleLight || says(StateWords::Search::Searching)) {
            fail(QStringLiteral("not searching, but \"Поиск\" says ") + words);
        } else if (look == styleGreen && !(e.isOpen() && says(StateWords::Search::Found))) {
            fail(QStringLiteral("\"Поиск\" green with nothing found open: ") + words);
        } else if (look == styleRed && !says(StateWords::Search::NotFound)) {
            fail(QStringLiteral("\"Поиск\" red, saying ") + words);
        } else if (look == styleGray && !says(StateWords::Search::Idle)) {
            fail(QStringLiteral("\"Поиск\" neutral, saying ") + words);
        }

        // Read and write are offered exactly while they can run.
        ++invariants;
        const bool canRun = e.isOpen() && !e.isBusy();
        if (ui().BT_Read_values->isEnabled() != canRun || ui().BT_Write_values->isEnabled() != canRun)
            fail(QStringLiteral("read/write offered: %1, open %2, busy %3")
                         .arg(ui().BT_Read_values->isEnabled())
                         .arg(e.isOpen())
                         .arg(e.isBusy()));

        // A box about an exchange holds only while the exchange does.
        ++invariants;
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            if (box->icon() == QMessageBox::Question
                && e.activity() != ModuleEngine::Activity::Writing)
                fail(QStringLiteral("asked about a write that is over"));
            if (box->informativeText().contains(QStringLiteral("Ответ всё ещё ожидается"))
                && !e.progress().awaiting)
                fail(QStringLiteral("a box says a reply is awaited; none is"));
        }

        // Every exchange ended has its one row, written at once.
        ++invariants;
        const int rows = recordRows();
        if (rows != endings)
            fail(QStringLiteral("%1 record rows for %2 endings").arg(rows).arg(endings));
    }

    int recordRows()
    {
        QFile f(recordPath);
        if (!f.open(QIODevice::ReadOnly))
            return -1;
        const QByteArray all = f.readAll();
        // The header, then a line per row; a module's hello may hold no
        // line break (it is escaped), so lines count rows.
        return std::max(0, int(all.count('\n')) - 1);
    }

    // A read the window reports as finished names what the module holds,
    // or says it does not know; checked while the module tells the truth
    // (no forged or stray replies since its faults were last cleared).
    void checkReadSummary(const QString &status)
    {
        static const QRegularExpression values(QStringLiteral(
                "^Чтение завершено: скорость (не сообщена|\\S+), стоп-биты (не сообщены|\\S+), "
                "паритет (не сообщён|\\S+)$"));
        const auto m = values.match(status);
        if (!m.hasMatch() || !honest || !sim)
            return;
        ++readsChecked;
        const QString held[] = {sim->baudRate(), sim->stopBits(), sim->parity()};
        for (int i = 0; i < 3; ++i) {
            if (!m.captured(i + 1).startsWith(QStringLiteral("не ")) && m.captured(i + 1) != held[i])
                fail(QStringLiteral("reported \"%1\", the module holds %2 %3 %4")
                             .arg(status, held[0], held[1], held[2]));
        }
    }

    // With nothing to do the window costs next to nothing.
    void checkIdleCost()
    {
        if (QApplication::activeModalWidget())
            return;
        const auto timers = w->findChildren<QTimer *>();
        for (const QTimer *t : timers) {
            if (t->isActive())
                return;
        }
        spin(100); // let a reply under way or a flood end
        for (const QTimer *t : timers) {
            if (t->isActive())
                return;
        }
        const qint64 cpu0 = cpuMs();
        QElapsedTimer wall;
        wall.start();
        spin(1000);
        const double percent = double(cpuMs() - cpu0) * 100.0 / double(wall.elapsed());
        ++idleChecks;
        // Generous: the machine is shared, and a sanitizer build is slow.
        if (percent > 30.0)
            fail(QStringLiteral("%1 % CPU with nothing to do").arg(percent));
    }

    void watchBoxes()
    {
        int shown = 0;
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMessageBox *>(top) && top->isVisible())
                ++shown;
        }
        if (shown > 1)
            fail(QStringLiteral("%1 message boxes at once").arg(shown));
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            current = nullptr;
            return;
        }
        if (box != current) {
            current = box;
            closing = false;
            ++boxCount;
            // A row is written before any box is shown.
            if (recordRows() != endings)
                fail(QStringLiteral("a box shown before its record row"));
            note(QStringLiteral("box \"%1\": %2 %3")
                         .arg(box->windowTitle(), box->text(), box->informativeText()));
            if (box->windowTitle() == QStringLiteral("Результат"))
                checkReportedWrite(box->informativeText());
            shownAt.start();
            hold = chance(80) ? pick(50) : pick(1500);
        }
        if (!closing && shownAt.elapsed() >= hold) {
            closing = true;
            closedAt.start();
            if (box->icon() == QMessageBox::Question) {
                // Yes, no, or no answer at all (it stays until its write ends).
                const int answer = pick(3);
                note(QStringLiteral("answer %1").arg(QLatin1String(answer == 0 ? "yes" : answer == 1 ? "no" : "none")));
                if (answer == 2)
                    return;
                box->done(answer == 0 ? QMessageBox::Yes : QMessageBox::No);
                if (answer == 0 && w && !w->isVisible())
                    QTimer::singleShot(0, this, [this] { reopen(); });
                return;
            }
            box->done(QMessageBox::Ok);
        } else if (closing && box->icon() != QMessageBox::Question && closedAt.elapsed() > 3000) {
            fail(QStringLiteral("a box that cannot be closed"));
        }
    }

    // A write the window reports as done left the module with its values.
    void checkReportedWrite(const QString &text)
    {
        ++writesDone;
        static const QRegularExpression values(
                QStringLiteral("Скорость (\\S+), стоп-биты (\\S+), паритет (\\S+)"));
        const auto m = values.match(text);
        if (!m.hasMatch())
            fail(QStringLiteral("result box without values: ") + text);
        if (!sim->isOperating() || m.captured(1) != sim->baudRate()
            || m.captured(2) != sim->stopBits() || m.captured(3) != sim->parity())
            fail(QStringLiteral("reported %1, the module holds %2 %3 %4 (operating %5)")
                         .arg(text, sim->baudRate(), sim->stopBits(), sim->parity())
                         .arg(sim->isOperating()));
    }

    quint64 seed;
    std::mt19937_64 rng;
    QTemporaryDir scratch;
    QString recordPath;
    ModuleRecord record;
    ModuleSimulator held;
    QSerialPort holder;
    // What the engine told: the port of the latest connection, and each
    // value the module told on it.
    QString linkedPort;
    QHash<int, QString> told;
    bool engaged = false;
    int endings = 0;
    int windowsClosed = 0;
    qint64 invariants = 0;
    bool honest = true;
    int readsChecked = 0;
    std::unique_ptr<ModuleSimulator> sim;
    QStringList ports;
    std::unique_ptr<MainWindow> w;
    std::deque<QString> history;
    QTimer boxTimer;
    QPointer<QMessageBox> current;
    QElapsedTimer shownAt;
    QElapsedTimer closedAt;
    bool closing = false;
    int hold = 0;
    int steps = 0;
    int boxCount = 0;
    int writesDone = 0;
    int modules = 0;
    int idleChecks = 0;
};

// The command line under random stop signals: single, passed on twice
// within milliseconds (as `timeout` does), or two seconds apart, at a random
// command of a write or of a --wait --repeat batch. After each run the exit
// code, the JSON lines, the record's rows and the batch's count must agree
// with each other and with what the simulated modules received.
class CliMonkey : public QObject
{
public:
    explicit CliMonkey(quint64 seed)
        : seed(seed)
        , rng(seed)
    {
    }

    int run(int seconds)
    {
        QElapsedTimer clock;
        clock.start();
        int runs = 0;
        while (clock.elapsed() < qint64(seconds) * 1000) {
            const bool batch = pick(2) == 1;
            batch ? runBatch() : runWrite();
            ++runs;
        }
        out << "cli monkey: " << runs << " runs in " << clock.elapsed() / 1000.0 << " s, seed "
            << seed << "; signals " << signalsSent << ", checks " << checks << "\n";
        out.flush();
        return 0;
    }

private:
    struct Result
    {
        int exitCode = -1;
        QList<QJsonObject> json;
        QList<QStringList> rows;
        QString errors;
    };

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    [[noreturn]] void fail(const QString &why, const Result &r)
    {
        out << "CLI MONKEY FAILURE: " << why << "\nseed " << seed << " (rerun with --cli --seed "
            << seed << "); " << plan << "\nexit " << r.exitCode << "\nstderr:\n" << r.errors
            << "\n";
        for (const QJsonObject &j : r.json)
            out << "json: " << QJsonDocument(j).toJson(QJsonDocument::Compact) << "\n";
        out.flush();
        std::_Exit(1);
    }

    // One of three ways a stop reaches the program, sent at `when`.
    void stopNow(QProcess &p, int how)
    {
        const auto pid = pid_t(p.processId());
        ++signalsSent;
        ::kill(pid, SIGINT);
        if (how == 1) {
            ::usleep(10000);
            ::kill(pid, SIGINT);
        } else if (how == 2) {
            QTimer::singleShot(2000, &p, [&p] { ::kill(pid_t(p.processId()), SIGINT); });
        }
    }

    Result finish(QProcess &p, const QString &recordPath)
    {
        Result r;
        if (!p.waitForStarted(5000))
            fail(QStringLiteral("did not start"), r);
        QElapsedTimer t;
        t.start();
        while (p.state() != QProcess::NotRunning && t.elapsed() < 90000)
            spin(20);
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished();
            fail(QStringLiteral("still running after 90 s"), r);
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.errors = QString::fromUtf8(p.readAllStandardError());
        for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
            if (!line.trimmed().isEmpty())
                r.json.append(QJsonDocument::fromJson(line).object());
        }
        QFile f(recordPath);
        if (f.open(QIODevice::ReadOnly))
            r.rows = readCsv(QString::fromUtf8(f.readAll())).mid(1);
        return r;
    }

    // RFC 4180 as a program reads it: quoted cells may hold commas, quotes
    // (doubled) and line breaks.
    static QList<QStringList> readCsv(const QString &text)
    {
        QList<QStringList> rows;
        QStringList row;
        QString cell;
        bool quoted = false;
        for (int i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (quoted) {
                if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"'))
                    cell += text.at(++i);
                else if (c == QLatin1Char('"'))
                    quoted = false;
                else
                    cell += c;
            } else if (c == QLatin1Char('"')) {
                quoted = true;
            } else if (c == QLatin1Char(',')) {
                row << cell;
                cell.clear();
            } else if (c == QLatin1Char('\n')) {
                row << cell;
                rows << row;
                row.clear();
                cell.clear();
            } else if (c != QLatin1Char('\r')) {
                cell += c;
            }
        }
        return rows;
    }

    // The JSON line and the record row of one module say the same, and what
    // they say the module confirmed it holds.
    void checkModule(const Result &r, int i, const ModuleSimulator &module)
    {
        const QJsonObject j = r.json.at(i);
        const QStringList row = r.rows.value(i);
        const QStringList header = ModuleReport::csvHeader();
        const auto cell = [&](const char *name) {
            return row.value(int(header.indexOf(QLatin1String(name))));
        };
        ++checks;
        if (row.size() != header.size())
            fail(QStringLiteral("record row %1 has %2 cells").arg(i).arg(row.size()), r);
        if (cell("outcome") != j.value(QStringLiteral("outcome")).toString()
            || cell("exit_code").toInt() != j.value(QStringLiteral("exitCode")).toInt())
            fail(QStringLiteral("row %1 and its JSON disagree").arg(i), r);
        const QList<QByteArray> got = module.commands();
        const bool stSent = j.value(QStringLiteral("operatingModeSent")).toBool();
        if (stSent != got.contains("-st"))
            fail(QStringLiteral("operatingModeSent %1, the module got -st: %2")
                         .arg(stSent)
                         .arg(got.contains("-st")),
                 r);
        const QJsonObject confirmed = j.value(QStringLiteral("confirmed")).toObject();
        const QString held[] = {module.baudRate(), module.stopBits(), module.parity()};
        const char *names[] = {"baudRate", "stopBits", "parity"};
        for (int f = 0; f < 3; ++f) {
            const QJsonValue v = confirmed.value(QLatin1String(names[f]));
            if (!v.isNull() && !v.isUndefined() && v.toVariant().toString() != held[f])
                fail(QStringLiteral("confirmed %1 %2, the module holds %3")
                             .arg(QLatin1String(names[f]), v.toVariant().toString(), held[f]),
                     r);
        }
        const int code = j.value(QStringLiteral("exitCode")).toInt();
        if (code == 0 && !module.isOperating())
            fail(QStringLiteral("done, yet the module does not operate"), r);
        if (j.value(QStringLiteral("failure")).toString() == QLatin1String("not-started")
            && !got.isEmpty())
            fail(QStringLiteral("not started, yet the module got %1").arg(QString::fromLatin1(got.constFirst())), r);
    }

    // After the stop, at most the command under way was answered: nothing
    // new went out once the program had taken it.
    void checkNothingAfterStop(const Result &r, const ModuleSimulator &module, int sentBefore)
    {
        ++checks;
        if (module.commands().size() > sentBefore)
            fail(QStringLiteral("%1 commands after the stop")
                         .arg(module.commands().size() - sentBefore),
                 r);
    }

    void runWrite()
    {
        QTemporaryDir dir;
        const QString recordPath = dir.filePath(QStringLiteral("r.csv"));
        ModuleSimulator module;
        const int at = 1 + pick(12); // the command the signal comes after
        const int how = pick(3);
        plan = QStringLiteral("write, stop (%1) at command %2").arg(how).arg(at);
        QProcess p;
        int sentAtStop = -1;
        connect(&module, &ModuleSimulator::commandReceived, &p, [&] {
            if (module.commands().size() == at && sentAtStop < 0) {
                sentAtStop = at;
                stopNow(p, how);
            }
        });
        p.start(cliPath(), writeArguments({module.portPath()}, recordPath));
        const Result r = finish(p, recordPath);
        ++checks;
        if (r.json.size() != 1 || r.rows.size() != 1)
            fail(QStringLiteral("%1 JSON lines, %2 rows").arg(r.json.size()).arg(r.rows.size()), r);
        if (r.exitCode != r.json.at(0).value(QStringLiteral("exitCode")).toInt())
            fail(QStringLiteral("exit code is not the result's"), r);
        checkModule(r, 0, module);
        if (sentAtStop > 0)
            checkNothingAfterStop(r, module, sentAtStop);
    }

    void runBatch()
    {
        QTemporaryDir dir;
        const QString recordPath = dir.filePath(QStringLiteral("r.csv"));
        const QString slot = dir.filePath(QStringLiteral("ttyTAV"));
        const int modulesPlanned = 1 + pick(3);
        const int stopModule = pick(modulesPlanned + 1); // the last: while waiting
        const int at = pick(13); // 0: in the pause before the first command
        const int how = pick(3);
        plan = QStringLiteral("batch of %1, stop (%2) at module %3, command %4")
                       .arg(modulesPlanned)
                       .arg(how)
                       .arg(stopModule)
                       .arg(at);
        std::vector<std::unique_ptr<ModuleSimulator>> modules;
        QProcess p;
        int sentAtStop = -1;
        bool stopped = false;
        std::function<void()> plugNext = [&] {
            if (!modules.empty())
                modules.back()->vanish();
            if (int(modules.size()) == modulesPlanned) {
                if (!stopped) {
                    stopped = true;
                    QTimer::singleShot(300, &p, [&] { stopNow(p, how); });
                }
                return;
            }
            modules.push_back(std::make_unique<ModuleSimulator>());
            ModuleSimulator *m = modules.back().get();
            m->makeLink(slot);
            const int index = int(modules.size()) - 1;
            if (index == stopModule && at == 0) {
                // In the 3 s the module is given to start, before anything is sent.
                QTimer::singleShot(1500, &p, [&, m] {
                    if (!stopped && m->commands().isEmpty()) {
                        stopped = true;
                        sentAtStop = 0;
                        stopNow(p, how);
                    }
                });
            }
            connect(m, &ModuleSimulator::commandReceived, &p, [&, m, index] {
                if (index == stopModule && !stopped && m->commands().size() == at) {
                    stopped = true;
                    sentAtStop = at;
                    stopNow(p, how);
                }
                // The module's write is over: the next one comes in.
                if (m->commands().constLast() == "-st")
                    QTimer::singleShot(200, &p, plugNext);
            });
        };
        plugNext();
        p.start(cliPath(), writeArguments({slot, QStringLiteral("--wait"), QStringLiteral("--repeat")},
                                          recordPath));
        const Result r = finish(p, recordPath);
        ++checks;
        if (r.json.size() != r.rows.size())
            fail(QStringLiteral("%1 JSON lines, %2 rows").arg(r.json.size()).arg(r.rows.size()), r);
        // Every module plugged in has its line, in order.
        int done = 0, failed = 0, notStarted = 0;
        for (int i = 0; i < r.json.size(); ++i) {
            if (i >= int(modules.size()))
                fail(QStringLiteral("more results than modules"), r);
            checkModule(r, i, *modules.at(i));
            const QJsonObject j = r.json.at(i);
            if (j.value(QStringLiteral("failure")).toString() == QLatin1String("not-started"))
                ++notStarted;
            else if (j.value(QStringLiteral("exitCode")).toInt() == 0)
                ++done;
            else
                ++failed;
        }
        static const QRegularExpression total(QStringLiteral(
                "Модулей готово: (\\d+), с ошибкой: (\\d+)(?:, не начато: (\\d+))?"));
        const auto m = total.match(r.errors);
        ++checks;
        if (!m.hasMatch() || m.captured(1).toInt() != done || m.captured(2).toInt() != failed
            || m.captured(3).toInt() != notStarted)
            fail(QStringLiteral("the count says otherwise: done %1, failed %2, not started %3")
                         .arg(done)
                         .arg(failed)
                         .arg(notStarted),
                 r);
        // Stopped while waiting for the next module: interrupted; stopped
        // during a module: that module's result.
        const int expected = r.json.size() == int(modules.size()) && stopModule < modulesPlanned
                ? r.json.constLast().value(QStringLiteral("exitCode")).toInt()
                : 130;
        ++checks;
        if (r.exitCode != expected)
            fail(QStringLiteral("exit %1, expected %2").arg(r.exitCode).arg(expected), r);
        if (stopModule < modulesPlanned && sentAtStop >= 0)
            checkNothingAfterStop(r, *modules.at(stopModule), sentAtStop);
    }

    // A write of 19200/2/even with a JSON line and a record row per module.
    static QStringList writeArguments(const QStringList &where, const QString &recordPath)
    {
        return QStringList {QStringLiteral("write")} + where
                + QStringList {QStringLiteral("--baud"), QStringLiteral("19200"),
                               QStringLiteral("--stop-bits"), QStringLiteral("2"),
                               QStringLiteral("--parity"), QStringLiteral("even"),
                               QStringLiteral("--json"), QStringLiteral("--record"), recordPath,
                               QStringLiteral("--record-format"), QStringLiteral("rfc4180")};
    }

    static QString cliPath()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/../cli/tav-configurator-cli");
    }

    quint64 seed;
    std::mt19937_64 rng;
    QString plan;
    int signalsSent = 0;
    int checks = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    // The offscreen platform warns on every message box shown; thousands of
    // those would bury the report.
    static const QtMessageHandler standard = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
        if (!text.contains(QLatin1String("propagateSizeHints")))
            standard(type, context, text);
    });
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Random use of the window against a simulated module."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("How long to run."),
                      QStringLiteral("N"), QStringLiteral("60")});
    parser.addOption({QStringLiteral("seed"), QStringLiteral("Seed of the run (random if not given)."),
                      QStringLiteral("S")});
    parser.addOption({QStringLiteral("cli"),
                      QStringLiteral("The command-line program under random stop signals instead of the window.")});
    parser.process(app);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    out.setCodec("UTF-8");
#endif
    const quint64 seed = parser.isSet(QStringLiteral("seed"))
            ? parser.value(QStringLiteral("seed")).toULongLong()
            : std::random_device {}();
    out << "monkey: seed " << seed << ", " << parser.value(QStringLiteral("seconds")) << " s\n";
    out.flush();
    if (parser.isSet(QStringLiteral("cli"))) {
        CliMonkey monkey(seed);
        return monkey.run(parser.value(QStringLiteral("seconds")).toInt());
    }
    Monkey monkey(seed);
    return monkey.run(parser.value(QStringLiteral("seconds")).toInt());
}
