#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "indicatorstyles.h"
#include "moduleprotocol.h"
#include "seriallink.h"

#include <QDebug>
#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

#include <utility>

using namespace std::chrono_literals;

namespace {
// Pauses between the steps of the read and write sequences; the module
// needs them between commands.
constexpr auto sequenceStartDelay = 100ms;
constexpr auto readAfterReportDelay = 500ms;
constexpr auto readAfterOtherReplyDelay = 300ms;
constexpr auto writeAfterOkDelay = 1500ms;

// The search looks for a newly plugged-in adapter every tick and gives up
// after about two minutes. A freshly plugged module needs time to start
// before it is read.
constexpr auto findTickInterval = 100ms;
constexpr int searchTickLimit = 1200;
constexpr auto readAfterFindDelay = 3000ms;
} // namespace

MainWindow::MainWindow(QWidget *parent, PortLister portLister)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
    , listPorts(portLister ? std::move(portLister) : PortLister(systemPortNames))
{
    ui->setupUi(this);

    statusPanel = new QStatusBar(this);
    setStatusBar(statusPanel);

    ui->cbPorts->clear();
    knownPorts = listPorts();

    // Object names let tests and diagnostics tell the four timers apart.
    const auto makeTimer = [this](const char *name) {
        auto *timer = new QTimer(this);
        timer->setObjectName(QLatin1String(name));
        return timer;
    };
    findTimer = makeTimer("findTimer");
    connect(findTimer, &QTimer::timeout, this, &MainWindow::onfindTimerKT5);
    readTimer = makeTimer("readTimer");
    connect(readTimer, &QTimer::timeout, this, &MainWindow::onTimerKT5);
    writeTimer = makeTimer("writeTimer");
    connect(writeTimer, &QTimer::timeout, this, &MainWindow::onTimerWriteKT5);
    timeoutTimer = makeTimer("timeoutTimer");
    // A coarse timer may fire up to 5 % early; the module is given its full time.
    timeoutTimer->setTimerType(Qt::PreciseTimer);
    connect(timeoutTimer, &QTimer::timeout, this, &MainWindow::onTimerTimeOut);

    replyGapTimer = makeTimer("replyGapTimer");
    replyGapTimer->setSingleShot(true);
    replyGapTimer->setInterval(SerialLink::replyQuietGap);
    connect(replyGapTimer, &QTimer::timeout, this, &MainWindow::finishReply);

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
    statusPanel->showMessage(text, 0);
    emit statusShown(text);
}

void MainWindow::fillPortList()
{
    for (const QString &name : qAsConst(knownPorts))
        ui->cbPorts->addItem(name);
}

void MainWindow::setDefault()
{
    ui->CB_KT_Parity->setStyleSheet(styleGray);
    ui->CB_KT_Speed->setStyleSheet(styleGray);
    ui->CB_KT_Stop_bit->setStyleSheet(styleGray);
    ui->CB_KT_Parity->setCurrentIndex(0);
    ui->CB_KT_Speed->setCurrentIndex(0);
    ui->CB_KT_Stop_bit->setCurrentIndex(0);
    ui->BT_find->setStyleSheet(styleGray);
}

void MainWindow::on_BT_Open_Connect_2_clicked()
{
    ui->cbPorts->clear();
    knownPorts = listPorts();
    fillPortList();
    showStatus(tr("Порты обновлены"));
}

// --- Module search ----------------------------------------------------------

void MainWindow::on_BT_find_clicked()
{
    readStep = 0;
    if (!findTimer->isActive()) {
        findTimer->start(findTickInterval);
        searchTicks = 0;
        showStatus(tr("Поиск начат"));
    } else {
        findTimer->stop();
        showStatus(tr("Поиск остановлен"));
    }
    ui->BT_find->setStyleSheet(styleGray);
    setDefault();
}

void MainWindow::onfindTimerKT5()
{
    const QStringList ports = listPorts();

    ui->BT_find->setStyleSheet(ui->BT_find->styleSheet() == styleLight ? styleGray : styleLight);

    ++searchTicks;
    if (searchTicks > searchTickLimit) {
        findTimer->stop();
        ui->BT_find->setStyleSheet(styleRed);
        showStatus(tr("Модуль не найден"));
        // This tick's enumeration still counts.
    }

    // Compared by name, not by count: an adapter that replaces another
    // within one tick is still new.
    if (!portSetChanged(ports, knownPorts))
        return;
    const QStringList found = newPortNames(ports, knownPorts);
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
    openSerialPort();
    if (!isLinkOpen()) {
        ui->BT_find->setStyleSheet(styleRed); // reported by openSerialPort
        return;
    }
    ui->BT_Open_Connect->setText(tr("Отключиться"));
    ui->BT_find->setStyleSheet(styleGreen);
    readTimer->start(readAfterFindDelay);
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
    qDebug() << reply;
    const ModuleProtocol::Outcome outcome = ModuleProtocol::interpret(reply, writeStep);
    QComboBox *field = fieldWidget(outcome.field);

    switch (outcome.kind) {
    case Kind::Accepted:
        if (field)
            field->setStyleSheet(styleGreen);
        writeTimer->start(writeAfterOkDelay);
        break;
    case Kind::BaudRateReport:
        field->setStyleSheet(styleGreen);
        if (outcome.index >= 0)
            field->setCurrentIndex(outcome.index);
        else
            field->setStyleSheet(styleRed);
        readTimer->start(readAfterReportDelay);
        break;
    case Kind::StopBitsReport:
    case Kind::ParityReport:
        if (outcome.index >= 0) {
            field->setCurrentIndex(outcome.index);
            field->setStyleSheet(styleGreen);
        } else {
            field->setStyleSheet(styleRed);
        }
        if (outcome.kind == Kind::ParityReport) {
            ui->BT_Write_values->setEnabled(true);
            ui->BT_Read_values->setEnabled(true);
        }
        readTimer->start(readAfterReportDelay);
        break;
    case Kind::Rejected:
        if (field) {
            field->setStyleSheet(styleRed);
            field->setCurrentIndex(0);
        }
        break;
    case Kind::ModuleWorking:
        if (serial)
            serial->close();
        // The module has left configuration mode and the port is closed:
        // the window must not offer commands that can only time out.
        timeoutTimer->stop();
        showNotConnected();
        QMessageBox::information(
                this, tr("Результат"),
                tr("Новые настройки записаны!\n\rМодуль переведен в режим работы!"),
                QMessageBox::Ok, QMessageBox::NoButton);
        break;
    case Kind::Unrecognised:
        readTimer->start(readAfterOtherReplyDelay);
        break;
    }
}

void MainWindow::on_BT_Read_values_clicked()
{
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
    writeStep = 0;
    writeTimer->start(sequenceStartDelay);
}

void MainWindow::onTimerWriteKT5()
{
    writeTimer->stop();
    QString com;
    QComboBox *field = nullptr;
    switch (writeStep) {
    case 0:
        ui->CB_KT_Parity->setStyleSheet(styleGray);
        ui->CB_KT_Speed->setStyleSheet(styleGray);
        ui->CB_KT_Stop_bit->setStyleSheet(styleGray);
        field = ui->CB_KT_Speed;
        com = ModuleProtocol::baudRatePrefix + field->currentText();
        break;
    case 1:
        field = ui->CB_KT_Stop_bit;
        com = ModuleProtocol::stopBitsPrefix + field->currentText();
        break;
    case 2:
        field = ui->CB_KT_Parity;
        com = ModuleProtocol::parityPrefix + field->currentText();
        break;
    case 3:
        com = ModuleProtocol::operatingModeCommand;
        break;
    default:
        return; // the sequence is over
    }
    showStatus(tr("Передано :") + com);
    if (field)
        field->setStyleSheet(styleRed);
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

void MainWindow::openSerialPort()
{
    releaseSerialPort();
    serial = new QSerialPort(this);
    serial->setObjectName(QStringLiteral("serial"));
    connect(serial, &QSerialPort::readyRead, this, &MainWindow::onReadyRead);

    const QString portName = ui->cbPorts->currentText();
    serial->setPortName(portName);
    serial->setBaudRate(SerialLink::lineBaudRate, QSerialPort::AllDirections);
    serial->setDataBits(QSerialPort::Data8);
    serial->setParity(QSerialPort::NoParity);
    serial->setStopBits(QSerialPort::OneStop);
    serial->setFlowControl(QSerialPort::NoFlowControl);
    ui->BT_Open_Connect->setEnabled(true);

    if (portName.isEmpty()) {
        reportOpenFailure(portName, tr("порт не выбран"));
        return;
    }
    if (!serial->open(QIODevice::ReadWrite)) {
        QString reason = serial->errorString();
#ifdef Q_OS_LINUX
        if (serial->error() == QSerialPort::PermissionError) {
            const QString path = portName.startsWith(QLatin1Char('/'))
                    ? portName
                    : QStringLiteral("/dev/") + portName;
            const QFileInfo device(path);
            if (device.exists() && !(device.isReadable() && device.isWritable()))
                reason +=
                        tr(" (нет прав: добавьте пользователя в группу dialout и войдите заново)");
            else
                reason += tr(" (порт занят другой программой)");
        }
#endif
        reportOpenFailure(portName, reason);
        return;
    }
    // Only now: open() itself signals NoError and, on failure, the error that
    // has just been reported above. One failure, one report.
    connect(serial, &QSerialPort::errorOccurred, this, &MainWindow::handleError);
}

void MainWindow::reportOpenFailure(const QString &portName, const QString &reason)
{
    qDebug() << "cannot open" << portName << reason;
    stopExchange();
    showNotConnected();
    showStatus(tr("Не удалось открыть порт %1: %2").arg(portName, reason));
    showConnectionError(tr("Ошибка"));
}

void MainWindow::showConnectionError(const QString &title)
{
    QMessageBox::critical(this, title, tr("Ошибка соединения"), QMessageBox::Ok,
                          QMessageBox::NoButton);
}

void MainWindow::showNotConnected()
{
    ui->BT_Open_Connect->setText(tr("Соединиться"));
    ui->BT_find->setEnabled(true);
    ui->BT_Write_values->setEnabled(false);
    ui->BT_Read_values->setEnabled(false);
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
    writeTimer->stop();
    timeoutTimer->stop();
    replyGapTimer->stop();
    awaitingReply = false;
}

void MainWindow::sendCommand(const QString &com, bool crl)
{
    const QByteArray bytes = com.toUtf8();
    awaitingReply = crl;
    replyGapTimer->stop(); // a reply still in pieces belongs to the last command
    // Writing to a closed port only warns; the time-out below tells the user.
    if (isLinkOpen())
        serial->write(bytes);
    readBuffer.clear();
    timeoutTimer->start(SerialLink::replyTimeout);
}

void MainWindow::onReadyRead()
{
    if (!serial)
        return;
    const QByteArray data = serial->readAll();
    if (!awaitingReply) {
        readBuffer = data;
        return;
    }
    if (replyGapTimer->isActive()) {
        readBuffer += data;
        if (replyClock.elapsed() >= SerialLink::replyCollectLimit.count()) {
            replyGapTimer->stop();
            finishReply();
            return;
        }
    } else {
        // The module has answered: its first bytes stop the time-out, the
        // rest may follow in pieces.
        readBuffer = data;
        timeoutTimer->stop();
        replyClock.start();
    }
    replyGapTimer->start();
}

void MainWindow::finishReply()
{
    reply = SerialLink::decodeReply(readBuffer);
    showStatus(tr("Получено :") + reply);
    awaitingReply = false;
    timeoutTimer->stop();
    getResult();
}

void MainWindow::onTimerTimeOut()
{
    showStatus(tr("Ошибка"));
    timeoutTimer->stop();
    showConnectionError(tr("Ошибка"));
}

void MainWindow::handleError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError)
        return;
    qDebug() << error;
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
        showConnectionError(tr("Critical Error"));
}

// --- Connection control ---------------------------------------------------

void MainWindow::on_BT_Open_Connect_clicked()
{
    if (findTimer->isActive())
        return;

    if (ui->BT_Open_Connect->text() != tr("Отключиться")) {
        qDebug() << ui->cbPorts->currentText();
        ui->BT_find->setEnabled(false);
        openSerialPort();
        if (!isLinkOpen())
            return; // reported, and shown not connected, by openSerialPort
        ui->BT_Open_Connect->setText(tr("Отключиться"));
        ui->BT_Write_values->setEnabled(true);
        ui->BT_Read_values->setEnabled(true);
        on_BT_Read_values_clicked();
        return;
    }

    // A link the user closed has nothing left to wait for: no time-out either.
    dropLink();
}
