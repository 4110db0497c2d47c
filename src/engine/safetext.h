#ifndef TAV_SAFETEXT_H
#define TAV_SAFETEXT_H

#include <QByteArray>
#include <QString>

// Text that is not ours (a module's reply, a port's name, a file's error)
// made safe for a log line, a record cell or the status bar: a line break,
// a terminal escape or a reversal mark in it must not forge lines or turn a
// line around. Such characters are written by their code, \xNN or \uNNNN.
namespace SafeText {

bool isUnsafe(QChar c);
// `text` with every unsafe character as its code. With `ownBackslashes`, a
// backslash of the text is doubled, so that no code can be forged in it.
// With `maxChars`, it stops at that length and says so in `cut`.
QString escaped(const QString &text, bool ownBackslashes = false, int maxChars = -1,
                bool *cut = nullptr);
// Bytes as they went over the line: printable ASCII as it is, a backslash
// doubled, any other byte as \xNN.
QString escapedBytes(const QByteArray &bytes);

} // namespace SafeText

#endif // TAV_SAFETEXT_H
