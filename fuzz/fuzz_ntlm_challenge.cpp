// NTLM challenge messages as a proxy may send them, and the answer to them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix/ntlm_messages.h"
#include "retrieval/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (auto challenge = imptherm::posix::ParseNtlmChallenge(input)) {
    imptherm::posix::NtlmIdentity who{"DOM", "user", "pw", "WS"};
    (void)imptherm::posix::NtlmAuthenticateMessage(*challenge, who, std::string(8, 'c'), 0);
  }
  if (auto decoded = imptherm::Base64Decode(input)) (void)imptherm::posix::ParseNtlmChallenge(*decoded);
  return 0;
}
