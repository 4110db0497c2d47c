#include "progressline.h"

#include <QTextStream>

ProgressLine::ProgressLine(QTextStream &to, std::function<int()> columns)
    : to(to)
    , columns(std::move(columns))
{
}

void ProgressLine::show(const QString &text)
{
    const int now = columns ? columns() : 0;
    const int width = now > 1 ? now : 80;
    // A line as long as the terminal wraps (the Windows console at its last
    // column already), and "\r" would then go back to its last row only:
    // cut to fit, one column short.
    const QString line = text.left(width - 1);
    if (shown >= width) {
        // The terminal was narrowed under the last line, which now takes
        // more than one row: leave it and start on a fresh one.
        to << '\n';
        shown = 0;
    }
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
