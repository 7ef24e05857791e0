// Our NTLMv2 messages against a real acceptor: gss-ntlmssp, reached through
// the system's GSSAPI library (loaded at run time, so the build needs no
// Kerberos headers). The acceptor takes its users from NTLM_USER_FILE.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "fakes/fake_platform.h"
#include "platform/error.h"
#include "platform/posix/posix_ntlm.h"

namespace imptherm {
namespace {

using Status = std::uint32_t;
struct Buffer {
  std::size_t length;
  void* value;
};
struct Oid {
  Status length;
  void* elements;
};
struct OidSet {
  std::size_t count;
  Oid* elements;
};
using AcquireCred = Status (*)(Status*, void*, Status, OidSet*, int, void**, void*, void*);
using AcceptContext = Status (*)(Status*, void**, void*, Buffer*, void*, void**, Oid**, Buffer*, Status*, Status*,
                                 void**);
using ReleaseBuffer = Status (*)(Status*, Buffer*);
using DeleteContext = Status (*)(Status*, void**, Buffer*);
using ReleaseCred = Status (*)(Status*, void**);

constexpr Status kComplete = 0;
constexpr Status kContinueNeeded = 1;
constexpr int kAccept = 2;

class Acceptor {
 public:
  Acceptor() {
    lib_ = ::dlopen("libgssapi_krb5.so.2", RTLD_NOW);
    if (!lib_) throw std::runtime_error("the GSSAPI library is missing (libgssapi-krb5-2)");
    acquire_ = reinterpret_cast<AcquireCred>(::dlsym(lib_, "gss_acquire_cred"));
    accept_ = reinterpret_cast<AcceptContext>(::dlsym(lib_, "gss_accept_sec_context"));
    release_ = reinterpret_cast<ReleaseBuffer>(::dlsym(lib_, "gss_release_buffer"));
    delete_ = reinterpret_cast<DeleteContext>(::dlsym(lib_, "gss_delete_sec_context"));
    releaseCred_ = reinterpret_cast<ReleaseCred>(::dlsym(lib_, "gss_release_cred"));
    static unsigned char ntlmssp[] = {0x2b, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x02, 0x0a};
    Oid oid{sizeof ntlmssp, ntlmssp};
    OidSet mechs{1, &oid};
    Status minor = 0;
    if (acquire_(&minor, nullptr, 0, &mechs, kAccept, &cred_, nullptr, nullptr) != kComplete)
      throw std::runtime_error("gss-ntlmssp gives no acceptor credentials (is the package installed?)");
  }
  ~Acceptor() {
    Status minor = 0;
    if (ctx_) delete_(&minor, &ctx_, nullptr);
    if (cred_) releaseCred_(&minor, &cred_);
    ::dlclose(lib_);
  }
  // One step: the token in, the acceptor's status and token out.
  Status Step(const std::string& token, std::string& reply) {
    Status minor = 0, flags = 0, time = 0;
    Buffer in{token.size(), const_cast<char*>(token.data())};
    Buffer out{0, nullptr};
    Status major = accept_(&minor, &ctx_, cred_, &in, nullptr, nullptr, nullptr, &out, &flags, &time, nullptr);
    reply.assign(static_cast<const char*>(out.value), out.length);
    release_(&minor, &out);
    return major;
  }

 private:
  void* lib_;
  AcquireCred acquire_;
  AcceptContext accept_;
  ReleaseBuffer release_;
  DeleteContext delete_;
  ReleaseCred releaseCred_;
  void* cred_ = nullptr;
  void* ctx_ = nullptr;
};

class NtlmAcceptorTest : public ::testing::Test {
 protected:
  NtlmAcceptorTest() {
    dir.Write("users", "CORP:jean:s3cret\n");
    ::setenv("NTLM_USER_FILE", (dir.path() + "users").c_str(), 1);
    ::setenv("LM_COMPAT_LEVEL", "5", 1);
    system.env["NTLM_USER_FILE"] = dir.path() + "users";
  }
  // Runs our handshake against a fresh acceptor; true when it accepts.
  bool Handshake(const std::optional<NtlmCredentials>& credentials) {
    Acceptor acceptor;
    auto context = ntlm.Start(credentials);
    std::string challenge, last;
    EXPECT_EQ(acceptor.Step(context->Negotiate(), challenge), kContinueNeeded);
    EXPECT_EQ(challenge.substr(0, 8), std::string("NTLMSSP\0", 8));
    return acceptor.Step(context->Authenticate(challenge), last) == kComplete;
  }
  fakes::TempDir dir;
  fakes::FakeSystem system;
  posix::PosixNtlm ntlm{system};
};

TEST_F(NtlmAcceptorTest, GivenCredentialsAreAccepted) {
  EXPECT_TRUE(Handshake(NtlmCredentials{"CORP", "jean", "s3cret"}));
}

TEST_F(NtlmAcceptorTest, LoggedOnCredentialsFromTheUserFileAreAccepted) { EXPECT_TRUE(Handshake(std::nullopt)); }

TEST_F(NtlmAcceptorTest, WrongPasswordIsRefused) { EXPECT_FALSE(Handshake(NtlmCredentials{"CORP", "jean", "wrong"})); }

}  // namespace
}  // namespace imptherm
