#include "platform/posix/posix_ntlm.h"

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

#include "base/text.h"
#include "platform/error.h"
#include "platform/network_messages.h"
#include "platform/posix/ntlm_messages.h"

namespace imptherm::posix {
namespace {

// 100-nanosecond intervals since 1601, as NTLM counts time.
std::uint64_t FileTimeNow() {
  using namespace std::chrono;
  const auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
  return static_cast<std::uint64_t>(since1970) + 116444736000000000ULL;
}

std::string RandomBytes(std::size_t n) {
  std::random_device device;
  std::string bytes;
  for (std::size_t i = 0; i < n; ++i) bytes.push_back(static_cast<char>(device() & 0xFF));
  return bytes;
}

class PosixNtlmContext final : public NtlmContext {
 public:
  explicit PosixNtlmContext(NtlmIdentity who) : who_(std::move(who)) {}
  std::string Negotiate() override { return NtlmNegotiateMessage(); }
  std::string Authenticate(std::string_view message) override {
    auto challenge = ParseNtlmChallenge(message);
    if (!challenge) throw PlatformError(messages::kNtlmUnreadableChallenge);
    return NtlmAuthenticateMessage(*challenge, who_, RandomBytes(8), FileTimeNow());
  }

 private:
  NtlmIdentity who_;
};

}  // namespace

std::string ComputerName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "LOCALHOST";
  std::string n(name);
  return UpperAscii(n.substr(0, n.find('.')));
}

std::unique_ptr<NtlmContext> PosixNtlm::Start(const std::optional<NtlmCredentials>& credentials) {
  NtlmIdentity who;
  if (credentials) {
    who = {credentials->domain.empty() ? ComputerName() : credentials->domain, credentials->user, credentials->password,
           ""};
  } else {
    auto file = system_.GetEnv("NTLM_USER_FILE");
    if (!file || file->empty()) throw PlatformError(messages::kNtlmNoUserFile);
    std::ifstream in(*file, std::ios::binary);
    if (!in) throw PlatformError(messages::NtlmUnreadableUserFile(*file));
    std::ostringstream text;
    text << in.rdbuf();
    std::string login = system_.GetEnv("USER").value_or(system_.GetEnv("LOGNAME").value_or(""));
    auto found = FindNtlmUser(text.str(), login);
    if (!found) throw PlatformError(messages::NtlmNoUserIn(*file));
    who = *found;
  }
  who.workstation = ComputerName();
  return std::make_unique<PosixNtlmContext>(std::move(who));
}

}  // namespace imptherm::posix
