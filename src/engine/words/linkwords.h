#ifndef TAV_LINKWORDS_H
#define TAV_LINKWORDS_H

#include "modulelink.h"
#include "networklink.h"
#include "seriallink.h"

#include <QString>

// What a technician is told about the link: what failed and what to do.
// The link itself reports typed problems; only here do they become words.
namespace LinkWords {

// What the one told is asked to do next, in the terms of the program that
// tells it: the window names its buttons, the command line what to run.
// Each is a clause that ends a sentence ("…и нажмите «Соединиться»."); the
// front ends make them.
struct Audience
{
    QString retry; // once the cause is put right
    QString findPorts; // where the ports' names are found
    QString connect; // no port is open
    QString stop; // to stop waiting for a reply
};

// What a technician is told, in Russian, under "Ошибка соединения": what
// failed and what to do. `systemText` is QSerialPort's own (English, from
// the system) and follows in brackets.
QString openFailureAdvice(SerialLink::OpenProblem problem, const QString &portName,
                          const QString &systemText, const Audience &audience);
QString noReplyAdvice(const QString &command);
// `advice`, then what the system said, as a sentence of its own.
QString withSystemText(const QString &advice, const QString &systemText);
QString linkLostAdvice(const QString &portName, const QString &systemText,
                       const Audience &audience);

// A port that could not be opened or was lost: the status line's short
// account (empty for a gateway, whose advice says it all), and the advice.
QString problemSummary(const ModuleLink::Problem &problem);
QString problemAdvice(const ModuleLink::Problem &problem, const Audience &audience);

// Port names as this system spells them, for help texts and hints:
// "ttyUSB0, /dev/serial/by-id/..." on Linux, "COM5, COM12" on Windows.
QString portNameExamples();
// A fixed adapter slot as this system names it.
QString slotExample();
// What to look at when an adapter does not show up as a port; empty where
// the system has nothing to add. On Windows, an adapter without its driver
// is listed in no port list at all.
QString noAdapterHint();

// What a gateway's `problem` means for the technician.
QString networkAdvice(NetworkLink::Problem problem, const PortAddress &address,
                      const QString &systemText, const Audience &audience);

} // namespace LinkWords

#endif // TAV_LINKWORDS_H
