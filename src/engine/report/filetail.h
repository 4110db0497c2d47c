#ifndef TAV_FILETAIL_H
#define TAV_FILETAIL_H

#include <QByteArray>
#include <QString>

// The end of a file that is appended to line by line (the log, the record).
// A write cut short by the system (a file-size limit, a full disk) leaves
// part of a line without its end, and Qt then reports "Unknown error".
class QFile;

namespace FileTail {

// Opens `path` for appending lines to it (Platform::openToAppend); false,
// with the reason in words, if it cannot.
bool openToAppend(QFile &file, const QString &path, QString *error);

// Whether the last byte of `path` ends a line; true for an empty file and
// for anything that is not a regular file (a pipe, a terminal), which
// cannot be read back.
bool endsWithLineEnd(const QString &path);

// After a write to `path` failed: closes a torn line with `lineEnd` where
// the file takes it. Returns why the write failed: the system's words if
// it refuses even that, what is known otherwise; `qtReason` where the
// line was not torn.
QString closeAfterFailure(const QString &path, const QByteArray &lineEnd, const QString &qtReason);

} // namespace FileTail

#endif // TAV_FILETAIL_H
