// Ports held by another program: refused as busy before a byte is sent,
// whoever holds them and however they are named; and this program's own
// hold is seen by others under every name of the device.
#include "commissioner.h"
#include "enginewords.h"
#include "moduleengine.h"
#include "platform.h"
#include "simfixture.h"
#include "statewords.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class TestBusyPorts : public WindowOnSimulator
{
    Q_OBJECT

private slots:
    void init() { setUp(true); }
    void cleanup();

    void aPortHeldWithFlockIsBusyInBothFrontEnds();
    void aLiveLockFileMakesThePortBusyAStaleOneDoesNot();
    void theOpenDeviceIsClaimedUnderEveryName();

private:
    // Starts flock(1) holding the simulated port; true once it holds it.
    bool holdWithFlock(QProcess &holder);
    QString device() const { return QFileInfo(sim->portPath()).canonicalFilePath(); }
    // Exit status of flock(1) trying the device without waiting: 0 free, 1 held.
    int tryFlock() const
    {
        return QProcess::execute(QStringLiteral("flock"),
                                 {QStringLiteral("-n"), device(), QStringLiteral("true")});
    }

    QString lockFile;
};

void TestBusyPorts::cleanup()
{
    if (!lockFile.isEmpty())
        QFile::remove(lockFile);
    lockFile.clear();
    Platform::setLockFolders({});
    tearDown();
}

bool TestBusyPorts::holdWithFlock(QProcess &holder)
{
    // Started under a name of its own, as a terminal program would be; it
    // says "held" under that name and keeps it (no exec after).
    holder.start(QStringLiteral("flock"),
                 {QStringLiteral("-x"), device(), QStringLiteral("bash"), QStringLiteral("-c"),
                  QStringLiteral("exec -a picocom bash -c 'echo held; sleep 60 & wait'")});
    if (!holder.waitForStarted())
        return false;
    QElapsedTimer clock;
    clock.start();
    while (!holder.canReadLine() && clock.elapsed() < 10000)
        holder.waitForReadyRead(100);
    return holder.readLine().startsWith("held");
}

void TestBusyPorts::aPortHeldWithFlockIsBusyInBothFrontEnds()
{
    QProcess holder;
    QVERIFY(holdWithFlock(holder));

    ui().cbPorts->setCurrentText(sim->portPath());
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_COMPARE(boxes->count(), 1);
    QCOMPARE(boxes->boxes.at(0).text, QStringLiteral("Ошибка соединения"));
    const QString advice = boxes->boxes.at(0).informativeText;
    // The holder is the program flock(1) started, named as it was started.
    QVERIFY2(advice.contains(QStringLiteral("занят другой программой"))
                     && advice.contains(QStringLiteral("его держит picocom, процесс ")),
             qPrintable(advice));
    QVERIFY(!MainWindowProbe::engine(*w).isOpen());
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));

    CommissionOptions o;
    o.port = sim->portPath();
    QString output;
    QString errors;
    QTextStream out(&output);
    QTextStream err(&errors);
    Commissioner cli(
            o, [] { return QStringList(); }, out, err);
    QSignalSpy finished(&cli, &Commissioner::finished);
    cli.start();
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), ExitCode::cannotOpen);
    QVERIFY2(output.contains(QStringLiteral("занят")), qPrintable(output));

    QVERIFY(sim->rawInput().isEmpty());
    holder.kill();
    holder.waitForFinished();
}

void TestBusyPorts::aLiveLockFileMakesThePortBusyAStaleOneDoesNot()
{
    // A lock folder of the test's own: the machine's are never touched.
    QTemporaryDir locks;
    Platform::setLockFolders({locks.path()});
    // Named after the device, the UUCP way; the port is opened by a link.
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyTAV"));
    QVERIFY(sim->makeLink(link));
    lockFile = locks.filePath(QStringLiteral("LCK..") + QFileInfo(device()).fileName());

    QProcess owner;
    owner.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    QVERIFY(owner.waitForStarted());
    const auto writeLock = [this](const QByteArray &content) {
        QFile::remove(lockFile);
        QFile file(lockFile);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    };
    const auto pidText = [](qint64 pid) { return QByteArray::number(pid).rightJustified(10, ' ') + '\n'; };
    const qint64 ownerPid = owner.processId();
    // Started is not yet "sleep": wait until it runs under its own name.
    QTRY_VERIFY([ownerPid] {
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(ownerPid));
        return commandLine.open(QIODevice::ReadOnly) && commandLine.readAll().contains("sleep");
    }());
    writeLock(pidText(ownerPid));

    ModuleEngine engine({[] { return QStringList(); }});
    QSignalSpy failed(&engine, &ModuleEngine::failed);
    QSignalSpy noted(&engine, &ModuleEngine::noted);
    const auto adviceOf = [&failed] {
        return EngineWords::advice(failed.constLast().at(0).value<ModuleEngine::Failure>(),
                                   StateWords::audience());
    };
    const auto ignoredLocks = [&noted] {
        QStringList said;
        for (const auto &args : noted) {
            const auto note = args.at(0).value<ModuleEngine::Note>();
            if (note.as<ModuleEngine::Note::LockIgnored>())
                said << EngineWords::say(note, StateWords::audience());
        }
        return said;
    };
    QVERIFY(!engine.open(link));
    QCOMPARE(failed.count(), 1);
    QVERIFY2(adviceOf().contains(QStringLiteral("занят другой программой"))
                     && adviceOf().contains(lockFile) && adviceOf().contains(QStringLiteral("sleep")),
             qPrintable(adviceOf()));
    // A shell's number in a lock file names the shell, not a program it
    // happens to have started (which does not hold the port).
    QProcess shell;
    shell.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("sleep 60 & wait")});
    QVERIFY(shell.waitForStarted());
    const qint64 shellPid = shell.processId();
    QTRY_VERIFY([shellPid] {
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(shellPid));
        return children.open(QIODevice::ReadOnly) && !children.readAll().trimmed().isEmpty();
    }());
    writeLock(pidText(shellPid));
    QVERIFY(!engine.open(link));
    QVERIFY2(adviceOf().contains(QStringLiteral("sh, процесс %1").arg(shellPid))
                     && !adviceOf().contains(QStringLiteral("sleep")),
             qPrintable(adviceOf()));
    shell.kill();
    shell.waitForFinished();
    writeLock(pidText(ownerPid));
    QVERIFY(!engine.open(link));

    // A program that ended but was not yet reaped by its parent (a zombie)
    // holds nothing either.
    const pid_t zombie = ::fork();
    if (zombie == 0)
        ::_exit(0);
    QVERIFY(zombie > 0);
    const auto isZombie = [zombie] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(zombie));
        return stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") Z ");
    };
    QTRY_VERIFY(isZombie());
    writeLock(pidText(zombie));
    QVERIFY(engine.open(link));
    engine.close();
    ::waitpid(zombie, nullptr, 0);

    // A number no process can have names no one: 2^32 + 1 is not init's 1.
    writeLock(pidText(4294967297LL));
    QVERIFY(engine.open(link));
    engine.close();
    QCOMPARE(ignoredLocks().count(), 1);
    QVERIFY2(ignoredLocks().constFirst().contains(QStringLiteral("4294967297")),
             qPrintable(ignoredLocks().constFirst()));

    // A named pipe in its place would hold a reader in open() for ever:
    // it is passed over, and said so once a run.
    QFile::remove(lockFile);
    QCOMPARE(::mkfifo(QFile::encodeName(lockFile).constData(), 0644), 0);
    QVERIFY(engine.open(link));
    engine.close();
    QVERIFY(engine.open(link));
    engine.close();
    QCOMPARE(ignoredLocks().count(), 2);
    QVERIFY2(ignoredLocks().constLast().contains(QStringLiteral("не обычный файл")),
             qPrintable(ignoredLocks().constLast()));

    // A lock file there that cannot be read may be anyone's: busy, and said.
    QFile::setPermissions(locks.path(), QFile::permissions(locks.path()) | QFileDevice::ReadOther
                                                | QFileDevice::ExeOther);
    writeLock(pidText(ownerPid));
    QFile::setPermissions(lockFile, QFileDevice::WriteOwner);
    const auto claimedByOneWhoCannotRead = [this] {
        if (::geteuid() != 0) {
            Platform::DeviceClaim claim;
            return int(claim.take(PortAddress::of(device()), nullptr));
        }
        // Root reads every file: the claim is tried by a user who may not.
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(100);
            Platform::DeviceClaim claim;
            ::_exit(int(claim.take(PortAddress::of(device()), nullptr)));
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    QCOMPARE(claimedByOneWhoCannotRead(), int(Platform::DeviceClaim::Result::Held));

    // Its owner gone, the file holds nothing.
    QFile::setPermissions(lockFile, QFileDevice::WriteOwner | QFileDevice::ReadOwner);
    owner.kill();
    owner.waitForFinished();
    writeLock(pidText(ownerPid));
    QVERIFY(engine.open(link));
    QVERIFY(engine.start(ModuleEngine::Plan::read()));
    QTRY_VERIFY_WITH_TIMEOUT(!engine.isBusy(), 10000);
    QCOMPARE(sim->commands().size(), 4);
}

void TestBusyPorts::theOpenDeviceIsClaimedUnderEveryName()
{
    QCOMPARE(tryFlock(), 0);
    ModuleEngine first({[] { return QStringList(); }});
    QVERIFY(first.open(sim->portPath()));
    // A terminal program, and a second configurator by another name of the
    // same device, see it taken.
    QCOMPARE(tryFlock(), 1);
    QTemporaryDir dir;
    const QString byId = dir.filePath(QStringLiteral("usb-FTDI_FT232R_A50285BI-if00-port0"));
    QVERIFY(sim->makeLink(byId));
    ModuleEngine second({[] { return QStringList(); }});
    QSignalSpy failed(&second, &ModuleEngine::failed);
    QVERIFY(!second.open(byId));
    QCOMPARE(failed.count(), 1);
    QVERIFY(EngineWords::advice(failed.at(0).at(0).value<ModuleEngine::Failure>(),
                                StateWords::audience())
                    .contains(
            QStringLiteral("занят другой программой")));

    // Closed, the claim goes with the port.
    first.close();
    QCOMPARE(tryFlock(), 0);
    QVERIFY(second.open(byId));
    QCOMPARE(tryFlock(), 1);
}

QTEST_MAIN(TestBusyPorts)
#include "tst_busyports.moc"
