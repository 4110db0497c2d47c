#ifndef TAV_SIMFIXTURE_H
#define TAV_SIMFIXTURE_H

#include "behaviours.h"
#include "modulesimulator.h"
#include "testsupport.h"

#include <QtTest>

#include <memory>

// A window whose port list the test controls (`ports`), one simulated module
// on a pseudo-terminal, and a watcher that closes every box. Test classes
// derive from it and call setUp() from init() and tearDown() from cleanup().
class WindowOnSimulator : public QObject
{
protected:
    // `withSimulatedPort`: whether the module's port is listed from the start.
    void setUp(bool withSimulatedPort, const QStringList &otherPorts = {})
    {
        sim = std::make_unique<ModuleSimulator>();
        QVERIFY2(sim->isValid(), qPrintable(sim->errorString()));
        makeWindow(withSimulatedPort ? otherPorts + QStringList {sim->portPath()} : otherPorts);
        boxes = std::make_unique<ModalWatcher>();
    }

    void tearDown()
    {
        hurry.reset();
        w.reset();
        sim.reset();
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        boxes.reset();
    }

    void makeWindow(const QStringList &initial)
    {
        ports = initial;
        hurry.reset();
        w = std::make_unique<MainWindow>(nullptr, [this] { return ports; });
        // The module's pauses (1.5 s after each "Ok") are the table's to
        // check; here they are cut short. A case about time turns this off.
        if (hurryPauses)
            hurry = std::make_unique<FastForward>(w.get(), std::function<bool()>(), false);
    }

    Ui_MainWindow &ui() { return MainWindowProbe::ui(*w); }

    std::unique_ptr<ModuleSimulator> sim;
    QStringList ports;
    std::unique_ptr<MainWindow> w;
    std::unique_ptr<ModalWatcher> boxes;
    std::unique_ptr<FastForward> hurry;
    bool hurryPauses = true;
};

#endif // TAV_SIMFIXTURE_H
