#include "platform/win32/win32_pending.h"

#include "platform/error.h"

namespace imptherm::win32 {
namespace {

[[noreturn]] void Missing(const char* what) {
  throw PlatformError(std::string(what) + " is not available in this Windows build yet");
}

}  // namespace

std::unique_ptr<Connection> PendingNetwork::Connect(const std::string&, int) { Missing("the network"); }
std::unique_ptr<NtlmContext> PendingNtlm::Start(const std::optional<NtlmCredentials>&) { Missing("NTLM"); }
void PendingProxyDialog::Show(ProxyDialogFields&) { Missing("the proxy credentials dialog"); }
std::string PendingProfiles::ReadString(const std::string&, const std::string&, const std::string&) {
  Missing("the printer configuration file");
}
ProfileFiles::Entries PendingProfiles::ReadSection(const std::string&, const std::string&) {
  Missing("the printer configuration file");
}
bool PendingProfiles::WriteString(const std::string&, const std::string&, const std::string&, const std::string&) {
  Missing("the printer configuration file");
}
bool PendingProfiles::Flush(const std::string&) { Missing("the printer configuration file"); }
}  // namespace imptherm::win32
