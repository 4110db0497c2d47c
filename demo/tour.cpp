#include "tour.h"

#include "indicatorstyles.h"
#include "mainwindow.h"
#include "modulesimulator.h"
#include "translations.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>

namespace {
constexpr int boxReadingTimeMs = 600; // a user reads the box, then presses Ok
} // namespace

Tour::Tour(MainWindow &window, ModuleSimulator &module, const QDir &pictures)
    : window(window)
    , module(module)
    , pictures(pictures)
{
    clock.start();
    connect(&window, &MainWindow::statusShown, this, [this](const QString &message) {
        statuses.append(message);
        log(QStringLiteral("status  ")
            + QString(message)
                      .replace(QLatin1Char('\r'), QStringLiteral("\\r"))
                      .replace(QLatin1Char('\n'), QStringLiteral("\\n")));
    });
    boxWatch = new QTimer(this);
    boxWatch->setInterval(50);
    connect(boxWatch, &QTimer::timeout, this, &Tour::closeBoxesLikeAUser);
}

void Tour::log(const QString &line) const
{
    QTextStream(stdout) << QStringLiteral("[%1 s] ").arg(double(clock.elapsed()) / 1000.0, 7, 'f',
                                                         3)
                        << line << Qt::endl;
}

bool Tour::waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!condition()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void Tour::click(const char *button)
{
    auto *b = window.findChild<QPushButton *>(QLatin1String(button));
    log(QStringLiteral("click   \"%1\"").arg(b->text()));
    // Queued, as a real click: the slot may open a box with its own loop.
    QMetaObject::invokeMethod(b, &QPushButton::click, Qt::QueuedConnection);
}

void Tour::choose(const char *field, const QString &value)
{
    // Picked as a user picks from the list: the field then looks and reads
    // as in the real window ("выбрано, не записано", grey).
    auto *box = window.findChild<QComboBox *>(QLatin1String(field));
    const int index = box->findText(value);
    box->setCurrentIndex(index);
    emit box->activated(index);
    log(QStringLiteral("choose  «%1» = %2").arg(box->accessibleName(), value));
}

bool Tour::statusSince(int mark, const QString &message) const
{
    return statuses.mid(mark).contains(message);
}

QString Tour::text(const char *widget) const
{
    if (auto *b = window.findChild<QPushButton *>(QLatin1String(widget)))
        return b->text();
    if (auto *c = window.findChild<QComboBox *>(QLatin1String(widget)))
        return c->currentText();
    return QString();
}

bool Tour::fieldsShow(const QString &speed, const QString &stop, const QString &parity) const
{
    const auto green = [this](const char *name) {
        return window.findChild<QComboBox *>(QLatin1String(name))->styleSheet() == styleGreen;
    };
    return text("CB_KT_Speed") == speed && text("CB_KT_Stop_bit") == stop
            && text("CB_KT_Parity") == parity && green("CB_KT_Speed") && green("CB_KT_Stop_bit")
            && green("CB_KT_Parity");
}

void Tour::snap(const QString &name)
{
    const QString file = pictures.filePath(
            QStringLiteral("%1-%2.png").arg(++step, 2, 10, QLatin1Char('0')).arg(name));
    // Laid out as the event loop would before the next paint.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    window.grab().save(file);
    log(QStringLiteral("picture %1").arg(file));
}

void Tour::closeBoxesLikeAUser()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || box->property("tourSeen").toBool())
        return;
    box->setProperty("tourSeen", true);
    log(QStringLiteral("box     \"%1\": %2")
                .arg(box->windowTitle(),
                     QString(box->text())
                             .replace(QLatin1Char('\n'), QLatin1Char(' '))
                             .remove(QLatin1Char('\r'))));
    boxesSeen.append(box->windowTitle());
    const QString file = pictures.filePath(QStringLiteral("%1-box-%2.png")
                                                   .arg(++step, 2, 10, QLatin1Char('0'))
                                                   .arg(boxesSeen.size()));
    QTimer::singleShot(100, box, [this, box, file] {
        box->grab().save(file);
        log(QStringLiteral("picture %1").arg(file));
    });
    QTimer::singleShot(boxReadingTimeMs, box, [this, box] {
        log(QStringLiteral("click   \"OK\""));
        box->done(QMessageBox::Ok);
    });
}

QString Tour::run()
{
    // The demo connects, which the window remembers: never in the user's
    // own settings.
    const QString kept = QSettings(QSettings::defaultFormat(), QSettings::UserScope,
                                   QStringLiteral("tav-configurator"),
                                   QStringLiteral("tav-configurator"))
                                 .fileName();
    const QString users = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (kept.startsWith(users + QLatin1Char('/')))
        return QStringLiteral("the demo keeps its settings in the user's own: %1").arg(kept);
    boxWatch->start();
    const QString newSpeed = QStringLiteral("115200");
    const QString newStop = QStringLiteral("2");
    const QString newParity = QStringLiteral("even");
    log(QStringLiteral("module  on %1 (not plugged in yet): baudrate %2, stop bits %3, parity %4")
                .arg(module.portPath(), module.baudRate(), module.stopBits(), module.parity()));

    snap(QStringLiteral("start"));
    // Qt's own texts speak the window's language, where this system has
    // them: a box's "Закрыть", the file dialog.
    if (QFile::exists(QDir(qtTranslationsPath()).filePath(QStringLiteral("qtbase_ru.qm")))
        && languageAsked(QCoreApplication::arguments()) == QLatin1String("ru")
        && QCoreApplication::translate("QPlatformTheme", "Close") == QLatin1String("Close"))
        return QStringLiteral("Qt's own texts are in English beside a Russian window");

    // 1. Search, then plug the adapter in.
    click("BT_find");
    if (!waitFor([this] { return text("BT_Open_Connect") == QStringLiteral("Отключиться"); },
                 15000))
        return QStringLiteral("the search did not find the simulated module");
    snap(QStringLiteral("found"));

    // 2. The search reads the module by itself, three seconds after the find.
    const QString oldSpeed = module.baudRate(), oldStop = module.stopBits(),
                  oldParity = module.parity();
    if (!waitFor([&] { return fieldsShow(oldSpeed, oldStop, oldParity); }, 15000))
        return QStringLiteral("reading did not show the module's settings in green");
    if (!waitFor(
                [this] {
                    return window.findChild<QPushButton *>(QStringLiteral("BT_Write_values"))
                            ->isEnabled();
                },
                5000))
        return QStringLiteral("the write button did not come on after reading");
    snap(QStringLiteral("read"));

    // 3. New values, written.
    choose("CB_KT_Speed", newSpeed);
    choose("CB_KT_Stop_bit", newStop);
    choose("CB_KT_Parity", newParity);
    snap(QStringLiteral("chosen"));
    click("BT_Write_values");
    if (!waitFor([this] { return boxesSeen.contains(QStringLiteral("Результат")); }, 20000))
        return QStringLiteral("writing did not end with the result box");
    if (!waitFor([] { return QApplication::activeModalWidget() == nullptr; }, 5000))
        return QStringLiteral("the result box did not close");
    snap(QStringLiteral("written"));
    if (module.baudRate() != newSpeed || module.stopBits() != newStop
        || module.parity() != newParity)
        return QStringLiteral("the module holds %1/%2/%3, not the values written")
                .arg(module.baudRate(), module.stopBits(), module.parity());
    if (!module.isOperating())
        return QStringLiteral("the module was not switched into operating mode");

    // 4. Connect by hand and read back what was written.
    int mark = statuses.size();
    click("BT_Open_Connect");
    if (!waitFor(
                [&] {
                    return statusSince(mark, QStringLiteral("Получено :parity ") + newParity)
                            && fieldsShow(newSpeed, newStop, newParity);
                },
                15000))
        return QStringLiteral("reading back did not show the new values");
    snap(QStringLiteral("read-back"));
    click("BT_Open_Connect");
    if (!waitFor([this] { return text("BT_Open_Connect") == QStringLiteral("Соединиться"); }, 5000))
        return QStringLiteral("disconnecting failed");

    // 5. A module that does not answer: the user is told after 3 s.
    module.setSilent(true);
    mark = statuses.size();
    click("BT_Open_Connect");
    if (!waitFor([&] { return statusSince(mark, QStringLiteral("Передано :-h")); }, 5000))
        return QStringLiteral("connecting again sent nothing");
    if (!waitFor([this] { return boxesSeen.contains(QStringLiteral("Ошибка")); }, 10000))
        return QStringLiteral("a silent module raised no error box");
    if (!waitFor([] { return QApplication::activeModalWidget() == nullptr; }, 5000))
        return QStringLiteral("the error box did not close");
    snap(QStringLiteral("no-answer"));
    click("BT_Open_Connect");
    waitFor([this] { return text("BT_Open_Connect") == QStringLiteral("Соединиться"); }, 5000);
    module.setSilent(false);

    // 6. A value the module refuses: the write stops, and says what the
    // module took and that "-st" was not sent.
    mark = statuses.size();
    click("BT_Open_Connect");
    if (!waitFor([&] { return statusSince(mark, QStringLiteral("Получено :parity ") + newParity); },
                 15000)
        || !waitFor(
                [this] {
                    return window.findChild<QPushButton *>(QStringLiteral("BT_Write_values"))
                            ->isEnabled();
                },
                5000))
        return QStringLiteral("connecting for the refused write did not read the module");
    module.rejectValues("-stop bits:");
    choose("CB_KT_Speed", QStringLiteral("9600"));
    choose("CB_KT_Stop_bit", QStringLiteral("1"));
    choose("CB_KT_Parity", QStringLiteral("none"));
    click("BT_Write_values");
    if (!waitFor(
                [&] {
                    return std::any_of(statuses.cbegin() + mark, statuses.cend(),
                                       [](const QString &s) {
                                           return s.startsWith(QStringLiteral("Модуль отклонил"));
                                       });
                },
                15000))
        return QStringLiteral("the refused value was not told");
    snap(QStringLiteral("refused"));

    // 7. The adapter pulled out in the middle of a read: one box, and the
    // fields the module did tell keep their values.
    module.setReplyDelay(std::chrono::milliseconds(300));
    mark = statuses.size();
    click("BT_Read_values");
    if (!waitFor([&] { return statusSince(mark, QStringLiteral("Передано :-stop bits")); }, 10000))
        return QStringLiteral("the read before the unplug did not start");
    module.vanish();
    if (!waitFor([this] { return boxesSeen.contains(QStringLiteral("Critical Error")); }, 10000))
        return QStringLiteral("an unplugged adapter raised no box");
    if (!waitFor([] { return QApplication::activeModalWidget() == nullptr; }, 5000))
        return QStringLiteral("the box did not close");
    snap(QStringLiteral("link-lost"));

    log(QStringLiteral(
                "done    the module holds baudrate %1, stop bits %2, parity %3 and is working")
                .arg(module.baudRate(), module.stopBits(), module.parity()));
    return QString();
}
