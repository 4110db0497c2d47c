#ifndef TAV_CONSOLE_H
#define TAV_CONSOLE_H

#include <QString>

// The console the program runs in, which differs between systems.
//
// Stop requests (Ctrl+C; SIGTERM and SIGHUP on Linux; Ctrl+Break and a
// closed console window on Windows) only count here; the program looks at
// the count between event-loop passes, so that no command is left without
// its reply and every run prints its result. A reader that goes away
// (`| head`) never ends the program mid-write.
namespace Console {
// The same signal again within this long is the same request passed on
// twice (a terminal's Ctrl+C reaches `timeout` and the program, and
// `timeout` passes its own on): nobody presses a key twice that fast.
constexpr int repeatWithinMs = 80;
// Takes the stop requests, and makes a Windows console show the program's
// UTF-8 text as it is (it would read it in the OEM code page, 866 on a
// Russian Windows).
void install();
// How many stop requests have come so far.
int stopRequests();
// The ways to ask for a stop on this system, for the help text.
QString stopRequestNames();
// Columns of the terminal stderr writes to; 0 when it is a file, a pipe,
// or a terminal that cannot move back along a line (TERM=dumb).
int errorColumns();
} // namespace Console

#endif // TAV_CONSOLE_H
