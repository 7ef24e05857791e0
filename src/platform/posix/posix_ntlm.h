#pragma once
#include <functional>
#include <string>

#include "platform/ntlm.h"
#include "platform/system.h"

namespace imptherm::posix {

// NTLMv2 without an operating system package. The logged-on user's
// credentials come from the file that NTLM_USER_FILE names (lines
// DOMAIN:USER:PASSWORD): the entry of the login name, or else the first.
class PosixNtlm final : public Ntlm {
 public:
  explicit PosixNtlm(System& system) : system_(system) {}
  bool Available() override { return true; }
  std::unique_ptr<NtlmContext> Start(const std::optional<NtlmCredentials>& credentials) override;

 private:
  System& system_;
};

// The computer's own name as NTLM shows it (upper case).
std::string ComputerName();

}  // namespace imptherm::posix
