#ifndef TAV_PROGRESSLINE_H
#define TAV_PROGRESSLINE_H

#include <QString>

QT_BEGIN_NAMESPACE
class QTextStream;
QT_END_NAMESPACE

// One line of progress on a terminal, rewritten in place ("\r", then
// spaces over what is left of the last one), so a 9 s write is never
// silent. Only where a person watches: the program turns it on for a
// terminal's stderr and never for a file, a pipe or TERM=dumb. Anything
// else printed first calls clear(), so a result never shares a line with it.
class ProgressLine
{
public:
    ProgressLine(QTextStream &to, int columns);
    void show(const QString &text);
    void clear();

private:
    QTextStream &to;
    int columns;
    int shown = 0;
};

#endif // TAV_PROGRESSLINE_H
