// Linked into every test program: its settings live in a folder of its own,
// made for the run and removed after it, on every system (the registry on
// Windows included). Ports a technician added on this machine never show
// in a test's lists, and no test leaves any behind.
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtGlobal>

namespace {
QTemporaryDir &settingsFolder()
{
    static QTemporaryDir folder;
    return folder;
}

void isolateSettings()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsFolder().path());
}
} // namespace

Q_CONSTRUCTOR_FUNCTION(isolateSettings)
