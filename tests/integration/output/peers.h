#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

namespace imptherm::peers {

// The full path of a program that a test needs as a peer; empty when it is
// not installed (the test then fails: a missing peer is never a skip).
std::string FindProgram(const std::string& name);

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

// Runs a program to its end within the limit; its exit status, or -1 when
// it could not be run or had to be killed.
int RunProgram(const std::vector<std::string>& argv, std::chrono::milliseconds limit = std::chrono::seconds(20));

// A peer running in the background, stopped (SIGTERM, then SIGKILL) with
// the object. Its output goes to `logPath`.
class PeerProcess {
 public:
  PeerProcess(const std::vector<std::string>& argv, const std::string& logPath);
  ~PeerProcess() { Stop(); }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;
  bool Running();
  void Stop();

 private:
  pid_t pid_ = -1;
};

// A cupsd of the test's own, on a unix socket in a private folder, with raw
// queues whose backend appends every job to a file per queue. libcups in
// this process (and the programs it runs) talk to it through CUPS_SERVER.
class PrivateCups {
 public:
  PrivateCups();
  ~PrivateCups();
  // Empty when the server runs; otherwise why it does not.
  const std::string& failure() const { return failure_; }
  bool AddQueue(const std::string& name);
  std::string Captured(const std::string& queue) const;
  // Waits (bounded) until the queue's file holds at least `size` bytes.
  bool WaitForCapture(const std::string& queue, std::size_t size);
  bool Run(const std::vector<std::string>& argv);

 private:
  std::string dir_, socket_, failure_;
  std::unique_ptr<PeerProcess> cupsd_;
};

}  // namespace imptherm::peers
