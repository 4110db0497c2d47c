// The module search: ticks, blink, limit, and adapters that come and go.
// Ticks are driven directly where real time would be slow.
#include "indicatorstyles.h"
#include "simfixture.h"

#include "portmonitor.h"

#include <QProcess>
#include <QtTest>

#include <memory>

class TestSearch : public WindowOnSimulator
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startThenStop();
    void blinkAlternates();
    void limitWithoutFind();
    void portOnTheLimitTickIsStillFound();
    void portPresentBeforeIsNeverFound();
    void newPortIsOpenedAndReadLater();
    void removalOnlyShrinksTheReference();
    void replacementWithinOneTickIsFound();
    void replugSelectsTheExistingItem();
    void twoNewPortsInOneTick();
    void foundPortThatCannotBeOpened();
    void heldPortIsRetriedUntilReleased_data();
    void heldPortIsRetriedUntilReleased();
    void searchOnAWatchedFolder();
    void moduleFoundAfterAManualReadIsReadFromTheStart();
    void connectButtonIgnoredWhileSearching();
    void refreshDuringSearch();
    void eachButtonRunsItsSlotOnce();

private:
    void startSearch()
    {
        QTest::mouseClick(ui().BT_find, Qt::LeftButton);
        QVERIFY(MainWindowProbe::findTimer(*w)->isActive());
    }
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            MainWindowProbe::onfindTimerKT5(*w);
    }
    QStringList items() const
    {
        QStringList out;
        for (int i = 0; i < MainWindowProbe::ui(*w).cbPorts->count(); ++i)
            out.append(MainWindowProbe::ui(*w).cbPorts->itemText(i));
        return out;
    }
};

void TestSearch::init()
{
    // These cases follow the found port's grace and start-up pause as they pass.
    static const QSet<QByteArray> timed {"newPortIsOpenedAndReadLater",
                                         "heldPortIsRetriedUntilReleased"};
    hurryPauses = !timed.contains(QTest::currentTestFunction());
    setUp(false, {QStringLiteral("COM1")});
}

void TestSearch::cleanup()
{
    tearDown();
}

void TestSearch::startThenStop()
{
    ui().CB_KT_Speed->setCurrentIndex(5);
    ui().CB_KT_Parity->setStyleSheet(styleGreen);
    StatusLog log(*w);
    startSearch();
    QCOMPARE(MainWindowProbe::findTimer(*w)->interval(), 100);
    QCOMPARE(MainWindowProbe::searchTicks(*w), 0);
    QCOMPARE(ui().BT_find->styleSheet(), styleGray);
    QCOMPARE(ui().CB_KT_Speed->currentIndex(), 0);
    QCOMPARE(ui().CB_KT_Parity->styleSheet(), styleGray);

    QTest::mouseClick(ui().BT_find, Qt::LeftButton);
    QCOMPARE(log.messages(),
             (QStringList {QStringLiteral("Поиск начат"), QStringLiteral("Поиск остановлен")}));
    QVERIFY(!MainWindowProbe::findTimer(*w)->isActive());
    QCOMPARE(ui().BT_find->styleSheet(), styleGray);
    QCOMPARE(items(), QStringList {QStringLiteral("COM1")});
    QCOMPARE(MainWindowProbe::knownPorts(*w), QStringList {QStringLiteral("COM1")});
    QVERIFY(MainWindowProbe::serial(*w) == nullptr);
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));
}

void TestSearch::blinkAlternates()
{
    startSearch();
    tick();
    QCOMPARE(ui().BT_find->styleSheet(), styleLight);
    tick();
    QCOMPARE(ui().BT_find->styleSheet(), styleGray);
    tick();
    QCOMPARE(ui().BT_find->styleSheet(), styleLight);
    // Real ticks blink too.
    StatusLog log(*w);
    QTRY_COMPARE(ui().BT_find->styleSheet(), styleGray);
    QTRY_COMPARE(ui().BT_find->styleSheet(), styleLight);
    QCOMPARE(log.count(), 0);
}

void TestSearch::limitWithoutFind()
{
    StatusLog log(*w);
    const QString idle = ui().BT_find->toolTip();
    startSearch();
    tick(1200);
    QVERIFY(MainWindowProbe::findTimer(*w)->isActive());
    QCOMPARE(log.count(), 1);
    tick();
    QVERIFY(!MainWindowProbe::findTimer(*w)->isActive());
    QCOMPARE(ui().BT_find->styleSheet(), styleRed);
    QCOMPARE(log.last(), QStringLiteral("Модуль не найден"));
    QCOMPARE(log.count(), 2);
    QVERIFY(MainWindowProbe::serial(*w) == nullptr);
    QVERIFY(ui().BT_find->isEnabled());
    const QString notFound = ui().BT_find->toolTip();
    QVERIFY(notFound != idle);

    // The search's last word is over once a port is connected by hand.
    ports.append(sim->portPath());
    QTest::mouseClick(ui().BT_Open_Connect_2, Qt::LeftButton);
    ui().cbPorts->setCurrentText(sim->portPath());
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QCOMPARE(ui().BT_find->styleSheet(), styleGray);
    QCOMPARE(ui().BT_find->toolTip(), idle);
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 10000);
    QCOMPARE(ui().BT_find->toolTip(), idle);
}

void TestSearch::portOnTheLimitTickIsStillFound()
{
    StatusLog log(*w);
    startSearch();
    tick(1200);
    ports.append(sim->portPath());
    tick();
    QVERIFY(!MainWindowProbe::findTimer(*w)->isActive());
    QCOMPARE(ui().BT_find->styleSheet(), styleGreen);
    // Found on the last look: never told as not found.
    QCOMPARE(log.last(), QStringLiteral("Найден порт ") + sim->portPath());
    QVERIFY(!log.messages().contains(QStringLiteral("Модуль не найден")));
    QVERIFY(MainWindowProbe::serial(*w)->isOpen());
    QCOMPARE(ui().cbPorts->currentText(), sim->portPath());
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Отключиться"));
    QVERIFY(MainWindowProbe::readTimer(*w)->isActive());
    QCOMPARE(MainWindowProbe::readTimer(*w)->interval(), 3000);
}

void TestSearch::portPresentBeforeIsNeverFound()
{
    makeWindow({QStringLiteral("COM1"), sim->portPath()});
    startSearch();
    tick(50);
    QVERIFY(MainWindowProbe::findTimer(*w)->isActive());
    QVERIFY(MainWindowProbe::serial(*w) == nullptr);
    QVERIFY(sim->rawInput().isEmpty());
    QCOMPARE(items(), (QStringList {QStringLiteral("COM1"), sim->portPath()}));
}

void TestSearch::newPortIsOpenedAndReadLater()
{
    sim->setSettings(QStringLiteral("38400"), QStringLiteral("2"), QStringLiteral("even"));
    StatusLog log(*w);
    startSearch();
    // Plugged in while the search runs on its own timer.
    QTRY_VERIFY(MainWindowProbe::searchTicks(*w) >= 3);
    QElapsedTimer clock;
    ports.append(sim->portPath());
    clock.start();
    QTRY_VERIFY(MainWindowProbe::serial(*w) != nullptr);
    QVERIFY(MainWindowProbe::serial(*w)->isOpen());
    QCOMPARE(ui().BT_find->styleSheet(), styleGreen);
    // A second search would wipe the fields of the port that stays open.
    QVERIFY(!ui().BT_find->isEnabled());
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Отключиться"));
    QCOMPARE(items(), (QStringList {QStringLiteral("COM1"), sim->portPath()}));
    QCOMPARE(ui().cbPorts->currentIndex(), 1);
    QCOMPARE(log.messages(),
             (QStringList {QStringLiteral("Поиск начат"),
                           QStringLiteral("Найден порт ") + sim->portPath()}));

    QTRY_COMPARE_WITH_TIMEOUT(sim->commands().size(), 1, 6000);
    QVERIFY2(clock.elapsed() >= 2800, QByteArray::number(clock.elapsed()));
    QCOMPARE(log.messages().at(2), QStringLiteral("Передано :-h"));
    QVERIFY(!log.messages().contains(QStringLiteral("Чтение начато")));

    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 10000);
    QVERIFY(ui().BT_Read_values->isEnabled());
    QCOMPARE(ui().CB_KT_Speed->currentText(), QStringLiteral("38400"));
    QCOMPARE(ui().CB_KT_Stop_bit->currentText(), QStringLiteral("2"));
    QCOMPARE(ui().CB_KT_Parity->currentText(), QStringLiteral("even"));
    QCOMPARE(ui().CB_KT_Parity->styleSheet(), styleGreen);
    QCOMPARE(boxes->count(), 0);

    // A write that ends in operating mode closes the port: "Поиск" no
    // longer says that the adapter it found is open.
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 20000);
    QVERIFY(!MainWindowProbe::engine(*w).isOpen());
    QCOMPARE(ui().BT_find->styleSheet(), styleGray);
    QVERIFY(!ui().BT_find->accessibleDescription().contains(QStringLiteral("открыт")));
}

void TestSearch::removalOnlyShrinksTheReference()
{
    makeWindow({QStringLiteral("COM1"), QStringLiteral("COM2")});
    startSearch();
    ports = QStringList {QStringLiteral("COM1")};
    tick();
    QCOMPARE(MainWindowProbe::knownPorts(*w), QStringList {QStringLiteral("COM1")});
    QVERIFY(MainWindowProbe::findTimer(*w)->isActive());
    QCOMPARE(items(), (QStringList {QStringLiteral("COM1"), QStringLiteral("COM2")}));
    ports = QStringList();
    tick();
    QVERIFY(MainWindowProbe::knownPorts(*w).isEmpty());
    QVERIFY(MainWindowProbe::serial(*w) == nullptr);

    ports = QStringList {sim->portPath()};
    tick();
    QVERIFY(MainWindowProbe::serial(*w) && MainWindowProbe::serial(*w)->isOpen());
    QCOMPARE(MainWindowProbe::knownPorts(*w), ports);
}

void TestSearch::replacementWithinOneTickIsFound()
{
    makeWindow({QStringLiteral("COM1"), QStringLiteral("COM7")});
    startSearch();
    tick();
    ports = QStringList {QStringLiteral("COM1"), sim->portPath()}; // same count
    tick();
    QVERIFY(MainWindowProbe::serial(*w) && MainWindowProbe::serial(*w)->isOpen());
    QCOMPARE(ui().cbPorts->currentText(), sim->portPath());
    QCOMPARE(ui().BT_find->styleSheet(), styleGreen);
    QCOMPARE(MainWindowProbe::knownPorts(*w), ports);
}

void TestSearch::replugSelectsTheExistingItem()
{
    makeWindow({QStringLiteral("COM1"), sim->portPath()});
    startSearch();
    ports = QStringList {QStringLiteral("COM1")};
    tick();
    ports = QStringList {QStringLiteral("COM1"), sim->portPath()};
    tick();
    QCOMPARE(items(), (QStringList {QStringLiteral("COM1"), sim->portPath()}));
    QCOMPARE(ui().cbPorts->currentIndex(), 1);
    QVERIFY(MainWindowProbe::serial(*w)->isOpen());
    QCOMPARE(MainWindowProbe::serial(*w)->portName(), QSerialPort(sim->portPath()).portName());
}

void TestSearch::twoNewPortsInOneTick()
{
    ModuleSimulator second;
    startSearch();
    ports << sim->portPath() << second.portPath();
    tick();
    QCOMPARE(items(), (QStringList {QStringLiteral("COM1"), sim->portPath(), second.portPath()}));
    QCOMPARE(ui().cbPorts->currentIndex(), 2);
    // The other stays new: the next search offers it at once.
    QVERIFY(!MainWindowProbe::knownPorts(*w).contains(sim->portPath()));
    QSerialPort *port = MainWindowProbe::serial(*w);
    QCOMPARE(port->portName(), QSerialPort(second.portPath()).portName());
    QVERIFY(port->isOpen());
    // Only the last stays open: the first port object is gone.
    QTRY_COMPARE(w->findChildren<QSerialPort *>().size(), 1);
    MainWindow other(nullptr, [this] { return QStringList {sim->portPath()}; });
    QTest::mouseClick(MainWindowProbe::ui(other).BT_Open_Connect, Qt::LeftButton);
    QVERIFY(MainWindowProbe::serial(other)->isOpen()); // the first port is free again
    QCOMPARE(boxes->count(), 0);
}

void TestSearch::foundPortThatCannotBeOpened()
{
    StatusLog log(*w);
    startSearch();
    ports.append(QStringLiteral("/dev/tav-unplugged-too-soon"));
    tick();
    // Retried for the grace period first: the node may still be coming.
    QCOMPARE(boxes->count(), 0);
    QVERIFY(!MainWindowProbe::findTimer(*w)->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 8000);
    QCOMPARE(boxes->boxes.at(0).text, QStringLiteral("Ошибка соединения"));
    QVERIFY(!MainWindowProbe::findTimer(*w)->isActive());
    QCOMPARE(ui().BT_find->styleSheet(), styleRed);
    QVERIFY(ui().BT_find->isEnabled());
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));
    QVERIFY(!MainWindowProbe::readTimer(*w)->isActive());
    QVERIFY(!ui().BT_Read_values->isEnabled());
    QVERIFY2(log.last().contains(QStringLiteral("/dev/tav-unplugged-too-soon")),
             qPrintable(log.last()));
}

void TestSearch::connectButtonIgnoredWhileSearching()
{
    makeWindow({sim->portPath()});
    startSearch();
    StatusLog log(*w);
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));
    QVERIFY(MainWindowProbe::serial(*w) == nullptr);
    QVERIFY(ui().BT_find->isEnabled());
    QVERIFY(!ui().BT_Read_values->isEnabled());
    QVERIFY(MainWindowProbe::findTimer(*w)->isActive());
    QCOMPARE(log.count(), 0);
}

void TestSearch::refreshDuringSearch()
{
    startSearch();
    ports.append(sim->portPath());
    QTest::mouseClick(ui().BT_Open_Connect_2, Qt::LeftButton);
    QCOMPARE(items(), ports);
    tick(5);
    QVERIFY(MainWindowProbe::serial(*w) == nullptr);
    QVERIFY(MainWindowProbe::findTimer(*w)->isActive());
}

void TestSearch::eachButtonRunsItsSlotOnce()
{
    makeWindow({sim->portPath()});
    StatusLog log(*w);
    QTest::mouseClick(ui().BT_find, Qt::LeftButton);
    QCOMPARE(log.messages(), QStringList {QStringLiteral("Поиск начат")});
    QTest::mouseClick(ui().BT_find, Qt::LeftButton);
    QCOMPARE(log.count(), 2);
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton); // a second run would disconnect
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Отключиться"));
    QCOMPARE(log.messages().count(QStringLiteral("Чтение начато")), 1);
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Read_values->isEnabled(), 10000);
    QTest::mouseClick(ui().BT_Read_values, Qt::LeftButton);
    QCOMPARE(log.messages().count(QStringLiteral("Чтение начато")), 2);
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 10000);
    QTest::mouseClick(ui().BT_Open_Connect_2, Qt::LeftButton);
    QCOMPARE(log.messages().count(QStringLiteral("Порты обновлены")), 1);
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QVERIFY(MainWindowProbe::writeTimer(*w)->isActive());
    QCOMPARE(MainWindowProbe::writeTimer(*w)->interval(), 100);
    QTRY_VERIFY(sim->rawInput().contains("-baudrate:"));
    QCOMPARE(sim->rawInput().count("-baudrate:"), 1);
}


// Right after a plug-in the port may be held (ModemManager probing it) or not
// yet accessible; the search waits for it rather than failing at once.
void TestSearch::heldPortIsRetriedUntilReleased_data()
{
    QTest::addColumn<int>("releaseAfterMs");
    QTest::addColumn<bool>("byAnotherProgram"); // flock(1), not this process's QSerialPort
    QTest::newRow("released after 500 ms") << 500 << false;
    QTest::newRow("never released") << -1 << false;
    QTest::newRow("another program's flock, released after 1 s") << 1000 << true;
}

void TestSearch::heldPortIsRetriedUntilReleased()
{
    QFETCH(int, releaseAfterMs);
    QFETCH(bool, byAnotherProgram);
    QSerialPort holder;
    QProcess flock;
    if (byAnotherProgram) {
        TAV_UNIX_ONLY();
        flock.start(QStringLiteral("flock"),
                    {QStringLiteral("-x"), sim->portPath(), QStringLiteral("-c"),
                     QStringLiteral("echo held; sleep %1").arg(releaseAfterMs / 1000.0)});
        QVERIFY(flock.waitForReadyRead(10000));
    } else {
        holder.setPortName(sim->portPath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        if (releaseAfterMs >= 0)
            QTimer::singleShot(releaseAfterMs, &holder, &QSerialPort::close);
    }

    StatusLog log(*w);
    startSearch();
    ports.append(sim->portPath());
    QElapsedTimer clock;
    clock.start();
    tick();
    QVERIFY2(log.last().contains(QStringLiteral("ожидание")), qPrintable(log.last()));
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));
    // Neither a second search nor a manual connect may start meanwhile.
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));

    if (releaseAfterMs >= 0) {
        QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::serial(*w)
                                         && MainWindowProbe::serial(*w)->isOpen(),
                                 5000);
        QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Отключиться"));
        QCOMPARE(ui().BT_find->styleSheet(), styleGreen);
        QVERIFY(MainWindowProbe::readTimer(*w)->isActive());
        QCOMPARE(boxes->count(), 0);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 8000);
        QVERIFY2(clock.elapsed() >= 2500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(ui().BT_find->styleSheet(), styleRed);
        QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));
        QVERIFY(!MainWindowProbe::serial(*w)->isOpen());
        // One report, and nothing left running to make another.
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
        const auto timers = w->findChildren<QTimer *>();
        for (QTimer *t : timers) {
            if (t->objectName() != QLatin1String("replyGapTimer"))
                QVERIFY2(!t->isActive(), qPrintable(t->objectName()));
        }
        QCOMPARE(boxes->count(), 1);
    }
}

// The search with a port monitor instead of a lister called per tick: a
// folder stands in for /dev and a link in it for a new adapter's node. Real
// ticks, nothing driven by hand.
void TestSearch::searchOnAWatchedFolder()
{
    QTemporaryDir dev;
    QVERIFY(dev.isValid());
    const QString folder = dev.path();
    const PortLister lister = [folder] {
        QStringList names;
        const auto entries = QDir(folder).entryInfoList(QDir::System | QDir::Files);
        for (const QFileInfo &entry : entries)
            names.append(entry.filePath());
        return names;
    };
    w = std::make_unique<MainWindow>(nullptr, lister, new PortMonitor(lister, {folder}));
    StatusLog log(*w);
    startSearch();
    QVERIFY(sim->makeLink(folder + QStringLiteral("/ttyUSB7")));
    QTRY_VERIFY_WITH_TIMEOUT(MainWindowProbe::serial(*w) && MainWindowProbe::serial(*w)->isOpen(),
                             3000);
    QCOMPARE(ui().cbPorts->currentText(), folder + QStringLiteral("/ttyUSB7"));
    QCOMPARE(ui().BT_find->styleSheet(), styleGreen);
    QCOMPARE(boxes->count(), 0);
}

void TestSearch::moduleFoundAfterAManualReadIsReadFromTheStart()
{
    w->addPort(sim->portPath());
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 10000);
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    sim->clearLog();

    startSearch();
    ports.append(sim->portPath());
    tick();
    QVERIFY(MainWindowProbe::serial(*w)->isOpen());
    QTRY_COMPARE_WITH_TIMEOUT(sim->commands(),
                              (QList<QByteArray> {"-h", "-baudrate", "-stop bits", "-parity"}),
                              10000);
}

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
