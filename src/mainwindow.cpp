#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "indicatorstyles.h"

#include <QStatusBar>
#include <QTimer>

#include <utility>

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
    connect(timeoutTimer, &QTimer::timeout, this, &MainWindow::onTimerTimeOut);

    fillPortList();
    setDefault();
}

MainWindow::~MainWindow()
{
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

void MainWindow::on_BT_Open_Connect_clicked() {}
void MainWindow::sendCommand(const QString &com, bool crl)
{
    Q_UNUSED(com)
    Q_UNUSED(crl)
}
void MainWindow::onReadyRead() {}
void MainWindow::getResult() {}
void MainWindow::openSerialPort() {}
void MainWindow::onfindTimerKT5() {}
void MainWindow::onTimerKT5() {}
void MainWindow::onTimerWriteKT5() {}
void MainWindow::onTimerTimeOut() {}
void MainWindow::on_BT_Read_values_clicked() {}
void MainWindow::on_BT_find_clicked() {}
void MainWindow::on_BT_Write_values_clicked() {}
void MainWindow::handleError(QSerialPort::SerialPortError error)
{
    Q_UNUSED(error)
}
