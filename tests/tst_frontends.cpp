// The behaviour table against both front ends: the window (its boxes,
// status bar and fields) and the command line (its exit code and output)
// must reach the verdict the engine reaches for every row.
#include "behaviours.h"
#include "commissioner.h"
#include "exchangelog.h"
#include "simfixture.h"

#include <QtTest>

#include <memory>
#include <optional>

class TestFrontEnds : public QObject
{
    Q_OBJECT

private slots:
    void windowReachesTheVerdict_data() { addBehaviourRows(); }
    void windowReachesTheVerdict();
    void commandLineReachesTheVerdict_data() { addBehaviourRows(); }
    void commandLineReachesTheVerdict();
};

namespace {
std::optional<Verdict> windowVerdict(MainWindow &w, const ModalWatcher &boxes)
{
    const auto boxTitled = [&](const QString &title) {
        for (const auto &b : boxes.boxes) {
            if (b.title == title)
                return true;
        }
        return false;
    };
    ModuleEngine &engine = MainWindowProbe::engine(w);
    if (boxTitled(QStringLiteral("Результат")))
        return Verdict::Written;
    if (boxTitled(QStringLiteral("Critical Error")))
        return Verdict::LinkLost;
    if (boxTitled(QStringLiteral("Запись не завершена")))
        return Verdict::LeftConfiguration;
    if (engine.isBusy() && engine.isAwaitingReply() && boxTitled(QStringLiteral("Ошибка")))
        return Verdict::NoReply;
    const QString status = MainWindowProbe::statusPanel(w)->currentMessage();
    if (status.startsWith(QStringLiteral("Чтение завершено")))
        return status.contains(QStringLiteral("нет")) ? Verdict::ReadIncomplete : Verdict::Read;
    if (status.contains(QStringLiteral("отклонил")))
        return Verdict::Refused;
    if (status.contains(QStringLiteral("«Ok» на «-st»")))
        return Verdict::OperatingNotConfirmed;
    if (status.contains(QStringLiteral("не распознан")))
        return Verdict::NotUnderstood;
    return std::nullopt;
}

std::optional<Verdict> commandLineVerdict(int code, const QString &output, bool write)
{
    switch (code) {
    case ExitCode::done:
        return write ? Verdict::Written : Verdict::Read;
    case ExitCode::refused:
        return Verdict::Refused;
    case ExitCode::noReply:
        if (output.contains(QStringLiteral("потеряна")))
            return Verdict::LinkLost;
        if (output.contains(QStringLiteral("не ответил")))
            return Verdict::NoReply;
        break;
    case ExitCode::notUnderstood:
        if (output.contains(QStringLiteral("не все значения")))
            return Verdict::ReadIncomplete;
        if (output.contains(QStringLiteral("перешёл в режим работы")))
            return Verdict::LeftConfiguration;
        if (output.contains(QStringLiteral("«Ok» на «-st»")))
            return Verdict::OperatingNotConfirmed;
        if (output.contains(QStringLiteral("не распознан")))
            return Verdict::NotUnderstood;
        break;
    default:
        break;
    }
    return std::nullopt;
}
} // namespace

void TestFrontEnds::windowReachesTheVerdict()
{
    QFETCH(int, row);
    const Behaviour b = behaviours().at(row);
    ModuleSimulator sim;
    QVERIFY(sim.isValid());
    FaultyModule module(sim, b);
    const QString port = sim.portPath();
    MainWindow w(nullptr, [port] { return QStringList {port}; });
    Ui_MainWindow &ui = MainWindowProbe::ui(w);
    ModalWatcher boxes;
    // Since the window last said anything: a silent module stays silent.
    QElapsedTimer quiet;
    quiet.start();
    connect(&w, &MainWindow::statusShown, this, [&quiet] { quiet.start(); });
    FastForward hurry(&w, [&module] { return module.lateNow(); }, false);
    ModuleEngine &engine = MainWindowProbe::engine(w);

    QTest::mouseClick(ui.BT_Open_Connect, Qt::LeftButton);
    if (b.write) {
        QTRY_VERIFY_WITH_TIMEOUT(ui.BT_Write_values->isEnabled(), 10000);
        const QStringList t = targetValues();
        ui.CB_KT_Speed->setCurrentText(t.at(0));
        ui.CB_KT_Stop_bit->setCurrentText(t.at(1));
        ui.CB_KT_Parity->setCurrentText(t.at(2));
        QTest::mouseClick(ui.BT_Write_values, Qt::LeftButton);
        QVERIFY(engine.isBusy());
    }
    // Over, or waiting for a reply that does not come, with the user told.
    QTRY_VERIFY_WITH_TIMEOUT(!engine.isBusy()
                                     || (engine.isAwaitingReply() && boxes.count() > 0
                                         && quiet.elapsed() > 1500),
                             20000);
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    const auto verdict = windowVerdict(w, boxes);
    QVERIFY2(verdict, qPrintable(MainWindowProbe::statusPanel(w)->currentMessage()));
    QCOMPARE(verdictName(*verdict), verdictName(b.verdict));
    checkModuleAfter(sim, b, module.struckCommand, *verdict);

    // One connection-error box per exchange, however many replies are late.
    int errorBoxes = 0;
    for (const auto &box : qAsConst(boxes.boxes))
        errorBoxes += box.title == QLatin1String("Ошибка") ? 1 : 0;
    QVERIFY(errorBoxes <= 1);
    // The window never looks idle while the exchange goes on, and the
    // buttons come back only when it is over.
    QCOMPARE(ui.BT_Read_values->isEnabled(), engine.isOpen() && !engine.isBusy());
    if (*verdict == Verdict::Read) {
        QCOMPARE(ui.CB_KT_Speed->currentText(), sim.baudRate());
        QCOMPARE(ui.CB_KT_Stop_bit->currentText(), sim.stopBits());
        QCOMPARE(ui.CB_KT_Parity->currentText(), sim.parity());
    }
    if (*verdict == Verdict::ReadIncomplete) {
        // A value the module did not tell is shown as unknown, never as the old one.
        int unknown = 0;
        for (QComboBox *box : {ui.CB_KT_Speed, ui.CB_KT_Stop_bit, ui.CB_KT_Parity})
            unknown += box->currentIndex() == 0 ? 1 : 0;
        QVERIFY(unknown > 0);
    }
}

void TestFrontEnds::commandLineReachesTheVerdict()
{
    QFETCH(int, row);
    const Behaviour b = behaviours().at(row);
    ModuleSimulator sim;
    QVERIFY(sim.isValid());
    FaultyModule module(sim, b);
    CommissionOptions o;
    o.port = sim.portPath();
    if (b.write) {
        const QStringList t = targetValues();
        o.action = CommissionOptions::Action::Write;
        o.target = {t.at(0), t.at(1), t.at(2)};
    }
    QString output;
    QString errors;
    QTextStream out(&output);
    QTextStream err(&errors);
    Commissioner cli(o, [] { return QStringList(); }, out, err);
    FastForward hurry(&cli, [&module] { return module.lateNow(); }, b.fault == Fault::Silent);
    QSignalSpy finished(&cli, &Commissioner::finished);
    cli.start();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
    const int code = finished.at(0).at(0).toInt();
    const auto verdict = commandLineVerdict(code, output, b.write);
    QVERIFY2(verdict, qPrintable(QString::number(code) + QLatin1Char(' ') + output));
    QCOMPARE(verdictName(*verdict), verdictName(b.verdict));
    checkModuleAfter(sim, b, module.struckCommand, *verdict);
    QCOMPARE(output.count(QLatin1Char('\n')), 1); // one result line
}

QTEST_MAIN(TestFrontEnds)
#include "tst_frontends.moc"
