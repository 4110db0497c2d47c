// tav-configurator-demo: the configurator, unchanged, with a simulated
// module whose adapter is "plugged in" a few seconds after start.
#include "mainwindow.h"
#include "modulesimulator.h"
#include "session.h"
#include "tour.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>

namespace {
QtMessageHandler qtDefault = nullptr;

// Qt's notes about its own stand-in screen (it cannot resize a window it
// does not show; no runtime folder as root) say nothing a person trying
// the program could act on.
void quietAboutTheStandIn(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.contains(QLatin1String("does not support propagateSizeHints"))
        || text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    qtDefault(type, context, text);
}
} // namespace

int main(int argc, char *argv[])
{
    qtDefault = qInstallMessageHandler(quietAboutTheStandIn);
    // The tour, and the help text, need no display: decide before the
    // application exists.
    bool tour = false;
    bool help = false;
    for (int i = 1; i < argc; ++i) {
        tour = tour || qstrcmp(argv[i], "--tour") == 0;
        help = help || qstrcmp(argv[i], "--help") == 0 || qstrcmp(argv[i], "-h") == 0
                || qstrcmp(argv[i], "--version") == 0 || qstrcmp(argv[i], "-v") == 0;
    }
    if (tour || help)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tav-configurator-demo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));
    // The demo is the real window, in the real window's language: Qt's own
    // texts (standard buttons, the file dialog) included.
    QString languageProblem;
    const bool languageKnown = Session::startLanguage(app, &languageProblem);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "The TAV-RS485-KT configurator with a simulated module, for trying it without "
            "hardware."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption tourOption(
            QStringLiteral("tour"),
            QStringLiteral("Run a guided tour without a display, saving pictures into <dir>."),
            QStringLiteral("dir"));
    const QCommandLineOption appearOption(
            QStringLiteral("plug-in-after"),
            QStringLiteral("Seconds until the simulated adapter appears (default 5, tour 2)."),
            QStringLiteral("seconds"));
    const Session::SharedOptions shared;
    parser.addOptions({tourOption, appearOption, shared.lang});
    parser.process(app);
    if (!languageKnown) {
        QTextStream(stderr) << "tav-configurator-demo: " << languageProblem << Qt::endl;
        return 2;
    }

    QTextStream out(stdout);
    // A sandbox: what the demo remembers (the simulated port last used, a
    // port added by name) stays in a folder of its own, gone with it; the
    // user's own settings are neither read nor written.
    QTemporaryDir settings;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    ModuleSimulator module;
    if (!module.isValid()) {
        QTextStream(stderr) << "Cannot make the simulated module: " << module.errorString()
                            << Qt::endl;
        return 2;
    }
    const int appearAfterMs =
            int(1000
                * (parser.isSet(appearOption) ? parser.value(appearOption).toDouble()
                                              : (tour ? 2.0 : 5.0)));

    QElapsedTimer sinceStart;
    sinceStart.start();
    const QString simulatedPort = module.portPath();
    MainWindow window(nullptr, [&] {
        QStringList ports = systemPortNames();
        if (sinceStart.elapsed() >= appearAfterMs)
            ports.append(simulatedPort);
        return ports;
    });
    window.show();

    if (tour) {
        QDir pictures(parser.value(tourOption));
        if (!pictures.mkpath(QStringLiteral("."))) {
            QTextStream(stderr) << "Cannot make " << pictures.path() << Qt::endl;
            return 2;
        }
        Tour guide(window, module, pictures);
        const QString failure = guide.run();
        if (!failure.isEmpty()) {
            QTextStream(stderr) << "Tour FAILED: " << failure << Qt::endl;
            return 1;
        }
        out << "Tour passed. Pictures in " << pictures.absolutePath() << Qt::endl;
        return 0;
    }

    out << QStringLiteral("A simulated TAV-RS485-KT module will be plugged in as %1 in %2 s.\n"
                          "Press \"Поиск\" now to let the configurator find it, or wait, press "
                          "\"Обновить\", pick it in the list and press \"Соединиться\".")
                    .arg(simulatedPort)
                    .arg(appearAfterMs / 1000.0)
        << Qt::endl;
    QObject::connect(&module, &ModuleSimulator::commandReceived, &app,
                     [&](const QByteArray &c) { out << "module <- " << c << Qt::endl; });
    return app.exec();
}
