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
  // `localTypes`: MIME types the scheduler knows besides its own (the
  // contents of a local.types file).
  explicit PrivateCups(const std::string& localTypes = "");
  ~PrivateCups();
  // Empty when the server runs; otherwise why it does not.
  const std::string& failure() const { return failure_; }
  // What CUPS_SERVER names to reach it.
  const std::string& server() const { return socket_; }
  bool AddQueue(const std::string& name);
  // A queue on another device: the ipp backend is there as well, and
  // `refuse:` fails every job it is given.
  bool AddQueue(const std::string& name, const std::string& uri, const std::string& model);
  std::string Captured(const std::string& queue) const;
  // Waits (bounded) until the queue's file holds at least `size` bytes.
  bool WaitForCapture(const std::string& queue, std::size_t size);
  bool Run(const std::vector<std::string>& argv);

 private:
  std::string dir_, socket_, failure_;
  std::unique_ptr<PeerProcess> cupsd_;
};

// A private LPrint printer application (run as lp, with its own home,
// state, spool and socket folder) on a TCP port of loopback, holding one
// EPL2 printer whose `file:` device writes each job into a folder.
class PrivateLPrint {
 public:
  explicit PrivateLPrint(const std::string& printer);
  ~PrivateLPrint();
  const std::string& failure() const { return failure_; }
  // What CUPS_SERVER names to reach it directly, and its printer's URI.
  std::string server() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string printerUri() const { return "ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/print/" + printer_; }
  // Every byte the device wrote since the last Clear.
  std::string Printed() const;
  void Clear();
  // Waits (bounded) until the device holds at least `size` bytes.
  bool WaitForPrinted(std::size_t size);

 private:
  std::string dir_, printer_, failure_;
  int port_ = 0;
  std::unique_ptr<PeerProcess> server_;
};

}  // namespace imptherm::peers
