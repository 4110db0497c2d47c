// The behaviour table against both front ends: the window (its boxes,
// status bar and fields) and the command line (its exit code and output)
// must reach the verdict the engine reaches for every row.
#include "behaviours.h"
#include "commissioner.h"
#include "exchangelog.h"
#include "simfixture.h"

#include <QProgressBar>
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
    if (engine.isBusy() && engine.progress().awaiting && boxTitled(QStringLiteral("Ошибка")))
        return Verdict::NoReply;
    const QString status = MainWindowProbe::statusPanel(w)->currentMessage();
    if (status.startsWith(QStringLiteral("Чтение завершено")))
        return status.contains(QStringLiteral("не сообщен")) ? Verdict::ReadIncomplete : Verdict::Read;
    if (status.contains(QStringLiteral("отклонил")))
        return Verdict::Refused;
    if (status.contains(QStringLiteral("«Ok» на «-st»")))
        return Verdict::OperatingNotConfirmed;
    if (status.contains(QStringLiteral("не распознан")))
        return Verdict::NotUnderstood;
    return std::nullopt;
}

// The log tells how the exchange ended in words, after the last byte that
// passed, and holds each box the user was shown, whole.
void checkLogTellsTheEnd(const QStringList &lines, const QList<ModalWatcher::Box> &boxes,
                         Verdict verdict)
{
    const auto said = [](const QString &line) {
        return line.mid(30);
    };
    int lastByte = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (said(lines.at(i)).startsWith(QLatin1String("->"))
            || said(lines.at(i)).startsWith(QLatin1String("<-")))
            lastByte = i;
    }
    QVERIFY(lastByte >= 0);
    bool told = false;
    for (const QString &line : lines.mid(lastByte + 1)) {
        const QString text = said(line).trimmed();
        told = told
                || !(text == QLatin1String("Ошибка") || text.startsWith(QLatin1String("Получено :"))
                     || text.startsWith(QLatin1String("Передано :")));
    }
    QVERIFY2(told, qPrintable(lines.mid(lastByte).join(QLatin1Char('\n'))));
    // Each thing is said once: no line repeats the one before it.
    for (int i = 1; i < lines.size(); ++i)
        QVERIFY2(said(lines.at(i)) != said(lines.at(i - 1)), qPrintable(lines.at(i)));
    if (verdict == Verdict::NoReply) {
        QVERIFY2(lines.filter(QStringLiteral("не ответил на команду")).size() > 0,
                 qPrintable(lines.join(QLatin1Char('\n'))));
    }
    for (const auto &box : boxes) {
        const QStringList titled =
                lines.filter(QStringLiteral("окно «%1»: %2").arg(box.title, box.text.simplified()));
        QVERIFY2(titled.size() == 1, qPrintable(box.title + QLatin1Char(' ') + box.text));
        QVERIFY2(titled.constFirst().contains(box.informativeText.simplified()),
                 qPrintable(titled.constFirst()));
    }
}

// Each front end tells what to do next in its own terms only: the window
// names its buttons, the command line what to run.
void checkOwnTerms(const QStringList &texts, Verdict verdict, const QString &retry,
                   const QStringList &foreign)
{
    for (const QString &text : texts) {
        for (const QString &word : foreign)
            QVERIFY2(!text.contains(word), qPrintable(text));
    }
    if (verdict == Verdict::LinkLost)
        QVERIFY2(!texts.filter(retry).isEmpty(), qPrintable(texts.join(QLatin1Char('\n'))));
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
    DrivenModule driven(b);
    const ModuleSimulator &sim = driven.module;
    MainWindow w(nullptr, [] { return QStringList {QStringLiteral("memory")}; });
    Ui_MainWindow &ui = MainWindowProbe::ui(w);
    ModalWatcher boxes;
    ModuleEngine &engine = MainWindowProbe::engine(w);
    driven.attach(engine);
    ToldValues told(&engine);
    // How far the bar had got when the module confirmed the operating mode.
    QPair<int, int> progressAtEnd {-1, -1};
    QProgressBar *progress = MainWindowProbe::statusPanel(w)->progress();
    connect(&engine, &ModuleEngine::written, this, [&] {
        progressAtEnd = {progress->value(), progress->maximum()};
    });
    QStringList shown;
    connect(&w, &MainWindow::statusShown, this, [&shown](const QString &text) { shown << text; });

    // Over, or waiting for a reply that does not come, with the user told.
    const auto over = [&engine] { return !engine.isBusy(); };
    QTest::mouseClick(ui.BT_Open_Connect, Qt::LeftButton);
    driven.run(over);
    if (b.write) {
        QVERIFY(ui.BT_Write_values->isEnabled());
        const QStringList t = targetValues();
        ui.CB_KT_Speed->setCurrentText(t.at(0));
        ui.CB_KT_Stop_bit->setCurrentText(t.at(1));
        ui.CB_KT_Parity->setCurrentText(t.at(2));
        QTest::mouseClick(ui.BT_Write_values, Qt::LeftButton);
        QVERIFY(engine.isBusy());
        driven.run(over);
    }
    // A box comes up once the ending has reached the log and the record.
    QCoreApplication::processEvents();
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    const auto verdict = windowVerdict(w, boxes);
    QVERIFY2(verdict, qPrintable(MainWindowProbe::statusPanel(w)->currentMessage()));
    QCOMPARE(verdictName(*verdict), verdictName(b.verdict));
    checkModuleAfter(sim, b, driven.struck, *verdict);
    checkLogTellsTheEnd(w.exchangeLog()->lines(), boxes.boxes, *verdict);
    for (const auto &box : qAsConst(boxes.boxes))
        shown << box.text << box.informativeText;
    shown << MainWindowProbe::statusPanel(w)->toolTip() << w.exchangeLog()->lines();
    told.check(shown);
    checkOwnTerms(shown, *verdict, QStringLiteral("нажмите «Соединиться»"),
                  {QStringLiteral("запустите команду"), QStringLiteral("tav-configurator-cli"),
                   QStringLiteral("Ctrl+C")});

    // One connection-error box per exchange, however many replies are late.
    int errorBoxes = 0;
    for (const auto &box : qAsConst(boxes.boxes))
        errorBoxes += box.title == QLatin1String("Ошибка") ? 1 : 0;
    QVERIFY(errorBoxes <= 1);
    // The window never looks idle while the exchange goes on, and the
    // buttons come back only when it is over.
    QCOMPARE(ui.BT_Read_values->isEnabled(), engine.isOpen() && !engine.isBusy());
    if (*verdict == Verdict::Written)
        QCOMPARE(progressAtEnd, qMakePair(4, 4));
    QCOMPARE(progress->isHidden(), !engine.isBusy());
    if (*verdict == Verdict::NoReply) {
        // Once the box is closed the bar says what goes on, not a bare "Ошибка".
        const QString status = MainWindowProbe::statusPanel(w)->currentMessage();
        QVERIFY2(status.contains(QStringLiteral("ожидается"))
                         && status.contains(QStringLiteral("«Отключиться»")),
                 qPrintable(status));
    }
    if (*verdict == Verdict::Read) {
        QCOMPARE(ui.CB_KT_Speed->currentText(), sim.baudRate());
        QCOMPARE(ui.CB_KT_Stop_bit->currentText(), sim.stopBits());
        QCOMPARE(ui.CB_KT_Parity->currentText(), sim.parity());
    }
    if (*verdict == Verdict::Refused) {
        // Said with the command refused; the line stays for another try.
        const QString status = MainWindowProbe::statusPanel(w)->currentMessage();
        QVERIFY2(status.startsWith(QStringLiteral("Модуль отклонил команду «%1»")
                                           .arg(QString::fromUtf8(driven.struck))),
                 qPrintable(status));
        QVERIFY(engine.isOpen());
        QCOMPARE(boxes.boxes.size(), 0);
    }
    // Nothing is left armed to send later.
    for (QTimer *t : engine.findChildren<QTimer *>())
        QVERIFY2(!t->isActive() || t->objectName() == QLatin1String("replyGapTimer")
                         || (*verdict == Verdict::NoReply
                             && t->objectName() == QLatin1String("timeoutTimer")),
                 qPrintable(t->objectName()));
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
    DrivenModule driven(b);
    const ModuleSimulator &sim = driven.module;
    CommissionOptions o;
    o.port = QStringLiteral("memory");
    if (b.write) {
        const QStringList t = targetValues();
        o.action = CommissionOptions::Action::Write;
        o.target = {t.at(0), t.at(1), t.at(2)};
    }
    QString output;
    QString errors;
    QTextStream out(&output);
    QTextStream err(&errors);
    ExchangeLog log;
    Commissioner cli(
            o, [] { return QStringList(); }, out, err, &log);
    auto *engine = cli.findChild<ModuleEngine *>();
    driven.attach(*engine);
    ToldValues told(engine);
    QSignalSpy finished(&cli, &Commissioner::finished);
    cli.start();
    driven.run([&finished] { return !finished.isEmpty(); });
    // The batch's own end comes on the event loop after the module's.
    QTRY_COMPARE(finished.count(), 1);
    const int code = finished.at(0).at(0).toInt();
    const auto verdict = commandLineVerdict(code, output, b.write);
    QVERIFY2(verdict, qPrintable(QString::number(code) + QLatin1Char(' ') + output));
    QCOMPARE(verdictName(*verdict), verdictName(b.verdict));
    checkModuleAfter(sim, b, driven.struck, *verdict);
    QCOMPARE(output.count(QLatin1Char('\n')), 1); // one result line
    // The log has the result as printed.
    QStringList said;
    for (const QString &line : log.lines())
        said << line.mid(30);
    QVERIFY2(said.contains(QStringLiteral("   ") + output.trimmed()),
             qPrintable(said.join(QLatin1Char('\n'))));
    checkLogTellsTheEnd(log.lines(), {}, *verdict);
    told.check(QStringList {output, errors} + log.lines());
    checkOwnTerms(QStringList {output, errors} + log.lines(), *verdict,
                  QStringLiteral("запустите команду снова"), {QStringLiteral("нажмите «")});
}

QTEST_MAIN(TestFrontEnds)
#include "tst_frontends.moc"
