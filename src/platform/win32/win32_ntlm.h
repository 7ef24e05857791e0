#pragma once
#include "platform/ntlm.h"

namespace imptherm::win32 {

// NTLM through the system's security package (SSPI). Without explicit
// credentials the package answers as the person logged on.
class Win32Ntlm final : public Ntlm {
 public:
  bool Available() override;
  std::unique_ptr<NtlmContext> Start(const std::optional<NtlmCredentials>& credentials) override;
};

}  // namespace imptherm::win32
