#ifndef TAV_INTERRUPT_H
#define TAV_INTERRUPT_H

// Ctrl+C (and, where there is one, a termination request) only sets a flag
// here; the program looks at it between steps, so that no command is left
// without its reply. A second Ctrl+C ends the program at once.
namespace Interrupt {
void install();
bool requested();
} // namespace Interrupt

#endif // TAV_INTERRUPT_H
