#include "platform/posix/interrupt.h"

#include <csignal>

#include "platform/error.h"

namespace imptherm::posix {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnSignal(int) { g_interrupted = 1; }

}  // namespace

void InstallInterruptHandler() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: blocking reads and writes return EINTR
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

bool InterruptRequested() { return g_interrupted != 0; }

void RequestInterrupt() { g_interrupted = 1; }

void ThrowIfInterrupted() {
  if (InterruptRequested()) throw RunAbandoned(kStopAsked);
}

}  // namespace imptherm::posix
