#include "filetail.h"

#include "enginewords.h"
#include "platform.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

bool FileTail::openToAppend(QFile &file, const QString &path, QString *error)
{
    Platform::AppendProblem problem;
    if (Platform::openToAppend(file, path, &problem))
        return true;
    if (error)
        *error = EngineWords::appendProblem(problem);
    return false;
}

bool FileTail::endsWithLineEnd(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return true;
    QFile existing(path);
    if (!existing.open(QIODevice::ReadOnly) || existing.size() == 0)
        return true;
    char last = 0;
    return existing.seek(existing.size() - 1) && existing.getChar(&last) && last == '\n';
}

QString FileTail::closeAfterFailure(const QString &path, const QByteArray &lineEnd,
                                    const QString &qtReason)
{
    if (endsWithLineEnd(path))
        return qtReason;
    // The next write tells what the short one did not: a file-size limit
    // answers it with "File too large".
    QFile tail(path);
    if (!tail.open(QIODevice::Append))
        return tail.errorString();
    if (tail.write(lineEnd) != lineEnd.size() || !tail.flush())
        return tail.errorString();
    return QCoreApplication::translate("FileTail",
                                       "файл принял только часть строки (она закрыта переводом "
                                       "строки); причину система не сообщила");
}
