#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "exchangelog.h"
#include "indicatorstyles.h"
#include "logging.h"
#include "logwindow.h"
#include "moduleprotocol.h"
#include "portmonitor.h"
#include "replyframer.h"
#include "seriallink.h"
#include "timing.h"

#include <QAction>
#include <QCloseEvent>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>

#include <utility>


using namespace Timing;

MainWindow::MainWindow(QWidget *parent, PortLister portLister, PortMonitor *monitor)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
    , listPorts(portLister ? portLister : PortLister(systemPortNames))
    , systemPorts(!portLister)
    , portMonitor(monitor)
{
    // The icon lives in this static library; nothing else would pull it in.
    Q_INIT_RESOURCE(resources);
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/icons/tav-configurator.png")));
    // The indicator looks hide Qt's focus frame; a keyboard user still needs
    // to see where the focus is.
    ui->centralwidget->setStyleSheet(QStringLiteral(
            "QComboBox:focus, QPushButton:focus { border: 2px solid rgb(0, 120, 215); }"));

    logBook = new ExchangeLog(this);
    statusPanel = new QStatusBar(this);
    setStatusBar(statusPanel);
    statusPanel->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(statusPanel, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        QMenu menu(this);
        QAction *openLog = menu.addAction(tr("Журнал обмена"));
        openLog->setShortcut(QKeySequence(Qt::Key_F2));
        connect(openLog, &QAction::triggered, this, &MainWindow::showLog);
        menu.exec(statusPanel->mapToGlobal(at));
    });
    auto *logKey = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(logKey, &QShortcut::activated, this, &MainWindow::showLog);

    ui->cbPorts->clear();
    knownPorts = listPorts();
    if (!portLister && !portMonitor)
        portMonitor = new PortMonitor(systemPortNames, PortMonitor::systemWatchedFolders());
    if (portMonitor) {
        portMonitor->setParent(this);
        portMonitor->start(knownPorts);
    }

    // Object names let tests and diagnostics tell the four timers apart.
    const auto makeTimer = [this](const char *name) {
        auto *timer = new QTimer(this);
        timer->setObjectName(QLatin1String(name));
        return timer;
    };
    findTimer = makeTimer("findTimer");
    connect(findTimer, &QTimer::timeout, this, &MainWindow::onfindTimerKT5);
    // A coarse timer may fire up to 5 % early; the module is given its full
    // pauses and its full time to answer.
    readTimer = makeTimer("readTimer");
    readTimer->setTimerType(Qt::PreciseTimer);
    connect(readTimer, &QTimer::timeout, this, &MainWindow::onTimerKT5);
    writeTimer = makeTimer("writeTimer");
    writeTimer->setTimerType(Qt::PreciseTimer);
    connect(writeTimer, &QTimer::timeout, this, &MainWindow::onTimerWriteKT5);
    framer = new ReplyFramer(this);
    timeoutTimer = framer->timeoutTimer();
    connect(framer, &ReplyFramer::timedOut, this, &MainWindow::onTimerTimeOut);
    connect(framer, &ReplyFramer::replyReady, this, &MainWindow::finishReply);

    openRetryTimer = makeTimer("openRetryTimer");
    openRetryTimer->setSingleShot(true);
    openRetryTimer->setInterval(foundPortRetryInterval);
    connect(openRetryTimer, &QTimer::timeout, this, &MainWindow::tryFoundPort);

    fillPortList();
    setDefault();
}

MainWindow::~MainWindow()
{
    // The port outlives this destructor's body (it is a child); it must not
    // call back into a half-destroyed window while it closes.
    if (serial)
        serial->disconnect(this);
    delete ui;
}

void MainWindow::showStatus(const QString &text)
{
    logBook->status(text);
    statusPanel->showMessage(text, 0);
    // The bar clips a long message; the whole of it is a hover away.
    statusPanel->setToolTip(text + tr("\n\nF2 — журнал обмена"));
    emit statusShown(text);
}

void MainWindow::fillPortList()
{
    // One enumeration for the details of every port, on a click or at start.
    const QHash<QString, QString> details =
            systemPorts ? systemPortDescriptions() : QHash<QString, QString>();
    for (const QString &name : qAsConst(knownPorts)) {
        ui->cbPorts->addItem(name);
        const QString about = details.value(name);
        if (!about.isEmpty())
            ui->cbPorts->setItemData(ui->cbPorts->count() - 1, about, Qt::ToolTipRole);
    }
    for (const QString &name : qAsConst(extraPorts)) {
        if (ui->cbPorts->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            ui->cbPorts->addItem(name);
    }
}

void MainWindow::addPort(const QString &name)
{
    if (name.isEmpty())
        return;
    if (!extraPorts.contains(name))
        extraPorts.append(name);
    if (ui->cbPorts->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        ui->cbPorts->addItem(name);
    ui->cbPorts->setCurrentText(name);
}

void MainWindow::showLog()
{
    if (!logWindow)
        logWindow = new LogWindow(logBook, this);
    logWindow->show();
    logWindow->raise();
    logWindow->activateWindow();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (exchange == Exchange::Writing) {
        const auto answer = QMessageBox::question(
                this, tr("Идёт запись"),
                tr("Идёт запись настроек в модуль. Если закрыть программу сейчас, модуль "
                   "останется записанным наполовину. Всё равно закрыть?"),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

void MainWindow::setDefault()
{
    setLook(ui->CB_KT_Parity, styleGray);
    setLook(ui->CB_KT_Speed, styleGray);
    setLook(ui->CB_KT_Stop_bit, styleGray);
    ui->CB_KT_Parity->setCurrentIndex(0);
    ui->CB_KT_Speed->setCurrentIndex(0);
    ui->CB_KT_Stop_bit->setCurrentIndex(0);
    setLook(ui->BT_find, styleGray);
}

void MainWindow::on_BT_Open_Connect_2_clicked()
{
    const QString selected = ui->cbPorts->currentText();
    ui->cbPorts->clear();
    knownPorts = listPorts();
    fillPortList();
    // The values on screen belong to the selected port: keep it while listed.
    const int kept = ui->cbPorts->findText(selected, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (kept >= 0)
        ui->cbPorts->setCurrentIndex(kept);
    showStatus(tr("Порты обновлены"));
}

// --- Module search ----------------------------------------------------------

void MainWindow::on_BT_find_clicked()
{
    // The button is disabled then; a click that gets through must not wipe
    // the fields of the open port or search beside it.
    if (isLinkOpen()) {
        showStatus(tr("Поиск недоступен, пока порт открыт: сначала нажмите «Отключиться»"));
        return;
    }
    readStep = 0;
    if (!isSearching()) {
        findTimer->start(findTickInterval);
        searchTicks = 0;
        showStatus(tr("Поиск начат"));
    } else {
        findTimer->stop();
        openRetryTimer->stop();
        showStatus(tr("Поиск остановлен"));
    }
    setLook(ui->BT_find, styleGray);
    setDefault();
}

bool MainWindow::isSearching() const
{
    return findTimer->isActive() || openRetryTimer->isActive();
}

void MainWindow::onfindTimerKT5()
{
    // The monitor's snapshot costs nothing to read; enumerating here would
    // stall the window for milliseconds every tick.
    if (portMonitor)
        portMonitor->poll();
    const QStringList ports = portMonitor ? portMonitor->snapshot() : listPorts();

    setLook(ui->BT_find, ui->BT_find->styleSheet() == styleLight ? styleGray : styleLight);

    ++searchTicks;
    if (searchTicks > searchTickLimit) {
        findTimer->stop();
        setLook(ui->BT_find, styleRed);
        showStatus(tr("Модуль не найден"));
        // This tick's enumeration still counts.
    }

    // Compared by name, not by count: an adapter that replaces another
    // within one tick is still new.
    if (!portSetChanged(ports, knownPorts))
        return;
    const QStringList found = newPortNames(ports, knownPorts);
    qCDebug(lcSearch) << "ports now" << ports << "new" << found;
    knownPorts = ports;
    for (const QString &name : found)
        connectFoundPort(name);
}

void MainWindow::connectFoundPort(const QString &name)
{
    // Stopped first: a port that fails to open is reported in a modal box,
    // whose event loop must not run further search ticks.
    findTimer->stop();
    // A re-plugged adapter keeps its item.
    if (ui->cbPorts->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        ui->cbPorts->addItem(name);
    ui->cbPorts->setCurrentText(name);
    showStatus(tr("Найден порт %1").arg(name));
    foundPort = name;
    foundPortClock.start();
    tryFoundPort();
}

void MainWindow::tryFoundPort()
{
    if (!openPort(foundPort)) {
        const auto problem = SerialLink::openProblem(serial->error(), foundPort);
        if (SerialLink::mayPassSoon(problem)
            && foundPortClock.elapsed() + foundPortRetryInterval.count()
                    <= foundPortGrace.count()) {
            if (!openRetryTimer->isActive())
                showStatus(tr("Найден порт %1, ожидание доступа к нему").arg(foundPort));
            openRetryTimer->start();
            return;
        }
        openRetryTimer->stop();
        reportOpenFailure(foundPort);
        setLook(ui->BT_find, styleRed);
        return;
    }
    openRetryTimer->stop();
    ui->BT_Open_Connect->setText(tr("Отключиться"));
    setLook(ui->BT_find, styleGreen);
    // The read the search starts is a read like any other: one at a time.
    exchange = Exchange::Reading;
    updateControls();
    readTimer->start(readAfterFindDelay);
}

void MainWindow::setLook(QWidget *widget, const QString &style)
{
    // Setting a sheet re-polishes the widget and renders fresh pixmaps into
    // Qt's cache: only a real change of look is worth that.
    if (widget->styleSheet() != style)
        widget->setStyleSheet(style);
}

// --- Replies and the read and write sequences ------------------------------

QComboBox *MainWindow::fieldWidget(ModuleProtocol::Field field) const
{
    switch (field) {
    case ModuleProtocol::Field::Speed:
        return ui->CB_KT_Speed;
    case ModuleProtocol::Field::StopBits:
        return ui->CB_KT_Stop_bit;
    case ModuleProtocol::Field::Parity:
        return ui->CB_KT_Parity;
    case ModuleProtocol::Field::None:
        break;
    }
    return nullptr;
}

void MainWindow::getResult()
{
    using ModuleProtocol::Kind;
    qCDebug(lcLink) << "reply" << reply;
    const auto sequence = exchange == Exchange::Writing ? ModuleProtocol::Sequence::Write
                                                        : ModuleProtocol::Sequence::Read;
    const ModuleProtocol::Outcome outcome = ModuleProtocol::interpret(reply, sequence, writeStep);
    QComboBox *field = fieldWidget(outcome.field);
    const bool readDone = readStep >= ModuleProtocol::readCommands.size();

    switch (outcome.kind) {
    case Kind::Accepted:
        if (field)
            setLook(field, styleGreen);
        if (writeStep >= ModuleProtocol::writeStepCount)
            endExchange(); // "Ok" to the last command: nothing more to send
        else
            writeTimer->start(pauseAfter(outcome.kind));
        break;
    case Kind::BaudRateReport:
    case Kind::StopBitsReport:
    case Kind::ParityReport:
        if (outcome.index >= 0) {
            field->setCurrentIndex(outcome.index);
            setLook(field, styleGreen);
        } else {
            setLook(field, styleRed);
        }
        if (readDone)
            finishRead();
        else
            readTimer->start(pauseAfter(outcome.kind));
        break;
    case Kind::Rejected:
        if (field) {
            setLook(field, styleRed);
            field->setCurrentIndex(0);
        }
        endExchange();
        showStatus(tr("Модуль отклонил команду «%1». Запись остановлена, модуль не переведён "
                      "в режим работы.")
                           .arg(lastCommand));
        break;
    case Kind::ModuleWorking:
        // The module has left configuration mode: nothing more may be sent,
        // and the window must not offer commands that can only time out.
        stopExchange();
        endExchange();
        if (serial)
            serial->close();
        showNotConnected();
        {
            QMessageBox box(QMessageBox::Information, tr("Результат"),
                            tr("Новые настройки записаны!\n\rМодуль переведен в режим работы!"),
                            QMessageBox::Ok, this);
            // Each value was confirmed by the module's "Ok" as it was written.
            QString values = shownValues().text();
            values[0] = values.at(0).toUpper(); // a sentence of its own here
            box.setInformativeText(values);
            box.exec();
        }
        break;
    case Kind::Unrecognised:
        if (exchange == Exchange::Writing) {
            endExchange();
            showStatus(tr("Ответ на команду «%1» не распознан. Запись остановлена, модуль не "
                          "переведён в режим работы.")
                               .arg(lastCommand));
        } else if (readDone) {
            finishRead();
        } else {
            readTimer->start(pauseAfter(outcome.kind));
        }
        break;
    }
}

void MainWindow::finishRead()
{
    endExchange();
    showStatus(tr("Чтение завершено: %1").arg(shownValues().text()));
}

ModuleProtocol::Values MainWindow::shownValues() const
{
    ModuleProtocol::Values values;
    for (const auto field : {ModuleProtocol::Field::Speed, ModuleProtocol::Field::StopBits,
                             ModuleProtocol::Field::Parity}) {
        const QComboBox *box = fieldWidget(field);
        if (box->currentIndex() > 0) // item 0 stands for "no known value"
            values.set(field, box->currentText());
    }
    return values;
}

void MainWindow::endExchange()
{
    exchange = Exchange::None;
    updateControls();
}

void MainWindow::updateControls()
{
    const bool open = isLinkOpen();
    const bool idle = exchange == Exchange::None;
    ui->BT_Read_values->setEnabled(open && idle);
    ui->BT_Write_values->setEnabled(open && idle);
    // A search would wipe the fields of a port that stays open.
    ui->BT_find->setEnabled(!open);
}

bool MainWindow::refuseWhileBusy()
{
    // Only the buttons' state keeps a user from these slots; a click that
    // gets through anyway must not send into a closed port.
    if (!isLinkOpen()) {
        showStatus(tr("Нет соединения: выберите порт и нажмите «Соединиться»"));
        return true;
    }
    if (exchange == Exchange::None)
        return false;
    showStatus(exchange == Exchange::Reading
                       ? tr("Идёт чтение: дождитесь его окончания")
                       : tr("Идёт запись: дождитесь её окончания"));
    return true;
}

void MainWindow::on_BT_Read_values_clicked()
{
    if (refuseWhileBusy())
        return;
    exchange = Exchange::Reading;
    updateControls();
    readStep = 0;
    readTimer->start(sequenceStartDelay);
    showStatus(tr("Чтение начато"));
}

void MainWindow::onTimerKT5()
{
    readTimer->stop();
    if (readStep < 0 || readStep >= ModuleProtocol::readCommands.size())
        return;
    const QString &com = ModuleProtocol::readCommands.at(readStep);
    showStatus(tr("Передано :") + com);
    sendCommand(com, true);
    ++readStep;
}

void MainWindow::on_BT_Write_values_clicked()
{
    if (refuseWhileBusy())
        return;
    // An empty field would send a bare prefix, which the module refuses
    // half-way through the write.
    for (const QComboBox *box : {ui->CB_KT_Speed, ui->CB_KT_Stop_bit, ui->CB_KT_Parity}) {
        if (box->currentIndex() <= 0) {
            showStatus(tr("Не все значения выбраны: считайте модуль или выберите значения"));
            return;
        }
    }
    exchange = Exchange::Writing;
    updateControls();
    writeStep = 0;
    writeTimer->start(sequenceStartDelay);
    showStatus(tr("Запись начата"));
}

void MainWindow::onTimerWriteKT5()
{
    writeTimer->stop();
    if (writeStep < 0 || writeStep >= ModuleProtocol::writeStepCount)
        return; // the sequence is over
    if (writeStep == 0) {
        setLook(ui->CB_KT_Parity, styleGray);
        setLook(ui->CB_KT_Speed, styleGray);
        setLook(ui->CB_KT_Stop_bit, styleGray);
    }
    QComboBox *field = fieldWidget(ModuleProtocol::writeSteps[writeStep].field);
    const QString com =
            ModuleProtocol::writeCommand(writeStep, field ? field->currentText() : QString());
    showStatus(tr("Передано :") + com);
    if (field)
        setLook(field, styleRed);
    sendCommand(com, true);
    ++writeStep;
}

// --- The link -----------------------------------------------------------

bool MainWindow::isLinkOpen() const
{
    return serial && serial->isOpen();
}

void MainWindow::releaseSerialPort()
{
    if (!serial)
        return;
    // A replaced port must never deliver its bytes or errors to the new one's
    // exchange. Freed later: this may run while the port is still signalling.
    serial->disconnect(this);
    serial->close();
    serial->deleteLater();
    serial = nullptr;
}

bool MainWindow::openPort(const QString &portName)
{
    releaseSerialPort();
    serial = new QSerialPort(this);
    serial->setObjectName(QStringLiteral("serial"));
    connect(serial, &QSerialPort::readyRead, this, &MainWindow::onReadyRead);
    SerialLink::configurePort(*serial, portName);
    ui->BT_Open_Connect->setEnabled(true);
    if (portName.isEmpty() || !serial->open(QIODevice::ReadWrite))
        return false;
    // Only now: open() itself signals NoError and, on failure, the error that
    // its caller reports. One failure, one report.
    connect(serial, &QSerialPort::errorOccurred, this, &MainWindow::handleError);
    return true;
}

QString MainWindow::openFailureReason(const QString &portName) const
{
    if (portName.isEmpty())
        return tr("порт не выбран");
    QString reason = serial->errorString();
#ifdef Q_OS_LINUX
    switch (SerialLink::openProblem(serial->error(), portName)) {
    case SerialLink::OpenProblem::NoAccess:
        reason += tr(" (нет прав: добавьте пользователя в группу dialout и войдите заново)");
        break;
    case SerialLink::OpenProblem::Busy:
        reason += tr(" (порт занят другой программой)");
        break;
    default:
        break;
    }
#endif
    return reason;
}

void MainWindow::openSerialPort()
{
    const QString portName = ui->cbPorts->currentText();
    if (!openPort(portName))
        reportOpenFailure(portName);
}

void MainWindow::reportOpenFailure(const QString &portName)
{
    const QString reason = openFailureReason(portName);
    qCDebug(lcLink) << "cannot open" << portName << reason;
    stopExchange();
    showNotConnected();
    showStatus(tr("Не удалось открыть порт %1: %2").arg(portName, reason));
    const QString systemText = serial ? serial->errorString() : QString();
    showConnectionError(
            tr("Ошибка"),
            SerialLink::openFailureAdvice(
                    SerialLink::openProblem(serial ? serial->error() : QSerialPort::NoError,
                                            portName),
                    portName, portName.isEmpty() ? QString() : systemText));
}

void MainWindow::showConnectionError(const QString &title, const QString &advice)
{
    QMessageBox box(QMessageBox::Critical, title, tr("Ошибка соединения"), QMessageBox::Ok, this);
    box.setInformativeText(advice);
    box.exec();
}

void MainWindow::showNotConnected()
{
    ui->BT_Open_Connect->setText(tr("Соединиться"));
    exchange = Exchange::None;
    updateControls();
}

// Closes the link and puts the window back to its neutral, not-connected look.
void MainWindow::dropLink()
{
    if (isLinkOpen())
        serial->close();
    stopExchange();
    showNotConnected();
    setDefault();
}

void MainWindow::stopExchange()
{
    readTimer->stop();
    findTimer->stop();
    openRetryTimer->stop();
    writeTimer->stop();
    framer->cancel();
    exchange = Exchange::None;
}

void MainWindow::sendCommand(const QString &com, bool crl)
{
    const QByteArray bytes = com.toUtf8();
    lastCommand = com;
    // Writing to a closed port only warns; the time-out tells the user.
    if (isLinkOpen()) {
        serial->write(bytes);
        logBook->sent(bytes);
    }
    if (crl)
        framer->expectReply();
    else
        framer->cancel();
}

void MainWindow::onReadyRead()
{
    if (serial)
        framer->feed(serial->readAll());
}

void MainWindow::finishReply(const QByteArray &bytes, qint64 dropped)
{
    logBook->received(bytes, dropped);
    reply = SerialLink::decodeReply(bytes);
    showStatus(tr("Получено :") + SerialLink::shownReply(reply, dropped));
    getResult();
}

void MainWindow::onTimerTimeOut()
{
    showStatus(tr("Ошибка"));
    timeoutTimer->stop();
    // The sequence cannot go on without the reply; the link stays open, so
    // the user can read again once the module is seen to.
    endExchange();
    showConnectionError(tr("Ошибка"), SerialLink::noReplyAdvice(lastCommand));
}

void MainWindow::handleError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError)
        return;
    qCDebug(lcLink) << "port error" << error;
    if (!SerialLink::errorEndsLink(error))
        return;

    const QString portName = serial ? serial->portName() : QString();
    const QString reason = serial ? serial->errorString() : QString();
    // Close before reporting: a hung-up port keeps raising ReadError on
    // every event-loop pass until it is closed, the message box's loop too.
    dropLink();
    showStatus(tr("Связь с портом %1 потеряна: %2").arg(portName, reason));
    if (error == QSerialPort::DeviceNotFoundError || error == QSerialPort::OpenError
        || error == QSerialPort::ResourceError)
        showConnectionError(tr("Critical Error"), SerialLink::linkLostAdvice(portName, reason));
}

// --- Connection control ---------------------------------------------------

void MainWindow::on_BT_Open_Connect_clicked()
{
    if (isSearching())
        return;

    if (ui->BT_Open_Connect->text() != tr("Отключиться")) {
        qCDebug(lcLink) << "connect" << ui->cbPorts->currentText();
        ui->BT_find->setEnabled(false);
        openSerialPort();
        if (!isLinkOpen())
            return; // reported, and shown not connected, by openSerialPort
        ui->BT_Open_Connect->setText(tr("Отключиться"));
        on_BT_Read_values_clicked();
        return;
    }

    // A link the user closed has nothing left to wait for: no time-out either.
    const QString portName = serial ? serial->portName() : QString();
    dropLink();
    showStatus(tr("Отключено от порта %1").arg(portName));
}
