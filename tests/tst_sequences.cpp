// Reading and writing the module's settings from the window, against the
// simulated module, and what each kind of reply does to the window.
#include "indicatorstyles.h"
#include "replyframer.h"
#include "seriallink.h"
#include "simfixture.h"

#include <QRandomGenerator>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

namespace {
QString lookOf(const QWidget *w)
{
    const QString s = w->styleSheet();
    if (s == styleGreen)
        return QStringLiteral("green");
    if (s == styleRed)
        return QStringLiteral("red");
    if (s == styleGray)
        return QStringLiteral("gray");
    if (s == styleLight)
        return QStringLiteral("light");
    return s.isEmpty() ? QStringLiteral("none") : QStringLiteral("other");
}
} // namespace

class TestSequences : public WindowOnSimulator
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void moduleWorkingEndsTheConnection();
    void readAfterConnect();
    void reportWithoutKnownValue();
    void secondReadDuringReadIsRefused();
    void writeColoursEachField();
    void writeSendsTheValuesOfTheClick();
    void okToOperatingModeOnlyStopsTheTimer();
    void writtenValuesAreHeldByTheModule();
    void garbageRepliesNeverBreakTheWindow();

private:
    void connectAndRead();
    QString looks()
    {
        return lookOf(ui().CB_KT_Speed) + QLatin1Char('/') + lookOf(ui().CB_KT_Stop_bit)
                + QLatin1Char('/') + lookOf(ui().CB_KT_Parity);
    }
};

void TestSequences::init()
{
    // These cases measure the module's pauses on the line itself.
    static const QSet<QByteArray> timed {"readAfterConnect", "writeColoursEachField",
                                         "writtenValuesAreHeldByTheModule"};
    hurryPauses = !timed.contains(QTest::currentTestFunction());
    setUp(true);
}

void TestSequences::cleanup()
{
    tearDown();
}

void TestSequences::connectAndRead()
{
    StatusLog log(*w);
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(
            log.messages().contains(QStringLiteral("Получено :parity ") + sim->parity()), 10000);
    QTRY_VERIFY(!MainWindowProbe::readTimer(*w)->isActive());
}

void TestSequences::moduleWorkingEndsTheConnection()
{
    connectAndRead();
    QSerialPort *port = MainWindowProbe::serial(*w);
    QVERIFY(port->isOpen());
    ui().CB_KT_Speed->setCurrentText(QStringLiteral("19200"));
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 15000);
    QVERIFY(!MainWindowProbe::readTimer(*w)->isActive());
    QCOMPARE(boxes->boxes.at(0).title, QStringLiteral("Результат"));
    QCOMPARE(boxes->boxes.at(0).text,
             QStringLiteral("Новые настройки записаны!\n\rМодуль переведен в режим работы!"));
    QCOMPARE(boxes->boxes.at(0).icon, QMessageBox::Information);
    QCOMPARE(boxes->boxes.at(0).informativeText,
             QStringLiteral("Скорость 19200, стоп-биты 1, паритет none"));
    QVERIFY(!port->isOpen());
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));
    QVERIFY(!ui().BT_Read_values->isEnabled());
    QVERIFY(!ui().BT_Write_values->isEnabled());
    QVERIFY(ui().BT_find->isEnabled());
    QVERIFY(!MainWindowProbe::timeoutTimer(*w)->isActive());
    QCOMPARE(looks(), QStringLiteral("green/green/green"));
}

void TestSequences::readAfterConnect()
{
    sim->setSettings(QStringLiteral("115200"), QStringLiteral("2"), QStringLiteral("odd"));
    StatusLog log(*w);
    connectAndRead();
    QCOMPARE(sim->commands(), (QList<QByteArray> {"-h", "-baudrate", "-stop bits", "-parity"}));
    const QStringList messages = log.messages();
    QCOMPARE(messages.size(), 11);
    QCOMPARE(messages.at(0), QStringLiteral("Порт %1 открыт").arg(sim->portPath()));
    QCOMPARE(messages.at(1), QStringLiteral("Чтение начато"));
    QCOMPARE(messages.at(2), QStringLiteral("Передано :-h"));
    QVERIFY(messages.at(3).startsWith(QStringLiteral("Получено :TAV-RS485-KT")));
    QCOMPARE(messages.mid(4),
             (QStringList {QStringLiteral("Передано :-baudrate"),
                           QStringLiteral("Получено :baudrate 115200"),
                           QStringLiteral("Передано :-stop bits"),
                           QStringLiteral("Получено :stop bits 2"),
                           QStringLiteral("Передано :-parity"),
                           QStringLiteral("Получено :parity odd"),
                           QStringLiteral("Чтение завершено: скорость 115200, стоп-биты 2, "
                                          "паритет odd")}));
    QCOMPARE(ui().CB_KT_Speed->currentText(), QStringLiteral("115200"));
    QCOMPARE(ui().CB_KT_Stop_bit->currentText(), QStringLiteral("2"));
    QCOMPARE(ui().CB_KT_Parity->currentText(), QStringLiteral("odd"));
    QCOMPARE(looks(), QStringLiteral("green/green/green"));
    QCOMPARE(MainWindowProbe::readStep(*w), 4);

    // Pauses: 300 ms after the banner, 500 ms after each report, each counted
    // from the end of the reply and never early.
    const auto r = sim->received();
    const qint64 afterBanner = r.at(1).atMs - r.at(0).atMs;
    const qint64 afterBaud = r.at(2).atMs - r.at(1).atMs;
    const qint64 afterStop = r.at(3).atMs - r.at(2).atMs;
    QVERIFY2(afterBanner >= 300 && afterBanner < 1500, QByteArray::number(afterBanner));
    QVERIFY2(afterBaud >= 500 && afterBaud < 1700, QByteArray::number(afterBaud));
    QVERIFY2(afterStop >= 500 && afterStop < 1700, QByteArray::number(afterStop));
    QCOMPARE(boxes->count(), 0);
}

void TestSequences::reportWithoutKnownValue()
{
    sim->setReply("-stop bits", "stop bits: unknown");
    ui().CB_KT_Stop_bit->setCurrentIndex(2);
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    // The buttons come on with the parity reply.
    ui().BT_Read_values->setEnabled(false);
    ui().BT_Write_values->setEnabled(false);
    StatusLog log(*w);
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Read_values->isEnabled(), 10000);
    QVERIFY(ui().BT_Write_values->isEnabled());
    // What the module holds is unknown: not the value the field had before.
    QCOMPARE(ui().CB_KT_Stop_bit->currentIndex(), 0);
    QCOMPARE(looks(), QStringLiteral("green/red/green"));
    QCOMPARE(log.last(), QStringLiteral("Чтение завершено: скорость 9600, стоп-биты не сообщены, паритет none"));
    QCOMPARE(sim->commands().size(), 4);
}

void TestSequences::secondReadDuringReadIsRefused()
{
    StatusLog log(*w);
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY(log.count() >= 3); // the banner is in
    QVERIFY(!ui().BT_Read_values->isEnabled());
    MainWindowProbe::on_BT_Read_values_clicked(*w); // a click that gets through anyway
    QCOMPARE(log.last(), QStringLiteral("Идёт чтение: дождитесь его окончания"));
    QTRY_VERIFY_WITH_TIMEOUT(log.messages().contains(QStringLiteral("Получено :parity none")),
                             10000);
    QTRY_VERIFY(!MainWindowProbe::readTimer(*w)->isActive());
    QCOMPARE(sim->commands(), (QList<QByteArray> {"-h", "-baudrate", "-stop bits", "-parity"}));
    QCOMPARE(log.messages().count(QStringLiteral("Чтение начато")), 1);
    QVERIFY(ui().BT_Read_values->isEnabled());
}

void TestSequences::writeColoursEachField()
{
    connectAndRead();
    ui().CB_KT_Speed->setCurrentText(QStringLiteral("115200"));
    ui().CB_KT_Stop_bit->setCurrentText(QStringLiteral("2"));
    ui().CB_KT_Parity->setCurrentText(QStringLiteral("even"));
    QStringList trail;
    connect(w.get(), &MainWindow::statusShown, this,
            [&](const QString &m) { trail.append(m + QLatin1Char(' ') + looks()); });
    sim->clearLog();

    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 15000);
    QCOMPARE(trail,
             // The values picked are the user's, not yet the module's.
             (QStringList {QStringLiteral("Запись начата gray/gray/gray"),
                           QStringLiteral("Передано :-baudrate:115200 red/gray/gray"),
                           QStringLiteral("Получено :Ok red/gray/gray"),
                           QStringLiteral("Передано :-stop bits:2 green/red/gray"),
                           QStringLiteral("Получено :Ok green/red/gray"),
                           QStringLiteral("Передано :-parity:even green/green/red"),
                           QStringLiteral("Получено :Ok green/green/red"),
                           QStringLiteral("Передано :-st green/green/green"),
                           QStringLiteral("Получено :module is working green/green/green"),
                           QStringLiteral("Записано: скорость 115200, стоп-биты 2, паритет even. "
                                          "Модуль переведен в режим работы. green/green/green")}));
    QCOMPARE(boxes->boxes.at(0).title, QStringLiteral("Результат"));
    QCOMPARE(boxes->boxes.at(0).text,
             QStringLiteral("Новые настройки записаны!\n\rМодуль переведен в режим работы!"));
    QCOMPARE(sim->commands(),
             (QList<QByteArray> {"-baudrate:115200", "-stop bits:2", "-parity:even", "-st"}));
    // 1500 ms between the commands, never less.
    const auto r = sim->received();
    for (int i = 1; i < r.size(); ++i) {
        const qint64 gap = r.at(i).atMs - r.at(i - 1).atMs;
        QVERIFY2(gap >= 1500 && gap < 3000, QByteArray::number(gap));
    }
    QVERIFY(!MainWindowProbe::serial(*w)->isOpen());
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"));
    QVERIFY(!ui().BT_Write_values->isEnabled());
    QVERIFY(!ui().BT_Read_values->isEnabled());
    QVERIFY(ui().BT_find->isEnabled());
    QCOMPARE(MainWindowProbe::writeStep(*w), 4);
    QVERIFY(sim->isOperating());
}

void TestSequences::writeSendsTheValuesOfTheClick()
{
    connectAndRead();
    ui().CB_KT_Speed->setCurrentText(QStringLiteral("4800"));
    // The fields are closed to the user while the write runs; a change that
    // gets through anyway is neither sent nor reported.
    bool lockedWhileWriting = true;
    connect(w.get(), &MainWindow::statusShown, this, [&](const QString &m) {
        if (!m.startsWith(QStringLiteral("Передано :-baudrate:")))
            return;
        for (QComboBox *box : {ui().CB_KT_Speed, ui().CB_KT_Stop_bit, ui().CB_KT_Parity})
            lockedWhileWriting = lockedWhileWriting && !box->isEnabled();
        ui().CB_KT_Parity->setCurrentText(QStringLiteral("odd"));
        ui().CB_KT_Speed->setCurrentText(QStringLiteral("57600"));
    });
    sim->clearLog();
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 15000);
    QVERIFY(lockedWhileWriting);
    QCOMPARE(sim->commands(),
             (QList<QByteArray> {"-baudrate:4800", "-stop bits:1", "-parity:none", "-st"}));
    QCOMPARE(boxes->boxes.at(0).informativeText,
             QStringLiteral("Скорость 4800, стоп-биты 1, паритет none"));
    QCOMPARE(ui().CB_KT_Parity->currentText(), QStringLiteral("none"));
    QVERIFY(ui().CB_KT_Parity->isEnabled());
}

void TestSequences::okToOperatingModeOnlyStopsTheTimer()
{
    connectAndRead();
    sim->setReply("-st", "Ok");
    sim->clearLog();
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(sim->commands().size(), 4, 15000);
    QTRY_COMPARE(MainWindowProbe::writeStep(*w), 4);
    QTRY_VERIFY_WITH_TIMEOUT(!MainWindowProbe::writeTimer(*w)->isActive()
                                     && !MainWindowProbe::awaitingReply(*w),
                             5000);
    QCOMPARE(sim->commands().size(), 4);
    QVERIFY(MainWindowProbe::serial(*w)->isOpen());
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Отключиться"));
    QCOMPARE(boxes->count(), 0);
}

void TestSequences::writtenValuesAreHeldByTheModule()
{
    // When each reply left the module and each command arrived, to check
    // that no pause the module is given comes short.
    QList<qint64> repliesAt;
    connect(sim.get(), &ModuleSimulator::replySent, this,
            [&](const QByteArray &) { repliesAt.append(sim->elapsedMs()); });
    connectAndRead();
    QCOMPARE(ui().CB_KT_Speed->currentText(), QStringLiteral("9600"));
    ui().CB_KT_Speed->setCurrentText(QStringLiteral("256000"));
    ui().CB_KT_Stop_bit->setCurrentText(QStringLiteral("2"));
    ui().CB_KT_Parity->setCurrentText(QStringLiteral("even"));
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 15000);

    // The pause before the next command is counted from the end of a reply,
    // which the window only knows once the line has been quiet for the gap.
    const auto nominalPauseAfter = [](const QByteArray &command) -> qint64 {
        if (command == "-h")
            return 300; // the banner is no report
        if (command == "-baudrate" || command == "-stop bits")
            return 500;
        if (command.startsWith("-baudrate:") || command.startsWith("-stop bits:")
            || command.startsWith("-parity:"))
            return 1500;
        return -1; // the sequence ends there
    };
    const QList<ModuleSimulator::Received> received = sim->received();
    QCOMPARE(received.size(), 8);
    int pausesChecked = 0;
    for (int i = 1; i < received.size(); ++i) {
        const qint64 nominal = nominalPauseAfter(received.at(i - 1).command);
        if (nominal < 0)
            continue;
        qint64 replyAt = -1;
        for (qint64 at : qAsConst(repliesAt)) {
            if (at >= received.at(i - 1).atMs) {
                replyAt = at; // the first reply after that command is its own
                break;
            }
        }
        QVERIFY(replyAt >= 0 && replyAt <= received.at(i).atMs);
        const qint64 pause = received.at(i).atMs - replyAt;
        QVERIFY2(pause >= nominal + ReplyFramer::replyQuietGap.count(),
                 qPrintable(QStringLiteral("%1 ms before %2")
                                    .arg(pause)
                                    .arg(QString::fromLatin1(received.at(i).command))));
        ++pausesChecked;
    }
    QCOMPARE(pausesChecked, 6);

    // A fresh connection reads back what was written.
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QCOMPARE(ui().BT_Open_Connect->text(), QStringLiteral("Отключиться"));
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QCOMPARE(ui().CB_KT_Speed->currentIndex(), 0);
    connectAndRead();
    QCOMPARE(ui().CB_KT_Speed->currentText(), QStringLiteral("256000"));
    QCOMPARE(ui().CB_KT_Stop_bit->currentText(), QStringLiteral("2"));
    QCOMPARE(ui().CB_KT_Parity->currentText(), QStringLiteral("even"));
    QCOMPARE(looks(), QStringLiteral("green/green/green"));
}

void TestSequences::garbageRepliesNeverBreakTheWindow()
{
    // Random bytes, NULs and key words, in pieces, as a noisy line might give.
    QRandomGenerator random(7);
    const QList<QByteArray> words = {
            "baudrate ", "stop bits ", "parity ",           "Ok",       "?",   "9600",
            "odd",       "2",          QByteArray("\0", 1), "\xff\xfe", "\r\n"};
    const auto noise = [&] {
        QByteArray bytes;
        const int n = random.bounded(1, 6);
        for (int i = 0; i < n; ++i) {
            if (random.bounded(2))
                bytes += words.at(random.bounded(words.size()));
            else
                bytes += char(random.bounded(256));
        }
        return bytes;
    };
    sim->setSplitReplies(2, 20ms);
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY(!MainWindowProbe::readTimer(*w)->isActive() && !MainWindowProbe::awaitingReply(*w));
    const QStringList looks4 = {styleGreen, styleGray, styleRed};
    for (int round = 0; round < 4; ++round) {
        for (const QByteArray command : {"-h", "-baudrate", "-stop bits", "-parity"})
            sim->setReply(command, noise());
        StatusLog log(*w);
        MainWindowProbe::on_BT_Read_values_clicked(*w);
        // The read ends one way or another: after the fourth command, or
        // where a reply ("Ok", "?") stopped it.
        QTRY_VERIFY_WITH_TIMEOUT(!MainWindowProbe::readTimer(*w)->isActive()
                                         && !MainWindowProbe::awaitingReply(*w) && log.count() > 1,
                                 8000);
        MainWindowProbe::writeTimer(*w)->stop();
        for (QComboBox *box : {ui().CB_KT_Speed, ui().CB_KT_Stop_bit, ui().CB_KT_Parity}) {
            QVERIFY(box->currentIndex() >= 0 && box->currentIndex() < box->count());
            QVERIFY(looks4.contains(box->styleSheet()));
        }
    }
    QCOMPARE(boxes->count(), 0);
}

QTEST_MAIN(TestSequences)
#include "tst_sequences.moc"
