#include "progressline.h"

#include <QTextStream>

ProgressLine::ProgressLine(QTextStream &to, int columns)
    : to(to)
    , columns(columns > 1 ? columns : 80)
{
}

void ProgressLine::show(const QString &text)
{
    // A line longer than the terminal wraps, and "\r" would then go back
    // to its last row only: cut to fit.
    const QString line = text.left(columns - 1);
    to << '\r' << line;
    if (line.size() < shown)
        to << QString(shown - line.size(), QLatin1Char(' ')) << '\r' << line;
    to.flush();
    shown = int(line.size());
}

void ProgressLine::clear()
{
    if (shown == 0)
        return;
    to << '\r' << QString(shown, QLatin1Char(' ')) << '\r';
    to.flush();
    shown = 0;
}
