#ifndef TAV_INTERRUPT_H
#define TAV_INTERRUPT_H

// Ctrl+C and a termination request (SIGTERM, SIGHUP) only count here; the
// program looks at the count between event-loop passes, so that no command
// is left without its reply and every run prints its result. A reader that
// goes away (`| head`) never ends the program mid-write.
namespace Interrupt {
void install();
// How many stop requests have come so far.
int requests();
} // namespace Interrupt

#endif // TAV_INTERRUPT_H
