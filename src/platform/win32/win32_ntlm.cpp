#include "platform/win32/win32_ntlm.h"

#include <windows.h>
#define SECURITY_WIN32
#include <security.h>

#include <cstdio>

#include "platform/error.h"
#include "platform/network_messages.h"

namespace imptherm::win32 {
namespace {

char kPackage[] = "NTLM";

std::string Status(const char* step, SECURITY_STATUS status) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
  return messages::NtlmStepFailed(step, code);
}

// The largest message the package makes; tokens are sized by it.
unsigned long MaxToken() {
  PSecPkgInfoA info = nullptr;
  if (::QuerySecurityPackageInfoA(kPackage, &info) != SEC_E_OK || !info) return 0;
  const unsigned long size = info->cbMaxToken;
  ::FreeContextBuffer(info);
  return size;
}

class SspiContext final : public NtlmContext {
 public:
  explicit SspiContext(const std::optional<NtlmCredentials>& credentials) : maxToken_(MaxToken()) {
    if (maxToken_ == 0) throw PlatformError(messages::kNtlmNoPackage);
    SEC_WINNT_AUTH_IDENTITY_A identity{};
    std::string domain;
    if (credentials) {
      domain = credentials->domain;
      if (domain.empty()) {
        char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD size = sizeof name;
        if (::GetComputerNameA(name, &size)) domain.assign(name, size);
      }
      identity.User = reinterpret_cast<unsigned char*>(const_cast<char*>(credentials->user.c_str()));
      identity.UserLength = static_cast<unsigned long>(credentials->user.size());
      identity.Domain = reinterpret_cast<unsigned char*>(domain.data());
      identity.DomainLength = static_cast<unsigned long>(domain.size());
      identity.Password = reinterpret_cast<unsigned char*>(const_cast<char*>(credentials->password.c_str()));
      identity.PasswordLength = static_cast<unsigned long>(credentials->password.size());
      identity.Flags = SEC_WINNT_AUTH_IDENTITY_ANSI;
    }
    TimeStamp expiry;
    const SECURITY_STATUS status =
        ::AcquireCredentialsHandleA(nullptr, kPackage, SECPKG_CRED_OUTBOUND, nullptr, credentials ? &identity : nullptr,
                                    nullptr, nullptr, &credentials_, &expiry);
    if (status != SEC_E_OK) throw PlatformError(Status(messages::kNtlmCredentialsStep, status));
    haveCredentials_ = true;
  }

  ~SspiContext() override {
    if (haveContext_) ::DeleteSecurityContext(&context_);
    if (haveCredentials_) ::FreeCredentialsHandle(&credentials_);
  }

  std::string Negotiate() override { return Step(nullptr, messages::kNtlmNegotiateStep); }

  std::string Authenticate(std::string_view challenge) override {
    if (!haveContext_) throw PlatformError(messages::kNtlmChallengeFirst);
    return Step(&challenge, messages::kNtlmAnswerStep);
  }

 private:
  std::string Step(const std::string_view* challenge, const char* what) {
    std::string in(challenge ? *challenge : std::string_view());
    SecBuffer inBuffer{static_cast<unsigned long>(in.size()), SECBUFFER_TOKEN, in.data()};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 1, &inBuffer};
    std::string out(maxToken_, '\0');
    SecBuffer outBuffer{maxToken_, SECBUFFER_TOKEN, out.data()};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outBuffer};
    unsigned long attributes = 0;
    TimeStamp expiry;
    const SECURITY_STATUS status = ::InitializeSecurityContextA(
        &credentials_, haveContext_ ? &context_ : nullptr, nullptr, ISC_REQ_CONNECTION, 0, SECURITY_NATIVE_DREP,
        challenge ? &inDesc : nullptr, 0, &context_, &outDesc, &attributes, &expiry);
    if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) throw PlatformError(Status(what, status));
    haveContext_ = true;
    out.resize(outBuffer.cbBuffer);
    return out;
  }

  unsigned long maxToken_;
  CredHandle credentials_{};
  CtxtHandle context_{};
  bool haveCredentials_ = false;
  bool haveContext_ = false;
};

}  // namespace

bool Win32Ntlm::Available() { return MaxToken() != 0; }

std::unique_ptr<NtlmContext> Win32Ntlm::Start(const std::optional<NtlmCredentials>& credentials) {
  return std::make_unique<SspiContext>(credentials);
}

}  // namespace imptherm::win32
