// The exchange log, the log window, ports named by the user and closing
// during a write: through the real window on the simulated module.
#include "exchangelog.h"
#include "logwindow.h"
#include "manualwindow.h"
#include "simfixture.h"
#include "statuspanel.h"

#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolButton>
#include <QTextBlock>
#include <QTime>
#include <QMessageBox>
#include <QtTest>

#include <csignal>

class TestExchangeLog : public WindowOnSimulator
{
    Q_OBJECT

private slots:
    void init() { setUp(false, {QStringLiteral("COM1")}); }
    void cleanup() { tearDown(); }

    void aFullReadIsLoggedInOrderWithBytesEscaped();
    void theLogKeepsItsBoundAndItsFile();
    void aLogFileThatCannotBeOpenedExits2();
    void aLogFileThatFailsIsToldOnceAndTheWorkGoesOn();
    void textsCannotBreakOrTurnALine();
    void longRepliesKeepTheLogAndItsViewSmall();
    void theViewOpensAtTheNewestAndFollowsOnlyAtTheBottom();
    void savingProposesANameWithTheDateAndTime();
    void aPortNamedByTheUserIsOfferedAndConnects();
    void closingDuringAWriteAsksFirst();
    void theWindowEndsOnTheSystemsRequest();
};

void TestExchangeLog::aFullReadIsLoggedInOrderWithBytesEscaped()
{
    sim->setReply("-h", QByteArray("TAV\x01\0x\\\r\n", 9));
    w->addPort(sim->portPath());
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 10000);

    const QStringList lines = w->exchangeLog()->lines();
    QStringList exchange; // what passed, without the times
    QDateTime last = QDateTime::currentDateTime().addSecs(-60);
    // A log read in another place and on another day tells when, exactly.
    const QRegularExpression stamp(QStringLiteral(
            "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d "));
    for (const QString &line : lines) {
        QVERIFY2(stamp.match(line).hasMatch(), qPrintable(line));
        const QDateTime at = QDateTime::fromString(line.left(29), Qt::ISODateWithMs);
        QVERIFY2(at.isValid() && at >= last, qPrintable(line));
        last = at;
        exchange.append(line.mid(30));
    }
    const QStringList expected {
            QStringLiteral("   Порт %1 открыт").arg(sim->portPath()),
            QStringLiteral("   Чтение начато"),
            // Each command and reply once, as its bytes.
            QStringLiteral("-> -h"),
            QStringLiteral("<- TAV\\x01\\x00x\\\\\\x0d\\x0a"),
            QStringLiteral("-> -baudrate"),
            QStringLiteral("<- baudrate 9600"),
    };
    // A module behind a gateway (as the tests reach it on Windows) is
    // connected to before its port counts as open.
    if (exchange.first() == QStringLiteral("   Соединение с %1…").arg(sim->portPath()))
        exchange.removeFirst();
    QCOMPARE(exchange.mid(0, expected.size()), expected);
    QCOMPARE(exchange.last(),
             QStringLiteral("   Чтение завершено: скорость 9600, стоп-биты 1, паритет none"));

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
    // Named as the system names it: on Windows a drive letter and backslashes.
    const QString saved = QDir::toNativeSeparators(dir.filePath(QStringLiteral("журнал.log")));
    QVERIFY(window->saveTo(saved));
    // The status bar says where it went; the next save is proposed among
    // the user's documents, not wherever the program was started.
    QCOMPARE(MainWindowProbe::statusPanel(*w)->currentMessage(),
             QStringLiteral("Журнал сохранён: %1").arg(saved));
    QCOMPARE(QFileInfo(LogWindow::proposedPath()).absolutePath(),
             QFileInfo(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                     .absoluteFilePath());
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()),
             w->exchangeLog()->lines().join(QLatin1Char('\n')) + QLatin1Char('\n'));
    // Closed, it is a click away on the status bar as well.
    window->close();
    QTest::mouseClick(MainWindowProbe::statusPanel(*w)->logButton(), Qt::LeftButton);
    QVERIFY(window->isVisible());
    // F1 opens the user's manual beside it, built into the program.
    QTest::keyClick(w.get(), Qt::Key_F1);
    auto *manual = w->findChild<ManualWindow *>();
    QVERIFY(manual && manual->isVisible());
    const QString manualText = manual->findChild<QTextBrowser *>()->toPlainText();
    for (const char *heading : {"Подключение", "Запись", "Порт занят", "Журнал обмена"})
        QVERIFY2(manualText.contains(QString::fromUtf8(heading)), heading);
    manual->close();
#ifdef Q_OS_UNIX
    // Only a file is replaced: a pipe or a device, even by a link, is left
    // as it is and the save refused.
    const QString pipe = dir.filePath(QStringLiteral("pipe"));
    const QString byLink = dir.filePath(QStringLiteral("link.log"));
    QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {pipe}), 0);
    QVERIFY(QFile::link(pipe, byLink));
    for (const QString &target : {pipe, byLink}) {
        QString error;
        QVERIFY(!window->saveTo(target, &error));
        QVERIFY2(error.contains(QStringLiteral("не обычный файл")), qPrintable(error));
    }
    QVERIFY(QFileInfo(pipe).exists() && !QFileInfo(pipe).isFile());
    QVERIFY(QFileInfo(byLink).isSymLink());
#endif
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
    TAV_UNIX_ONLY();
    QProcess program;
    program.start(QStringLiteral(TAV_CONFIGURATOR_PATH),
                  {QStringLiteral("--log"), QStringLiteral("/nonexistent-folder/x.log")});
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitCode(), 2);
    QVERIFY2(program.readAllStandardError().contains("/nonexistent-folder/x.log"), "no reason");
}

void TestExchangeLog::aLogFileThatFailsIsToldOnceAndTheWorkGoesOn()
{
    TAV_UNIX_ONLY();
    // A full disk: every line fails.
    QVERIFY(w->exchangeLog()->appendToFile(QStringLiteral("/dev/full")));
    QSignalSpy failures(w->exchangeLog(), &ExchangeLog::fileFailed);
    StatusLog status(*w);
    w->addPort(sim->portPath());
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 10000);
    QCOMPARE(ui().CB_KT_Speed->currentText(), sim->baudRate());
    QCOMPARE(failures.count(), 1);
    QVERIFY2(status.messages()
                             .filter(QStringLiteral("Журнал не записывается в файл /dev/full"))
                             .size()
                     == 1,
             qPrintable(status.messages().join(QLatin1Char('\n'))));

    // A named pipe that nobody reads would hold open() for ever.
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("log.fifo"));
    QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {fifo}), 0);
    ExchangeLog log;
    QString error;
    QVERIFY(!log.appendToFile(fifo, &error));
    QVERIFY2(error.contains(QStringLiteral("FIFO")), qPrintable(error));
    QProcess program;
    program.start(QStringLiteral(TAV_CONFIGURATOR_PATH), {QStringLiteral("--log"), fifo});
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitCode(), 2);
}

// A logout, a shutdown or a closed terminal (SIGTERM, SIGHUP) is a request
// to end, taken as the command line takes Ctrl+C: the program ends itself,
// it is not killed. (What becomes of an exchange under way: tst_safety.)
void TestExchangeLog::theWindowEndsOnTheSystemsRequest()
{
    TAV_UNIX_ONLY();
#ifdef Q_OS_UNIX
    for (const int signal : {SIGTERM, SIGHUP}) {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TAV_CONFIGURATOR_PATH), {sim->portPath()});
        QVERIFY(program.waitForStarted());
        // Once it takes the signal: its mask of caught signals says so.
        const qint64 pid = program.processId();
        const auto takesIt = [pid, signal] {
            QFile status(QStringLiteral("/proc/%1/status").arg(pid));
            if (!status.open(QIODevice::ReadOnly))
                return false;
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("SigCgt:"))
                    return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1) != 0;
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(takesIt(), 20000);
        ::kill(pid_t(pid), signal);
        QVERIFY(program.waitForFinished(int(MainWindow::stopBound.count()) + 5000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
#endif
}

void TestExchangeLog::textsCannotBreakOrTurnALine()
{
    ExchangeLog log;
    // A port name is the user's text; a box's text has line breaks of its own.
    log.status(QStringLiteral("Порт /tmp/a\n2026-01-01T00:00:00.000+00:00 -> -st\u202e открыт"));
    log.told(QStringLiteral("Результат"),
             QStringLiteral("Новые настройки записаны!\n\rМодуль переведен в режим работы!"),
             QStringLiteral("Скорость 57600"));
    const QStringList lines = log.lines();
    QCOMPARE(lines.size(), 2);
    for (const QString &line : lines) {
        for (const QChar c : line)
            QVERIFY2(c.category() != QChar::Other_Control && c.category() != QChar::Other_Format,
                     qPrintable(line));
    }
    QVERIFY(lines.at(0).endsWith(
            QStringLiteral("/tmp/a\\x0a2026-01-01T00:00:00.000+00:00 -> -st\\u202e открыт")));
    QVERIFY(lines.at(1).endsWith(QStringLiteral("[] окно «Результат»: Новые настройки записаны! Модуль "
                                                "переведен в режим работы! — Скорость 57600")));

    // The offset is spelt out wherever the log is read, UTC included.
    const QDate day(2026, 12, 7);
    const QTime time(9, 15, 2, 31);
    QCOMPARE(ExchangeLog::timestamp(QDateTime(day, time, Qt::UTC)),
             QStringLiteral("2026-12-07T09:15:02.031+00:00"));
    QCOMPARE(ExchangeLog::timestamp(QDateTime(day, time, Qt::OffsetFromUTC, -(3 * 3600 + 1800))),
             QStringLiteral("2026-12-07T09:15:02.031-03:30"));
}

void TestExchangeLog::longRepliesKeepTheLogAndItsViewSmall()
{
    // Line noise: the longest reply the framer keeps, as many times as a
    // long day of failing reads would log it.
    ExchangeLog log;
    LogWindow window(&log);
    window.show();
    QByteArray noise(4096, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char(0x80 + i % 0x7f);
    const int replies = 3000;
    for (int i = 0; i < replies; ++i) {
        log.sent(QByteArrayLiteral("-h"));
        log.received(noise);
    }
    log.status(QStringLiteral("последняя"));
    const QStringList lines = log.lines();
    qint64 chars = 0;
    for (const QString &line : lines)
        chars += line.size();
    QVERIFY2(chars <= ExchangeLog::maxChars, qPrintable(QString::number(chars)));
    QVERIFY(lines.size() < 2 * replies);
    QVERIFY(lines.constLast().endsWith(QStringLiteral("последняя")));
    // The view shows what the log keeps, not everything that passed.
    QCOMPARE(window.text(), lines.join(QLatin1Char('\n')));
}

void TestExchangeLog::theViewOpensAtTheNewestAndFollowsOnlyAtTheBottom()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    ExchangeLog *log = w->exchangeLog();
    for (int i = 0; i < 300; ++i)
        log->status(QStringLiteral("строка %1").arg(i));
    QTest::keyClick(w.get(), Qt::Key_F2);
    auto *window = w->findChild<LogWindow *>();
    QVERIFY(window && window->isVisible());
    auto *view = window->findChild<QPlainTextEdit *>(QStringLiteral("logView"));
    QVERIFY(view);
    QScrollBar *bar = view->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());

    log->status(QStringLiteral("новая"));
    QTRY_VERIFY(bar->value() == bar->maximum());
    QVERIFY(view->cursorForPosition(view->viewport()->rect().bottomLeft() - QPoint(0, 5))
                    .block()
                    .text()
                    .endsWith(QStringLiteral("новая")));

    // Scrolled back to read: new lines do not pull the view away.
    bar->setValue(10);
    for (int i = 0; i < 20; ++i)
        log->status(QStringLiteral("ещё %1").arg(i));
    QCOMPARE(bar->value(), 10);

    // Closed and opened again later: at the newest line again.
    window->close();
    for (int i = 0; i < 50; ++i)
        log->status(QStringLiteral("пока закрыт %1").arg(i));
    QTest::keyClick(w.get(), Qt::Key_F2);
    QTRY_VERIFY(window->isVisible());
    QTRY_VERIFY(bar->value() == bar->maximum());

    // Enter never wipes the log; "Очистить" asks, and only a yes clears it.
    const int kept = log->lines().size();
    QTest::keyClick(window, Qt::Key_Return);
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window,
                    Qt::Key_Return);
    QCOMPARE(log->lines().size(), kept);
    QPushButton *clear = nullptr;
    for (auto *b : window->findChildren<QPushButton *>())
        clear = b->text() == QStringLiteral("Очистить") ? b : clear;
    QVERIFY(clear);
    for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
        QTimer::singleShot(0, this, [answer, window] {
            QTRY_VERIFY(window->findChild<QMessageBox *>());
            window->findChild<QMessageBox *>()->button(answer)->click();
        });
        clear->click();
        QCOMPARE(log->lines().isEmpty(), answer == QMessageBox::Yes);
    }
    QVERIFY(view->toPlainText().isEmpty());
}

void TestExchangeLog::savingProposesANameWithTheDateAndTime()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QTest::keyClick(w.get(), Qt::Key_F2);
    auto *window = w->findChild<LogWindow *>();
    QVERIFY(window);
    QPushButton *save = nullptr;
    for (auto *button : window->findChildren<QPushButton *>()) {
        if (button->text() == QStringLiteral("Сохранить…"))
            save = button;
    }
    QVERIFY(save && save->isEnabled());
    QString proposed;
    QTimer answer;
    answer.setInterval(10);
    connect(&answer, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        proposed = QFileInfo(dialog->selectedFiles().value(0)).fileName();
        dialog->reject();
    });
    answer.start();
    const QDate today = QDate::currentDate();
    save->click();
    QTRY_VERIFY(!proposed.isEmpty());
    const QRegularExpression dated(
            QStringLiteral("^tav-exchange-(\\d{4}-\\d\\d-\\d\\d)_\\d\\d-\\d\\d-\\d\\d\\.log$"));
    const auto match = dated.match(proposed);
    QVERIFY2(match.hasMatch(), qPrintable(proposed));
    QVERIFY(QDate::fromString(match.captured(1), Qt::ISODate) >= today);
}

void TestExchangeLog::aPortNamedByTheUserIsOfferedAndConnects()
{
    TAV_UNIX_ONLY();
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
    QTRY_COMPARE(boxes->count(), 1);
    QCOMPARE(boxes->boxes.at(0).icon, QMessageBox::Question);
    QVERIFY(w->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 2, 15000);
    QCOMPARE(boxes->boxes.at(1).title, QStringLiteral("Результат"));
    QCOMPARE(boxes->boxes.at(1).informativeText,
             QStringLiteral("Скорость 57600, стоп-биты 1, паритет none"));
    QCOMPARE(sim->baudRate(), QStringLiteral("57600"));
    QVERIFY(sim->isOperating());
}

QTEST_MAIN(TestExchangeLog)
#include "tst_exchangelog.moc"
