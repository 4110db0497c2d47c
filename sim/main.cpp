// tav-module-sim: a simulated TAV-RS485-KT module on a pseudo-terminal, for
// trying the configurator, or any serial terminal, without hardware.
#include "modulesimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <QSocketNotifier>

#include <csignal>
#include <unistd.h>

namespace {
int quitPipe[2] = {-1, -1};

void requestQuit(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(quitPipe[1], &byte, 1); // async-signal-safe
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tav-module-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Simulated TAV-RS485-KT module on a pseudo-terminal. Open the printed device "
            "(or the --link path) with the configurator or a serial terminal at 9600 8N1."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption link(QStringLiteral("link"),
                                  QStringLiteral("Also make a symlink to the device at <path>."),
                                  QStringLiteral("path"));
    const QCommandLineOption delay(QStringLiteral("delay"),
                                   QStringLiteral("Answer every command <ms> late."),
                                   QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption split(QStringLiteral("split"),
                                   QStringLiteral("Send replies in <n> pieces, 25 ms apart."),
                                   QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Never answer."));
    const QCommandLineOption reject(QStringLiteral("reject"),
                                    QStringLiteral("Answer \"?\" to value commands starting with "
                                                   "<prefix>, e.g. \"-parity:\"."),
                                    QStringLiteral("prefix"));
    const QCommandLineOption line(QStringLiteral("line"),
                                  QStringLiteral("End a command at CR or LF, as a serial terminal "
                                                 "(picocom, minicom, screen) sends it, and end "
                                                 "replies with CR LF."));
    parser.addOptions({link, delay, split, silent, reject, line});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    ModuleSimulator module;
    if (!module.isValid()) {
        err << "Cannot open a pseudo-terminal: " << module.errorString() << Qt::endl;
        return 1;
    }
    if (parser.isSet(link) && !module.makeLink(parser.value(link))) {
        err << "Cannot make the link: " << module.errorString() << Qt::endl;
        return 1;
    }
    module.setReplyDelay(std::chrono::milliseconds(parser.value(delay).toInt()));
    module.setSplitReplies(parser.value(split).toInt(), std::chrono::milliseconds(25));
    module.setSilent(parser.isSet(silent));
    module.setLineMode(parser.isSet(line));
    for (const QString &prefix : parser.values(reject))
        module.rejectValues(prefix.toLatin1());

    QObject::connect(&module, &ModuleSimulator::commandReceived, &app,
                     [&](const QByteArray &command) {
                         out << module.elapsedMs() << " ms  <- " << command << Qt::endl;
                     });
    QObject::connect(&module, &ModuleSimulator::replySent, &app, [&](const QByteArray &bytes) {
        out << module.elapsedMs() << " ms  -> " << bytes << Qt::endl;
    });

    out << "Simulated module on " << module.portPath();
    if (parser.isSet(link))
        out << " (link " << parser.value(link) << ")";
    out << "\nSettings: baudrate " << module.baudRate() << ", stop bits " << module.stopBits()
        << ", parity " << module.parity() << "\nCtrl+C to stop." << Qt::endl;

    // Leave through the event loop, so the link is removed on Ctrl+C, on
    // SIGTERM and when the terminal it runs in is closed (SIGHUP).
    if (::pipe(quitPipe) == 0) {
        auto *quitNotifier = new QSocketNotifier(quitPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(quitNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGINT, requestQuit);
        std::signal(SIGTERM, requestQuit);
        std::signal(SIGHUP, requestQuit);
    }
    return app.exec();
}
