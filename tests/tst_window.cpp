// The window as it starts: form, texts, fonts, styles, port list and refresh.
#include "indicatorstyles.h"
#include "modulesimulator.h"
#include "moduleprotocol.h"
#include "portlist.h"
#include "portmonitor.h"
#include "translations.h"
#include "testsupport.h"

#include <QGridLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QToolButton>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

const QStringList speedItems = {QString(),
                                QStringLiteral("1200"),
                                QStringLiteral("2400"),
                                QStringLiteral("4800"),
                                QStringLiteral("9600"),
                                QStringLiteral("19200"),
                                QStringLiteral("38400"),
                                QStringLiteral("57600"),
                                QStringLiteral("115200"),
                                QStringLiteral("128000"),
                                QStringLiteral("256000")};
const QStringList stopItems = {QString(), QStringLiteral("1"), QStringLiteral("2")};
const QStringList parityItems = {QString(), QStringLiteral("none"), QStringLiteral("odd"),
                                 QStringLiteral("even")};

QStringList itemsOf(const QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items.append(box->itemText(i));
    return items;
}

struct Cell
{
    int row, column, rowSpan, columnSpan;
    bool operator==(const Cell &o) const
    {
        return row == o.row && column == o.column && rowSpan == o.rowSpan
                && columnSpan == o.columnSpan;
    }
};

Cell cellOf(QGridLayout *grid, QLayoutItem *item)
{
    Cell c {-1, -1, -1, -1};
    const int index = grid->indexOf(item);
    if (index >= 0)
        grid->getItemPosition(index, &c.row, &c.column, &c.rowSpan, &c.columnSpan);
    return c;
}

Cell cellOf(QGridLayout *grid, QWidget *w)
{
    const int index = grid->indexOf(w);
    return index >= 0 ? cellOf(grid, grid->itemAt(index)) : Cell {-1, -1, -1, -1};
}

} // namespace

namespace QTest {
template<> char *toString(const Cell &c)
{
    return qstrdup(QByteArray::number(c.row) + ',' + QByteArray::number(c.column) + ' '
                   + QByteArray::number(c.rowSpan) + 'x' + QByteArray::number(c.columnSpan));
}
} // namespace QTest

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void styleTexts();
    void formWidgets();
    void formGrid();
    void windowProperties();
    void startWithoutPorts();
    void startWithPorts();
    void setDefaultTouchesOnlyTheFields();
    void refreshRebuildsTheList();
    void portDetailsReadAsRussian();
    void languages();
    void aModuleBehindAGatewayIsReadAndWritten();
    void aLongMessageIsNeverUnderTheProgressBar();
};

void TestWindow::styleTexts()
{
    const QList<QPair<const char *, QString>> styles = {
            {"green", styleGreen}, {"gray", styleGray}, {"light", styleLight}, {"red", styleRed}};
    for (const auto &s : styles) {
        QVERIFY2(!s.second.contains(QLatin1String("%1")), s.first);
        QVERIFY2(s.second.contains(QLatin1String("border-radius: 5;")), s.first);
    }
    QCOMPARE(styleGreen,
             QStringLiteral("color: black;border-radius: 5;background-color: "
                            "qlineargradient(spread:pad, x1:0.145, y1:0.16, x2:1, y2:1, stop:0 "
                            "rgba(138, 240, 87, 255), stop:1 rgba(32, 152, 15, 255));"));
    QCOMPARE(styleGray,
             QStringLiteral("color: white;border-radius: 5;background-color: "
                            "qlineargradient(spread:pad, x1:0.145, y1:0.16, x2:1, y2:1, stop:0 "
                            "rgba(180, 185, 180, 255), stop:1 rgba(80, 80, 80, 255));"));
    QCOMPARE(styleLight,
             QStringLiteral("color: white;border-radius: 5;background-color: "
                            "qlineargradient(spread:pad, x1:0.145, y1:0.16, x2:1, y2:1, stop:0 "
                            "rgba(250, 255, 250, 255), stop:1 rgba(150, 150, 150, 255));"));
    QCOMPARE(styleRed,
             QStringLiteral("color: white;border-radius: 5;background-color: "
                            "qlineargradient(spread:pad, x1:0.145, y1:0.16, x2:0.92, "
                            "y2:0.988636, stop:0 rgba(255, 12, 12, 255), stop:0.869347 "
                            "rgba(103, 0, 0, 255));"));
    // The four must differ, or the blink and the colours would tell nothing.
    QCOMPARE(QSet<QString>({styleGreen, styleGray, styleLight, styleRed}).size(), 4);
}

void TestWindow::formWidgets()
{
    MainWindow w(nullptr, [] { return QStringList(); });
    Ui_MainWindow &ui = MainWindowProbe::ui(w);

    struct Expect
    {
        QWidget *widget;
        const char *name;
        QString text;
        bool enabled;
    };
    const QList<Expect> content = {
            {ui.cbPorts, "cbPorts", QString(), true},
            {ui.label_7, "label_7", QStringLiteral("Паритет"), true},
            {ui.label_4, "label_4", QStringLiteral("Количество стоповых бит"), true},
            {ui.label_5, "label_5", QStringLiteral("Скорость RS-485"), true},
            {ui.CB_KT_Speed, "CB_KT_Speed", QString(), true},
            {ui.CB_KT_Stop_bit, "CB_KT_Stop_bit", QString(), true},
            {ui.CB_KT_Parity, "CB_KT_Parity", QString(), true},
            {ui.BT_Open_Connect, "BT_Open_Connect", QStringLiteral("Соединиться"), true},
            {ui.label, "label", QStringLiteral("COM PORT"), true},
            {ui.BT_Read_values, "BT_Read_values", QStringLiteral("Считать состояние"), false},
            {ui.BT_Open_Connect_2, "BT_Open_Connect_2", QStringLiteral("Обновить"), true},
            {ui.BT_Write_values, "BT_Write_values", QStringLiteral("Записать настройки"), false},
            {ui.BT_find, "BT_find", QStringLiteral("Поиск"), true},
    };
    // Creation order is the focus order, so the children must come in this order.
    QStringList childOrder;
    for (QObject *child : ui.centralwidget->children()) {
        if (child->isWidgetType())
            childOrder.append(child->objectName());
    }
    QStringList expectedOrder;
    for (const Expect &e : content)
        expectedOrder.append(QLatin1String(e.name));
    QCOMPARE(childOrder, expectedOrder);

    for (const Expect &e : content) {
        QCOMPARE(e.widget->objectName(), QLatin1String(e.name));
        QCOMPARE(w.findChild<QWidget *>(QLatin1String(e.name)), e.widget);
        QVERIFY2(e.widget->font().pointSize() == 12, e.name);
        QVERIFY2(e.widget->isEnabled() == e.enabled, e.name);
        if (auto *b = qobject_cast<QPushButton *>(e.widget))
            QCOMPARE(b->text(), e.text);
        if (auto *l = qobject_cast<QLabel *>(e.widget))
            QCOMPARE(l->text(), e.text);
    }
    QVERIFY(ui.centralwidget->font().pointSize() != 12 || QApplication::font().pointSize() == 12);
    QCOMPARE(ui.centralwidget->objectName(), QStringLiteral("centralwidget"));
    QCOMPARE(ui.menubar->objectName(), QStringLiteral("menubar"));
    QCOMPARE(ui.menubar->actions().size(), 0);
    QCOMPARE(w.menuBar(), ui.menubar);

    // The items are what goes on the wire, and what replies are matched against.
    QCOMPARE(speedItems.mid(1), ModuleProtocol::baudRates);
    QCOMPARE(stopItems.mid(1), ModuleProtocol::stopBitValues);
    QCOMPARE(parityItems.mid(1), ModuleProtocol::parityValues);
    QCOMPARE(itemsOf(ui.CB_KT_Speed), speedItems);
    QCOMPARE(itemsOf(ui.CB_KT_Stop_bit), stopItems);
    QCOMPARE(itemsOf(ui.CB_KT_Parity), parityItems);
    for (QComboBox *box : {ui.cbPorts, ui.CB_KT_Speed, ui.CB_KT_Stop_bit, ui.CB_KT_Parity})
        QVERIFY(!box->isEditable());
}

void TestWindow::formGrid()
{
    MainWindow w(nullptr, [] { return QStringList(); });
    Ui_MainWindow &ui = MainWindowProbe::ui(w);
    QCOMPARE(ui.centralwidget->layout(), ui.gridLayout);
    QCOMPARE(ui.gridLayout->objectName(), QStringLiteral("gridLayout"));
    QCOMPARE(ui.gridLayout_2->objectName(), QStringLiteral("gridLayout_2"));

    QGridLayout *outer = ui.gridLayout;
    QCOMPARE(cellOf(outer, ui.label), (Cell {0, 0, 1, 1}));
    QCOMPARE(cellOf(outer, ui.cbPorts), (Cell {0, 1, 1, 2}));
    QCOMPARE(cellOf(outer, ui.BT_Open_Connect_2), (Cell {0, 3, 1, 1}));
    QCOMPARE(cellOf(outer, ui.BT_find), (Cell {1, 0, 1, 2}));
    QCOMPARE(cellOf(outer, ui.BT_Open_Connect), (Cell {1, 2, 1, 2}));
    QCOMPARE(cellOf(outer, ui.gridLayout_2), (Cell {2, 0, 1, 4}));
    QCOMPARE(cellOf(outer, ui.BT_Read_values), (Cell {3, 0, 1, 2}));
    QCOMPARE(cellOf(outer, ui.BT_Write_values), (Cell {3, 2, 1, 2}));
    QCOMPARE(outer->count(), 8);

    QGridLayout *inner = ui.gridLayout_2;
    QCOMPARE(cellOf(inner, ui.label_5), (Cell {0, 0, 1, 1}));
    QCOMPARE(cellOf(inner, ui.CB_KT_Speed), (Cell {0, 1, 1, 1}));
    QCOMPARE(cellOf(inner, ui.label_4), (Cell {1, 0, 1, 1}));
    QCOMPARE(cellOf(inner, ui.CB_KT_Stop_bit), (Cell {1, 1, 1, 1}));
    QCOMPARE(cellOf(inner, ui.label_7), (Cell {2, 0, 1, 1}));
    QCOMPARE(cellOf(inner, ui.CB_KT_Parity), (Cell {2, 1, 1, 1}));
    QCOMPARE(inner->count(), 6);
    for (int i = 0; i < outer->count(); ++i)
        QCOMPARE(outer->itemAt(i)->alignment(), Qt::Alignment());

    // The grid stretches with the window; labels stay in the first column.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int narrow = ui.CB_KT_Speed->width();
    w.resize(640, 400);
    QTRY_VERIFY(ui.CB_KT_Speed->width() > narrow);
    QVERIFY(ui.label_5->x() < ui.CB_KT_Speed->x());
    QVERIFY(ui.label->x() < ui.cbPorts->x());
}

void TestWindow::windowProperties()
{
    MainWindow w(nullptr, [] { return QStringList(); });
    QCOMPARE(w.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(w.metaObject()->className(), "MainWindow");
    // Wider than the form, so that the status bar's results read whole.
    QCOMPARE(w.size(), QSize(560, 289));
    QCOMPARE(w.windowTitle(), QStringLiteral("Конфигуратор TAV-RS485-KT v1.0"));
    // Its own icon, from the resources, on every platform.
    QVERIFY(!w.windowIcon().availableSizes().isEmpty());
    QVERIFY(w.styleSheet().isEmpty());
    QVERIFY(qApp->styleSheet().isEmpty());

    // The form's own status bar is replaced by the window's.
    QStatusBar *panel = MainWindowProbe::statusPanel(w);
    QCOMPARE(w.statusBar(), panel);
    QTRY_COMPARE(w.findChildren<QStatusBar *>().size(), 1);

    // The fifteen slots, in their order, and the five bound to buttons by name.
    const QStringList slotNames = {
            QStringLiteral("on_BT_Open_Connect_clicked()"),
            QStringLiteral("sendCommand(QString,bool)"),
            QStringLiteral("onReadyRead()"),
            QStringLiteral("getResult()"),
            QStringLiteral("setDefault()"),
            QStringLiteral("openSerialPort()"),
            QStringLiteral("onfindTimerKT5()"),
            QStringLiteral("onTimerKT5()"),
            QStringLiteral("onTimerWriteKT5()"),
            QStringLiteral("onTimerTimeOut()"),
            QStringLiteral("on_BT_Read_values_clicked()"),
            QStringLiteral("on_BT_find_clicked()"),
            QStringLiteral("on_BT_Write_values_clicked()"),
            QStringLiteral("on_BT_Open_Connect_2_clicked()"),
            QStringLiteral("handleError(QSerialPort::SerialPortError)"),
    };
    const QMetaObject *mo = w.metaObject();
    QStringList declared;
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
        if (mo->method(i).methodType() == QMetaMethod::Slot) {
            QCOMPARE(mo->method(i).access(), QMetaMethod::Private);
            declared.append(QString::fromLatin1(mo->method(i).methodSignature()));
        }
    }
    QCOMPARE(declared, slotNames);

    // However long a port's name, the window keeps its width and
    // "Соединиться" stays on screen; the whole name is a hover away.
    MainWindow plain(nullptr, [] { return QStringList {QStringLiteral("COM1")}; });
    plain.show();
    for (const int length : {100, 512, 5000}) {
        const QString name = QStringLiteral("/dev/serial/by-id/") + QString(length, QLatin1Char('u'));
        MainWindow wide(nullptr, [] { return QStringList {QStringLiteral("COM1")}; });
        wide.show();
        // Listed once the window shows, as a remembered port or the system's are.
        wide.addPort(name);
        QCOMPARE(MainWindowProbe::ui(wide).cbPorts->toolTip(), name);
        QCoreApplication::processEvents();
        QCOMPARE(wide.width(), plain.width());
    }
    // A long gateway's name is cut in the middle in the closed field: its
    // TCP port stays in sight, so two gateways on one host look apart.
    QStringList shown;
    for (const char *port : {"4001", "4002"}) {
        plain.addPort(QStringLiteral("rfc2217://%1.example:%2")
                              .arg(QString(60, QLatin1Char('g')), QLatin1String(port)));
        shown << MainWindowProbe::shownPort(plain);
    }
    QVERIFY2(shown.at(0).endsWith(QStringLiteral(":4001")) && shown.at(0).contains(QChar(0x2026))
                     && shown.at(0).startsWith(QStringLiteral("rfc")),
             qPrintable(shown.at(0)));
    QVERIFY(shown.at(0) != shown.at(1));

    // Every widget other than the three fields and the search button stays
    // unstyled; the form only marks the keyboard focus, which those looks hide.
    const QSet<QString> styled = {QStringLiteral("CB_KT_Speed"), QStringLiteral("CB_KT_Stop_bit"),
                                  QStringLiteral("CB_KT_Parity"), QStringLiteral("BT_find")};
    for (QWidget *child : w.findChildren<QWidget *>()) {
        if (child->objectName() == QLatin1String("centralwidget"))
            QVERIFY(child->styleSheet().startsWith(
                    QStringLiteral("QComboBox:focus, QPushButton:focus {")));
        else if (!styled.contains(child->objectName()))
            QVERIFY2(child->styleSheet().isEmpty(), qPrintable(child->objectName()));
    }
}

void TestWindow::startWithoutPorts()
{
    MainWindow w(nullptr, [] { return QStringList(); });
    Ui_MainWindow &ui = MainWindowProbe::ui(w);
    QCOMPARE(ui.cbPorts->count(), 0);
    QVERIFY(MainWindowProbe::knownPorts(w).isEmpty());
    for (QComboBox *box : {ui.CB_KT_Speed, ui.CB_KT_Stop_bit, ui.CB_KT_Parity}) {
        QCOMPARE(box->currentIndex(), 0);
        QCOMPARE(box->styleSheet(), styleGray);
    }
    QCOMPARE(ui.BT_find->styleSheet(), styleGray);
    QVERIFY(MainWindowProbe::serial(w) == nullptr);
    for (QTimer *t : {MainWindowProbe::findTimer(w), MainWindowProbe::readTimer(w),
                      MainWindowProbe::writeTimer(w), MainWindowProbe::timeoutTimer(w)}) {
        QVERIFY(!t->isActive());
        QVERIFY(!t->isSingleShot());
        QVERIFY(w.findChildren<QTimer *>().contains(t)); // freed with the window
    }
    QVERIFY(MainWindowProbe::statusPanel(w)->currentMessage().isEmpty());
}

void TestWindow::startWithPorts()
{
    int calls = 0;
    const QStringList ports = {QStringLiteral("COM3"), QStringLiteral("COM10"),
                               QStringLiteral("ttyUSB0")};
    MainWindow w(nullptr, [&] {
        ++calls;
        return ports;
    });
    Ui_MainWindow &ui = MainWindowProbe::ui(w);
    QCOMPARE(calls, 1);
    QCOMPARE(itemsOf(ui.cbPorts), ports);
    QCOMPARE(ui.cbPorts->currentIndex(), 0);
    QCOMPARE(MainWindowProbe::knownPorts(w), ports);

    // The system's ports are listed once, after the window is on screen and
    // off its thread: a start costs no enumeration before the first look.
    QList<QThread *> listedOn;
    auto *monitor = new PortMonitor(
            [&listedOn] {
                listedOn.append(QThread::currentThread());
                return QStringList {QStringLiteral("ttyUSB7")};
            },
            {});
    MainWindow system(nullptr, PortLister(), monitor);
    QComboBox *field = MainWindowProbe::ui(system).cbPorts;
    QCOMPARE(field->count(), 0);
    // A port chosen before the list comes (here one the system does not
    // list, as the search selects it) stays chosen.
    MainWindowProbe::selectPort(system, QStringLiteral("/tmp/tav-chosen"));
    QCoreApplication::processEvents();
    QVERIFY(listedOn.isEmpty());
    system.show();
    QTRY_COMPARE(MainWindowProbe::knownPorts(system), QStringList {QStringLiteral("ttyUSB7")});
    QCOMPARE(itemsOf(field), (QStringList {QStringLiteral("ttyUSB7"), QStringLiteral("/tmp/tav-chosen")}));
    QCOMPARE(field->currentText(), QStringLiteral("/tmp/tav-chosen"));
    QCOMPARE(listedOn.size(), 1);
    QVERIFY(listedOn.constFirst() != QThread::currentThread());
}

void TestWindow::setDefaultTouchesOnlyTheFields()
{
    MainWindow w(nullptr, [] { return QStringList {QStringLiteral("COM1")}; });
    Ui_MainWindow &ui = MainWindowProbe::ui(w);
    ui.CB_KT_Speed->setCurrentIndex(8);
    ui.CB_KT_Stop_bit->setCurrentIndex(2);
    ui.CB_KT_Parity->setCurrentIndex(3);
    ui.CB_KT_Speed->setStyleSheet(styleGreen);
    ui.CB_KT_Stop_bit->setStyleSheet(styleRed);
    ui.CB_KT_Parity->setStyleSheet(styleGreen);
    ui.BT_find->setStyleSheet(styleRed);
    ui.BT_Read_values->setEnabled(true);
    ui.BT_find->setEnabled(false);
    ui.CB_KT_Parity->setEnabled(false);
    ui.BT_Open_Connect->setText(QStringLiteral("Отключиться"));
    StatusLog log(w);

    MainWindowProbe::setDefault(w);

    for (QComboBox *box : {ui.CB_KT_Speed, ui.CB_KT_Stop_bit, ui.CB_KT_Parity}) {
        QCOMPARE(box->currentIndex(), 0);
        QCOMPARE(box->styleSheet(), styleGray);
    }
    QCOMPARE(ui.BT_find->styleSheet(), styleGray);
    QVERIFY(ui.BT_Read_values->isEnabled());
    QVERIFY(!ui.BT_Write_values->isEnabled());
    QVERIFY(!ui.BT_find->isEnabled());
    QVERIFY(!ui.CB_KT_Parity->isEnabled());
    QCOMPARE(ui.BT_Open_Connect->text(), QStringLiteral("Отключиться"));
    QCOMPARE(ui.BT_find->text(), QStringLiteral("Поиск"));
    QCOMPARE(ui.cbPorts->count(), 1);
    QCOMPARE(log.count(), 0);
}

void TestWindow::refreshRebuildsTheList()
{
    QStringList ports = {QStringLiteral("COM1"), QStringLiteral("COM2")};
    MainWindow w(nullptr, [&] { return ports; });
    Ui_MainWindow &ui = MainWindowProbe::ui(w);
    ui.CB_KT_Speed->setCurrentIndex(4);
    ui.CB_KT_Speed->setStyleSheet(styleGreen);
    StatusLog log(w);

    ports = QStringList {QStringLiteral("COM1"), QStringLiteral("COM4"), QStringLiteral("COM7")};
    QTest::mouseClick(ui.BT_Open_Connect_2, Qt::LeftButton);
    QCOMPARE(log.messages(), QStringList {QStringLiteral("Порты обновлены")});
    QCOMPARE(itemsOf(ui.cbPorts), ports);
    QCOMPARE(MainWindowProbe::knownPorts(w), ports);

    QTest::mouseClick(ui.BT_Open_Connect_2, Qt::LeftButton);
    QCOMPARE(itemsOf(ui.cbPorts), ports); // cleared first, never accumulates
    QCOMPARE(log.count(), 2);
    QCOMPARE(ui.CB_KT_Speed->currentIndex(), 4);
    QCOMPARE(ui.CB_KT_Speed->styleSheet(), styleGreen);

    ports.clear();
    QTest::mouseClick(ui.BT_Open_Connect_2, Qt::LeftButton);
    QCOMPARE(ui.cbPorts->count(), 0);
    QCOMPARE(log.last(), QStringLiteral("Порты обновлены"));
    QCOMPARE(MainWindowProbe::statusPanel(w)->currentMessage(), QStringLiteral("Порты обновлены"));
}

// The labels of a port's tooltip are Russian text, not its UTF-8 bytes
// shown one by one as Latin-1.
void TestWindow::portDetailsReadAsRussian()
{
    const QString facts = PortField::facts({QStringLiteral("COM12"), QStringLiteral("\\\\.\\COM12"),
                                     QStringLiteral("USB Serial Port"), QStringLiteral("FTDI"),
                                     QStringLiteral("A10K"), QStringLiteral("0403:6001")});
    QCOMPARE(facts.split(QLatin1Char('\n')).size(), 5);
    QVERIFY2(facts.contains(QStringLiteral("Расположение: \\\\.\\COM12")), qPrintable(facts));
    for (const QChar c : facts)
        QVERIFY2(c.unicode() < 0x80 || c.unicode() >= 0x400, qPrintable(facts));
}

// Russian by default, with Qt's own texts in Russian where the system has
// them; English when asked for, every text of the window included.
void TestWindow::languages()
{
    const auto removeAll = [] {
        for (QTranslator *t : qApp->findChildren<QTranslator *>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    };
    QVERIFY(!installTranslations(*qApp, QStringLiteral("de")));

    QVERIFY(installTranslations(*qApp, QStringLiteral("en")));
    {
        MainWindow w(nullptr, [] { return QStringList {QStringLiteral("ttyUSB0")}; });
        Ui_MainWindow &ui = MainWindowProbe::ui(w);
        QCOMPARE(ui.BT_Open_Connect->text(), QStringLiteral("Connect"));
        QCOMPARE(ui.BT_find->text(), QStringLiteral("Search"));
        QCOMPARE(w.windowTitle(), QStringLiteral("TAV-RS485-KT Configurator v1.0"));
        MainWindowProbe::on_BT_Read_values_clicked(w);
        QCOMPARE(MainWindowProbe::statusPanel(w)->currentMessage(),
                 QStringLiteral("Not connected: choose a port and press \"Connect\""));
        // The values are the module's words, the same in every language.
        QCOMPARE(ui.CB_KT_Parity->itemText(3), QStringLiteral("even"));
        // What the system tells of a port, under labels in the window's language.
        QCOMPARE(PortField::facts({QStringLiteral("COM12"), QStringLiteral("\\\\.\\COM12"),
                                   QStringLiteral("USB Serial Port"), QString(), QString(),
                                   QStringLiteral("0403:6001")}),
                 QStringLiteral("Description: USB Serial Port\nUSB VID:PID: 0403:6001\n"
                                "Location: \\\\.\\COM12"));
    }
    removeAll();

    QVERIFY(installTranslations(*qApp, QStringLiteral("ru")));
    const bool haveQtRussian = !qApp->findChildren<QTranslator *>().isEmpty();
    const QString cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
    removeAll();
    if (!haveQtRussian)
        QSKIP("Qt's Russian translations are not installed here");
    QCOMPARE(cancel, QStringLiteral("Отмена"));
}

// A module behind a gateway, read and written through the window as a
// technician does: in this process on a local TCP port, or at TAV_GATEWAY
// (the Windows checks give a gateway in front of the simulator, and run this
// on Wine's own windows). TAV_SCREENSHOT keeps the window after the write.
void TestWindow::aModuleBehindAGatewayIsReadAndWritten()
{
    std::unique_ptr<ModuleSimulator> sim;
    QString port = qEnvironmentVariable("TAV_GATEWAY");
    if (port.isEmpty()) {
        sim = std::make_unique<ModuleSimulator>(nullptr, ModuleSimulator::Line::Tcp);
        QVERIFY2(sim->isValid(), qPrintable(sim->errorString()));
        port = sim->portPath();
    }
    MainWindow w(nullptr, [] { return QStringList(); });
    ModalWatcher boxes;
    Ui_MainWindow &ui = MainWindowProbe::ui(w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.addPort(port);
    QVERIFY(ui.BT_Open_Connect->isEnabled());
    QTest::mouseClick(ui.BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ui.BT_Write_values->isEnabled(), 15000);
    QCOMPARE(boxes.count(), 0);
    QVERIFY(!ui.CB_KT_Parity->currentText().isEmpty());

    ui.CB_KT_Speed->setCurrentText(QStringLiteral("57600"));
    ui.CB_KT_Stop_bit->setCurrentText(QStringLiteral("1"));
    ui.CB_KT_Parity->setCurrentText(QStringLiteral("odd"));
    QTest::mouseClick(ui.BT_Write_values, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, 30000);
    QCOMPARE(boxes.boxes.first().title, QStringLiteral("Результат"));
    QVERIFY2(boxes.boxes.first().text.contains(QStringLiteral("режим работы")),
             qPrintable(boxes.boxes.first().text));
    QCOMPARE(ui.CB_KT_Speed->currentText(), QStringLiteral("57600"));
    QCOMPARE(ui.CB_KT_Parity->currentText(), QStringLiteral("odd"));
    if (sim) {
        QCOMPARE(sim->baudRate(), QStringLiteral("57600"));
        QVERIFY(sim->isOperating());
    }
    const QString shot = qEnvironmentVariable("TAV_SCREENSHOT");
    if (!shot.isEmpty())
        QVERIFY(w.grab().save(shot));
}

// A result of several lines is read whole beside the progress bar and the
// log's button: the message, as rendered, keeps clear of them and of the
// panel's bottom, with the bar shown or not.
void TestWindow::aLongMessageIsNeverUnderTheProgressBar()
{
#ifndef Q_OS_UNIX
    QSKIP("read from rendered text, which Wine's offscreen platform does not draw");
#endif
    MainWindow w(nullptr, [] { return QStringList(); });
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    StatusPanel *panel = MainWindowProbe::statusPanel(w);
    // The way to the log is always there, in words and with its key.
    QVERIFY(panel->logButton()->isVisible());
    QCOMPARE(panel->logButton()->text(), QStringLiteral("Журнал (F2)"));
    for (const bool progress : {true, false}) {
    if (progress)
        panel->showProgress(3, 12);
    else
        panel->endProgress();
    panel->showMessage(QStringLiteral("ii WW ").repeated(60) + QString::number(progress));
    QTRY_VERIFY(panel->height() >= panel->minimumHeight());
    const QImage shown = panel->grab().toImage();
    const qreal ratio = shown.devicePixelRatio();
    QWidget *leftmost = progress ? static_cast<QWidget *>(panel->progress()) : panel->logButton();
    const QRect bar = leftmost->geometry();
    QVERIFY(bar.isValid() && leftmost->isVisible());
    QVERIFY(panel->progress()->isVisible() == progress);
    // The message is the ink left of the bar: what differs clearly from
    // the panel's own colour (its first column, where nothing is drawn).
    const int panelGray = qGray(shown.pixel(0, shown.height() / 2));
    int right = -1;
    int bottom = -1;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < int(bar.left() * ratio); ++x) {
            if (std::abs(qGray(shown.pixel(x, y)) - panelGray) > 90) {
                right = std::max(right, x);
                bottom = std::max(bottom, y);
            }
        }
    }
    QVERIFY2(right >= 0 && right < int((bar.left() - 4) * ratio),
             qPrintable(QStringLiteral("text to x %1, bar from %2").arg(right).arg(bar.left())));
    QVERIFY2(bottom < shown.height() - 2,
             qPrintable(QStringLiteral("text to y %1 of %2").arg(bottom).arg(shown.height())));
    }
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
