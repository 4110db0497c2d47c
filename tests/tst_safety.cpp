// Off the happy path, through the real window on the simulated module: one
// exchange at a time, nothing sent once the module operates, and failures
// that say what to do.
#include "exchangelog.h"
#include "indicatorstyles.h"
#include "simfixture.h"

#include <QtTest>

class TestSafety : public WindowOnSimulator
{
    Q_OBJECT

private slots:
    void init() { setUp(true, {QStringLiteral("COM1")}); }
    void cleanup() { tearDown(); }

    void oneExchangeAtATime();
    void slotsOfDisabledButtonsRefuse();
    void aRefusedWriteStopsAndSaysWhich();
    void nothingIsSentAfterModuleIsWorking();
    void aBannerHoldingOkStartsNoWrite();
    void anEmptyFieldSendsNothing();
    void boxesSayWhatToDo_data();
    void boxesSayWhatToDo();
    void refreshWhileConnectedKeepsThePort();
    void greenStandsForThePortShown_data();
    void greenStandsForThePortShown();
    void disconnectingMidWriteKeepsWhatTheModuleConfirmed();
    void aQuestionGoesWithItsWrite_data();
    void aQuestionGoesWithItsWrite();
    void aStopRequestEndsTheExchangeThenTheWindow_data();
    void aStopRequestEndsTheExchangeThenTheWindow();

private:
    void connectAndRead()
    {
        ui().cbPorts->setCurrentText(sim->portPath());
        QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 10000);
    }
    // Green, with its value, or neutral and empty.
    void checkField(QComboBox *box, const QString &value)
    {
        QCOMPARE(box->currentText(), value);
        QCOMPARE(box->styleSheet(), value.isEmpty() ? styleGray : styleGreen);
    }
    int boxesShown() const
    {
        int shown = 0;
        for (QWidget *top : QApplication::topLevelWidgets())
            shown += qobject_cast<QMessageBox *>(top) && top->isVisible() ? 1 : 0;
        return shown;
    }
    QList<QTimer *> activeTimers() const
    {
        QList<QTimer *> out;
        const auto timers = w->findChildren<QTimer *>();
        for (QTimer *t : timers) {
            if (t->isActive())
                out.append(t);
        }
        return out;
    }
};

// The buttons are off; their slots, reached anyway (a queued call, a
// shortcut), must neither send into a closed port nor search beside an open one.
void TestSafety::slotsOfDisabledButtonsRefuse()
{
    StatusLog log(*w);
    ui().cbPorts->setCurrentText(sim->portPath());
    ui().CB_KT_Speed->setCurrentText(QStringLiteral("19200"));
    ui().CB_KT_Stop_bit->setCurrentText(QStringLiteral("2"));
    ui().CB_KT_Parity->setCurrentText(QStringLiteral("even"));
    for (const MainWindowProbe::Slot slot : {&MainWindowProbe::on_BT_Read_values_clicked,
                                             &MainWindowProbe::on_BT_Write_values_clicked}) {
        QVERIFY(!ui().BT_Read_values->isEnabled() && !ui().BT_Write_values->isEnabled());
        slot(*w);
        QCOMPARE(log.last(), QStringLiteral("Нет соединения: выберите порт и нажмите «Соединиться»"));
        QVERIFY(activeTimers().isEmpty());
    }
    QCOMPARE(boxes->count(), 0);

    connectAndRead();
    QVERIFY(!ui().BT_find->isEnabled());
    const QString speed = ui().CB_KT_Speed->currentText();
    MainWindowProbe::on_BT_find_clicked(*w);
    QVERIFY(log.last().startsWith(QStringLiteral("Поиск недоступен")));
    QVERIFY(!MainWindowProbe::findTimer(*w)->isActive());
    QCOMPARE(ui().CB_KT_Speed->currentText(), speed);
    QVERIFY(MainWindowProbe::serial(*w)->isOpen());
    QCOMPARE(sim->rawInput(), QByteArray("-h-baudrate-stop bits-parity"));
}

void TestSafety::oneExchangeAtATime()
{
    StatusLog log(*w);
    ui().cbPorts->setCurrentText(sim->portPath());
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    // During the read: the write cannot start, not even by a click that gets through.
    QTRY_VERIFY(sim->commands().size() >= 1);
    QVERIFY(!ui().BT_Write_values->isEnabled());
    QVERIFY(!ui().BT_find->isEnabled());
    MainWindowProbe::on_BT_Write_values_clicked(*w);
    QCOMPARE(log.last(), QStringLiteral("Идёт чтение: дождитесь его окончания"));
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 10000);
    QCOMPARE(log.last(),
             QStringLiteral("Чтение завершено: скорость 9600, стоп-биты 1, паритет none"));
    QCOMPARE(sim->rawInput(), QByteArray("-h-baudrate-stop bits-parity"));

    // During the write: a read clicked 200 ms in is refused, and the module
    // ends with the values written, not with what a read would have shown.
    sim->clearLog();
    ui().CB_KT_Speed->setCurrentText(QStringLiteral("19200"));
    ui().CB_KT_Stop_bit->setCurrentText(QStringLiteral("2"));
    ui().CB_KT_Parity->setCurrentText(QStringLiteral("even"));
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QCOMPARE(log.last(), QStringLiteral("Запись начата"));
    QVERIFY(!ui().BT_Read_values->isEnabled());
    QTRY_VERIFY(sim->commands().size() >= 1);
    MainWindowProbe::on_BT_Read_values_clicked(*w);
    QCOMPARE(log.last(), QStringLiteral("Идёт запись: дождитесь её окончания"));
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 15000);
    QCOMPARE(boxes->boxes.at(0).title, QStringLiteral("Результат"));
    QCOMPARE(sim->rawInput(), QByteArray("-baudrate:19200-stop bits:2-parity:even-st"));
    QCOMPARE(sim->baudRate(), QStringLiteral("19200"));
    QCOMPARE(sim->stopBits(), QStringLiteral("2"));
    QCOMPARE(sim->parity(), QStringLiteral("even"));
    QVERIFY(sim->isOperating());
}

void TestSafety::aRefusedWriteStopsAndSaysWhich()
{
    connectAndRead();
    sim->rejectValues("-parity:");
    sim->clearLog();
    StatusLog log(*w);
    ui().CB_KT_Parity->setCurrentText(QStringLiteral("odd"));
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(log.messages().contains(QStringLiteral("Получено :?")), 10000);
    QVERIFY2(log.last().contains(QStringLiteral("«-parity:odd»"))
                     && log.last().contains(QStringLiteral("не переведен в режим работы")),
             qPrintable(log.last()));
    // Nothing is left armed that could paint the field green or go on writing.
    QCOMPARE(activeTimers(), QList<QTimer *>());
    QCOMPARE(ui().CB_KT_Parity->styleSheet(), styleRed);
    QCOMPARE(ui().CB_KT_Parity->currentIndex(), 0);
    QCOMPARE(sim->commands(), (QList<QByteArray> {"-baudrate:9600", "-stop bits:1", "-parity:odd"}));
    QVERIFY(!sim->isOperating());
    QVERIFY(ui().BT_Read_values->isEnabled());
    QCOMPARE(boxes->count(), 0);
}

void TestSafety::nothingIsSentAfterModuleIsWorking()
{
    connectAndRead();
    sim->clearLog();
    // A read step armed behind the write's back must not outlive the link.
    connect(w.get(), &MainWindow::statusShown, this, [this](const QString &m) {
        if (m == QStringLiteral("Передано :-st"))
            MainWindowProbe::readTimer(*w)->start(500);
    });
    QList<QTimer *> runningWhileBoxOpen {nullptr};
    boxes->onShown = [this, &runningWhileBoxOpen](const ModalWatcher::Box &) {
        runningWhileBoxOpen = activeTimers();
    };
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 15000);
    QCOMPARE(runningWhileBoxOpen, QList<QTimer *>());
    QCOMPARE(activeTimers(), QList<QTimer *>());
    QCOMPARE(sim->commands().size(), 4);
}

void TestSafety::aBannerHoldingOkStartsNoWrite()
{
    sim->setReply("-h", "Ok, ready");
    StatusLog log(*w);
    connectAndRead();
    QTRY_VERIFY(!MainWindowProbe::readTimer(*w)->isActive());
    QCOMPARE(sim->commands(), (QList<QByteArray> {"-h", "-baudrate", "-stop bits", "-parity"}));
    QVERIFY(!MainWindowProbe::writeTimer(*w)->isActive());
    QCOMPARE(ui().CB_KT_Speed->currentText(), QStringLiteral("9600"));
}

void TestSafety::anEmptyFieldSendsNothing()
{
    connectAndRead();
    sim->clearLog();
    StatusLog log(*w);
    ui().CB_KT_Stop_bit->setCurrentIndex(0);
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QVERIFY2(log.last().contains(QStringLiteral("считайте модуль или выберите значения")),
             qPrintable(log.last()));
    QCOMPARE(activeTimers(), QList<QTimer *>());
    QVERIFY(sim->rawInput().isEmpty());
    QVERIFY(ui().BT_Write_values->isEnabled());
}

void TestSafety::boxesSayWhatToDo_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("advice");
    QTest::newRow("missing port") << "missing"
                                  << QStringList {QStringLiteral("не найден"),
                                                  QStringLiteral("Система сообщает: No such file or directory.")};
    QTest::newRow("held port") << "held"
                               << QStringList {QStringLiteral("занят другой программой"),
                                               QStringLiteral("ModemManager")};
    QTest::newRow("silent module")
            << "silent"
            << QStringList {QStringLiteral("«-h»"), QStringLiteral("A и B"),
                            QStringLiteral("режиме настройки")};
}

void TestSafety::boxesSayWhatToDo()
{
    QFETCH(QString, failure);
    QFETCH(QStringList, advice);
    QSerialPort holder;
    if (failure == QLatin1String("missing")) {
        ui().cbPorts->addItem(QStringLiteral("/dev/tav-missing-adapter"));
        ui().cbPorts->setCurrentText(QStringLiteral("/dev/tav-missing-adapter"));
    } else {
        ui().cbPorts->setCurrentText(sim->portPath());
    }
    if (failure == QLatin1String("held")) {
        holder.setPortName(sim->portPath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
    }
    sim->setSilent(failure == QLatin1String("silent"));
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 8000);
    const ModalWatcher::Box box = boxes->boxes.at(0);
    QCOMPARE(box.text, QStringLiteral("Ошибка соединения"));
    QCOMPARE(box.title, QStringLiteral("Ошибка"));
    for (const QString &words : advice)
        QVERIFY2(box.informativeText.contains(words), qPrintable(box.informativeText));
}

void TestSafety::refreshWhileConnectedKeepsThePort()
{
    connectAndRead();
    QCOMPARE(ui().cbPorts->currentIndex(), 1);
    ports.prepend(QStringLiteral("COM0"));
    QTest::mouseClick(ui().BT_Open_Connect_2, Qt::LeftButton);
    QCOMPARE(ui().cbPorts->currentText(), sim->portPath());
    ports.removeAll(sim->portPath());
    QTest::mouseClick(ui().BT_Open_Connect_2, Qt::LeftButton);
    QCOMPARE(ui().cbPorts->currentIndex(), 0); // gone: the first, as ever
}

// A module's values are green only next to the port they came from: a lost
// link keeps them while that port stays chosen, and turning to another port
// (choosing it, or connecting to it, whether it opens or not) forgets them.
void TestSafety::greenStandsForThePortShown_data()
{
    QTest::addColumn<QString>("turn");
    QTest::addColumn<bool>("kept");
    QTest::newRow("the same port, refreshed") << QStringLiteral("refresh") << true;
    QTest::newRow("another port chosen") << QStringLiteral("choose") << false;
    QTest::newRow("the same port connected to, gone") << QStringLiteral("reconnect") << false;
    // Found by the monkey: a value set in a field other than by a pick in
    // its list stayed green.
    QTest::newRow("a value set in the speed field") << QStringLiteral("set") << true;
}

void TestSafety::greenStandsForThePortShown()
{
    QFETCH(QString, turn);
    QFETCH(bool, kept);
    connectAndRead();
    // The adapter is pulled out after two of the three values.
    connect(sim.get(), &ModuleSimulator::commandReceived, this, [this](const QByteArray &c) {
        if (c == "-parity")
            sim->vanish();
    });
    QTest::mouseClick(ui().BT_Read_values, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes->count(), 1, 10000);
    checkField(ui().CB_KT_Speed, QStringLiteral("9600"));
    checkField(ui().CB_KT_Stop_bit, QStringLiteral("1"));
    checkField(ui().CB_KT_Parity, QString());

    if (turn == QLatin1String("refresh")) {
        QTest::mouseClick(ui().BT_Open_Connect_2, Qt::LeftButton);
    } else if (turn == QLatin1String("set")) {
        ui().CB_KT_Speed->setCurrentIndex(ui().CB_KT_Speed->findText(QStringLiteral("128000")));
        QCOMPARE(ui().CB_KT_Speed->styleSheet(), styleGray);
        checkField(ui().CB_KT_Stop_bit, QStringLiteral("1"));
        return;
    } else if (turn == QLatin1String("choose")) {
        ui().cbPorts->setCurrentText(QStringLiteral("COM1"));
    } else {
        QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
        QTRY_COMPARE(boxes->count(), 2);
    }
    checkField(ui().CB_KT_Speed, kept ? QStringLiteral("9600") : QString());
    checkField(ui().CB_KT_Stop_bit, kept ? QStringLiteral("1") : QString());
    checkField(ui().CB_KT_Parity, QString());
}

// "Отключиться" in the middle of a write keeps what the module confirmed,
// as a lost link does; the rest goes back to unknown.
void TestSafety::disconnectingMidWriteKeepsWhatTheModuleConfirmed()
{
    connectAndRead();
    connect(sim.get(), &ModuleSimulator::commandReceived, this, [this](const QByteArray &c) {
        if (c.startsWith("-parity:"))
            QTimer::singleShot(0, this, [this] {
                QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
            });
    });
    ui().CB_KT_Speed->setCurrentText(QStringLiteral("19200"));
    ui().CB_KT_Stop_bit->setCurrentText(QStringLiteral("2"));
    ui().CB_KT_Parity->setCurrentText(QStringLiteral("even"));
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(ui().BT_Open_Connect->text(), QStringLiteral("Соединиться"), 10000);
    checkField(ui().CB_KT_Speed, QStringLiteral("19200"));
    checkField(ui().CB_KT_Stop_bit, QStringLiteral("2"));
    checkField(ui().CB_KT_Parity, QString());
    QCOMPARE(boxes->count(), 0);
}

// Asked whether to close in the middle of a write and left unanswered: once
// the write is over the question goes (never two boxes at once), the window
// stays, and the write's result is told as ever.
void TestSafety::aQuestionGoesWithItsWrite_data()
{
    QTest::addColumn<bool>("refused");
    QTest::newRow("written") << false;
    QTest::newRow("refused") << true;
}

void TestSafety::aQuestionGoesWithItsWrite()
{
    QFETCH(bool, refused);
    StatusLog log(*w);
    w->show();
    boxes->setHoldMs(600000);
    int most = 0;
    boxes->onShown = [&](const ModalWatcher::Box &) { most = std::max(most, boxesShown()); };
    connectAndRead();
    if (refused)
        sim->rejectValues("-parity:");
    ui().CB_KT_Speed->setCurrentText(QStringLiteral("57600"));
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QTRY_VERIFY(sim->commands().size() >= 5);
    QVERIFY(!w->close());
    QTRY_COMPARE(boxes->count(), 1);
    QCOMPARE(boxes->boxes.at(0).icon, QMessageBox::Question);
    QTRY_VERIFY_WITH_TIMEOUT(!ui().CB_KT_Speed->isEnabled(), 1000);
    QTRY_VERIFY_WITH_TIMEOUT(ui().CB_KT_Speed->isEnabled(), 15000);
    // A refused write shows no box of its own; a finished one its result.
    QTRY_COMPARE(boxesShown(), refused ? 0 : 1);
    QCOMPARE(boxes->count(), refused ? 1 : 2);
    QCOMPARE(most, 1);
    QVERIFY(w->isVisible());
    QCOMPARE(sim->isOperating(), !refused);
    const QString told = refused ? QStringLiteral("Модуль отклонил команду «-parity:none»")
                                 : QStringLiteral("Записано: скорость 57600, стоп-биты 1, "
                                                  "паритет none. Модуль переведен в режим работы.");
    QVERIFY2(log.last().startsWith(told), qPrintable(log.messages().join(QLatin1Char('\n'))));
    if (!refused)
        QCOMPARE(boxes->boxes.at(1).title, QStringLiteral("Результат"));
    boxes->setHoldMs(0);
    QTRY_COMPARE(boxesShown(), 0);
    // Nothing is under way any more: it closes without a question.
    QVERIFY(w->close());
    QCOMPARE(boxes->count(), refused ? 1 : 2);
}

// The system asks the program to end in the middle of a write (a logout, a
// shutdown): the reply under way is taken, the write ends as interrupted
// and is told in the log, and the window closes, without a question. Asked
// again, it closes at once.
void TestSafety::aStopRequestEndsTheExchangeThenTheWindow_data()
{
    QTest::addColumn<int>("requests");
    QTest::addColumn<QString>("told");
    QTest::newRow("idle") << 0 << QString();
    QTest::newRow("once") << 1 << QStringLiteral("Прервано после ответа на «-stop bits:2»");
    QTest::newRow("twice") << 2
                           << QStringLiteral("Прервано отключением: ответ на «-stop bits:2» не дождались");
}

void TestSafety::aStopRequestEndsTheExchangeThenTheWindow()
{
    QFETCH(int, requests);
    QFETCH(QString, told);
    w->show();
    connectAndRead();
    connect(sim.get(), &ModuleSimulator::commandReceived, this, [&](const QByteArray &c) {
        if (c != "-stop bits:2")
            return;
        if (requests == 2)
            sim->setReplyDelay(60s);
        for (int i = 0; i < requests; ++i)
            w->requestStop();
    });
    if (requests == 0) {
        w->requestStop();
    } else {
        ui().CB_KT_Speed->setCurrentText(QStringLiteral("19200"));
        ui().CB_KT_Stop_bit->setCurrentText(QStringLiteral("2"));
        QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 10000);
    QCOMPARE(boxes->count(), 0);
    QCOMPARE(sim->commands().constLast(), requests ? QByteArray("-stop bits:2") : QByteArray("-parity"));
    QVERIFY(!sim->isOperating());
    if (requests > 0) {
        const QStringList ended = w->exchangeLog()->lines().filter(QStringLiteral("Прервано"));
        QCOMPARE(ended.size(), 1);
        QVERIFY2(ended.constFirst().contains(told), qPrintable(ended.constFirst()));
    }
}

QTEST_MAIN(TestSafety)
#include "tst_safety.moc"
