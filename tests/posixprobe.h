#ifndef TAV_POSIXPROBE_H
#define TAV_POSIXPROBE_H

#include <QDir>
#include <QFile>

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

// AddressSanitizer keeps freed memory in quarantine (up to 256 MiB), so
// resident memory says nothing about the program's own growth there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool residentMemoryMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool residentMemoryMeaningful = false;
#else
constexpr bool residentMemoryMeaningful = true;
#endif
#else
constexpr bool residentMemoryMeaningful = true;
#endif

// Resident memory of this process, in bytes.
inline qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

#endif // TAV_POSIXPROBE_H
