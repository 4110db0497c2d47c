// What a reply means: the decision table, fed with replies as modules word them.
#include "enginewords.h"
#include "moduleprotocol.h"
#include "translations.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace ModuleProtocol;

Q_DECLARE_METATYPE(ModuleProtocol::Kind)

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void interpret_data();
    void interpret();
    void everyValueSelectsItsItem();
    void randomRepliesKeepTheRules();
    void missingValuesAreNeverNamedAsValues_data();
    void missingValuesAreNeverNamedAsValues();
};

void TestProtocol::interpret_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("writeCommand"); // its place in writeSteps; -1: a read
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Field>("field");
    QTest::addColumn<int>("index");

    // Undisturbed replies.
    QTest::newRow("banner") << "TAV-RS485-KT firmware 1.0\r\n"
                            << -1 << Kind::Unrecognised << Field::None << -1;
    QTest::newRow("baud report") << "baudrate 9600\r\n"
                                 << -1 << Kind::BaudRateReport << Field::Speed << 4;
    QTest::newRow("stop report") << "stop bits 2" << -1 << Kind::StopBitsReport << Field::StopBits
                                 << 2;
    QTest::newRow("parity report")
            << "parity even" << -1 << Kind::ParityReport << Field::Parity << 3;
    QTest::newRow("ok baud") << "Ok\r\n" << 0 << Kind::Accepted << Field::Speed << -1;
    QTest::newRow("ok stop") << "Ok" << 1 << Kind::Accepted << Field::StopBits << -1;
    QTest::newRow("ok parity") << "Ok" << 2 << Kind::Accepted << Field::Parity << -1;
    QTest::newRow("working") << "module is working\r\n"
                             << 3 << Kind::ModuleWorking << Field::None << -1;
    QTest::newRow("rejected stop") << "?" << 1 << Kind::Rejected << Field::StopBits << 0;

    // The first key word in test order wins, wherever it stands.
    QTest::newRow("Ok beats baudrate")
            << "baudrate 9600 Ok" << 0 << Kind::Accepted << Field::Speed << -1;
    QTest::newRow("baudrate beats parity")
            << "baudrate 9600 parity none" << -1 << Kind::BaudRateReport << Field::Speed << 4;
    QTest::newRow("parity beats ?") << "parity ?" << -1 << Kind::ParityReport << Field::Parity << -1;
    QTest::newRow("stop bits beats parity")
            << "parity odd, stop bits 1" << -1 << Kind::StopBitsReport << Field::StopBits << 1;
    QTest::newRow("? beats working")
            << "module is working?" << 3 << Kind::Rejected << Field::None << 0;
    QTest::newRow("Ok inside a word") << "Okay" << 1 << Kind::Accepted << Field::StopBits << -1;

    // Values in table order; none is a substring of another.
    QTest::newRow("stop 1 and 2") << "stop bits 2 (was 1)" << -1 << Kind::StopBitsReport
                                  << Field::StopBits << 1;
    QTest::newRow("115200") << "baudrate 115200" << -1 << Kind::BaudRateReport << Field::Speed << 8;
    QTest::newRow("19200") << "baudrate 19200" << -1 << Kind::BaudRateReport << Field::Speed << 5;
    QTest::newRow("baud no value")
            << "baudrate unknown" << -1 << Kind::BaudRateReport << Field::Speed << -1;
    QTest::newRow("baud unlisted")
            << "baudrate 14400" << -1 << Kind::BaudRateReport << Field::Speed << -1;
    QTest::newRow("stop 1.5 reads as 1")
            << "stop bits 1.5" << -1 << Kind::StopBitsReport << Field::StopBits << 1;
    QTest::newRow("stop none") << "stop bits ?" << -1 << Kind::StopBitsReport << Field::StopBits
                               << -1;
    QTest::newRow("parity mark") << "parity mark" << -1 << Kind::ParityReport << Field::Parity << -1;
    QTest::newRow("parity odd even")
            << "parity even odd" << -1 << Kind::ParityReport << Field::Parity << 2;

    // Case-sensitive: other spellings hold no key word.
    QTest::newRow("OK") << "OK" << 0 << Kind::Unrecognised << Field::None << -1;
    QTest::newRow("ok") << "ok" << 0 << Kind::Unrecognised << Field::None << -1;
    QTest::newRow("Baudrate") << "Baudrate 9600" << -1 << Kind::Unrecognised << Field::None << -1;
    QTest::newRow("Parity") << "Parity none" << -1 << Kind::Unrecognised << Field::None << -1;
    QTest::newRow("Stop bits") << "Stop bits 1" << -1 << Kind::Unrecognised << Field::None << -1;
    QTest::newRow("empty") << "" << -1 << Kind::Unrecognised << Field::None << -1;
    QTest::newRow("stopbits") << "stopbits 1" << -1 << Kind::Unrecognised << Field::None << -1;

    // "Ok" and "?" outside the write steps name no field.
    QTest::newRow("Ok to a read") << "Ok" << -1 << Kind::Accepted << Field::None << -1;
    QTest::newRow("Ok past the last") << "Ok" << 3 << Kind::Accepted << Field::None << -1;
    QTest::newRow("Ok below the first") << "Ok" << -2 << Kind::Accepted << Field::None << -1;
    QTest::newRow("? past the last") << "?" << 3 << Kind::Rejected << Field::None << 0;
    QTest::newRow("? to a read") << "unknown command ?" << -1 << Kind::Rejected << Field::None << 0;
}

void TestProtocol::interpret()
{
    QFETCH(QString, reply);
    QFETCH(int, writeCommand);
    QFETCH(Kind, kind);
    QFETCH(Field, field);
    QFETCH(int, index);
    const Outcome o = ModuleProtocol::interpret(reply, writeCommand);
    QCOMPARE(int(o.kind), int(kind));
    QCOMPARE(int(o.field), int(field));
    // The table names a value by its item in the field (-1 and 0: none).
    QCOMPARE(o.value, index > 0 ? ModuleProtocol::valuesOf(field).at(index - 1) : QString());
}

void TestProtocol::everyValueSelectsItsItem()
{
    for (int i = 0; i < baudRates.size(); ++i)
        QCOMPARE(ModuleProtocol::interpret(QStringLiteral("baudrate ") + baudRates.at(i), 0).value,
                 baudRates.at(i));
    for (int i = 0; i < stopBitValues.size(); ++i)
        QCOMPARE(ModuleProtocol::interpret(QStringLiteral("stop bits ") + stopBitValues.at(i), 0)
                         .value,
                 stopBitValues.at(i));
    for (int i = 0; i < parityValues.size(); ++i)
        QCOMPARE(ModuleProtocol::interpret(QStringLiteral("parity ") + parityValues.at(i), 0).value,
                 parityValues.at(i));
    QCOMPARE(baudRates.size(), 10);
    QCOMPARE(stopBitValues.size(), 2);
    QCOMPARE(parityValues.size(), 3);
}

void TestProtocol::randomRepliesKeepTheRules()
{
    // Replies stitched from key words, their near misses, values and noise.
    const QStringList pieces = {
            QStringLiteral("Ok"),       QStringLiteral("ok"),   QStringLiteral("O"),
            QStringLiteral("k"),        QStringLiteral("baud"), QStringLiteral("rate"),
            QStringLiteral("baudrate"), QStringLiteral("stop"), QStringLiteral(" bits"),
            QStringLiteral("parity"),   QStringLiteral("?"),    QStringLiteral("module is working"),
            QStringLiteral("9600"),     QStringLiteral("1"),    QStringLiteral("2"),
            QStringLiteral("none"),     QStringLiteral("odd"),  QStringLiteral("even"),
            QStringLiteral(" "),        QStringLiteral("\r\n"), QStringLiteral("\x7f"),
            QStringLiteral("скорость")};
    QRandomGenerator random(20261207);
    for (int round = 0; round < 20000; ++round) {
        QString reply;
        const int length = random.bounded(8);
        for (int i = 0; i < length; ++i)
            reply += pieces.at(random.bounded(pieces.size()));
        const int writeCommand = random.bounded(-2, 5);
        const Outcome o = ModuleProtocol::interpret(reply, writeCommand);

        // Within a sequence, a read is only ever answered by reports, a
        // write never by one; whatever else the key words say is unrecognised.
        const Outcome read = ModuleProtocol::interpret(reply, Sequence::Read, writeCommand);
        const Outcome write = ModuleProtocol::interpret(reply, Sequence::Write, writeCommand);
        const bool isReport = o.kind == Kind::BaudRateReport || o.kind == Kind::StopBitsReport
                || o.kind == Kind::ParityReport;
        QCOMPARE(int(read.kind), int(isReport ? o.kind : Kind::Unrecognised));
        QCOMPARE(int(write.kind), int(isReport ? Kind::Unrecognised : o.kind));
        const auto has = [&](const char *k) {
            return reply.contains(QLatin1String(k));
        };
        const auto checkValue = [&](const QStringList &values) {
            for (const QString &value : values) {
                if (reply.contains(value)) {
                    QCOMPARE(o.value, value); // the first listed value found
                    return;
                }
            }
            QVERIFY(o.value.isEmpty());
        };
        switch (o.kind) {
        case Kind::Accepted:
            QVERIFY(has("Ok"));
            QCOMPARE(int(o.field), int(fieldOfWriteCommand(writeCommand)));
            QVERIFY(o.value.isEmpty());
            break;
        case Kind::BaudRateReport:
            QVERIFY(!has("Ok") && has("baudrate"));
            checkValue(baudRates);
            break;
        case Kind::StopBitsReport:
            QVERIFY(!has("Ok") && !has("baudrate") && has("stop bits"));
            checkValue(stopBitValues);
            break;
        case Kind::ParityReport:
            QVERIFY(!has("Ok") && !has("baudrate") && !has("stop bits") && has("parity"));
            checkValue(parityValues);
            break;
        case Kind::Rejected:
            QVERIFY(!has("Ok") && !has("baudrate") && !has("stop bits") && !has("parity"));
            QVERIFY(has("?"));
            QVERIFY(o.value.isEmpty());
            QCOMPARE(int(o.field), int(fieldOfWriteCommand(writeCommand)));
            break;
        case Kind::ModuleWorking:
            QVERIFY(!has("?") && has("module is working"));
            break;
        case Kind::Unrecognised:
            for (const char *k :
                 {"Ok", "baudrate", "stop bits", "parity", "?", "module is working"})
                QVERIFY2(!has(k), qPrintable(reply));
            break;
        }
    }
}

void TestProtocol::missingValuesAreNeverNamedAsValues_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("ru") << QStringLiteral("ru");
    QTest::newRow("en") << QStringLiteral("en");
}

// "parity none" read as a value once stood for "not confirmed": the words
// for a missing value hold no value of any field, in either language.
void TestProtocol::missingValuesAreNeverNamedAsValues()
{
    QFETCH(QString, language);
    QVERIFY(installTranslations(*QCoreApplication::instance(), language));
    const Field fields[] = {Field::Speed, Field::StopBits, Field::Parity};
    QSet<QString> anyValue;
    for (const Field f : fields) {
        for (const QString &v : valuesOf(f))
            anyValue.insert(v);
    }
    for (const auto told : {EngineWords::Told::Reported, EngineWords::Told::Confirmed}) {
        QSet<QString> said;
        for (int missing = 1; missing < 8; ++missing) {
            Values v;
            for (int i = 0; i < 3; ++i) {
                if (!(missing & (1 << i)))
                    v.set(fields[i], valuesOf(fields[i]).constLast());
            }
            const QString text = EngineWords::values(v, told);
            said.insert(text);
            const QStringList parts = missing == 7 ? QStringList {text, text, text}
                                                   : text.split(QStringLiteral(", "));
            QCOMPARE(parts.size(), 3);
            for (int i = 0; i < 3; ++i) {
                const QStringList words = parts.at(i).split(QLatin1Char(' '));
                const bool named = std::any_of(words.cbegin(), words.cend(),
                                               [&](const QString &w) { return anyValue.contains(w); });
                QVERIFY2(named == !(missing & (1 << i)), qPrintable(text));
            }
            QVERIFY2(text.contains(QRegularExpression(QStringLiteral("\\p{Cyrillic}")))
                             == (language == QLatin1String("ru")),
                     qPrintable(text));
        }
        QCOMPARE(said.size(), 7);
    }
}

QTEST_MAIN(TestProtocol)
#include "tst_protocol.moc"
