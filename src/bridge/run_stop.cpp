#include "bridge/run_stop.h"

#include "platform/error.h"

namespace imptherm::bridge {
namespace {

void ThrowIfAsked(const StopAsked& stopAsked) {
  if (stopAsked()) throw RunAbandoned(kStopAsked);
}

class StoppableSerialPort final : public SerialPort {
 public:
  StoppableSerialPort(std::unique_ptr<SerialPort> inner, const StopAsked& stopAsked)
      : inner_(std::move(inner)), stopAsked_(stopAsked) {}
  // Read before every byte and in every wait for the printer.
  ModemLines ReadModemLines() override {
    ThrowIfAsked(stopAsked_);
    return inner_->ReadModemLines();
  }
  bool ClearErrorsTransmitFull() override { return inner_->ClearErrorsTransmitFull(); }
  std::size_t WriteByte(char byte) override { return inner_->WriteByte(byte); }
  void SetRts(bool on) override { inner_->SetRts(on); }

 private:
  std::unique_ptr<SerialPort> inner_;
  const StopAsked& stopAsked_;
};

class StoppablePortDevice final : public PortDevice {
 public:
  StoppablePortDevice(std::unique_ptr<PortDevice> inner, const StopAsked& stopAsked)
      : inner_(std::move(inner)), stopAsked_(stopAsked) {}
  WriteResult Write(const char* data, std::size_t size) override {
    ThrowIfAsked(stopAsked_);
    return inner_->Write(data, size);
  }

 private:
  std::unique_ptr<PortDevice> inner_;
  const StopAsked& stopAsked_;
};

}  // namespace

class StoppableNetwork::Tracked final : public Connection {
  StoppableNetwork& network_;
  std::unique_ptr<Connection> inner_;

  // What an aborted connection answers (the end of the data, a failure) is
  // the stop's doing.
  template <class Call>
  auto Checked(Call call) {
    ThrowIfAsked(network_.stopAsked_);
    try {
      auto result = call();
      ThrowIfAsked(network_.stopAsked_);
      return result;
    } catch (const PlatformError&) {
      ThrowIfAsked(network_.stopAsked_);
      throw;
    }
  }

 public:
  Tracked(StoppableNetwork& network, std::unique_ptr<Connection> inner) : network_(network), inner_(std::move(inner)) {
    std::lock_guard<std::mutex> lock(network_.mutex_);
    network_.open_.insert(this);
  }
  ~Tracked() override { Close(); }

  void Send(std::string_view bytes) override {
    Checked([&] {
      inner_->Send(bytes);
      return 0;
    });
  }
  std::ptrdiff_t Receive(char* buffer, std::size_t size, int limitMs) override {
    return Checked([&] { return inner_->Receive(buffer, size, limitMs); });
  }
  bool IsOpen() override { return inner_->IsOpen(); }
  void Close() override {
    std::lock_guard<std::mutex> lock(network_.mutex_);
    network_.open_.erase(this);
    inner_->Close();
  }
  void Abort() override { inner_->Abort(); }
};

std::unique_ptr<Connection> StoppableNetwork::Connect(const std::string& host, int port, int limitMs) {
  ThrowIfAsked(stopAsked_);
  return std::make_unique<Tracked>(*this, inner_.Connect(host, port, limitMs));
}

void StoppableNetwork::Interrupt() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Connection* c : open_) c->Abort();
}

std::unique_ptr<SerialPort> StoppableSerialPorts::Open(const std::string& portName, bool win9xFamily) {
  auto port = inner_.Open(portName, win9xFamily);
  return port ? std::make_unique<StoppableSerialPort>(std::move(port), stopAsked_) : nullptr;
}

std::unique_ptr<PortDevice> StoppablePortDevices::OpenForWriting(const std::string& name) {
  auto device = inner_.OpenForWriting(name);
  return device ? std::make_unique<StoppablePortDevice>(std::move(device), stopAsked_) : nullptr;
}

}  // namespace imptherm::bridge
