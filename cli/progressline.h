#ifndef TAV_PROGRESSLINE_H
#define TAV_PROGRESSLINE_H

#include <QString>

#include <functional>

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
    // `columns` tells the terminal's width as it is now: a terminal can be
    // narrowed while a write runs.
    ProgressLine(QTextStream &to, std::function<int()> columns);
    void show(const QString &text);
    void clear();

private:
    QTextStream &to;
    std::function<int()> columns;
    int shown = 0;
};

#endif // TAV_PROGRESSLINE_H
