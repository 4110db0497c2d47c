#include "platform.h"

#include <QFile>

bool Platform::openToAppend(QFile &file, const QString &path, QString *error)
{
    file.setFileName(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

QString Platform::deviceIdentity(const QString &portName)
{
    // A COM port's name is all that can be looked at without enumerating
    // every port; whether it is there is the port list's to tell.
    return portName;
}

Platform::DeviceClaim::~DeviceClaim() = default;

bool Platform::DeviceClaim::take(const QString &, QString *)
{
    return true; // a COM port opens once: the second open is refused as busy
}

void Platform::DeviceClaim::release() { }
