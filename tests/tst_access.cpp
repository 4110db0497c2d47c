// What a technician who cannot tell red from green, or who uses a screen
// reader or only the keyboard, gets from the window: every state in words,
// read through QAccessible as assistive technology reads it.
#include "simfixture.h"

#include "indicatorstyles.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QProcess>
#include <QtTest>

#include <algorithm>
#include <cmath>

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
    void popUpListsAreReadableInEveryLook();

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
    QCOMPARE(descriptions(),
             QStringLiteral("считано из модуля/ответ модуля не распознан/"
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
    QCOMPARE(descriptions(),
             QStringLiteral("подтверждено модулем/подтверждено модулем/"
                            "отклонено модулем"));
}

void TestAccess::searchSaysItsStateInWords()
{
    ports.clear();
    QCOMPARE(said(ui().BT_find, QAccessible::Description), QStringLiteral("поиск не идёт"));
    QTest::mouseClick(ui().BT_find, Qt::LeftButton);
    MainWindowProbe::onfindTimerKT5(*w);
    QCOMPARE(said(ui().BT_find, QAccessible::Description), QStringLiteral("идёт поиск адаптера"));
    ports << sim->portPath();
    MainWindowProbe::onfindTimerKT5(*w);
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
    // The window itself: no abort, but what is missing and what works instead.
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TAV_CONFIGURATOR_PATH), QStringList());
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    const QString said = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(said.contains(QStringLiteral("нет дисплея"))
                     && said.contains(QStringLiteral("tav-configurator-cli --help")),
             qPrintable(said));
}

namespace {
// WCAG 2 relative luminance and contrast ratio.
double luminance(QRgb c)
{
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of a row's text: against the row's commonest colour (its
// background), the pixel that stands out most (its text). Invisible text
// gives about 1:1.
double rowContrast(const QImage &image, const QRect &row)
{
    QHash<QRgb, int> counts;
    for (int y = row.top(); y <= row.bottom(); ++y) {
        for (int x = row.left(); x <= row.right(); ++x)
            ++counts[image.pixel(x, y)];
    }
    QRgb background = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    }
    double best = 1.0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrast(background, it.key()));
    return best;
}
} // namespace

// Whatever look a field has (read, sent, refused), its list shows every
// value readably, the highlighted one too; the field's own look is kept.
void TestAccess::popUpListsAreReadableInEveryLook()
{
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QTest::mouseClick(ui().BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ui().BT_Write_values->isEnabled(), 10000);
    QCOMPARE(ui().CB_KT_Speed->styleSheet(), styleGreen);
    for (const QString &look : {styleGreen, styleRed, styleGray}) {
        for (QComboBox *box : {ui().CB_KT_Speed, ui().CB_KT_Stop_bit, ui().CB_KT_Parity}) {
            box->setStyleSheet(look);
            box->showPopup();
            QAbstractItemView *list = box->view();
            QTRY_VERIFY(list->isVisible());
            for (int row = 1; row < box->count(); ++row) {
                list->setCurrentIndex(box->model()->index(row, 0));
                const QImage image = list->viewport()->grab().toImage();
                const QRect highlighted = list->visualRect(list->currentIndex());
                const QRect other = list->visualRect(box->model()->index(row == 1 ? 2 : 1, 0));
                const double lit = rowContrast(image, highlighted.intersected(image.rect()));
                const double plain = rowContrast(image, other.intersected(image.rect()));
                QVERIFY2(lit >= 4.5 && plain >= 4.5,
                         qPrintable(QStringLiteral("%1 row %2: highlighted %3:1, other %4:1")
                                            .arg(box->objectName())
                                            .arg(row)
                                            .arg(lit)
                                            .arg(plain)));
            }
            box->hidePopup();
            QTRY_VERIFY(!list->isVisible());
            QCOMPARE(box->styleSheet(), look);
        }
    }
}

QTEST_MAIN(TestAccess)
#include "tst_access.moc"
