#ifndef TAV_MODULESIMULATOR_H
#define TAV_MODULESIMULATOR_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <memory>

class QSocketNotifier;
class QTcpServer;
class QTemporaryDir;

// A TAV-RS485-KT module on the master side of a pseudo-terminal. Whatever
// opens the slave side (portPath()) talks to it as to a module behind a
// USB-serial adapter. Event-driven: it needs a running Qt event loop, no
// threads. Faults can be switched on to try the other end's robustness.
class ModuleSimulator : public QObject
{
    Q_OBJECT

public:
    struct Received
    {
        QByteArray command;
        qint64 atMs; // since the simulator was made
    };

    // How the module is reached: a pseudo-terminal, as behind a USB-serial
    // adapter; or a local TCP port, as behind a serial device server
    // (socket://127.0.0.1:N), which is also how it is reached on Windows.
    // Memory: no line at all; the test hands each command to answer() and
    // delivers the reply itself, when it chooses.
    enum class Line { PseudoTerminal, Tcp, Memory };
    // A pseudo-terminal where the system has them, unless TAV_SIM_LINE=tcp
    // asks for the line Windows has (to run a test as it runs there).
    static Line defaultLine();

    explicit ModuleSimulator(QObject *parent = nullptr, Line line = defaultLine());
    ~ModuleSimulator() override;

    bool isValid() const { return valid; }
    QString errorString() const { return error; }
    // The line settings the device has now, as whoever holds its other end
    // set them: "9600 8N1", with " RTS/CTS" when hardware flow control is on.
    QString lineSettings() const;
    // The port to open: a pseudo-terminal by a name no later device takes
    // (as udev names an adapter by its serial number), e.g.
    // "/tmp/tav-sim-Ab12Cd/ttyTAV-Ab12Cd", gone with the module; or
    // "socket://127.0.0.1:40123".
    QString portPath() const { return slavePath; }
    // A symlink at `path` to the device, replacing an older link there.
    bool makeLink(const QString &path);

    QString baudRate() const { return baud; }
    QString stopBits() const { return stop; }
    QString parity() const { return par; }
    bool isOperating() const { return operating; }
    void setSettings(const QString &baudRate, const QString &stopBits, const QString &parity);

    // A command ends at CR or LF, as a serial terminal sends it, instead of
    // at a quiet gap; replies then end with CR LF so that they show as lines.
    void setLineMode(bool on) { lineMode = on; }

    // Faults.
    void setReplyDelay(std::chrono::milliseconds delay) { replyDelay = delay; }
    void setSilent(bool silent) { this->silent = silent; }
    // Sends every reply in `pieces` parts with `pause` between them.
    void setSplitReplies(int pieces, std::chrono::milliseconds pause);
    // Answers "?" to every value command that starts with `prefix`, e.g. "-parity:".
    void rejectValues(const QByteArray &prefix) { rejectedPrefixes.append(prefix); }
    // Answers `command` with `reply`, whatever it is (garbage, NUL bytes...).
    void setReply(const QByteArray &command, const QByteArray &reply)
    {
        overrides.insert(command, reply);
    }
    void clearReply(const QByteArray &command) { overrides.remove(command); }
    // Back to a healthy module: no delay, silence, split, refusal or set reply.
    void clearFaults();
    // Bytes nobody asked for, now.
    void sendUnsolicited(const QByteArray &bytes) { writeOut(bytes); }
    // Streams `total` bytes of `pattern` as fast as the line takes them, as a
    // device at the wrong baud rate or a noisy line does; floodDone() follows.
    void flood(qint64 total, const QByteArray &pattern = QByteArrayLiteral("U"));
    qint64 floodSent() const { return flooded; }
    // Closes the line as an unplugged adapter does; nothing can be sent after.
    void vanish();
    bool hasVanished() const { return vanished; }

    QList<Received> received() const { return log; }
    QList<QByteArray> commands() const;
    QByteArray rawInput() const { return raw; }
    void clearLog();
    qint64 elapsedMs() const { return clock.elapsed(); }

    // The reply the module gives to `command` (and the state change it makes).
    QByteArray respond(const QByteArray &command);
    // `command` taken as if it came over the line (logged, commandReceived),
    // its reply returned instead of sent; empty while silent.
    QByteArray answer(const QByteArray &command);

signals:
    void commandReceived(const QByteArray &command);
    void replySent(const QByteArray &bytes);
    void floodDone();

private:
    void openPseudoTerminal();
    void listen();
    void onReadable();
    void receive(const char *bytes, qint64 size);
    void commandComplete();
    void takeCommand(const QByteArray &command);
    void scheduleReply(const QByteArray &reply);
    void writeOut(const QByteArray &bytes);
    void floodMore();
    QByteArray setValue(const QByteArray &command, const QByteArray &prefix,
                        const QStringList &allowed, QString &target);

    bool valid = false;
    int masterFd = -1;
    int slaveFd = -1;
    QTcpServer *server = nullptr;
    QPointer<QTcpSocket> client;
    QString slavePath;
    QString devicePath; // the pseudo-terminal's own, which the system hands on
    std::unique_ptr<QTemporaryDir> ownFolder;
    QString error;
    QString linkPath;
    QSocketNotifier *notifier = nullptr;
    QSocketNotifier *floodNotifier = nullptr;
    QByteArray floodChunk;
    qint64 floodLeft = 0;
    qint64 flooded = 0;
    QTimer quietTimer;
    QByteArray pending;
    QByteArray raw;
    QList<Received> log;
    QElapsedTimer clock;

    QString baud = QStringLiteral("9600");
    QString stop = QStringLiteral("1");
    QString par = QStringLiteral("none");
    bool operating = false;

    std::chrono::milliseconds replyDelay {0};
    std::chrono::milliseconds splitPause {0};
    int splitPieces = 1;
    bool silent = false;
    bool lineMode = false;
    bool vanished = false;
    QList<QByteArray> rejectedPrefixes;
    QHash<QByteArray, QByteArray> overrides;
};

#endif // TAV_MODULESIMULATOR_H
