// What the engine reports, shown: the fields, the search button, the
// controls, and one box at a time.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "enginewords.h"
#include "exchangelog.h"
#include "logwindow.h"
#include "manualwindow.h"
#include "indicatorstyles.h"
#include "portfield.h"
#include "statewords.h"
#include "statuspanel.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

void MainWindow::forgetUntold()
{
    using State = ModuleEngine::FieldState;
    for (const auto field : {ModuleProtocol::Field::Speed, ModuleProtocol::Field::StopBits,
                             ModuleProtocol::Field::Parity}) {
        const State state = fieldStates[int(field) - 1];
        if (state != State::Read && state != State::Confirmed)
            showField(field, State::Unknown, {});
    }
}

void MainWindow::forgetAll()
{
    for (const auto field : {ModuleProtocol::Field::Speed, ModuleProtocol::Field::StopBits,
                             ModuleProtocol::Field::Parity})
        showField(field, ModuleEngine::FieldState::Unknown, {});
}

bool MainWindow::showsLinkedPort() const
{
    return !engine->portName().isEmpty() && currentPort() == engine->portName();
}

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

void MainWindow::showSearch(StateWords::Search state)
{
    using Search = StateWords::Search;
    // While searching the button blinks, one look a tick.
    if (state != Search::Searching)
        searchBlink = false;
    search = state;
    switch (state) {
    case Search::Idle:
        setLook(ui->BT_find, styleGray);
        break;
    case Search::Searching:
        setLook(ui->BT_find, searchBlink ? styleLight : styleGray);
        break;
    case Search::Found:
        setLook(ui->BT_find, styleGreen);
        break;
    case Search::NotFound:
        setLook(ui->BT_find, styleRed);
        break;
    }
    StateWords::describe(ui->BT_find, ui->BT_find->text(), StateWords::search(state));
}

void MainWindow::showField(ModuleProtocol::Field field, ModuleEngine::FieldState state,
                           QString value)
{
    using State = ModuleEngine::FieldState;
    QComboBox *box = fieldWidget(field);
    if (!box)
        return;
    // What the module on another port than the one shown does is not shown.
    if (state != State::Unknown && !showsLinkedPort()) {
        state = State::Unknown;
        value.clear();
    }
    fieldStates[int(field) - 1] = state;
    StateWords::describe(box, box->accessibleName(), StateWords::field(state));
    // A field shows the value the state is about: item 0 stands for "no
    // known value", the module's values follow it.
    showingField = true;
    box->setCurrentIndex(ModuleProtocol::valuesOf(field).indexOf(value) + 1);
    showingField = false;
    switch (state) {
    case State::Read:
    case State::Confirmed:
        setLook(box, styleGreen);
        break;
    case State::Unknown:
    case State::Pending:
        setLook(box, styleGray);
        break;
    case State::Unreadable:
    case State::Sending:
    case State::Refused:
        setLook(box, styleRed);
        break;
    }
}

void MainWindow::updateControls()
{
    const bool open = engine->isOpen();
    const bool idle = !engine->isBusy();
    ui->BT_Open_Connect->setText(open ? tr("Отключиться") : tr("Соединиться"));
    ui->BT_Read_values->setEnabled(open && idle);
    ui->BT_Write_values->setEnabled(open && idle);
    // A search would wipe the fields of a port that stays open.
    ui->BT_find->setEnabled(!open);
    // "адаптер найден и открыт" holds only while it is open.
    if (!open && !searching() && search == StateWords::Search::Found)
        showSearch(StateWords::Search::Idle);
    // A search ended by anything but its own end (the window closing it).
    if (!searching() && search == StateWords::Search::Searching)
        showSearch(StateWords::Search::Idle);
    // What a write sends, and what its result names, is what the fields
    // held when it began.
    if (!engine->isBusy())
        statusPanel->endProgress();
    const bool writing = engine->activity() == ModuleEngine::Activity::Writing;
    for (QComboBox *box : {ui->CB_KT_Speed, ui->CB_KT_Stop_bit, ui->CB_KT_Parity})
        box->setEnabled(!writing);
}

void MainWindow::showBox(QMessageBox::Icon icon, const QString &title, const QString &text,
                         const QString &details, std::function<bool()> holds,
                         std::function<void(int)> answered,
                         QMessageBox::StandardButtons buttons,
                         QMessageBox::StandardButton defaultButton)
{
    logBook->told(title, text, details);
    // What the older box said is in the status bar's history and the log.
    withdrawBox();
    auto *shown = new QMessageBox(icon, title, text, buttons, this);
    shown->setInformativeText(details);
    if (defaultButton != QMessageBox::NoButton)
        shown->setDefaultButton(defaultButton);
    shown->setWindowModality(Qt::ApplicationModal);
    connect(shown, &QDialog::finished, this, [this, shown, answered](int result) {
        if (box == shown)
            boxHolds = {};
        shown->deleteLater();
        if (answered)
            answered(result);
    });
    box = shown;
    boxHolds = std::move(holds);
    // Shown once the signal that brought it has reached everyone else: the
    // log and the record take down an ending before its box is on screen,
    // so that a session killed while the box is up has lost nothing.
    QMetaObject::invokeMethod(
            shown,
            [this, shown] {
                if (box == shown)
                    shown->show();
            },
            Qt::QueuedConnection);
}

void MainWindow::withdrawBox()
{
    if (!box)
        return;
    QMessageBox *gone = box;
    box = nullptr;
    boxHolds = {};
    // Withdrawn, not answered.
    gone->disconnect(this);
    gone->hide();
    gone->deleteLater();
}

void MainWindow::showFailure(const ModuleEngine::Failure &failure)
{
    using Kind = ModuleEngine::FailureKind;
    const QString advice = EngineWords::advice(failure, StateWords::audience());
    const QString summary = EngineWords::summary(failure);
    showMessage(summary.isEmpty() ? advice : summary);
    switch (failure.kind()) {
    case Kind::CannotOpen:
        showBox(QMessageBox::Critical, tr("Ошибка"), tr("Ошибка соединения"), advice);
        break;
    case Kind::LinkLost:
        // What the module read out or confirmed stays, green; the rest of
        // the fields no longer stand for anything.
        forgetUntold();
        showBox(QMessageBox::Critical, tr("Critical Error"), tr("Ошибка соединения"),
                advice);
        break;
    case Kind::LeftConfiguration:
        showBox(QMessageBox::Warning, tr("Запись не завершена"), tr("Запись не завершена"),
                advice);
        break;
    default:
        break; // the status bar says it
    }
}

void MainWindow::showTimeout(const QString &command, bool first)
{
    // Later time-outs of the same exchange go to the status bar and the log.
    showMessage(EngineWords::late(command, first));
    if (!first)
        return;
    const QString advice = LinkWords::noReplyAdvice(command);
    const QString waiting = tr("Ответ всё ещё ожидается: обмен продолжится, когда он придёт. "
                               "Чтобы прекратить, нажмите «Отключиться».");
    // The box holds while the reply is still awaited; the bar said "Ошибка"
    // while it was up, and once it is closed says what goes on, unless the
    // reply came meanwhile.
    const auto stillLate = [this] { return engine->progress().awaiting; };
    showBox(QMessageBox::Critical, tr("Ошибка"), tr("Ошибка соединения"),
            advice + QStringLiteral("\n\n") + waiting, stillLate,
            [this, advice, waiting](int) {
                if (engine->progress().awaiting)
                    showStatus(advice + QLatin1Char(' ') + waiting);
            });
}

void MainWindow::showWritten(const ModuleProtocol::Values &confirmed, bool operating)
{
    if (!operating)
        return;
    QString values = EngineWords::values(confirmed, EngineWords::Told::Confirmed);
    values[0] = values.at(0).toUpper(); // a sentence of its own here
    showBox(QMessageBox::Information, tr("Результат"),
            tr("Новые настройки записаны!\n\rМодуль переведен в режим работы!"), values);
}

void MainWindow::setLook(QWidget *widget, const QString &style)
{
    // Setting a sheet re-polishes the widget and renders fresh pixmaps into
    // Qt's cache: only a real change of look is worth that.
    if (widget->styleSheet() != style)
        widget->setStyleSheet(style);
}

void MainWindow::showMessage(const QString &text)
{
    statusPanel->showMessage(text, 0);
    // The bar clips a long message; the whole of it is a hover away.
    statusPanel->setToolTip(text + tr("\n\nF2 — журнал обмена"));
    emit statusShown(text);
}

void MainWindow::showStatus(const QString &text)
{
    logBook->status(text);
    showMessage(text);
}

// --- The log and the manual, beside the window ---------------------------------

void MainWindow::showLog()
{
    if (!logWindow) {
        logWindow = new LogWindow(logBook, this);
        connect(logWindow, &LogWindow::saved, this, [this](const QString &path) {
            showMessage(tr("Журнал сохранён: %1").arg(QDir::toNativeSeparators(path)));
        });
    }
    logWindow->show();
    logWindow->raise();
    logWindow->activateWindow();
}

void MainWindow::showManual()
{
    if (!manualWindow)
        manualWindow = new ManualWindow(this);
    manualWindow->show();
    manualWindow->raise();
    manualWindow->activateWindow();
}
