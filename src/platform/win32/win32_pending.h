#pragma once
// Backends this Windows build does not have yet. Each raises a plain
// PlatformError naming what is missing, so a print run that needs one ends
// with a contained error instead of doing something wrong. Each class is
// replaced by its real backend as that lands.
#include "platform/net.h"
#include "platform/ntlm.h"
#include "platform/profile.h"
#include "platform/proxy_dialog.h"

namespace imptherm::win32 {

class PendingNetwork final : public Network {
 public:
  std::unique_ptr<Connection> Connect(const std::string& host, int port) override;
};

class PendingNtlm final : public Ntlm {
 public:
  bool Available() override { return false; }
  std::unique_ptr<NtlmContext> Start(const std::optional<NtlmCredentials>& credentials) override;
};

class PendingProxyDialog final : public ProxyDialog {
 public:
  void Show(ProxyDialogFields& fields) override;
};

class PendingProfiles final : public ProfileFiles {
 public:
  std::string ReadString(const std::string& path, const std::string& section, const std::string& key) override;
  Entries ReadSection(const std::string& path, const std::string& section) override;
  bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                   const std::string& value) override;
  bool Flush(const std::string& path) override;
};

}  // namespace imptherm::win32
