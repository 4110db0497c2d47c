#include "exchangelog.h"
#include "linkwords.h"
#include "mainwindow.h"
#include "manualwindow.h"
#include "modulerecord.h"
#include "session.h"
#include "stopsignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <cstring>
#include <memory>

namespace {
// The texts the program prints before it has a window, in its language.
class Start
{
    Q_DECLARE_TR_FUNCTIONS(Start)
};

// Help and version are text only: they must work where there is no display,
// so they are answered before any window system is touched.
bool asksForTextOnly(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-h", "--help", "--help-all", "-?", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

// Where the window system has no display to draw on, Qt gives up with an
// abort and advice to reinstall; the program says what is true instead.
bool displayMissing(int argc, char *argv[])
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0)
            platform = argv[i + 1];
    }
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (platform.isEmpty())
        return !x11 && !wayland;
    if (platform.startsWith("xcb"))
        return !x11;
    if (platform.startsWith("wayland"))
        return !wayland;
    return false; // offscreen, vnc, eglfs…: they need no display server
#else
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    return false;
#endif
}

int startError(const QString &text)
{
    QTextStream(stderr) << "tav-configurator: " << text << Qt::endl;
    return 2;
}
} // namespace

int main(int argc, char *argv[])
{
    const bool noDisplay = !asksForTextOnly(argc, argv) && displayMissing(argc, argv);
    const std::unique_ptr<QCoreApplication> holder(asksForTextOnly(argc, argv) || noDisplay
                                                           ? new QCoreApplication(argc, argv)
                                                           : new QApplication(argc, argv));
    QCoreApplication &app = *holder;
    QCoreApplication::setApplicationName(QStringLiteral("tav-configurator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));
    QString languageProblem;
    const bool languageKnown = Session::startLanguage(app, &languageProblem);

    if (noDisplay) {
        startError(Start::tr("нет дисплея, окно открыть негде (не заданы DISPLAY и "
                             "WAYLAND_DISPLAY). Без дисплея модули читает и записывает "
                             "tav-configurator-cli: tav-configurator-cli --help"));
        return 1;
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(
            Start::tr("Конфигуратор полевого модуля RS-485 TAV-RS485-KT."));
    parser.addHelpOption();
    parser.addVersionOption();
    const Session::SharedOptions shared;
    parser.addOptions(shared.all());
    const QCommandLineOption manual(QStringLiteral("manual"),
                                    Start::tr("Открыть только руководство пользователя."));
    parser.addOption(manual);
    parser.addPositionalArgument(
            QStringLiteral("port"),
            Start::tr("Порт, который предложить и выбрать, даже если система его не "
                      "показывает: %1.")
                    .arg(LinkWords::portNameExamples()),
            QStringLiteral("[port]"));
    parser.process(app);
    if (!languageKnown)
        return startError(languageProblem);
    // The Start menu's "manual" entry: the manual alone, no port touched.
    if (parser.isSet(manual)) {
        ManualWindow alone;
        alone.show();
        return app.exec();
    }

    MainWindow window;
    ModuleRecord record;
    QString problem;
    const auto tell = [](const QString &message) {
        QTextStream(stderr) << "tav-configurator: " << message << Qt::endl;
    };
    if (!Session::openFiles(shared.files(parser), *window.exchangeLog(), record, &problem, tell))
        return startError(problem);
    if (record.isOpen())
        window.keepRecord(&record);
    if (!parser.positionalArguments().isEmpty())
        window.addPort(parser.positionalArguments().constFirst());
    // A logout, a shutdown or a closed terminal ends the exchange as told,
    // as Ctrl+C does the command line's.
    StopSignals::watch(&window, [&window] { window.requestStop(); });
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &window,
                     [&window] { window.requestStop(); });
    window.show();
    return app.exec();
}
