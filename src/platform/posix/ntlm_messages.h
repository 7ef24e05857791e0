#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace imptherm::posix {

// The NTLMv2 message code of the POSIX backend. Byte strings throughout;
// names and passwords are Windows-1252 and go on the wire as UTF-16LE.

constexpr std::uint32_t kNtlmUnicode = 0x00000001;
constexpr std::uint32_t kNtlmOem = 0x00000002;
constexpr std::uint32_t kNtlmRequestTarget = 0x00000004;
constexpr std::uint32_t kNtlmNtlm = 0x00000200;
constexpr std::uint32_t kNtlmAlwaysSign = 0x00008000;
constexpr std::uint32_t kNtlmExtendedSecurity = 0x00080000;
constexpr std::uint32_t kNtlmTargetInfo = 0x00800000;
constexpr std::uint32_t kNtlm128 = 0x20000000;
constexpr std::uint32_t kNtlm56 = 0x80000000;
constexpr std::uint32_t kNtlmOfferedFlags = kNtlmUnicode | kNtlmOem | kNtlmRequestTarget | kNtlmNtlm | kNtlmAlwaysSign |
                                            kNtlmExtendedSecurity | kNtlm128 | kNtlm56;

std::string Utf16Le(std::string_view cp1252);
std::string UpperForNtlm(std::string_view cp1252);

// NTOWFv2: HMAC-MD5 keyed with MD4(password) over upper(user) + domain.
std::string NtOwfV2(std::string_view password, std::string_view user, std::string_view domain);

struct NtlmChallenge {
  std::uint32_t flags = 0;
  std::string serverChallenge;  // 8 bytes
  std::string targetInfo;       // the AV pairs, empty when absent or unreadable
  std::optional<std::uint64_t> timestamp;
};
// Reads a challenge message defensively: only the signature, the type, the
// flags and the server challenge are required; a target information block
// that does not lie inside the message is taken as absent.
std::optional<NtlmChallenge> ParseNtlmChallenge(std::string_view message);

struct NtlmV2Response {
  std::string ntProof;         // NTProofStr, 16 bytes
  std::string ntResponse;      // NTProofStr + the client blob
  std::string lmResponse;      // 24 bytes
  std::string sessionBaseKey;  // 16 bytes
};
NtlmV2Response ComputeNtlmV2(std::string_view responseKey, std::string_view serverChallenge,
                             std::string_view clientChallenge, std::uint64_t time, std::string_view targetInfo);

// 40 bytes: no domain or workstation, the version field present but zero.
std::string NtlmNegotiateMessage();

struct NtlmIdentity {
  std::string domain, user, password, workstation;
};
std::string NtlmAuthenticateMessage(const NtlmChallenge& challenge, const NtlmIdentity& who,
                                    std::string_view clientChallenge, std::uint64_t now);

// Lines "DOMAIN:USER:PASSWORD" (the password may hold colons); the entry
// for `user` (any letter case) or else the first one. Nothing when the text
// holds no entry.
std::optional<NtlmIdentity> FindNtlmUser(std::string_view fileText, std::string_view user);

}  // namespace imptherm::posix
