// tav-configurator-cli: reads and commissions TAV-RS485-KT modules from the
// command line, one or a batch, on the same engine as the window.
#include "commissioner.h"
#include "exchangelog.h"
#include "interrupt.h"
#include "moduleprotocol.h"
#include "networklink.h"
#include "portlist.h"
#include "portmonitor.h"
#include "translations.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <QTimer>

namespace {

const char *const description = R"(Reads and commissions TAV-RS485-KT modules.

Commands:
  ports                 the system's serial ports and what it knows of each
  read PORT             read the module's baud rate, stop bits and parity
  write PORT --baud B --stop-bits S --parity P
                        write the three values, read them back, then switch
                        the module into operating mode
  Instead of PORT, --wait waits for a newly plugged adapter; with --repeat,
  one module after another until Ctrl+C.

PORT is a serial port (ttyUSB0, COM5, /dev/serial/by-id/...) or a module
behind a serial device server: socket://HOST:PORT (raw TCP) or
rfc2217://HOST:PORT (RFC 2217: the line is set to 9600 8N1 by the
configurator). IPv6 addresses go in brackets: rfc2217://[fd00::7]:4001.

Exit codes:
  0    done
  2    usage error
  3    the port cannot be opened (or the gateway cannot be reached)
  4    no reply in time (or no adapter plugged in within --wait-timeout),
       or the link was lost
  5    a value refused by the module
  6    a reply not understood, or the values read back differ
  130  interrupted (Ctrl+C, SIGTERM or SIGHUP): the command under way gets
       its reply and nothing more is sent; a second request stops waiting
       for that reply. The result is printed either way.

A reply that misses its 3 s time-out is still awaited, up to 10 s after its
command, and then counts as no reply (4).)";

int usageError(QTextStream &err, const QString &text)
{
    err << "tav-configurator-cli: " << text << Qt::endl
        << "Try 'tav-configurator-cli --help'." << Qt::endl;
    return ExitCode::usage;
}

// A value for one field, checked against the module's own list.
bool takeValue(const QCommandLineParser &parser, const QString &option, ModuleProtocol::Field field,
               QString &value, QString &problem)
{
    const QStringList &allowed = ModuleProtocol::valuesOf(field);
    if (!parser.isSet(option)) {
        problem = QStringLiteral("write needs --%1 (one of: %2)")
                          .arg(option, allowed.join(QStringLiteral(", ")));
        return false;
    }
    value = parser.value(option);
    if (!allowed.contains(value)) {
        problem = QStringLiteral("--%1 %2 is not a value the module takes; allowed: %3")
                          .arg(option, value, allowed.join(QStringLiteral(", ")));
        return false;
    }
    return true;
}

int listPorts(QTextStream &out, bool json)
{
    QJsonArray all;
    for (const PortDetails &d : systemPortDetails()) {
        if (json) {
            all.append(QJsonObject {{QStringLiteral("port"), d.name},
                                    {QStringLiteral("path"), d.location},
                                    {QStringLiteral("description"), d.description},
                                    {QStringLiteral("manufacturer"), d.manufacturer},
                                    {QStringLiteral("serialNumber"), d.serialNumber},
                                    {QStringLiteral("usbId"), d.usbId}});
            continue;
        }
        QStringList facts;
        for (const QString &fact :
             {d.description, d.manufacturer,
              d.serialNumber.isEmpty() ? QString() : QStringLiteral("S/N ") + d.serialNumber,
              d.usbId.isEmpty() ? QString() : QStringLiteral("USB ") + d.usbId}) {
            if (!fact.isEmpty())
                facts.append(fact);
        }
        out << d.name << '\t' << d.location;
        if (!facts.isEmpty())
            out << '\t' << facts.join(QStringLiteral("; "));
        out << Qt::endl;
    }
    if (json)
        out << QJsonDocument(all).toJson(QJsonDocument::Compact) << Qt::endl;
    return ExitCode::done;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tav-configurator-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    out.setCodec("UTF-8");
    err.setCodec("UTF-8");
#endif

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("ports, read or write"));
    parser.addPositionalArgument(QStringLiteral("port"),
                                 QStringLiteral("ttyUSB0, COM5, /dev/serial/by-id/..."),
                                 QStringLiteral("[PORT]"));
    const QCommandLineOption baud(QStringLiteral("baud"), QStringLiteral("Baud rate to write."),
                                  QStringLiteral("B"));
    const QCommandLineOption stopBits(QStringLiteral("stop-bits"),
                                      QStringLiteral("Stop bits to write."), QStringLiteral("S"));
    const QCommandLineOption parity(QStringLiteral("parity"),
                                    QStringLiteral("Parity to write: none, odd or even."),
                                    QStringLiteral("P"));
    const QCommandLineOption noVerify(QStringLiteral("no-verify"),
                                      QStringLiteral("Do not read the values back after writing."));
    const QCommandLineOption noRun(QStringLiteral("no-run"),
                                   QStringLiteral("Write (and verify) but do not switch the "
                                                  "module into operating mode."));
    const QCommandLineOption wait(QStringLiteral("wait"),
                                  QStringLiteral("Instead of PORT: wait for a newly plugged "
                                                 "adapter, as the window's search does."));
    const QCommandLineOption waitTimeout(QStringLiteral("wait-timeout"),
                                         QStringLiteral("Give up waiting after N seconds "
                                                        "(default 120)."),
                                         QStringLiteral("N"),
                                         QString::number(CommissionOptions().waitTimeout.count()));
    const QCommandLineOption repeat(QStringLiteral("repeat"),
                                    QStringLiteral("With --wait: after each module wait for its "
                                                   "adapter to be unplugged, then for the next; "
                                                   "Ctrl+C ends with a summary."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("One JSON object per module (time, port, serial "
                                                 "number, values before and after, outcome)."));
    const QCommandLineOption logFile(QStringLiteral("log"),
                                     QStringLiteral("Append the timestamped exchange log to FILE."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption lang(
            QStringLiteral("lang"),
            QStringLiteral("Language of the messages: ru (the default) or en."),
            QStringLiteral("language"), QStringLiteral("ru"));
    parser.addOptions({baud, stopBits, parity, noVerify, noRun, wait, waitTimeout, repeat, json,
                       logFile, lang});
    if (!parser.parse(app.arguments()))
        return usageError(err, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText();
        return ExitCode::done;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion()
            << Qt::endl;
        return ExitCode::done;
    }

    if (!installTranslations(app, parser.value(lang)))
        return usageError(
                err,
                QStringLiteral("no such language: %1 (%2)")
                        .arg(parser.value(lang), availableLanguages().join(QStringLiteral(", "))));

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usageError(err, QStringLiteral("no command given (ports, read or write)"));
    const QString command = args.constFirst();
    if (command == QLatin1String("ports")) {
        if (args.size() > 1)
            return usageError(err, QStringLiteral("ports takes no port"));
        return listPorts(out, parser.isSet(json));
    }

    CommissionOptions options;
    if (command == QLatin1String("read"))
        options.action = CommissionOptions::Action::Read;
    else if (command == QLatin1String("write"))
        options.action = CommissionOptions::Action::Write;
    else
        return usageError(err, QStringLiteral("unknown command: %1").arg(command));

    // An unset shell variable must not turn into waiting for whatever
    // adapter is plugged in next.
    if (args.size() == 2 && args.at(1).trimmed().isEmpty())
        return usageError(err, QStringLiteral("PORT is empty"));
    // A gateway's port does not come and go as an adapter does.
    if ((parser.isSet(wait) || parser.isSet(repeat)) && args.size() == 2
        && NetworkLink::isNetworkName(args.at(1)))
        return usageError(err,
                          QStringLiteral("--wait and --repeat work with serial ports only; "
                                         "%1 is a network port")
                                  .arg(args.at(1)));
    if (parser.isSet(wait) == (args.size() == 2))
        return usageError(err, QStringLiteral("give either a PORT or --wait"));
    if (args.size() > 2)
        return usageError(err, QStringLiteral("too many arguments"));
    if (parser.isSet(repeat) && !parser.isSet(wait))
        return usageError(err, QStringLiteral("--repeat needs --wait"));
    if (!parser.isSet(wait))
        options.port = args.at(1);
    bool ok = false;
    const int seconds = parser.value(waitTimeout).toInt(&ok);
    if (!ok || seconds <= 0)
        return usageError(err, QStringLiteral("--wait-timeout needs a number of seconds above 0"));
    options.waitTimeout = std::chrono::seconds(seconds);
    options.repeat = parser.isSet(repeat);
    options.json = parser.isSet(json);

    if (options.action == CommissionOptions::Action::Write) {
        QString problem;
        if (!takeValue(parser, baud.names().constFirst(), ModuleProtocol::Field::Speed,
                       options.target.baudRate, problem)
            || !takeValue(parser, stopBits.names().constFirst(), ModuleProtocol::Field::StopBits,
                          options.target.stopBits, problem)
            || !takeValue(parser, parity.names().constFirst(), ModuleProtocol::Field::Parity,
                          options.target.parity, problem))
            return usageError(err, problem);
        options.verify = !parser.isSet(noVerify);
        options.operate = !parser.isSet(noRun);
    } else {
        for (const QCommandLineOption *o : {&baud, &stopBits, &parity, &noVerify, &noRun}) {
            if (parser.isSet(*o))
                return usageError(
                        err, QStringLiteral("--%1 belongs to write").arg(o->names().constFirst()));
        }
    }

    ExchangeLog log;
    if (parser.isSet(logFile)) {
        QString error;
        if (!log.appendToFile(parser.value(logFile), &error))
            return usageError(err,
                              QStringLiteral("cannot write the log file %1: %2")
                                      .arg(parser.value(logFile), error));
    }
    // A log file that fails later (a full disk) is told once; the modules'
    // work goes on.
    QObject::connect(&log, &ExchangeLog::fileFailed, &log,
                     [&err](const QString &message) { err << message << Qt::endl; });

    // Waiting costs nothing: the system's ports are watched, not enumerated
    // on every tick.
    auto *monitor = options.port.isEmpty()
            ? new PortMonitor(systemPortNames, PortMonitor::systemWatchedFolders())
            : nullptr;
    Commissioner commissioner(options, systemPortNames, out, err, &log, monitor);
    QObject::connect(&commissioner, &Commissioner::finished, &app, &QCoreApplication::exit);
    // A signal only counts up; each new one is a stop request, taken here on
    // the event loop, never inside the exchange.
    Interrupt::install();
    QTimer interruptWatch;
    int stopsTaken = 0;
    QObject::connect(&interruptWatch, &QTimer::timeout, &commissioner, [&] {
        for (; stopsTaken < Interrupt::requests(); ++stopsTaken)
            commissioner.requestStop();
    });
    interruptWatch.start(50);
    QTimer::singleShot(0, &commissioner, &Commissioner::start);
    return app.exec();
}
