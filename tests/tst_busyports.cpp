// Ports held by another program: refused as busy before a byte is sent,
// whoever holds them and however they are named; and this program's own
// hold is seen by others under every name of the device.
#include "commissioner.h"
#include "enginewords.h"
#include "moduleengine.h"
#include "simfixture.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

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
    QString folder;
    for (const QString &candidate : {QStringLiteral("/run/lock"), QStringLiteral("/var/lock")}) {
        if (QFileInfo(candidate).isDir() && QFileInfo(candidate).isWritable()) {
            folder = candidate;
            break;
        }
    }
    if (folder.isEmpty())
        QSKIP("no writable lock folder here");
    // Named after the device, the UUCP way; the port is opened by a link.
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyTAV"));
    QVERIFY(sim->makeLink(link));
    lockFile = folder + QStringLiteral("/LCK..") + QFileInfo(device()).fileName();
    QVERIFY2(!QFileInfo::exists(lockFile), qPrintable(lockFile));

    QProcess owner;
    owner.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    QVERIFY(owner.waitForStarted());
    const auto writeLock = [this](qint64 pid) {
        QFile file(lockFile);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray::number(pid).rightJustified(10, ' ') + '\n');
    };
    const qint64 ownerPid = owner.processId();
    // Started is not yet "sleep": wait until it runs under its own name.
    QTRY_VERIFY([ownerPid] {
        QFile commandLine(QStringLiteral("/proc/%1/cmdline").arg(ownerPid));
        return commandLine.open(QIODevice::ReadOnly) && commandLine.readAll().contains("sleep");
    }());
    writeLock(ownerPid);

    ModuleEngine engine([] { return QStringList(); });
    QSignalSpy failed(&engine, &ModuleEngine::failed);
    QVERIFY(!engine.open(link));
    QCOMPARE(failed.count(), 1);
    const QString advice = EngineWords::advice(failed.at(0).at(0).value<ModuleEngine::Failure>(),
                                               LinkWords::Audience::Window);
    QVERIFY2(advice.contains(QStringLiteral("занят другой программой")) && advice.contains(lockFile)
                     && advice.contains(QStringLiteral("sleep")),
             qPrintable(advice));

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
    writeLock(zombie);
    QVERIFY(engine.open(link));
    engine.close();
    ::waitpid(zombie, nullptr, 0);

    // Its owner gone, the file holds nothing.
    owner.kill();
    owner.waitForFinished();
    writeLock(ownerPid);
    QVERIFY(engine.open(link));
    QVERIFY(engine.read());
    QTRY_VERIFY_WITH_TIMEOUT(!engine.isBusy(), 10000);
    QCOMPARE(sim->commands().size(), 4);
}

void TestBusyPorts::theOpenDeviceIsClaimedUnderEveryName()
{
    QCOMPARE(tryFlock(), 0);
    ModuleEngine first([] { return QStringList(); });
    QVERIFY(first.open(sim->portPath()));
    // A terminal program, and a second configurator by another name of the
    // same device, see it taken.
    QCOMPARE(tryFlock(), 1);
    QTemporaryDir dir;
    const QString byId = dir.filePath(QStringLiteral("usb-FTDI_FT232R_A50285BI-if00-port0"));
    QVERIFY(sim->makeLink(byId));
    ModuleEngine second([] { return QStringList(); });
    QSignalSpy failed(&second, &ModuleEngine::failed);
    QVERIFY(!second.open(byId));
    QCOMPARE(failed.count(), 1);
    QVERIFY(EngineWords::advice(failed.at(0).at(0).value<ModuleEngine::Failure>(),
                                LinkWords::Audience::Window)
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
