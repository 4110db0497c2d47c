// The exchange log, the log window, ports named by the user and closing
// during a write: through the real window on the simulated module.
#include "exchangelog.h"
#include "logwindow.h"
#include "simfixture.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTime>
#include <QtTest>

class TestExchangeLog : public WindowOnSimulator
{
    Q_OBJECT

private slots:
    void init() { setUp(false, {QStringLiteral("COM1")}); }
    void cleanup() { tearDown(); }

    void aFullReadIsLoggedInOrderWithBytesEscaped();
    void theLogKeepsItsBoundAndItsFile();
    void aLogFileThatCannotBeOpenedExits2();
    void aPortNamedByTheUserIsOfferedAndConnects();
    void closingDuringAWriteAsksFirst();
};

void TestExchangeLog::aFullReadIsLoggedInOrderWithBytesEscaped()
{
    sim->setReply("-h", QByteArray("TAV\x01\0x\\\r\n", 9));
    w->addPort(sim->portPath());
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 10000);

    const QStringList lines = w->exchangeLog()->lines();
    QStringList exchange; // what passed, without the times
    QTime last(0, 0);
    for (const QString &line : lines) {
        const QTime at = QTime::fromString(line.left(12), QStringLiteral("HH:mm:ss.zzz"));
        QVERIFY2(at.isValid() && at >= last, qPrintable(line));
        last = at;
        exchange.append(line.mid(13));
    }
    const QStringList expected {
            QStringLiteral("   Порт %1 открыт").arg(sim->portPath()),
            QStringLiteral("   Чтение начато"),
            QStringLiteral("   Передано :-h"),
            QStringLiteral("-> -h"),
            QStringLiteral("<- TAV\\x01\\x00x\\\\\\x0d\\x0a"),
            QStringLiteral("   Получено :TAV\\x01"),
            QStringLiteral("   Передано :-baudrate"),
            QStringLiteral("-> -baudrate"),
            QStringLiteral("<- baudrate 9600"),
    };
    QCOMPARE(exchange.mid(0, expected.size()), expected);
    QCOMPARE(exchange.last(),
             QStringLiteral("   Чтение завершено: скорость 9600, стоп-биты 1, чётность none"));

    // F2 opens it live.
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QTest::keyClick(w.get(), Qt::Key_F2);
    auto *window = w->findChild<LogWindow *>();
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->text(), lines.join(QLatin1Char('\n')));
    w->exchangeLog()->status(QStringLiteral("после"));
    QVERIFY(window->text().endsWith(QStringLiteral("после")));
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("журнал.log"));
    QVERIFY(window->saveTo(saved));
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()),
             w->exchangeLog()->lines().join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void TestExchangeLog::theLogKeepsItsBoundAndItsFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("exchange.log"));
    ExchangeLog log;
    QVERIFY(log.appendToFile(path));
    for (int i = 0; i < ExchangeLog::maxLines + 5; ++i)
        log.status(QString::number(i));
    const QStringList lines = log.lines();
    QCOMPARE(lines.size(), ExchangeLog::maxLines);
    QVERIFY(lines.first().endsWith(QStringLiteral("   5")));
    // The file has every line, written as it happened (no close needed).
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList inFile = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QCOMPARE(inFile.size(), ExchangeLog::maxLines + 5 + 1);
    QCOMPARE(inFile.mid(5, ExchangeLog::maxLines), lines);
}

void TestExchangeLog::aLogFileThatCannotBeOpenedExits2()
{
    QProcess program;
    program.start(QStringLiteral(TAV_CONFIGURATOR_PATH),
                  {QStringLiteral("--log"), QStringLiteral("/nonexistent-folder/x.log")});
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitCode(), 2);
    QVERIFY2(program.readAllStandardError().contains("/nonexistent-folder/x.log"), "no reason");
}

void TestExchangeLog::aPortNamedByTheUserIsOfferedAndConnects()
{
    QTemporaryDir dir;
    const QString byId = dir.filePath(QStringLiteral("usb-FTDI_FT232R_A50285BI-if00-port0"));
    QVERIFY(sim->makeLink(byId));
    w->addPort(byId);
    QCOMPARE(ui().cbPorts->currentText(), byId);
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QVERIFY(MainWindowProbe::serial(*w)->isOpen());
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 10000);
    QCOMPARE(sim->commands().size(), 4);
    // A refresh does not lose it.
    QTest::mouseClick(ui().BT_Open_Connect_2, Qt::LeftButton);
    QCOMPARE(ui().cbPorts->currentText(), byId);
}

void TestExchangeLog::closingDuringAWriteAsksFirst()
{
    w->addPort(sim->portPath());
    w->show();
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 10000);
    QVERIFY(w->close()); // idle: closes without a question
    QCOMPARE(boxes->count(), 0);
    w->show();

    ui().CB_KT_Speed->setCurrentText(QStringLiteral("57600"));
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QTRY_VERIFY(sim->commands().size() >= 5);
    // The watcher answers as a cautious user: not "Yes".
    QVERIFY(!w->close());
    QCOMPARE(boxes->count(), 1);
    QCOMPARE(boxes->boxes.at(0).icon, QMessageBox::Question);
    QVERIFY(w->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 2, 15000);
    QCOMPARE(boxes->boxes.at(1).title, QStringLiteral("Результат"));
    QCOMPARE(boxes->boxes.at(1).informativeText,
             QStringLiteral("Скорость 57600, стоп-биты 1, чётность none"));
    QCOMPARE(sim->baudRate(), QStringLiteral("57600"));
    QVERIFY(sim->isOperating());
}

QTEST_MAIN(TestExchangeLog)
#include "tst_exchangelog.moc"
