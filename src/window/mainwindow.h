#ifndef TAV_MAINWINDOW_H
#define TAV_MAINWINDOW_H

#include "engineseam.h"
#include "moduleengine.h"
#include "portlist.h"
#include "statewords.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QSerialPort>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

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
class ModuleRecord;
class ExchangeLog;
class LogWindow;
class ManualWindow;
class PortField;
class StatusPanel;

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
    // Appends a row to `record` at the end of every exchange with a module.
    void keepRecord(ModuleRecord *record);
    // Offers `name` (a name such as "ttyUSB0" or "COM5", or a path such as
    // /dev/serial/by-id/...) even if the system does not list it, and selects it.
    void addPort(const QString &name);
    // Opens the exchange log's window (F2, or the status bar's menu).
    void showLog();
    // Opens the user's manual (F1, or the status bar's menu).
    void showManual();
    // The system asks the program to end (a logout, a shutdown, a closed
    // terminal): an exchange under way gets the reply it awaits and ends
    // as interrupted, told in the log and the record, then the window
    // closes. Asked again, or `stopBound` later, it closes at once.
    void requestStop();
    static constexpr std::chrono::milliseconds stopBound {5000};

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // Every status-bar message as it is shown, a repeat of the last one too
    // (QStatusBar::messageChanged stays silent for those).
    void statusShown(const QString &text);

private slots:
    // Each is one of the engine's steps.
    void on_BT_Open_Connect_clicked();
    void sendCommand(const QString &com, bool crl) { EngineSeam::send(*engine, com, crl); }
    void onReadyRead() { EngineSeam::readAvailable(*engine); }
    void getResult() { EngineSeam::takeReply(*engine); }
    void setDefault();
    void openSerialPort() { engine->open(currentPort()); }
    void onfindTimerKT5() { EngineSeam::searchTick(*engine); }
    void onTimerKT5() { EngineSeam::pauseOver(*engine, true); }
    void onTimerWriteKT5() { EngineSeam::pauseOver(*engine, false); }
    void onTimerTimeOut() { EngineSeam::replyTimedOut(*engine); }
    void on_BT_Read_values_clicked() { engine->start(ModuleEngine::Plan::read()); }
    void on_BT_find_clicked();
    void on_BT_Write_values_clicked();
    void on_BT_Open_Connect_2_clicked();
    void handleError(QSerialPort::SerialPortError error) { EngineSeam::portError(*engine, error); }

private:
    friend struct MainWindowProbe;

    // What the engine reports, shown.
    void showMessage(const QString &text);
    void showField(ModuleProtocol::Field field, ModuleEngine::FieldState state, QString value);
    void showFailure(const ModuleEngine::Failure &failure);
    void showTimeout(const QString &command, bool first);
    void showWritten(const ModuleProtocol::Values &confirmed, bool operating);
    void showSearch(StateWords::Search state);
    // Every field the module did not tell goes back to "unknown"; what it
    // told in the latest connection to the port shown stays.
    void forgetUntold();
    // The fields no longer stand for the module on the port shown.
    void forgetAll();
    // The fields show the module on the port the field names.
    bool showsLinkedPort() const;

    // The window's own messages, taken down in the log as well.
    void showStatus(const QString &text);
    // One box at a time, never blocking: a newer one takes the place of an
    // older. `holds` says while the box is true (a question about a write
    // that is over is withdrawn); `answered` gets the button pressed.
    void showBox(QMessageBox::Icon icon, const QString &title, const QString &text,
                 const QString &details, std::function<bool()> holds = {},
                 std::function<void(int)> answered = {},
                 QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                 QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    void withdrawBox();
    void updateControls();
    QComboBox *fieldWidget(ModuleProtocol::Field field) const;
    QString currentPort() const;
    bool searching() const { return engine->state() == ModuleEngine::State::Searching; }
    static void setLook(QWidget *widget, const QString &style);

    // Declared first: the members below refer to its state.
    ModuleEngine *engine = nullptr;

    // The names the window has always had for the exchange's state; the
    // state itself lives in the engine.
    const StepView readStep;
    const StepView writeStep;
    QTimer *findTimer = nullptr;
    QTimer *readTimer = nullptr;
    QTimer *writeTimer = nullptr;
    QTimer *timeoutTimer = nullptr;
    const int &searchTicks;
    const QStringList &knownPorts;
    QSerialPort *const &serial;
    const QString &reply;
    StatusPanel *statusPanel = nullptr;
    Ui_MainWindow *ui = nullptr;

    PortLister listPorts;
    bool systemPorts = false;
    PortField *portField = nullptr;
    bool portsListed = false; // the first list of the system's ports is in
    bool shownOnce = false;
    ExchangeLog *logBook = nullptr;
    LogWindow *logWindow = nullptr;
    ManualWindow *manualWindow = nullptr;

    // What the window shows, as data: the looks follow from it.
    ModuleEngine::FieldState fieldStates[3] {};
    StateWords::Search search = StateWords::Search::Idle;
    bool searchBlink = false;
    bool showingField = false; // a field shows what the engine told, not a pick
    QPointer<QMessageBox> box;
    std::function<bool()> boxHolds;
    // The user confirmed closing in the middle of a write, or the system
    // asked the program to end.
    bool closeConfirmed = false;
    bool stopAsked = false;
};

#endif // TAV_MAINWINDOW_H
