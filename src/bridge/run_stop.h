#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/net.h"
#include "platform/port.h"
#include "platform/serial.h"

namespace imptherm::bridge {

// Whether the run on the worker's thread was asked to stop.
using StopAsked = std::function<bool()>;

// The run's connections, cut short by a stop: the server's thread aborts
// every open one (Interrupt; another origin's kept connection is only opened
// again), so that a download that trickles or hangs ends at once, and any
// call on one after a stop raises RunAbandoned, so that the run ends as
// stopped rather than as a failed download.
class StoppableNetwork final : public Network {
 public:
  StoppableNetwork(Network& inner, StopAsked stopAsked) : inner_(inner), stopAsked_(std::move(stopAsked)) {}
  std::unique_ptr<Connection> Connect(const std::string& host, int port, int limitMs) override;
  // From any thread.
  void Interrupt();

 private:
  class Tracked;
  Network& inner_;
  StopAsked stopAsked_;
  std::mutex mutex_;
  std::set<Connection*> open_;  // guarded by mutex_, as is closing them
};

// A serial printer's waits and writes, and the writes to a port device, ask
// about a stop at every step: a port whose printer never gets ready holds
// the run no longer than the person wants.
class StoppableSerialPorts final : public SerialPorts {
 public:
  StoppableSerialPorts(SerialPorts& inner, StopAsked stopAsked) : inner_(inner), stopAsked_(std::move(stopAsked)) {}
  int OsKind() override { return inner_.OsKind(); }
  std::unique_ptr<SerialPort> Open(const std::string& portName, bool win9xFamily) override;
  void ProcessPendingEvents() override { inner_.ProcessPendingEvents(); }

 private:
  SerialPorts& inner_;
  StopAsked stopAsked_;
};

class StoppablePortDevices final : public PortDevices {
 public:
  StoppablePortDevices(PortDevices& inner, StopAsked stopAsked) : inner_(inner), stopAsked_(std::move(stopAsked)) {}
  std::unique_ptr<PortDevice> OpenForWriting(const std::string& name) override;

 private:
  PortDevices& inner_;
  StopAsked stopAsked_;
};

}  // namespace imptherm::bridge
