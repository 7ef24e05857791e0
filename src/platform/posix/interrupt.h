#pragma once
#include <atomic>

namespace imptherm::posix {

// Ctrl-C (SIGINT) and SIGTERM ask the print run to stop. The handler only
// sets a flag and interrupts blocking calls; the places that wait for a
// device check the flag and raise RunAbandoned.
void InstallInterruptHandler();
// True after the signal, and on a thread whose own stop flag is set.
bool InterruptRequested();
// A stop flag of the calling thread alone (nullptr: none), for a host that
// stops one print run and not the program (the browser bridge's worker): a
// blocking call is woken by signalling the thread, and sees the flag.
void WatchThreadStopFlag(const std::atomic<bool>* flag);
// The flag as libcups' cancel argument reads it (httpConnect2): non-zero
// once an interrupt was asked for.
int* InterruptFlag();
// A socket that an interrupt shuts down (-1: none), so that a wait on it
// that nothing asks about the flag ends at once: libcups polls for a whole
// second after sending a request, and polls again when a signal breaks in.
void ShutDownOnInterrupt(int fd);
// Raises RunAbandoned when an interrupt was asked for.
void ThrowIfInterrupted();

}  // namespace imptherm::posix
