#ifndef TAV_MAINWINDOW_H
#define TAV_MAINWINDOW_H

#include "portlist.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QSerialPort>
#include <QString>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QCloseEvent;
class QComboBox;
class QStatusBar;
class QWidget;
class QTimer;
class Ui_MainWindow;
QT_END_NAMESPACE

struct MainWindowProbe;
class PortMonitor;
class ExchangeLog;
class ReplyFramer;
class LogWindow;
namespace ModuleProtocol {
enum class Field;
struct Values;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // `portLister` names the ports to offer; left empty, the system's own
    // serial ports are listed. The search takes its names from `monitor`
    // where there is one (the window then owns it); the system default has
    // one, an injected lister without a monitor is called on every tick.
    explicit MainWindow(QWidget *parent = nullptr, PortLister portLister = {},
                        PortMonitor *monitor = nullptr);
    ~MainWindow() override;

    // Every status message, command and reply, timestamped.
    ExchangeLog *exchangeLog() const { return logBook; }
    // Offers `name` (a name such as "ttyUSB0" or "COM5", or a path such as
    // /dev/serial/by-id/...) even if the system does not list it, and selects it.
    void addPort(const QString &name);
    // Opens the exchange log's window (F2, or the status bar's menu).
    void showLog();

protected:
    void closeEvent(QCloseEvent *event) override;

signals:
    // Every status-bar message as it is shown, a repeat of the last one too
    // (QStatusBar::messageChanged stays silent for those).
    void statusShown(const QString &text);

private slots:
    void on_BT_Open_Connect_clicked();
    void sendCommand(const QString &com, bool crl);
    void onReadyRead();
    void getResult();
    void setDefault();
    void openSerialPort();
    void onfindTimerKT5();
    void onTimerKT5();
    void onTimerWriteKT5();
    void onTimerTimeOut();
    void on_BT_Read_values_clicked();
    void on_BT_find_clicked();
    void on_BT_Write_values_clicked();
    void on_BT_Open_Connect_2_clicked();
    void handleError(QSerialPort::SerialPortError error);

private:
    friend struct MainWindowProbe;

    void showStatus(const QString &text);
    void fillPortList();
    void finishReply(const QByteArray &bytes, qint64 dropped);
    void releaseSerialPort();
    void reportOpenFailure(const QString &portName);
    void showNotConnected();
    void stopExchange();
    void dropLink();
    void showConnectionError(const QString &title, const QString &advice);
    void updateControls();
    void finishRead();
    // The values the three fields show; none where a field is empty.
    ModuleProtocol::Values shownValues() const;
    void endExchange();
    bool refuseWhileBusy();
    bool isLinkOpen() const;
    QComboBox *fieldWidget(ModuleProtocol::Field field) const;
    void connectFoundPort(const QString &name);
    void tryFoundPort();
    bool openPort(const QString &portName);
    QString openFailureReason(const QString &portName) const;
    bool isSearching() const;
    static void setLook(QWidget *widget, const QString &style);

    int readStep = 0;
    int writeStep = 0;
    QTimer *findTimer = nullptr;
    QTimer *readTimer = nullptr;
    QTimer *writeTimer = nullptr;
    QTimer *timeoutTimer = nullptr;
    int searchTicks = 0;
    QStringList knownPorts;
    QSerialPort *serial = nullptr;
    QString reply;
    QStatusBar *statusPanel = nullptr;
    Ui_MainWindow *ui = nullptr;

    // The sequence under way: only one at a time, since commands carry no
    // terminator and two of them close together reach the module as one.
    enum class Exchange { None, Reading, Writing };
    Exchange exchange = Exchange::None;
    QString lastCommand;

    PortLister listPorts;
    bool systemPorts = false;
    QStringList extraPorts;
    ExchangeLog *logBook = nullptr;
    LogWindow *logWindow = nullptr;
    PortMonitor *portMonitor = nullptr;
    // A port found by the search that could not be opened yet is tried again
    // for a while (see SerialLink::mayPassSoon).
    QTimer *openRetryTimer = nullptr;
    QElapsedTimer foundPortClock;
    QString foundPort;
    // Collects the pieces of one reply; owns the reply time-out, which
    // `timeoutTimer` points to.
    ReplyFramer *framer = nullptr;
};

#endif // TAV_MAINWINDOW_H
