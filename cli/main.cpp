// tav-configurator-cli: reads and commissions TAV-RS485-KT modules from the
// command line, one or a batch, on the same engine as the window.
#include "commissioner.h"
#include "console.h"
#include "exchangelog.h"
#include "linkwords.h"
#include "moduleprotocol.h"
#include "modulerecord.h"
#include "networklink.h"
#include "portlist.h"
#include "replyframer.h"
#include "seriallink.h"
#include "session.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <QTimer>

namespace {

// The texts this program prints itself, in the language of the run.
class Cli
{
    Q_DECLARE_TR_FUNCTIONS(Cli)
};

QString description()
{
    return Cli::tr(R"(Читает и настраивает модули TAV-RS485-KT.

Команды:
  ports                 последовательные порты системы и что она о них знает
  read PORT             прочитать скорость, стоп-биты и паритет модуля
  write PORT --baud B --stop-bits S --parity P
                        записать три значения, прочитать их обратно и
                        перевести модуль в режим работы
  Вместо PORT --wait ждёт новый подключённый адаптер; с --repeat - модуль
  за модулем, пока не нажато Ctrl+C. --wait PORT ждёт, когда появится
  именно этот порт (постоянное гнездо адаптера, %2);
  с --repeat - когда он исчезнет и появится снова.

PORT - последовательный порт (%1) или
модуль за сервером последовательных портов: socket://HOST:PORT (TCP) или
rfc2217://HOST:PORT (RFC 2217: линию 9600 8N1 задаёт конфигуратор).
Адрес IPv6 - в квадратных скобках: rfc2217://[fd00::7]:4001.

--record FILE.csv дописывает по строке на модуль (CSV, заголовок один раз;
вид задаёт --record-format); --json печатает по объекту JSON на модуль. Их поля описаны в
README, раздел «Commissioning bench».

Коды завершения:
  0    готово
  2    ошибка в командной строке
  3    порт не открывается (или шлюз недоступен)
  4    нет ответа вовремя (или адаптер не подключён за --wait-timeout),
       или связь потеряна
  5    модуль отверг значение
  6    ответ не понят, или прочитанные обратно значения другие
  130  прервано (%3): текущая команда получает свой
       ответ, и больше ничего не отправляется; второй запрос перестаёт ждать
       этот ответ. Тот же сигнал ещё раз в пределах %6 мс - тот же запрос
       (так его передаёт, например, timeout). Результат печатается в любом
       случае, и код завершения - код результата.

Ответ, не пришедший за %4 с, ещё ждётся до %5 с после команды, а затем
считается отсутствующим (4).)")
            .arg(LinkWords::portNameExamples(), LinkWords::slotExample(),
                 Console::stopRequestNames())
            .arg(ReplyFramer::replyTimeout.count() / 1000)
            .arg(Commissioner::lateReplyLimit.count() / 1000)
            .arg(Console::repeatWithinMs);
}

int usageError(QTextStream &err, const QString &text)
{
    err << "tav-configurator-cli: " << text << Qt::endl
        << Cli::tr("Справка: tav-configurator-cli --help") << Qt::endl;
    return ExitCode::usage;
}

// The options a write needs that are not given, each with its values, all
// at once: one run of the command to learn them, not one per option.
QString missingValues(const QCommandLineParser &parser,
                      const QList<std::pair<QString, ModuleProtocol::Field>> &options)
{
    QStringList missing;
    for (const auto &[option, field] : options) {
        if (!parser.isSet(option))
            missing << Cli::tr("--%1 (одно из: %2)")
                               .arg(option, ModuleProtocol::valuesOf(field).join(QStringLiteral(", ")));
    }
    if (missing.isEmpty())
        return {};
    return missing.size() == 1 ? Cli::tr("для write нужен %1").arg(missing.constFirst())
                               : Cli::tr("для write нужны: %1").arg(missing.join(QStringLiteral("; ")));
}

// A value for one field, checked against the module's own list.
bool takeValue(const QCommandLineParser &parser, const QString &option, ModuleProtocol::Field field,
               QString &value, QString &problem)
{
    const QStringList &allowed = ModuleProtocol::valuesOf(field);
    // "Even" is even: the module's own spelling goes out, whatever the case typed.
    value = parser.value(option);
    for (const QString &known : allowed) {
        if (known.compare(value, Qt::CaseInsensitive) == 0)
            value = known;
    }
    if (!allowed.contains(value)) {
        problem = Cli::tr("--%1 %2: такого значения модуль не принимает; можно: %3")
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

    // The language first: the help and every usage error speak it too.
    QString languageProblem;
    const bool languageKnown = Session::startLanguage(app, &languageProblem);

    QCommandLineParser parser;
    parser.setApplicationDescription(description());
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), Cli::tr("ports, read или write"));
    parser.addPositionalArgument(QStringLiteral("port"), LinkWords::portNameExamples(),
                                 QStringLiteral("[PORT]"));
    const QCommandLineOption baud(QStringLiteral("baud"), Cli::tr("Скорость для записи."),
                                  QStringLiteral("B"));
    const QCommandLineOption stopBits(QStringLiteral("stop-bits"), Cli::tr("Стоп-биты для записи."),
                                      QStringLiteral("S"));
    const QCommandLineOption parity(QStringLiteral("parity"),
                                    Cli::tr("Паритет для записи: none, odd или even."),
                                    QStringLiteral("P"));
    const QCommandLineOption noVerify(QStringLiteral("no-verify"),
                                      Cli::tr("Не читать значения обратно после записи."));
    const QCommandLineOption noRun(
            QStringLiteral("no-run"),
            Cli::tr("Записать (и проверить), но не переводить модуль в режим работы."));
    const QCommandLineOption wait(
            QStringLiteral("wait"),
            Cli::tr("Без PORT: ждать новый подключённый адаптер, как поиск в окне. С PORT: "
                    "ждать, когда появится этот порт."));
    const QCommandLineOption waitTimeout(
            QStringLiteral("wait-timeout"),
            Cli::tr("Перестать ждать через N секунд (по умолчанию %1; с --repeat - без предела).")
                    .arg(CommissionOptions().waitTimeout.count()),
            QStringLiteral("N"), QString::number(CommissionOptions().waitTimeout.count()));
    const QCommandLineOption repeat(
            QStringLiteral("repeat"),
            Cli::tr("С --wait: после каждого модуля ждать, пока его адаптер отключат, затем "
                    "следующий; Ctrl+C завершает с итогом."));
    const QCommandLineOption json(
            QStringLiteral("json"),
            Cli::tr("Объект JSON на модуль (время, порт, адаптер, ответ на -h, значения до, "
                    "заданные, подтверждённые и после, исход); на терминале stderr итог "
                    "каждого модуля ещё и словами."));
    const Session::SharedOptions shared;
    parser.addOptions({baud, stopBits, parity, noVerify, noRun, wait, waitTimeout, repeat, json});
    parser.addOptions(shared.all());
    if (!parser.parse(app.arguments()))
        return usageError(err, parser.errorText());
    if (!languageKnown)
        return usageError(err, languageProblem);
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText();
        return ExitCode::done;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << QCoreApplication::applicationName() << ' ' << QCoreApplication::applicationVersion()
            << Qt::endl;
        return ExitCode::done;
    }

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usageError(err, Cli::tr("не задана команда (ports, read или write)"));
    const QString command = args.constFirst();
    if (command == QLatin1String("ports")) {
        if (args.size() > 1)
            return usageError(err, Cli::tr("ports не принимает порт"));
        return listPorts(out, parser.isSet(json));
    }

    CommissionOptions options;
    if (command == QLatin1String("read"))
        options.action = CommissionOptions::Action::Read;
    else if (command == QLatin1String("write"))
        options.action = CommissionOptions::Action::Write;
    else
        return usageError(err, Cli::tr("неизвестная команда: %1").arg(command));

    if (args.size() > 2)
        return usageError(err, Cli::tr("лишние аргументы: %1")
                                       .arg(args.mid(2).join(QLatin1Char(' '))));
    // An unset shell variable must not turn into waiting for whatever
    // adapter is plugged in next.
    if (args.size() == 2 && args.at(1).trimmed().isEmpty())
        return usageError(err, Cli::tr("PORT пуст"));
    // A gateway's name without its host or TCP port is a mistake in the
    // command, not a gateway that cannot be reached.
    const PortAddress address = PortAddress::of(args.value(1));
    if (address.isGateway() && !address.isValid())
        return usageError(err,
                          LinkWords::networkAdvice(NetworkLink::Problem::BadName, address, {},
                                                   Commissioner::audience()));
    // A gateway's port does not come and go as an adapter does.
    if ((parser.isSet(wait) || parser.isSet(repeat)) && address.isGateway())
        return usageError(err,
                          Cli::tr("--wait и --repeat работают только с последовательными "
                                  "портами; %1 - сетевой порт")
                                  .arg(args.at(1)));
    if (!parser.isSet(wait) && args.size() < 2)
        return usageError(err, Cli::tr("задайте PORT, --wait или оба"));
    if (parser.isSet(repeat) && !parser.isSet(wait))
        return usageError(err, Cli::tr("--repeat нужен --wait"));
    if (args.size() == 2) {
        options.port = args.at(1);
        options.waitForPort = parser.isSet(wait);
    }
    bool ok = false;
    const int seconds = parser.value(waitTimeout).toInt(&ok);
    if (!ok || seconds <= 0)
        return usageError(err, Cli::tr("--wait-timeout: нужно число секунд больше 0"));
    options.waitTimeout = std::chrono::seconds(seconds);
    options.repeat = parser.isSet(repeat);
    // A bench waits for its next module as long as the technician needs,
    // unless told otherwise.
    if (options.repeat && !parser.isSet(waitTimeout))
        options.waitTimeout = std::chrono::seconds::zero();
    options.json = parser.isSet(json);

    if (options.action == CommissionOptions::Action::Write) {
        QString problem = missingValues(
                parser, {{baud.names().constFirst(), ModuleProtocol::Field::Speed},
                         {stopBits.names().constFirst(), ModuleProtocol::Field::StopBits},
                         {parity.names().constFirst(), ModuleProtocol::Field::Parity}});
        if (!problem.isEmpty())
            return usageError(err, problem);
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
                return usageError(err,
                                  Cli::tr("--%1 относится к write").arg(o->names().constFirst()));
        }
    }

    // Both files are opened before anything is sent: a bench that cannot
    // keep its record does not commission a module.
    ModuleRecord record;
    ExchangeLog log;
    QString problem;
    if (!Session::openFiles(shared.files(parser), log, record, &problem,
                            [&err](const QString &message) { err << message << Qt::endl; }))
        return usageError(err, problem);
    Commissioner commissioner(options, {}, out, err, &log);
    if (record.isOpen())
        commissioner.keepRecord(&record);
    // Progress only where a person watches stderr; the result lines and
    // the JSON on stdout never carry it.
    if (Console::errorColumns() > 0)
        commissioner.showProgress(&Console::errorColumns);
    QObject::connect(&commissioner, &Commissioner::finished, &app, &QCoreApplication::exit);
    // A signal only counts up; each new one is a stop request, taken here on
    // the event loop, never inside the exchange.
    Console::install();
    QTimer interruptWatch;
    int stopsTaken = 0;
    QObject::connect(&interruptWatch, &QTimer::timeout, &commissioner, [&] {
        for (; stopsTaken < Console::stopRequests(); ++stopsTaken)
            commissioner.requestStop();
    });
    interruptWatch.start(50);
    QTimer::singleShot(0, &commissioner, &Commissioner::start);
    return app.exec();
}
