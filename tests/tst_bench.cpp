// The commissioning bench: a batch in one fixed adapter slot (the simulated
// module's link), the CSV record a spreadsheet reads back, and the JSON a
// program reads, checked against the fields the README documents.
#include "behaviours.h"
#include "modulerecord.h"
#include "commissioner.h"
#include "exchangelog.h"
#include "simfixture.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>
#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

using namespace std::chrono_literals;

namespace {
// CSV read the way a spreadsheet does: quoted cells may hold separators,
// quotes (doubled) and line ends; rows end at CRLF. Written apart from the
// writer, so a quoting slip shows as a wrong cell, not as the same slip.
QVector<QStringList> parseCsv(const QString &text, QChar separator, QString *problem)
{
    QVector<QStringList> rows;
    QStringList row;
    QString cellText;
    bool quoted = false;
    bool cellStarted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                cellText += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                cellText += c;
            }
        } else if (c == QLatin1Char('"') && !cellStarted) {
            quoted = true;
            cellStarted = true;
        } else if (c == separator) {
            row.append(cellText);
            cellText.clear();
            cellStarted = false;
        } else if (c == QLatin1Char('\r')) {
            if (i + 1 >= text.size() || text.at(i + 1) != QLatin1Char('\n')) {
                *problem = QStringLiteral("a CR without LF at %1").arg(i);
                return {};
            }
            ++i;
            row.append(cellText);
            rows.append(row);
            row.clear();
            cellText.clear();
            cellStarted = false;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\n')) {
            *problem = QStringLiteral("a bare %1 at %2").arg(c).arg(i);
            return {};
        } else {
            cellText += c;
            cellStarted = true;
        }
    }
    if (quoted || !row.isEmpty() || cellStarted)
        *problem = QStringLiteral("the last row does not end with CRLF");
    return rows;
}

// The form the last row was written in, by its separator (a row of empty
// cells has nothing else).
ModuleRecord::Form formOfLastRow(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ModuleRecord::Form::Spreadsheet;
    const QList<QByteArray> rows = file.readAll().trimmed().split('\n');
    return rows.constLast().count(';') > rows.constLast().count(',') ? ModuleRecord::Form::Spreadsheet
                                                                     : ModuleRecord::Form::Rfc4180;
}

// Rows as maps from the header's names, read as their reader does: a
// spreadsheet with Russian regional settings takes ';' and reads UTF-8 only
// after a byte-order mark (without one, the system's ANSI code page); a
// program takes RFC 4180, ',' and plain UTF-8.
QVector<std::map<QString, QString>> readRecord(
        const QString &path, ModuleRecord::Form form = ModuleRecord::Form::Spreadsheet)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = f.readAll();
    const QByteArray mark("\xEF\xBB\xBF");
    if (bytes.startsWith(mark) != (form == ModuleRecord::Form::Spreadsheet)) {
        qWarning() << "record" << path << "has the wrong byte-order mark for its reader";
        return {};
    }
    if (form == ModuleRecord::Form::Spreadsheet)
        bytes.remove(0, mark.size());
    QString problem;
    const auto rows = parseCsv(QString::fromUtf8(bytes),
                               form == ModuleRecord::Form::Spreadsheet ? QLatin1Char(';')
                                                                      : QLatin1Char(','),
                               &problem);
    if (!problem.isEmpty() || rows.isEmpty()) {
        qWarning() << "record" << path << problem;
        return {};
    }
    QVector<std::map<QString, QString>> records;
    for (int i = 1; i < rows.size(); ++i) {
        if (rows.at(i).size() != rows.first().size()) {
            qWarning() << "row" << i << "has" << rows.at(i).size() << "cells";
            return {};
        }
        std::map<QString, QString> r;
        for (int c = 0; c < rows.first().size(); ++c)
            r[rows.first().at(c)] = rows.at(i).at(c);
        records.append(r);
    }
    return records;
}

// Rows written so far, by their line ends alone: a wait for rows ends when
// they are there, whatever their form, and readRecord() then judges them
// at once instead of a wait running out on a form it cannot read.
int rowsWritten(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? std::max(0, int(f.readAll().count('\n')) - 1) : 0;
}

// A table of the README, from the line after `heading` to the first line
// that is not a table row: the first column's name, then the other cells.
std::map<QString, QStringList> readmeTable(const QString &heading)
{
    QFile f(QStringLiteral(TAV_SOURCE_DIR "/docs/reference.md"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    std::map<QString, QStringList> table;
    int i = lines.indexOf(QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(heading)));
    if (i < 0)
        return {};
    while (i < lines.size() && !lines.at(i).startsWith(QLatin1Char('|')))
        ++i;
    for (i += 2; i < lines.size() && lines.at(i).startsWith(QLatin1Char('|')); ++i) {
        QStringList cells = lines.at(i).split(QLatin1Char('|'));
        cells = cells.mid(1, cells.size() - 2);
        for (QString &c : cells)
            c = c.trimmed();
        const QString name = cells.takeFirst().remove(QLatin1Char('`'));
        table[name] = cells;
    }
    return table;
}

// Checks `object` against a README table whose second column is the type
// ("string", "number or null", "values or null", …): every documented field
// present with its type, nothing undocumented.
QString checkAgainst(const QJsonObject &object, const std::map<QString, QStringList> &fields,
                     const std::map<QString, QStringList> &valueFields)
{
    if (fields.empty())
        return QStringLiteral("no documented fields");
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!fields.count(it.key()))
            return QStringLiteral("undocumented field %1").arg(it.key());
    }
    for (const auto &[name, cells] : fields) {
        if (!object.contains(name))
            return QStringLiteral("missing field %1").arg(name);
        const QJsonValue v = object.value(name);
        const QString type = cells.value(0);
        if (v.isNull()) {
            if (!type.endsWith(QLatin1String(" or null")))
                return QStringLiteral("%1 is null, documented as %2").arg(name, type);
            continue;
        }
        const QString base = type.section(QLatin1Char(' '), 0, 0);
        const bool ok = (base == QLatin1String("string") && v.isString())
                || (base == QLatin1String("number") && v.isDouble())
                || (base == QLatin1String("boolean") && v.isBool())
                || (base == QLatin1String("values") && v.isObject());
        if (!ok)
            return QStringLiteral("%1 is not a %2").arg(name, type);
        if (base == QLatin1String("values")) {
            const QString inner = checkAgainst(v.toObject(), valueFields, {});
            if (!inner.isEmpty())
                return name + QStringLiteral(": ") + inner;
        }
    }
    return {};
}
} // namespace

class TestBench : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void slotBatchRecordsWhatEachModuleConfirmed();
    void slotAlreadyFilledIsTakenAtOnceAnEmptyOneTimesOut();
    void benchScriptRunsABatchStartToEnd();
    void theReadmesBenchScriptKeepsEveryResultOnCtrlC();
    void aRecordThatCannotBeKeptStopsBeforeAnythingIsSent();
    void aNewRecordGetsOneHeaderHoweverManyStartOnIt();
    void windowRecordsEachExchangeButNotAnIdleUnplug();
    void disconnectingMidWriteIsAnEndingTold_data();
    void disconnectingMidWriteIsAnEndingTold();
    void recordFormsReadAsTheirReadersDo();
    void aSimulatorKeepsToItsOwnLink();

private:
    int runCommissioner(const CommissionOptions &options, ModuleRecord *record);

    std::unique_ptr<QTemporaryDir> dir;
    QString slot;
    QString recordPath;
    QString output;
    QString errors;
    std::unique_ptr<Commissioner> commissioner;
};

void TestBench::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    slot = dir->filePath(QStringLiteral("ttyTAV"));
    recordPath = dir->filePath(QStringLiteral("bench.csv"));
    output.clear();
    errors.clear();
}

void TestBench::cleanup()
{
    commissioner.reset();
    dir.reset();
}

int TestBench::runCommissioner(const CommissionOptions &options, ModuleRecord *record)
{
    QTextStream out(&output);
    QTextStream err(&errors);
    commissioner = std::make_unique<Commissioner>(options, [] { return QStringList(); }, out,
                                                  err);
    commissioner->keepRecord(record);
    FastForward hurry(commissioner.get(), {}, false);
    QSignalSpy finished(commissioner.get(), &Commissioner::finished);
    commissioner->start();
    if (!waitWhileMoving(commissioner.get(), [&] { return finished.count() > 0; }, 120000))
        qWarning("the command line did not finish, and nothing of it ran any more");
    return finished.isEmpty() ? -1 : finished.at(0).at(0).toInt();
}

void TestBench::slotBatchRecordsWhatEachModuleConfirmed()
{
    TAV_UNIX_ONLY();
    // Three modules in turn in one slot: one that refuses its parity (the
    // batch's first, so that nothing done yet lets the slot count as
    // emptied), one done, one whose write is stopped after its baud rate.
    std::vector<std::unique_ptr<ModuleSimulator>> modules;
    std::function<void()> plugNext = [&] {
        modules.push_back(std::make_unique<ModuleSimulator>());
        ModuleSimulator *m = modules.back().get();
        QVERIFY(m->makeLink(slot));
        const int n = int(modules.size());
        if (n == 1)
            m->rejectValues("-parity:");
        if (n == 3) {
            m->setSettings(QStringLiteral("115200"), QStringLiteral("1"), QStringLiteral("odd"));
            connect(m, &ModuleSimulator::commandReceived, this, [this](const QByteArray &c) {
                if (c == "-baudrate:19200")
                    commissioner->requestStop();
            });
        }
    };
    QTemporaryDir scratch;
    CommissionOptions o;
    o.action = CommissionOptions::Action::Write;
    o.port = slot;
    o.waitForPort = true;
    o.repeat = true;
    o.json = true;
    o.waitTimeout = 60s;
    o.target = {QStringLiteral("19200"), QStringLiteral("2"), QStringLiteral("even")};
    ModuleRecord record;
    QVERIFY(record.open(recordPath));
    // The next module goes in once the last one's result is out and the
    // slot has been empty for a while.
    QTimer plugger;
    int resultsSeen = 0;
    connect(&plugger, &QTimer::timeout, this, [&] {
        const int results = output.count(QLatin1Char('\n'));
        if (results == resultsSeen)
            return;
        resultsSeen = results;
        if (modules.size() < 3) {
            // A technician takes a moment to pull the module: it must not
            // be taken again meanwhile. The one that refused stays longer
            // than the start-up pause a second read would begin with.
            // The second is swapped for the third between two looks at the
            // slot: never seen empty, the slot holds another device.
            if (modules.size() == 2) {
                QTimer::singleShot(700, &plugger, [&] {
                    QFile::remove(slot);
                    plugNext();
                    modules.at(1)->vanish();
                });
                return;
            }
            QTimer::singleShot(3500, &plugger, [&] {
                modules.back()->vanish();
                QFile::remove(slot);
            });
            QTimer::singleShot(4000, &plugger, plugNext);
        }
    });
    plugger.start(20);
    QTimer::singleShot(300, &plugger, plugNext);
    QCOMPARE(runCommissioner(o, &record), ExitCode::interrupted);
    QCOMPARE(int(modules.size()), 3);
    QCOMPARE(modules.at(0)->commands().constLast(), QByteArray("-parity:even"));

    const auto rows = readRecord(recordPath);
    QCOMPARE(rows.size(), 3);
    const auto value = [&](int row, const char *column) {
        return rows.at(row).at(QLatin1String(column));
    };
    const QStringList expected[3][8] = {
            // outcome, exit, confirmed b/s/p, after b/s/p
            {{QStringLiteral("refused")},
             {QStringLiteral("5")},
             {QStringLiteral("19200")},
             {QStringLiteral("2")},
             {QString()},
             {QString()},
             {QString()},
             {QString()}},
            {{QStringLiteral("done")},
             {QStringLiteral("0")},
             {QStringLiteral("19200")},
             {QStringLiteral("2")},
             {QStringLiteral("even")},
             {QStringLiteral("19200")},
             {QStringLiteral("2")},
             {QStringLiteral("even")}},
            {{QStringLiteral("interrupted")},
             {QStringLiteral("130")},
             {QStringLiteral("19200")},
             {QString()},
             {QString()},
             {QString()},
             {QString()},
             {QString()}},
    };
    const char *columns[8] = {"outcome",           "exit_code",         "confirmed_baud_rate",
                              "confirmed_stop_bits", "confirmed_parity", "after_baud_rate",
                              "after_stop_bits",   "after_parity"};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 8; ++c)
            QCOMPARE(value(r, columns[c]), expected[r][c].value(0));
        QCOMPARE(value(r, "port"), slot);
        QCOMPARE(value(r, "action"), QStringLiteral("write"));
        QCOMPARE(value(r, "requested_parity"), QStringLiteral("even"));
        QCOMPARE(value(r, "hello"),
                 QStringLiteral("TAV-RS485-KT RS-485 module, simulated, firmware 1.0"));
        QVERIFY2(QDateTime::fromString(value(r, "time"), Qt::ISODateWithMs).isValid()
                         && value(r, "time").contains(QRegularExpression(
                                 QStringLiteral("[+-]\\d\\d:\\d\\d$"))),
                 qPrintable(value(r, "time")));
    }
    QCOMPARE(value(2, "before_baud_rate"), QStringLiteral("115200"));
    QCOMPARE(value(2, "before_parity"), QStringLiteral("odd"));
    QCOMPARE(value(0, "failure"), QStringLiteral("refused"));
    QCOMPARE(value(0, "operating_mode_sent"), QStringLiteral("false"));
    QVERIFY(value(0, "message").contains(QStringLiteral("-parity:even")));
    QCOMPARE(value(1, "operating"), QStringLiteral("true"));
    QVERIFY(modules.at(1)->isOperating());
    QVERIFY(!modules.at(2)->isOperating());

    // The JSON says the same, with every documented field and no other.
    const auto fields = readmeTable(QStringLiteral("| field | type | what it holds |"));
    const auto values = readmeTable(QStringLiteral("The values objects:"));
    QCOMPARE(int(values.size()), 3);
    const QStringList lines = output.trimmed().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    for (int r = 0; r < 3; ++r) {
        QJsonParseError error {};
        const QJsonObject o = QJsonDocument::fromJson(lines.at(r).toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QString problem = checkAgainst(o, fields, values);
        QVERIFY2(problem.isEmpty(), qPrintable(problem + QStringLiteral(": ") + lines.at(r)));
        QCOMPARE(o.value(QStringLiteral("exitCode")).toInt(), value(r, "exit_code").toInt());
        QCOMPARE(o.value(QStringLiteral("time")).toString(), value(r, "time"));
    }
    const QJsonObject stopped = QJsonDocument::fromJson(lines.at(2).toUtf8()).object();
    QCOMPARE(stopped.value(QStringLiteral("confirmed")).toObject(),
             (QJsonObject {{QStringLiteral("baudRate"), 19200},
                           {QStringLiteral("stopBits"), QJsonValue()},
                           {QStringLiteral("parity"), QJsonValue()}}));
    QCOMPARE(stopped.value(QStringLiteral("before")).toObject().value(QStringLiteral("baudRate")),
             QJsonValue(115200));

    // The record's columns are the README's, in its order.
    const auto columnsDocumented = readmeTable(QStringLiteral("| column | what it holds |"));
    QFile f(recordPath);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList header =
            QString::fromUtf8(f.readLine().mid(3)).trimmed().split(QLatin1Char(';'));
    for (const QString &column : header) {
        const bool listed = columnsDocumented.count(column)
                || std::any_of(columnsDocumented.begin(), columnsDocumented.end(),
                               [&](const auto &row) {
                                   return row.second.value(0).contains(
                                           QLatin1Char('`') + column + QLatin1Char('`'));
                               });
        QVERIFY2(listed, qPrintable(column));
    }
}

void TestBench::slotAlreadyFilledIsTakenAtOnceAnEmptyOneTimesOut()
{
    TAV_UNIX_ONLY();
    ModuleSimulator module;
    QVERIFY(module.makeLink(slot));
    CommissionOptions o;
    o.port = slot;
    o.waitForPort = true;
    o.waitTimeout = 30s;
    ModuleRecord record;
    QVERIFY(record.open(recordPath));
    QCOMPARE(runCommissioner(o, &record), ExitCode::done);
    QCOMPARE(module.rawInput(), QByteArray("-h-baudrate-stop bits-parity"));

    // A link to nothing is an empty slot: nothing is opened, and the wait
    // ends as a search that found nothing.
    module.vanish();
    QFile::remove(slot);
    QVERIFY(QFile::link(dir->filePath(QStringLiteral("gone")), slot));
    output.clear();
    o.waitTimeout = 1s;
    QCOMPARE(runCommissioner(o, &record), ExitCode::noReply);
    QVERIFY2(errors.contains(QStringLiteral("Порт %1 не появился за 1\u00a0с").arg(slot)),
             qPrintable(errors));
    QVERIFY(output.isEmpty());
    QCOMPARE(readRecord(recordPath).size(), 1);
}

void TestBench::benchScriptRunsABatchStartToEnd()
{
    TAV_UNIX_ONLY();
    // The README's script, in three lines, against two modules plugged in
    // turn into the slot; the batch ends by itself when no third comes.
    const QString script = dir->filePath(QStringLiteral("bench.sh"));
    {
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\n"
                               "cd \"$(dirname \"$0\")\"\n"
                               "exec \"%1\" read --wait %2 --repeat --wait-timeout 6 "
                               "--record bench.csv --json\n")
                        .arg(QStringLiteral(TAV_CLI_PATH), slot)
                        .toUtf8());
    }
    std::vector<std::unique_ptr<ModuleSimulator>> modules;
    const auto plug = [&](const QString &baud) {
        modules.push_back(std::make_unique<ModuleSimulator>());
        modules.back()->setSettings(baud, QStringLiteral("1"), QStringLiteral("none"));
        QVERIFY(modules.back()->makeLink(slot));
    };
    plug(QStringLiteral("38400"));
    QProcess p;
    p.start(QStringLiteral("sh"), {script});
    QVERIFY(p.waitForStarted());
    QByteArray out;
    connect(&p, &QProcess::readyReadStandardOutput, this,
            [&] { out += p.readAllStandardOutput(); });
    QTRY_COMPARE_WITH_TIMEOUT(out.count('\n'), 1, 30000);
    modules.back()->vanish();
    QFile::remove(slot);
    QTimer::singleShot(500, &p, [&] { plug(QStringLiteral("57600")); });
    QTRY_COMPARE_WITH_TIMEOUT(out.count('\n'), 2, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), QProcess::NotRunning, 30000);
    const QString said = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(p.exitCode() == ExitCode::done, qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("Модулей готово: 2, с ошибкой: 0")), qPrintable(said));

    const auto rows = readRecord(recordPath);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).at(QStringLiteral("before_baud_rate")), QStringLiteral("38400"));
    QCOMPARE(rows.at(1).at(QStringLiteral("before_baud_rate")), QStringLiteral("57600"));
    QCOMPARE(rows.at(1).at(QStringLiteral("action")), QStringLiteral("read"));
    QCOMPARE(rows.at(1).at(QStringLiteral("requested_baud_rate")), QString());
    for (const QByteArray &line : out.trimmed().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        QCOMPARE(o.value(QStringLiteral("outcome")).toString(), QStringLiteral("done"));
        QVERIFY(o.value(QStringLiteral("requested")).isNull());
    }
}

// The script exactly as the README prints it (only its slot is the test's),
// and Ctrl+C as a terminal sends it: to the whole pipeline at once. The
// module interrupted mid-write keeps its JSON line as well as its row.
void TestBench::theReadmesBenchScriptKeepsEveryResultOnCtrlC()
{
    TAV_UNIX_ONLY();
#ifdef Q_OS_UNIX
    QFile readme(QStringLiteral(TAV_SOURCE_DIR "/docs/reference.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const int start = text.indexOf(QStringLiteral("#!/bin/sh\n# bench.sh"));
    QVERIFY(start > 0);
    QString script = text.mid(start, text.indexOf(QStringLiteral("```"), start) - start);
    script.replace(QRegularExpression(QStringLiteral("/dev/serial/by-path/\\S+")), slot);
    const QString file = dir->filePath(QStringLiteral("bench.sh"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(script.toUtf8());
    }
    ModuleSimulator module;
    QVERIFY(module.makeLink(slot));
    QProcess p;
    p.setWorkingDirectory(dir->path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), QFileInfo(QStringLiteral(TAV_CLI_PATH)).path()
                                               + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
    p.setProcessEnvironment(env);
    // A process group of its own, as a terminal's foreground job.
    connect(&module, &ModuleSimulator::commandReceived, this, [&](const QByteArray &c) {
        if (c == "-stop bits:2")
            ::kill(-pid_t(p.processId()), SIGINT);
    });
    p.start(QStringLiteral("setsid"), {QStringLiteral("sh"), file});
    QVERIFY(p.waitForStarted());
    const QString jsonl = dir->filePath(QStringLiteral("bench.jsonl"));
    const auto lines = [&] {
        QFile f(jsonl);
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().split('\n') : QList<QByteArray>();
    };
    QTRY_VERIFY_WITH_TIMEOUT(!lines().value(0).isEmpty(), 30000);
    const QJsonObject o = QJsonDocument::fromJson(lines().constFirst()).object();
    QCOMPARE(o.value(QStringLiteral("outcome")).toString(), QStringLiteral("interrupted"));
    QCOMPARE(o.value(QStringLiteral("confirmed")).toObject().value(QStringLiteral("baudRate")).toInt(),
             19200);
    QTRY_COMPARE_WITH_TIMEOUT(rowsWritten(dir->filePath(QStringLiteral("bench.csv"))), 1, 10000);
    QCOMPARE(readRecord(dir->filePath(QStringLiteral("bench.csv"))).size(), 1);
    QCOMPARE(readRecord(dir->filePath(QStringLiteral("bench.csv"))).at(0).at(QStringLiteral("outcome")),
             QStringLiteral("interrupted"));
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), QProcess::NotRunning, 10000);
#endif
}

void TestBench::aRecordThatCannotBeKeptStopsBeforeAnythingIsSent()
{
    TAV_UNIX_ONLY();
    ModuleSimulator module;
#ifdef Q_OS_UNIX
    const QString fifo = dir->filePath(QStringLiteral("nobody-reads"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString &where : {dir->filePath(QStringLiteral("no/such/folder.csv")), dir->path(),
                                 fifo}) {
        QProcess p;
        p.start(QStringLiteral(TAV_CLI_PATH),
                {QStringLiteral("read"), module.portPath(), QStringLiteral("--record"), where});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), ExitCode::usage);
        QVERIFY2(p.readAllStandardError().contains("файл учёта"), qPrintable(where));
    }
    QCOMPARE(module.rawInput(), QByteArray());

    // Nor is one that cannot take its header (a full disk).
    QProcess p;
    p.start(QStringLiteral(TAV_CLI_PATH), {QStringLiteral("read"), module.portPath(),
                                           QStringLiteral("--record"), QStringLiteral("/dev/full")});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), ExitCode::usage);
    QCOMPARE(module.rawInput(), QByteArray());

    // One that fills up later (a file size limit plays the full disk) is
    // told once, and the module's work goes on.
    ModuleRecord record;
    QVERIFY(record.open(recordPath));
    QSignalSpy failed(&record, &ModuleRecord::fileFailed);
    rlimit before {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = rlim_t(QFileInfo(recordPath).size() + 10);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    CommissionOptions o;
    o.port = module.portPath();
    const int code = runCommissioner(o, &record);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previousHandler);
    QCOMPARE(code, ExitCode::done);
    QCOMPARE(failed.count(), 1);
    QVERIFY(!record.isOpen());
    // The system's words for it, not "Unknown error".
    const QString told = failed.at(0).at(0).toString();
    QVERIFY2(told.contains(recordPath) && told.contains(QStringLiteral("File too large")),
             qPrintable(told));

    // The row was torn at the limit. The next run closes it before its own
    // row, says so, and its row is whole on a line of its own.
    QFile torn(recordPath);
    QVERIFY(torn.open(QIODevice::ReadOnly));
    QVERIFY(!torn.readAll().endsWith('\n'));
    torn.close();
    ModuleRecord next;
    QVERIFY(next.open(recordPath));
    QVERIFY(next.closedATornRow());
    QCOMPARE(runCommissioner(o, &next), ExitCode::done);
    QVERIFY(torn.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = torn.readAll().split('\n');
    QCOMPARE(lines.size(), 4); // the header, the torn row, the new one, and the end
    QString problem;
    const auto rows = parseCsv(QString::fromUtf8(lines.at(0).mid(3) + '\n' + lines.at(2) + '\n')
                                       .replace(QLatin1Char('\n'), QStringLiteral("\r\n"))
                                       .replace(QStringLiteral("\r\r\n"), QStringLiteral("\r\n")),
                               QLatin1Char(';'), &problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(1).size(), rows.at(0).size());
    QCOMPARE(rows.at(1).at(int(rows.at(0).indexOf(QStringLiteral("outcome")))), QStringLiteral("done"));
#endif
}

void TestBench::aNewRecordGetsOneHeaderHoweverManyStartOnIt()
{
    TAV_UNIX_ONLY();
#ifdef Q_OS_UNIX
    ModuleSimulator module;
    // Another run is writing the header of the same new record: this one
    // waits for it rather than writing a second.
    QFile other(recordPath);
    QVERIFY(other.open(QIODevice::WriteOnly | QIODevice::Append));
    QCOMPARE(::flock(other.handle(), LOCK_EX), 0);
    QProcess p;
    p.start(QStringLiteral(TAV_CLI_PATH), {QStringLiteral("read"), module.portPath(),
                                           QStringLiteral("--record"), recordPath});
    QVERIFY(p.waitForStarted());
    const QString record = QFileInfo(recordPath).canonicalFilePath();
    const auto holdsTheRecord = [&p, &record] {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(p.processId()));
        for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System)) {
            if (fd.symLinkTarget() == record)
                return true;
        }
        return false;
    };
    QTRY_VERIFY(holdsTheRecord());
    other.write(QByteArray("\xEF\xBB\xBF")
                + ModuleRecord::row(ModuleReport::csvHeader(), ModuleRecord::Form::Spreadsheet));
    other.flush();
    ::flock(other.handle(), LOCK_UN);
    // The module answers from this test's event loop: no blocking wait.
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), QProcess::NotRunning, 20000);
    QCOMPARE(p.exitCode(), ExitCode::done);
    QCOMPARE(readRecord(recordPath).size(), 1);
#endif
}

void TestBench::windowRecordsEachExchangeButNotAnIdleUnplug()
{
    auto module = std::make_unique<ModuleSimulator>();
    QStringList ports {module->portPath()};
    MainWindow w(nullptr, [&] { return ports; });
    ModalWatcher boxes;
    // What the record holds the moment each box shows: its ending's row is
    // written first.
    QList<int> rowsAtBox;
    boxes.onShown = [&](const ModalWatcher::Box &) {
        rowsAtBox.append(int(readRecord(recordPath).size()));
    };
    ModuleRecord record;
    QVERIFY(record.open(recordPath));
    w.keepRecord(&record);
    Ui_MainWindow &ui = MainWindowProbe::ui(w);
    ui.cbPorts->setCurrentText(module->portPath());
    QVERIFY(ui.BT_Open_Connect->isEnabled());
    QTest::mouseClick(ui.BT_Open_Connect, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(ui.BT_Write_values->isEnabled(), 10000);
    QTRY_COMPARE(rowsWritten(recordPath), 1);
    QCOMPARE(readRecord(recordPath).size(), 1);
    // Unplugged while nothing runs: the box says so, the record keeps no row.
    module.reset();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, 10000);
    // A port that is gone cannot be opened: that is a row.
    QVERIFY(ui.BT_Open_Connect->isEnabled());
    QTest::mouseClick(ui.BT_Open_Connect, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 2, 10000);
    const auto rows = readRecord(recordPath);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).at(QStringLiteral("outcome")), QStringLiteral("done"));
    QCOMPARE(rows.at(0).at(QStringLiteral("before_parity")), QStringLiteral("none"));
    QCOMPARE(rows.at(1).at(QStringLiteral("outcome")), QStringLiteral("cannot-open"));
    // Nothing of the earlier module passes for this attempt's.
    QCOMPARE(rows.at(1).at(QStringLiteral("before_parity")), QString());
    QCOMPARE(rows.at(1).at(QStringLiteral("hello")), QString());
    QCOMPARE(rowsAtBox, (QList<int> {1, 2}));
}

void TestBench::disconnectingMidWriteIsAnEndingTold_data()
{
    QTest::addColumn<int>("confirmed"); // values confirmed before "Отключиться"
    QTest::addColumn<QByteArray>("late"); // a command whose reply is awaited past its time-out
    QTest::newRow("pause after -baudrate:") << 1 << QByteArray();
    QTest::newRow("pause after -stop bits:") << 2 << QByteArray();
    QTest::newRow("pause after -parity:") << 3 << QByteArray();
    QTest::newRow("late reply to -stop bits:") << 1 << QByteArray("-stop bits:");
    QTest::newRow("late reply to -st") << 3 << QByteArray("-st");
}

void TestBench::disconnectingMidWriteIsAnEndingTold()
{
    QFETCH(int, confirmed);
    QFETCH(QByteArray, late);
    ModuleSimulator module;
    MainWindow w(nullptr, [&] { return QStringList {module.portPath()}; });
    ModalWatcher boxes;
    ModuleRecord record;
    QVERIFY(record.open(recordPath));
    w.keepRecord(&record);
    Ui_MainWindow &ui = MainWindowProbe::ui(w);
    ModuleEngine &engine = MainWindowProbe::engine(w);
    bool silent = false;
    connect(&module, &ModuleSimulator::commandReceived, this, [&](const QByteArray &command) {
        silent = !late.isEmpty() && (late.endsWith(':') ? command.startsWith(late) : command == late);
        module.setSilent(silent);
    });
    FastForward hurry(&w, [&] { return silent; }, false);
    int oks = 0;
    const auto disconnect = [&ui] {
        QVERIFY(ui.BT_Open_Connect->isEnabled());
        QTest::mouseClick(ui.BT_Open_Connect, Qt::LeftButton);
    };
    connect(&engine, &ModuleEngine::fieldChanged, this,
            [&](ModuleProtocol::Field, ModuleEngine::FieldState state) {
                if (state == ModuleEngine::FieldState::Confirmed && ++oks == confirmed
                    && late.isEmpty())
                    QTimer::singleShot(0, this, disconnect); // in the pause that follows
            });

    ui.cbPorts->setCurrentText(module.portPath());
    const QStringList t = targetValues();
    connectAndWrite(ui, t);
    if (QTest::currentTestFailed())
        return;
    if (!late.isEmpty()) {
        // The time-out's box is closed; the reply is still awaited.
        QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, 15000);
        QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(engine.progress().awaiting);
        disconnect();
    }
    QTRY_COMPARE_WITH_TIMEOUT(rowsWritten(recordPath), 2, 15000);
    QCOMPARE(readRecord(recordPath).size(), 2);
    QVERIFY(!engine.isOpen());

    const auto row = readRecord(recordPath).at(1);
    QCOMPARE(row.at(QStringLiteral("action")), QStringLiteral("write"));
    QCOMPARE(row.at(QStringLiteral("outcome")), QStringLiteral("interrupted"));
    QCOMPARE((QStringList {row.at(QStringLiteral("requested_baud_rate")),
                           row.at(QStringLiteral("requested_stop_bits")),
                           row.at(QStringLiteral("requested_parity"))}),
             t);
    const QStringList confirmedValues {row.at(QStringLiteral("confirmed_baud_rate")),
                                       row.at(QStringLiteral("confirmed_stop_bits")),
                                       row.at(QStringLiteral("confirmed_parity"))};
    QStringList expected = t.mid(0, confirmed);
    while (expected.size() < 3)
        expected << QString();
    QCOMPARE(confirmedValues, expected);
    QCOMPARE(row.at(QStringLiteral("operating_mode_sent")),
             late == "-st" ? QStringLiteral("true") : QStringLiteral("false"));
    // "-st" went out and its answer never came: whether the module operates
    // is not known.
    QCOMPARE(row.at(QStringLiteral("operating")),
             late == "-st" ? QString() : QStringLiteral("false"));
    // What the connect's read found is known to the write that followed it.
    const auto read = readRecord(recordPath).at(0);
    QVERIFY(!read.at(QStringLiteral("hello")).isEmpty());
    QCOMPARE(row.at(QStringLiteral("hello")), read.at(QStringLiteral("hello")));
    for (const char *field : {"baud_rate", "stop_bits", "parity"}) {
        const QString name = QStringLiteral("before_") + QLatin1String(field);
        QCOMPARE(row.at(name), read.at(name));
    }
    QCOMPARE(row.at(QStringLiteral("before_baud_rate")), QStringLiteral("9600"));

    // Told once, in the status bar and the log, with what the module took.
    const QString told = MainWindowProbe::statusPanel(w)->currentMessage();
    QVERIFY2(told.startsWith(QStringLiteral("Прервано отключением"))
                     && told.contains(QStringLiteral("Модуль подтвердил: скорость 19200")),
             qPrintable(told));
    QCOMPARE(w.exchangeLog()->lines().filter(QStringLiteral("Прервано")).size(), 1);
    QVERIFY(w.exchangeLog()->lines().constLast().endsWith(told));
}

void TestBench::recordFormsReadAsTheirReadersDo()
{
    // The header's separator tells an existing file's form, whatever an
    // editor added before it; a file whose form cannot be told is refused.
    {
        const QByteArray mark("\xEF\xBB\xBF");
        const QByteArray comma = ModuleReport::csvHeader().join(QLatin1Char(',')).toUtf8() + "\r\n";
        const QByteArray semicolon = ModuleReport::csvHeader().join(QLatin1Char(';')).toUtf8() + "\r\n";
        const struct
        {
            QByteArray content;
            std::optional<ModuleRecord::Form> form;
        } files[] = {{mark + comma, ModuleRecord::Form::Rfc4180},
                     {comma, ModuleRecord::Form::Rfc4180},
                     {mark + semicolon, ModuleRecord::Form::Spreadsheet},
                     {"notes about the bench\r\n", std::nullopt}};
        for (const auto &f : files) {
            QFile file(recordPath);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(f.content);
            file.close();
            ModuleRecord existing;
            existing.setForm(f.form == ModuleRecord::Form::Spreadsheet ? ModuleRecord::Form::Rfc4180
                                                                      : ModuleRecord::Form::Spreadsheet);
            QString why;
            QCOMPARE(existing.open(recordPath, &why), f.form.has_value());
            if (f.form) {
                existing.add(ModuleReport {});
                QCOMPARE(int(formOfLastRow(recordPath)), int(*f.form));
            } else
                QVERIFY2(why.contains(QStringLiteral("заголовок")), qPrintable(why));
        }
        QFile::remove(recordPath);
    }

    ModuleReport report;
    report.time = QDateTime::currentDateTime();
    report.port = QStringLiteral("COM12");
    // The module's hello is its own text: separators, quotes, a formula.
    report.record.hello = QStringLiteral("=1+1; \"Модуль\", прошивка 1.0");
    report.result.message = QStringLiteral("Готово");
    const int columns = ModuleReport::csvHeader().size();

    // A new record opens by a double-click in a spreadsheet.
    ModuleRecord spreadsheet;
    QVERIFY(spreadsheet.open(recordPath));
    spreadsheet.add(report);
    auto rows = readRecord(recordPath);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(int(rows.at(0).size()), columns);
    QCOMPARE(rows.at(0).at(QStringLiteral("hello")), QLatin1Char('\'') + report.record.hello);
    QCOMPARE(rows.at(0).at(QStringLiteral("message")), QStringLiteral("Готово"));

    // The programs' form, asked for a new file, stays that file's form.
    const QString plainPath = dir->filePath(QStringLiteral("plain.csv"));
    for (int run = 0; run < 2; ++run) {
        ModuleRecord plain;
        if (run == 0)
            plain.setForm(ModuleRecord::Form::Rfc4180);
        QVERIFY(plain.open(plainPath));
        plain.add(report);
        QCOMPARE(formOfLastRow(plainPath), ModuleRecord::Form::Rfc4180);
    }
    rows = readRecord(plainPath, ModuleRecord::Form::Rfc4180);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(int(rows.at(1).size()), columns);
    QCOMPARE(rows.at(1).at(QStringLiteral("port")), QStringLiteral("COM12"));
}

// A bench's slot link is the simulator's only while it lives: it never takes
// over another's live link, removes only its own, and leaves no link behind
// when its terminal closes.
void TestBench::aSimulatorKeepsToItsOwnLink()
{
    TAV_UNIX_ONLY();
#ifdef TAV_SIM_PATH
    {
        auto first = std::make_unique<ModuleSimulator>();
        QVERIFY(first->makeLink(slot));
        {
            ModuleSimulator second;
            QVERIFY(!second.makeLink(slot));
            QVERIFY(second.errorString().contains(QStringLiteral("in use")));
        }
        QCOMPARE(QFileInfo(slot).canonicalFilePath(), QFileInfo(first->portPath()).canonicalFilePath());
        const QString pulled = first->portPath();
        first->vanish(); // its device gone: a stale link, free to take
        ModuleSimulator third;
        // The terminal's number may go to the next module; the name the
        // pulled one had leads nowhere, so a case (or a test beside it) that
        // opens it again never reaches another's module.
        QVERIFY(!QFileInfo::exists(pulled));
        QVERIFY(third.makeLink(slot));
        first.reset();
        QCOMPARE(QFileInfo(slot).canonicalFilePath(), QFileInfo(third.portPath()).canonicalFilePath());
    }
    QVERIFY(!QFileInfo(slot).isSymLink());

    for (const int signal : {SIGHUP, SIGTERM, SIGINT}) {
        QProcess sim;
        sim.start(QStringLiteral(TAV_SIM_PATH), {QStringLiteral("--link"), slot});
        QByteArray said;
        QTRY_VERIFY((said += sim.readAllStandardOutput()).contains("Ctrl+C"));
        QVERIFY(QFileInfo(slot).isSymLink());
        ::kill(pid_t(sim.processId()), signal);
        QTRY_COMPARE(sim.state(), QProcess::NotRunning);
        QVERIFY2(!QFileInfo(slot).isSymLink(), qPrintable(QString::number(signal)));
    }
#endif
}

QTEST_MAIN(TestBench)
#include "tst_bench.moc"
