#include "exchangelog.h"
#include "mainwindow.h"
#include "translations.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <cstring>
#include <memory>

namespace {
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
} // namespace

int main(int argc, char *argv[])
{
    const std::unique_ptr<QCoreApplication> holder(asksForTextOnly(argc, argv)
                                                           ? new QCoreApplication(argc, argv)
                                                           : new QApplication(argc, argv));
    QCoreApplication &app = *holder;
    QCoreApplication::setApplicationName(QStringLiteral("tav-configurator"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Configurator for the TAV-RS485-KT RS-485 field module."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption logOption(
            QStringLiteral("log"),
            QStringLiteral("Also append the exchange log (F2) to <file>, line by line."),
            QStringLiteral("file"));
    parser.addOption(logOption);
    const QCommandLineOption langOption(
            QStringLiteral("lang"),
            QStringLiteral("Language of the program: ru (the default) or en."),
            QStringLiteral("language"), QStringLiteral("ru"));
    parser.addOption(langOption);
    parser.addPositionalArgument(
            QStringLiteral("port"),
            QStringLiteral("A port to offer and select even if the system does not list it: "
                           "a name such as ttyUSB0 or COM5, or a path such as "
                           "/dev/serial/by-id/usb-..."),
            QStringLiteral("[port]"));
    parser.process(app);
    if (!installTranslations(app, parser.value(langOption))) {
        QTextStream(stderr) << "tav-configurator: no such language: " << parser.value(langOption)
                            << " (" << availableLanguages().join(QStringLiteral(", ")) << ")"
                            << Qt::endl;
        return 2;
    }

    MainWindow window;
    if (parser.isSet(logOption)) {
        QString error;
        if (!window.exchangeLog()->appendToFile(parser.value(logOption), &error)) {
            QTextStream(stderr) << "tav-configurator: cannot write the log file "
                                << parser.value(logOption) << ": " << error << Qt::endl;
            return 2;
        }
        QObject::connect(window.exchangeLog(), &ExchangeLog::fileFailed, &window,
                         [](const QString &message) {
                             QTextStream(stderr) << "tav-configurator: " << message << Qt::endl;
                         });
    }
    if (!parser.positionalArguments().isEmpty())
        window.addPort(parser.positionalArguments().constFirst());
    window.show();
    return app.exec();
}
