#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace imptherm {

// Credentials handed to the NTLM package. Without them the package uses the
// credentials of the person logged on.
struct NtlmCredentials {
  std::string domain;  // empty: the computer's own name
  std::string user;
  std::string password;
};

// One NTLM handshake: the negotiate message, then the answer to the
// challenge. Messages are the raw bytes, not base64. Raises PlatformError with
// a readable text when the package cannot go on (no credentials known, a
// challenge it cannot read).
class NtlmContext {
 public:
  virtual ~NtlmContext() = default;
  virtual std::string Negotiate() = 0;
  virtual std::string Authenticate(std::string_view challenge) = 0;
};

class Ntlm {
 public:
  virtual ~Ntlm() = default;
  // Whether the system offers NTLM at all.
  virtual bool Available() = 0;
  virtual std::unique_ptr<NtlmContext> Start(const std::optional<NtlmCredentials>& credentials) = 0;
};

}  // namespace imptherm
