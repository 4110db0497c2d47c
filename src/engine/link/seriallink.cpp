#include "seriallink.h"

#include <QFileInfo>

void SerialLink::configurePort(QSerialPort &port, const QString &portName)
{
    port.setPortName(portName);
    port.setBaudRate(lineBaudRate, QSerialPort::AllDirections);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

SerialLink::OpenProblem SerialLink::openProblem(QSerialPort::SerialPortError error,
                                                const PortAddress &port)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return OpenProblem::NotFound;
    case QSerialPort::PermissionError: {
#ifdef Q_OS_UNIX
        // The same error stands for "no rights" and for a lock file held by
        // another program; the device's own permissions tell them apart.
        const QFileInfo device(port.devicePath());
        if (device.exists() && !(device.isReadable() && device.isWritable()))
            return OpenProblem::NoAccess;
#else
        Q_UNUSED(port)
#endif
        return OpenProblem::Busy;
    }
    default:
        return OpenProblem::Other;
    }
}

bool SerialLink::mayPassSoon(OpenProblem problem)
{
    return problem != OpenProblem::Other;
}

bool SerialLink::errorEndsLink(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::UnknownError:
        return true;
    case QSerialPort::NoError:
    case QSerialPort::NotOpenError: // close() of a closed port
    case QSerialPort::TimeoutError: // only from the blocking waits, never used here
    case QSerialPort::UnsupportedOperationError:
        return false;
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
        // Line faults, on a port that still works; gone from Qt 6.
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
    case QSerialPort::ParityError:
    case QSerialPort::FramingError:
    case QSerialPort::BreakConditionError:
        QT_WARNING_POP
        return false;
#endif
    }
    return true;
}
