#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "modulerecord.h"
#include "enginewords.h"
#include "exchangelog.h"
#include "indicatorstyles.h"
#include "logging.h"
#include "moduleprotocol.h"
#include "portfield.h"
#include "portmonitor.h"
#include "session.h"
#include "statewords.h"
#include "statuspanel.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>

MainWindow::MainWindow(QWidget *parent, PortLister portLister, PortMonitor *monitor)
    : QMainWindow(parent)
    , engine(new ModuleEngine(Session::engineSetup(portLister, monitor, true), this))
    , readStep(*engine, true)
    , writeStep(*engine, false)
    , findTimer(EngineSeam::timer(*engine, "findTimer"))
    , readTimer(EngineSeam::timer(*engine, "readTimer"))
    , writeTimer(EngineSeam::timer(*engine, "writeTimer"))
    , timeoutTimer(EngineSeam::timer(*engine, "timeoutTimer"))
    , searchTicks(EngineSeam::searchTicks(*engine))
    , knownPorts(EngineSeam::knownPorts(*engine))
    , serial(EngineSeam::serial(*engine))
    , reply(EngineSeam::reply(*engine))
    , ui(new Ui_MainWindow)
    , listPorts(portLister ? portLister : PortLister(systemPortNames))
    , systemPorts(!portLister)
{
    // The icon lives in this static library; nothing else would pull it in.
    Q_INIT_RESOURCE(resources);
    ui->setupUi(this);
    // Wide enough that a result, a refusal or a time-out with its advice
    // reads whole in the status bar on two or three lines.
    resize(std::max(width(), 560), height());
    // The module's own lists, after the empty item that stands for "no known value".
    for (const auto field : {ModuleProtocol::Field::Speed, ModuleProtocol::Field::StopBits,
                             ModuleProtocol::Field::Parity}) {
        fieldWidget(field)->addItem(QString());
        fieldWidget(field)->addItems(ModuleProtocol::valuesOf(field));
        fieldWidget(field)->setItemDelegate(new ReadableRows(fieldWidget(field)));
    }
    // Each size is read only when the system asks for it (a title bar's
    // 16 px, a task switcher's 48 px), not all of them before the first look.
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64})
        icon.addFile(QStringLiteral(":/icons/%1/tav-configurator.png").arg(side), QSize(side, side));
    setWindowIcon(icon);
    // The indicator looks hide Qt's focus frame; a keyboard user still needs
    // to see where the focus is.
    ui->centralwidget->setStyleSheet(QStringLiteral(
            "QComboBox:focus, QPushButton:focus { border: 2px solid rgb(0, 120, 215); }"));
    logBook = new ExchangeLog(this);
    logBook->follow(engine, StateWords::audience());
    connect(logBook, &ExchangeLog::fileFailed, this, &MainWindow::showMessage);
    statusPanel = new StatusPanel(this);
    setStatusBar(statusPanel);
    connect(statusPanel, &StatusPanel::logAsked, this, &MainWindow::showLog);
    auto *logKey = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(logKey, &QShortcut::activated, this, &MainWindow::showLog);
    connect(statusPanel, &StatusPanel::manualAsked, this, &MainWindow::showManual);
    auto *manualKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(manualKey, &QShortcut::activated, this, &MainWindow::showManual);

    portField = new PortField(ui->cbPorts, systemPorts, this);
    connect(portField, &PortField::forgotten, this, &MainWindow::on_BT_Open_Connect_2_clicked);
    // Green means "the module on the port shown told this": once another
    // port is shown, the fields know nothing of its module.
    connect(portField, &PortField::turnedTo, this, [this] {
        if (!showsLinkedPort())
            forgetAll();
    });
    if (!portField->passedOver().isEmpty())
        showStatus(portField->passedOver());
    connect(engine, &ModuleEngine::stateChanged, this, [this] {
        // Open, a gateway's connection made: a port that failed is not "used".
        if (engine->isOpen() && engine->state() != ModuleEngine::State::Connecting)
            portField->used(engine->portName());
    });

    connect(engine, &ModuleEngine::noted, this,
            [this](const ModuleEngine::Note &note) { showMessage(EngineWords::say(note, StateWords::audience())); });
    // The status bar shows what an exchange sends and what comes back; the
    // log has the bytes themselves, once.
    connect(engine, &ModuleEngine::commandSent, this, [this](const QByteArray &bytes) {
        if (engine->activity() != ModuleEngine::Activity::Idle)
            showMessage(EngineWords::sent(bytes));
    });
    connect(engine, &ModuleEngine::replyTaken, this, [this](const QByteArray &bytes, qint64 dropped) {
        showMessage(EngineWords::received(bytes, dropped));
    });
    connect(engine, &ModuleEngine::fieldChanged, this, &MainWindow::showField);
    connect(engine, &ModuleEngine::stateChanged, this, &MainWindow::updateControls);
    // A box about an exchange goes when what it says no longer holds (a
    // reply came, the exchange ended), before whatever follows is shown.
    const auto review = [this] {
        if (box && boxHolds && !boxHolds())
            withdrawBox();
    };
    connect(engine, &ModuleEngine::stateChanged, this, review);
    // Asked to end: once the exchange is over, the window goes.
    connect(engine, &ModuleEngine::stateChanged, this, [this] {
        if (stopAsked && !engine->isBusy()) {
            closeConfirmed = true;
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
    });
    connect(engine, &ModuleEngine::replyTaken, this, review);
    connect(engine, &ModuleEngine::progressed, statusPanel, &StatusPanel::showProgress);
    connect(engine, &ModuleEngine::failed, this, &MainWindow::showFailure);
    connect(engine, &ModuleEngine::timedOut, this,
            [this](const QString &command, bool first) { showTimeout(command, first); });
    connect(engine, &ModuleEngine::written, this, &MainWindow::showWritten);
    connect(engine, &ModuleEngine::portFound, portField, &PortField::select);
    connect(engine, &ModuleEngine::searchTicked, this, [this] {
        searchBlink = !searchBlink;
        showSearch(StateWords::Search::Searching);
    });
    connect(engine, &ModuleEngine::searchEnded, this, [this](bool connected) {
        showSearch(connected ? StateWords::Search::Found : StateWords::Search::NotFound);
    });

    // Named as the form labels them, for screen readers; a value the user
    // picks is not the module's until a write confirms it.
    ui->cbPorts->setAccessibleName(ui->label->text());
    statusPanel->setAccessibleName(tr("Строка состояния"));
    const std::pair<QComboBox *, QLabel *> fields[] = {{ui->CB_KT_Speed, ui->label_5},
                                                       {ui->CB_KT_Stop_bit, ui->label_4},
                                                       {ui->CB_KT_Parity, ui->label_7}};
    for (const auto &[box, label] : fields) {
        box->setAccessibleName(label->text());
        label->setBuddy(box);
        // A value picked is the user's, not the module's: by hand, or set
        // in any other way than by what the module told.
        const auto picked = [this, box = box] {
            if (showingField)
                return;
            for (const auto field : {ModuleProtocol::Field::Speed, ModuleProtocol::Field::StopBits,
                                     ModuleProtocol::Field::Parity}) {
                if (fieldWidget(field) == box)
                    fieldStates[int(field) - 1] = ModuleEngine::FieldState::Pending;
            }
            setLook(box, styleGray);
            StateWords::describe(box, box->accessibleName(), StateWords::picked());
        };
        connect(box, QOverload<int>::of(&QComboBox::activated), this, picked);
        connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, picked);
    }

    if (systemPorts) {
        connect(engine, &ModuleEngine::portsListed, this,
                [this](const QStringList &names, const QList<PortDetails> &details) {
                    if (std::exchange(portsListed, true))
                        return;
                    engine->setKnownPorts(names);
                    portField->fillFirst(knownPorts, details);
                });
    } else {
        engine->setKnownPorts(listPorts());
        portField->fill(knownPorts);
    }
    setDefault();
    updateControls();
}

MainWindow::~MainWindow()
{
    // The engine outlives this body (it is a child); it must not call back
    // into a half-destroyed window.
    engine->disconnect(this);
    delete ui;
}

void MainWindow::keepRecord(ModuleRecord *record)
{
    record->follow(engine, StateWords::audience());
    // A record that stops taking rows is told where the log's failure is.
    connect(record, &ModuleRecord::fileFailed, this, &MainWindow::showMessage);
}

void MainWindow::addPort(const QString &name)
{
    portField->add(name);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (systemPorts && !std::exchange(shownOnce, true))
        windowHandle()->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Nothing that can wait runs before the first look: the system's ports
    // are listed once the window is on screen, by the port watch's own
    // thread, and the list fills in when they are in.
    if (watched == windowHandle() && event->type() == QEvent::Expose
        && windowHandle()->isExposed()) {
        windowHandle()->removeEventFilter(this);
        QTimer::singleShot(0, this, [this] {
            if (!engine->listPortsInBackground()) {
                engine->setKnownPorts(listPorts());
                portField->fill(knownPorts);
            }
        });
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (engine->activity() == ModuleEngine::Activity::Writing && !closeConfirmed) {
        // Asked without blocking: the write goes on meanwhile, and the
        // question goes with it once it is over (the window then stays).
        event->ignore();
        const auto writing = [this] {
            return engine->activity() == ModuleEngine::Activity::Writing;
        };
        showBox(QMessageBox::Question, tr("Идёт запись"),
                tr("Идёт запись настроек в модуль. Если закрыть программу сейчас, модуль "
                   "останется записанным наполовину. Всё равно закрыть?"),
                {}, writing,
                [this](int answer) {
                    if (answer != QMessageBox::Yes)
                        return;
                    closeConfirmed = true;
                    close();
                },
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        return;
    }
    // An exchange cut short by closing is still told and recorded.
    if (engine->isBusy())
        engine->close();
    event->accept();
}

void MainWindow::requestStop()
{
    if (std::exchange(stopAsked, true) || !engine->isBusy()) {
        closeConfirmed = true;
        close(); // an exchange still under way is cut short and told
        return;
    }
    engine->requestStop();
    if (!engine->isBusy()) {
        close();
        return;
    }
    QTimer::singleShot(stopBound, this, [this] { requestStop(); });
}

void MainWindow::setDefault()
{
    forgetAll();
    showSearch(StateWords::Search::Idle);
}

void MainWindow::on_BT_Open_Connect_2_clicked()
{
    engine->setKnownPorts(listPorts());
    portField->fill(knownPorts);
    showStatus(tr("Порты обновлены"));
}

// --- The named slots: each is one of the engine's steps -----------------------

QString MainWindow::currentPort() const
{
    return ui->cbPorts->currentText();
}

void MainWindow::on_BT_find_clicked()
{
    if (engine->isOpen()) {
        engine->startSearch(); // refused, and the engine says why
        return;
    }
    if (searching())
        engine->stopSearch();
    else
        engine->startSearch();
    setDefault();
    if (searching())
        showSearch(StateWords::Search::Searching);
}

void MainWindow::on_BT_Write_values_clicked()
{
    ModuleProtocol::Values values;
    for (const auto field : {ModuleProtocol::Field::Speed, ModuleProtocol::Field::StopBits,
                             ModuleProtocol::Field::Parity}) {
        const QComboBox *box = fieldWidget(field);
        if (box->currentIndex() > 0) // item 0 stands for "no known value"
            values.set(field, box->currentText());
    }
    engine->start(ModuleEngine::Plan::writing(values));
}

void MainWindow::on_BT_Open_Connect_clicked()
{
    if (searching())
        return;
    if (engine->isOpen()) {
        // An exchange cut short keeps what the module told, as a lost link
        // does; otherwise the window goes back to its neutral look.
        const bool cutShort = engine->isBusy();
        engine->close();
        if (cutShort) {
            forgetUntold();
            showSearch(StateWords::Search::Idle);
        } else {
            setDefault();
        }
        return;
    }
    qCDebug(lcLink) << "connect" << currentPort();
    // Whether it opens or not, this is another connection: nothing shown
    // before stands for its module, and the search's last word is over.
    forgetAll();
    showSearch(StateWords::Search::Idle);
    if (engine->open(currentPort()))
        engine->start(ModuleEngine::Plan::read());
}
