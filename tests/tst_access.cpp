// What a technician who cannot tell red from green, or who uses a screen
// reader or only the keyboard, gets from the window: every state in words,
// read through QAccessible as assistive technology reads it.
#include "simfixture.h"

#include <QAccessible>
#include <QProcess>
#include <QtTest>

class TestAccess : public WindowOnSimulator
{
    Q_OBJECT

private slots:
    void init() { setUp(true); }
    void cleanup() { tearDown(); }

    void everyControlHasAName();
    void fieldsSayTheirStateInWords();
    void searchSaysItsStateInWords();
    void tabFollowsTheForm();
    void helpAndVersionNeedNoDisplay();

private:
    static QString said(QWidget *widget, QAccessible::Text what)
    {
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
        return face ? face->text(what) : QString();
    }
    QString descriptions()
    {
        QStringList out;
        for (QWidget *box : {ui().CB_KT_Speed, ui().CB_KT_Stop_bit, ui().CB_KT_Parity})
            out << said(box, QAccessible::Description);
        return out.join(QLatin1Char('/'));
    }
};

void TestAccess::everyControlHasAName()
{
    const auto controls = ui().centralwidget->findChildren<QWidget *>();
    int checked = 0;
    for (QWidget *control : controls) {
        if (!qobject_cast<QComboBox *>(control) && !qobject_cast<QPushButton *>(control))
            continue;
        ++checked;
        QVERIFY2(!said(control, QAccessible::Name).isEmpty(), qPrintable(control->objectName()));
    }
    QCOMPARE(checked, 9);
    QCOMPARE(said(ui().CB_KT_Speed, QAccessible::Name), ui().label_5->text());
    QVERIFY(!said(MainWindowProbe::statusPanel(*w), QAccessible::Name).isEmpty());
}

void TestAccess::fieldsSayTheirStateInWords()
{
    const QString unknown = QStringLiteral("значение неизвестно");
    QCOMPARE(descriptions(), QStringList({unknown, unknown, unknown}).join(QLatin1Char('/')));
    sim->setReply("-stop bits", "stop bits 3");
    StatusLog log(*w);
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 10000);
    QCOMPARE(descriptions(), QStringLiteral("считано из модуля/ответ модуля не распознан/"
                                            "считано из модуля"));
    QVERIFY(ui().CB_KT_Speed->toolTip().contains(QStringLiteral("считано из модуля")));

    // A value the technician picks is not the module's yet: it looks, and
    // says, so.
    const QString readLook = ui().CB_KT_Speed->styleSheet();
    ui().CB_KT_Speed->setFocus();
    QTest::keyClick(ui().CB_KT_Speed, Qt::Key_Down);
    QCOMPARE(ui().CB_KT_Speed->currentText(), QStringLiteral("19200"));
    QCOMPARE(said(ui().CB_KT_Speed, QAccessible::Description),
             QStringLiteral("выбрано, не записано"));
    QVERIFY(ui().CB_KT_Speed->styleSheet() != readLook);

    // Through a write: sent, confirmed; refused where the module says "?".
    sim->clearFaults();
    sim->rejectValues("-parity:");
    ui().CB_KT_Stop_bit->setCurrentText(QStringLiteral("2"));
    QStringList whileSending;
    connect(w.get(), &MainWindow::statusShown, this, [&](const QString &m) {
        // The reply is in, not yet taken: the value is still on its way.
        if (m == QStringLiteral("Получено :Ok") && whileSending.isEmpty())
            whileSending << said(ui().CB_KT_Speed, QAccessible::Description);
    });
    QTest::mouseClick(ui().BT_Write_values, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(log.messages().contains(QStringLiteral("Получено :?")), 15000);
    QCOMPARE(whileSending, QStringList {QStringLiteral("отправлено, ожидается ответ")});
    QCOMPARE(descriptions(), QStringLiteral("подтверждено модулем/подтверждено модулем/"
                                            "отклонено модулем"));
}

void TestAccess::searchSaysItsStateInWords()
{
    ports.clear();
    QCOMPARE(said(ui().BT_find, QAccessible::Description), QStringLiteral("поиск не идёт"));
    QTest::mouseClick(ui().BT_find, Qt::LeftButton);
    QVERIFY(invoke(*w, "onfindTimerKT5"));
    QCOMPARE(said(ui().BT_find, QAccessible::Description), QStringLiteral("идёт поиск адаптера"));
    ports << sim->portPath();
    QVERIFY(invoke(*w, "onfindTimerKT5"));
    QCOMPARE(said(ui().BT_find, QAccessible::Description),
             QStringLiteral("адаптер найден и открыт"));
    QVERIFY(ui().BT_find->toolTip().contains(QStringLiteral("адаптер найден")));
}

void TestAccess::tabFollowsTheForm()
{
    // Top left to bottom right, as the form shows them.
    const QStringList expected {
            QStringLiteral("cbPorts"),        QStringLiteral("BT_Open_Connect_2"),
            QStringLiteral("BT_find"),        QStringLiteral("BT_Open_Connect"),
            QStringLiteral("CB_KT_Speed"),    QStringLiteral("CB_KT_Stop_bit"),
            QStringLiteral("CB_KT_Parity"),   QStringLiteral("BT_Read_values"),
            QStringLiteral("BT_Write_values")};
    QStringList chain;
    QWidget *at = ui().cbPorts;
    do {
        if (expected.contains(at->objectName()))
            chain << at->objectName();
        at = at->nextInFocusChain();
    } while (at != ui().cbPorts && chain.size() < 20);
    QCOMPARE(chain, expected);
}

void TestAccess::helpAndVersionNeedNoDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (const QString &option : {QStringLiteral("--help"), QStringLiteral("--version")}) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TAV_CONFIGURATOR_PATH), {option});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().contains("tav-configurator"));
    }
}

QTEST_MAIN(TestAccess)
#include "tst_access.moc"
