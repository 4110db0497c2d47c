#include "seriallink.h"

QString SerialLink::decodeReply(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
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
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
    case QSerialPort::ParityError:
    case QSerialPort::FramingError:
    case QSerialPort::BreakConditionError:
        QT_WARNING_POP
        return false;
    }
    return true;
}
