#include "platform/posix/interrupt.h"

#include <sys/socket.h>

#include <csignal>
#include <type_traits>

#include "platform/error.h"

namespace imptherm::posix {
namespace {

// An int, so that libcups can watch it as its cancel flag.
static_assert(std::is_same_v<std::sig_atomic_t, int>);
volatile std::sig_atomic_t g_interrupted = 0;

volatile std::sig_atomic_t g_socket = -1;

thread_local const std::atomic<bool>* t_stopFlag = nullptr;

// Only what is safe in a signal handler: a flag, and shutdown(2).
void Interrupt() {
  g_interrupted = 1;
  if (const int fd = g_socket; fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void OnSignal(int) { Interrupt(); }

}  // namespace

void InstallInterruptHandler() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: blocking reads and writes return EINTR
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

bool InterruptRequested() { return g_interrupted != 0 || (t_stopFlag && t_stopFlag->load()); }

void WatchThreadStopFlag(const std::atomic<bool>* flag) { t_stopFlag = flag; }

void ShutDownOnInterrupt(int fd) {
  g_socket = fd;
  if (fd >= 0 && g_interrupted) ::shutdown(fd, SHUT_RDWR);
}

int* InterruptFlag() { return const_cast<int*>(&g_interrupted); }

void ThrowIfInterrupted() {
  if (InterruptRequested()) throw RunAbandoned(kStopAsked);
}

}  // namespace imptherm::posix
