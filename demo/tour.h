#ifndef TAV_TOUR_H
#define TAV_TOUR_H

#include <QDir>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>

class MainWindow;
class ModuleSimulator;
class QMessageBox;
class QTimer;

// Drives the configurator as a user would, against the simulated module:
// search, read, choose new values, write, read again, and a module that
// stays silent. Saves a picture after every step and prints every status
// message with its time.
class Tour : public QObject
{
    Q_OBJECT

public:
    Tour(MainWindow &window, ModuleSimulator &module, const QDir &pictures);

    // Runs the whole tour; an empty result means the module ended up holding
    // the new values in operating mode, otherwise it names what went wrong.
    QString run();

private:
    bool waitFor(const std::function<bool()> &condition, int timeoutMs);
    void click(const char *button);
    bool statusSince(int mark, const QString &message) const;
    void choose(const char *field, const QString &value);
    QString text(const char *widget) const;
    bool fieldsShow(const QString &speed, const QString &stop, const QString &parity) const;
    void snap(const QString &name);
    void closeBoxesLikeAUser();
    void log(const QString &line) const;

    MainWindow &window;
    ModuleSimulator &module;
    QDir pictures;
    QElapsedTimer clock;
    int step = 0;
    QTimer *boxWatch = nullptr;
    QStringList boxesSeen;
    QStringList statuses;
};

#endif // TAV_TOUR_H
