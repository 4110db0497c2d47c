// What a reply means: the decision table, fed with replies as modules word them.
#include "moduleprotocol.h"

#include <QtTest>

using namespace ModuleProtocol;

Q_DECLARE_METATYPE(ModuleProtocol::Kind)
Q_DECLARE_METATYPE(ModuleProtocol::Field)

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void interpret_data();
    void interpret();
    void everyValueSelectsItsItem();
    void writeStepNamesTheField();
    void commands();
};

void TestProtocol::interpret_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("writeStep");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Field>("field");
    QTest::addColumn<int>("index");

    // Undisturbed replies.
    QTest::newRow("banner") << "TAV-RS485-KT firmware 1.0\r\n" << 0 << Kind::Unrecognised << Field::None << -1;
    QTest::newRow("baud report") << "baudrate 9600\r\n" << 0 << Kind::BaudRateReport << Field::Speed << 4;
    QTest::newRow("stop report") << "stop bits 2" << 0 << Kind::StopBitsReport << Field::StopBits << 2;
    QTest::newRow("parity report") << "parity even" << 0 << Kind::ParityReport << Field::Parity << 3;
    QTest::newRow("ok baud") << "Ok\r\n" << 1 << Kind::Accepted << Field::Speed << -1;
    QTest::newRow("ok stop") << "Ok" << 2 << Kind::Accepted << Field::StopBits << -1;
    QTest::newRow("ok parity") << "Ok" << 3 << Kind::Accepted << Field::Parity << -1;
    QTest::newRow("working") << "module is working\r\n" << 4 << Kind::ModuleWorking << Field::None << -1;
    QTest::newRow("rejected stop") << "?" << 2 << Kind::Rejected << Field::StopBits << 0;

    // The first key word in test order wins, wherever it stands.
    QTest::newRow("Ok beats baudrate") << "baudrate 9600 Ok" << 1 << Kind::Accepted << Field::Speed << -1;
    QTest::newRow("baudrate beats parity") << "baudrate 9600 parity none" << 0 << Kind::BaudRateReport << Field::Speed << 4;
    QTest::newRow("parity beats ?") << "parity ?" << 0 << Kind::ParityReport << Field::Parity << -1;
    QTest::newRow("stop bits beats parity") << "parity odd, stop bits 1" << 0 << Kind::StopBitsReport << Field::StopBits << 1;
    QTest::newRow("? beats working") << "module is working?" << 4 << Kind::Rejected << Field::None << 0;
    QTest::newRow("Ok inside a word") << "Okay" << 2 << Kind::Accepted << Field::StopBits << -1;

    // Values in table order; none is a substring of another.
    QTest::newRow("stop 1 and 2") << "stop bits 2 (was 1)" << 0 << Kind::StopBitsReport << Field::StopBits << 1;
    QTest::newRow("115200") << "baudrate 115200" << 0 << Kind::BaudRateReport << Field::Speed << 8;
    QTest::newRow("19200") << "baudrate 19200" << 0 << Kind::BaudRateReport << Field::Speed << 5;
    QTest::newRow("baud no value") << "baudrate unknown" << 0 << Kind::BaudRateReport << Field::Speed << -1;
    QTest::newRow("baud unlisted") << "baudrate 14400" << 0 << Kind::BaudRateReport << Field::Speed << -1;
    QTest::newRow("stop 1.5 reads as 1") << "stop bits 1.5" << 0 << Kind::StopBitsReport << Field::StopBits << 1;
    QTest::newRow("stop none") << "stop bits ?" << 0 << Kind::StopBitsReport << Field::StopBits << -1;
    QTest::newRow("parity mark") << "parity mark" << 0 << Kind::ParityReport << Field::Parity << -1;
    QTest::newRow("parity odd even") << "parity even odd" << 0 << Kind::ParityReport << Field::Parity << 2;

    // Case-sensitive: other spellings hold no key word.
    QTest::newRow("OK") << "OK" << 1 << Kind::Unrecognised << Field::None << -1;
    QTest::newRow("ok") << "ok" << 1 << Kind::Unrecognised << Field::None << -1;
    QTest::newRow("Baudrate") << "Baudrate 9600" << 0 << Kind::Unrecognised << Field::None << -1;
    QTest::newRow("Parity") << "Parity none" << 0 << Kind::Unrecognised << Field::None << -1;
    QTest::newRow("Stop bits") << "Stop bits 1" << 0 << Kind::Unrecognised << Field::None << -1;
    QTest::newRow("empty") << "" << 0 << Kind::Unrecognised << Field::None << -1;
    QTest::newRow("stopbits") << "stopbits 1" << 0 << Kind::Unrecognised << Field::None << -1;

    // "Ok" and "?" outside the write steps name no field.
    QTest::newRow("Ok step 0") << "Ok" << 0 << Kind::Accepted << Field::None << -1;
    QTest::newRow("Ok step 4") << "Ok" << 4 << Kind::Accepted << Field::None << -1;
    QTest::newRow("Ok step -1") << "Ok" << -1 << Kind::Accepted << Field::None << -1;
    QTest::newRow("? step 4") << "?" << 4 << Kind::Rejected << Field::None << 0;
    QTest::newRow("? step 0") << "unknown command ?" << 0 << Kind::Rejected << Field::None << 0;
}

void TestProtocol::interpret()
{
    QFETCH(QString, reply);
    QFETCH(int, writeStep);
    QFETCH(Kind, kind);
    QFETCH(Field, field);
    QFETCH(int, index);
    const Outcome o = ModuleProtocol::interpret(reply, writeStep);
    QCOMPARE(int(o.kind), int(kind));
    QCOMPARE(int(o.field), int(field));
    QCOMPARE(o.index, index);
}

void TestProtocol::everyValueSelectsItsItem()
{
    for (int i = 0; i < baudRates.size(); ++i)
        QCOMPARE(ModuleProtocol::interpret(QStringLiteral("baudrate ") + baudRates.at(i), 0).index, i + 1);
    for (int i = 0; i < stopBitValues.size(); ++i)
        QCOMPARE(ModuleProtocol::interpret(QStringLiteral("stop bits ") + stopBitValues.at(i), 0).index, i + 1);
    for (int i = 0; i < parityValues.size(); ++i)
        QCOMPARE(ModuleProtocol::interpret(QStringLiteral("parity ") + parityValues.at(i), 0).index, i + 1);
    QCOMPARE(baudRates.size(), 10);
    QCOMPARE(stopBitValues.size(), 2);
    QCOMPARE(parityValues.size(), 3);
}

void TestProtocol::writeStepNamesTheField()
{
    QCOMPARE(int(fieldOfWriteStep(1)), int(Field::Speed));
    QCOMPARE(int(fieldOfWriteStep(2)), int(Field::StopBits));
    QCOMPARE(int(fieldOfWriteStep(3)), int(Field::Parity));
    for (int step : {-1, 0, 4, 5, 1000})
        QCOMPARE(int(fieldOfWriteStep(step)), int(Field::None));
}

void TestProtocol::commands()
{
    QCOMPARE(readCommands, (QStringList {QStringLiteral("-h"), QStringLiteral("-baudrate"),
                                         QStringLiteral("-stop bits"), QStringLiteral("-parity")}));
    QCOMPARE(baudRatePrefix.toUtf8(), QByteArray("-baudrate:"));
    QCOMPARE(stopBitsPrefix.toUtf8(), QByteArray("-stop bits:"));
    QCOMPARE(parityPrefix.toUtf8(), QByteArray("-parity:"));
    QCOMPARE(operatingModeCommand.toUtf8(), QByteArray("-st"));
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
