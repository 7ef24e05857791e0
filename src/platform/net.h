#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace imptherm {

// A connection that failed (refused, name unknown, reset). The message is
// readable as it stands and ends up in the error box and the run log.
class NetError : public PlatformError {
 public:
  using PlatformError::PlatformError;
};

// A time limit as the messages show it: "30 s", or "300 ms" when it is not
// a whole number of seconds.
inline std::string LimitText(int ms) {
  return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// One TCP connection, opened by Network::Connect.
class Connection {
 public:
  virtual ~Connection() = default;

  // Sends every byte; raises NetError when the connection fails.
  virtual void Send(std::string_view bytes) = 0;

  static constexpr std::ptrdiff_t kTimedOut = -1;
  static constexpr int kNoLimit = -1;
  // Receives at most `size` bytes. Returns how many came, 0 when the peer
  // closed its side, or kTimedOut when nothing came within `limitMs`
  // (kNoLimit waits as long as it takes). Raises NetError on a reset.
  virtual std::ptrdiff_t Receive(char* buffer, std::size_t size, int limitMs) = 0;

  // False once the peer has closed its side or the connection broke, as far
  // as can be told without waiting. Bytes that arrived unasked (which a kept
  // connection must not carry) also count as not usable.
  virtual bool IsOpen() = 0;
  virtual void Close() = 0;
  // Cuts the connection from another thread while this one may wait on it:
  // the wait ends at once, and the connection then reads as closed by the
  // peer (or fails). Close still frees it; the caller keeps Abort and Close
  // from running at the same time.
  virtual void Abort() = 0;
};

class Network {
 public:
  virtual ~Network() = default;
  // Opens a connection, giving up after `limitMs` for each address tried
  // (Connection::kNoLimit waits as long as the system does). Raises NetError,
  // also when the limit runs out.
  virtual std::unique_ptr<Connection> Connect(const std::string& host, int port, int limitMs) = 0;
};

}  // namespace imptherm
