#ifndef TAV_TESTSUPPORT_H
#define TAV_TESTSUPPORT_H

#include "mainwindow.h"
#include "portfield.h"
#include "statuspanel.h"
#include "replyframer.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

#include <functional>

// Cases that need what only a Unix system gives a test (pseudo-terminal
// links, FIFOs, /dev/full, file-size limits, the built programs next to the
// test) are skipped where the tests run as Windows programs.
#ifdef Q_OS_UNIX
#define TAV_UNIX_ONLY()
#else
#define TAV_UNIX_ONLY() QSKIP("needs a Unix system")
#endif

// The window's private state, for assertions only.
struct MainWindowProbe
{
    static Ui_MainWindow &ui(MainWindow &w) { return *w.ui; }
    static ModuleEngine &engine(const MainWindow &w) { return *w.engine; }
    static int readStep(const MainWindow &w) { return w.readStep; }
    static int writeStep(const MainWindow &w) { return w.writeStep; }
    static bool awaitingReply(const MainWindow &w) { return w.engine->progress().awaiting; }
    static int searchTicks(const MainWindow &w) { return w.searchTicks; }
    static QStringList knownPorts(const MainWindow &w) { return w.knownPorts; }
    static QSerialPort *serial(const MainWindow &w) { return w.serial; }
    static QString reply(const MainWindow &w) { return w.reply; }
    static QByteArray readBuffer(const MainWindow &w) { return EngineSeam::readBuffer(*w.engine); }
    static StatusPanel *statusPanel(const MainWindow &w) { return w.statusPanel; }
    // As the search selects the port it found.
    static void selectPort(MainWindow &w, const QString &port) { w.portField->select(port); }
    static QString shownPort(const MainWindow &w) { return w.portField->shownText(); }
    static QTimer *findTimer(const MainWindow &w) { return w.findTimer; }
    static QTimer *readTimer(const MainWindow &w) { return w.readTimer; }
    static QTimer *writeTimer(const MainWindow &w) { return w.writeTimer; }
    static QTimer *timeoutTimer(const MainWindow &w) { return w.timeoutTimer; }

    // The window's named slots, reached as a click, a timer or the port
    // would reach them (a disabled button's slot too).
    using Slot = void (*)(MainWindow &);
    static void openSerialPort(MainWindow &w) { w.openSerialPort(); }
    static void on_BT_Open_Connect_clicked(MainWindow &w) { w.on_BT_Open_Connect_clicked(); }
    static void on_BT_Open_Connect_2_clicked(MainWindow &w) { w.on_BT_Open_Connect_2_clicked(); }
    static void on_BT_Read_values_clicked(MainWindow &w) { w.on_BT_Read_values_clicked(); }
    static void on_BT_Write_values_clicked(MainWindow &w) { w.on_BT_Write_values_clicked(); }
    static void on_BT_find_clicked(MainWindow &w) { w.on_BT_find_clicked(); }
    static void onfindTimerKT5(MainWindow &w) { w.onfindTimerKT5(); }
    static void getResult(MainWindow &w) { w.getResult(); }
    static void setDefault(MainWindow &w) { w.setDefault(); }
    static void sendCommand(MainWindow &w, const QString &command) { w.sendCommand(command, true); }
    static void handleError(MainWindow &w, QSerialPort::SerialPortError error)
    {
        w.handleError(error);
    }
};

// Every status message the window shows, in order.
class StatusLog
{
public:
    explicit StatusLog(MainWindow &w)
        : spy(&w, &MainWindow::statusShown)
    {
    }
    QStringList messages() const
    {
        QStringList out;
        for (const auto &args : spy)
            out.append(args.at(0).toString());
        return out;
    }
    int count() const { return messages().size(); }
    QString last() const { return messages().value(count() - 1); }
    void clear() { spy.clear(); }

private:
    QSignalSpy spy;
};

// Closes every modal message box that opens while it lives, as a user
// would, and remembers what each one said the moment it shows (the window
// never blocks on a box, so a box is counted before the call that caused it
// returns). Whatever is to be looked at while a box is open goes into
// onShown; setHoldMs keeps it open for a while first.
class ModalWatcher : public QObject
{
public:
    struct Box
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        QString informativeText;
    };

    ModalWatcher()
    {
        qApp->installEventFilter(this);
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start();
    }
    ~ModalWatcher() override { qApp->removeEventFilter(this); }
    void setHoldMs(int ms) { holdMs = ms; }
    std::function<void(const Box &)> onShown;
    QList<Box> boxes;
    int count() const { return boxes.size(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *box = qobject_cast<QMessageBox *>(watched))
                take(box);
        }
        return false;
    }

private:
    void take(QMessageBox *box)
    {
        if (box == current)
            return;
        current = box;
        boxes.append({box->windowTitle(), box->text(), box->icon(), box->informativeText()});
        shownAt.start();
        if (onShown)
            onShown(boxes.last());
    }
    void poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        take(box);
        if (shownAt.elapsed() >= holdMs) {
            current = nullptr;
            box->done(QMessageBox::Ok);
        }
    }

    QTimer timer;
    QPointer<QMessageBox> current;
    QElapsedTimer shownAt;
    int holdMs = 0;
};

// Connects as a user does (the connect reads the module), picks `values`
// (speed, stop bits, parity) and presses "Записать настройки".
inline void connectAndWrite(Ui_MainWindow &ui, const QStringList &values)
{
    QTest::mouseClick(ui.BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ui.BT_Write_values->isEnabled(), 10000);
    ui.CB_KT_Speed->setCurrentText(values.at(0));
    ui.CB_KT_Stop_bit->setCurrentText(values.at(1));
    ui.CB_KT_Parity->setCurrentText(values.at(2));
    QTest::mouseClick(ui.BT_Write_values, Qt::LeftButton);
}

#endif // TAV_TESTSUPPORT_H
