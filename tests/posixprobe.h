#ifndef TAV_POSIXPROBE_H
#define TAV_POSIXPROBE_H

#include <QDir>

#include <sys/resource.h>

// CPU time this process has used, user and system, in milliseconds.
inline qint64 cpuTimeMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) {
        return qint64(t.tv_sec) * 1000 + t.tv_usec / 1000;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

inline int openFileDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd"))
            .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
            .size();
}

#endif // TAV_POSIXPROBE_H
