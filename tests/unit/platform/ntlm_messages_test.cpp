#include "platform/posix/ntlm_messages.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "platform/error.h"
#include "platform/posix/posix_ntlm.h"

namespace imptherm::posix {
namespace {

std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
  return out;
}
std::string Bytes(std::string_view hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return out;
}
std::uint32_t Word(std::string_view m, std::size_t at) {
  return static_cast<unsigned char>(m[at]) | static_cast<unsigned char>(m[at + 1]) << 8 |
         static_cast<unsigned char>(m[at + 2]) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(m[at + 3])) << 24;
}
// The payload a field header at `at` points to.
std::string Field(std::string_view m, std::size_t at) {
  std::size_t length = static_cast<unsigned char>(m[at]) | static_cast<unsigned char>(m[at + 1]) << 8;
  return std::string(m.substr(Word(m, at + 4), length));
}

// The example of the NTLM protocol documentation: user "User", domain
// "Domain", password "Password", server "Server", time 0, client challenge
// of 0xaa bytes, server challenge 0123456789abcdef.
const std::string kTargetInfo = Bytes(
    "02000c0044006f006d00610069006e00"
    "01000c00530065007200760065007200"
    "00000000");
const std::string kServerChallenge = Bytes("0123456789abcdef");
const std::string kClientChallenge(8, '\xAA');

TEST(NtlmV2Test, ReproducesThePublishedExample) {
  const std::string key = NtOwfV2("Password", "User", "Domain");
  EXPECT_EQ(Hex(key), "0c868a403bfd7a93a3001ef22ef02e3f");
  NtlmV2Response r = ComputeNtlmV2(key, kServerChallenge, kClientChallenge, 0, kTargetInfo);
  EXPECT_EQ(Hex(r.ntProof), "68cd0ab851e51c96aabc927bebef6a1c");
  EXPECT_EQ(Hex(r.lmResponse), "86c35097ac9cec102554764a57cccc19aaaaaaaaaaaaaaaa");
  EXPECT_EQ(Hex(r.sessionBaseKey), "8de40ccadbc14a82f15cb0ad0de95ca3");
  EXPECT_EQ(Hex(r.ntResponse),
            "68cd0ab851e51c96aabc927bebef6a1c"
            "0101000000000000"
            "0000000000000000"
            "aaaaaaaaaaaaaaaa"
            "00000000" +
                Hex(kTargetInfo) + "00000000");
  // The user name is upper-cased, the domain is not.
  EXPECT_EQ(NtOwfV2("Password", "user", "Domain"), key);
  EXPECT_NE(NtOwfV2("Password", "User", "DOMAIN"), key);
}

TEST(NtlmV2Test, PublishedChallengeIsReadAndAnsweredWithThePublishedResponses) {
  const std::string challenge = Bytes(
                                    "4e544c4d53535000"
                                    "02000000"
                                    "0c000c0038000000"
                                    "33828ae2"
                                    "0123456789abcdef"
                                    "0000000000000000"
                                    "2400240044000000"
                                    "060070170000000f") +
                                Bytes("530065007200760065007200") + kTargetInfo;
  auto parsed = ParseNtlmChallenge(challenge);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->flags, 0xe28a8233u);
  EXPECT_EQ(parsed->serverChallenge, kServerChallenge);
  EXPECT_EQ(parsed->targetInfo, kTargetInfo);
  EXPECT_FALSE(parsed->timestamp);

  const std::string m =
      NtlmAuthenticateMessage(*parsed, {"Domain", "User", "Password", "COMPUTER"}, kClientChallenge, 0);
  EXPECT_EQ(m.substr(0, 12), Bytes("4e544c4d5353500003000000"));
  EXPECT_EQ(Hex(Field(m, 12)), "86c35097ac9cec102554764a57cccc19aaaaaaaaaaaaaaaa");
  EXPECT_EQ(Hex(Field(m, 20)).substr(0, 32), "68cd0ab851e51c96aabc927bebef6a1c");
  EXPECT_EQ(Field(m, 28), Utf16Le("Domain"));
  EXPECT_EQ(Field(m, 36), Utf16Le("User"));
  EXPECT_EQ(Field(m, 44), Utf16Le("COMPUTER"));
  EXPECT_EQ(Field(m, 52), "");
  EXPECT_TRUE(Word(m, 60) & kNtlmUnicode);
  EXPECT_FALSE(Word(m, 60) & 0x02000000u);  // no version flag: the version field stays zero
  EXPECT_FALSE(Word(m, 60) & 0x40000000u);  // no key exchange: no session key is sent
}

TEST(NtlmV2Test, ServerTimeStampIsUsedAndTheLmAnswerIsZero) {
  NtlmChallenge c;
  c.serverChallenge = kServerChallenge;
  c.targetInfo = Bytes("07000800") + Bytes("0102030405060708") + Bytes("00000000");
  c.timestamp = 0x0807060504030201ULL;
  const std::string m = NtlmAuthenticateMessage(c, {"D", "U", "P", "W"}, kClientChallenge, 42);
  EXPECT_EQ(Field(m, 12), std::string(24, '\0'));
  EXPECT_EQ(Field(m, 20).substr(24, 8), Bytes("0102030405060708"));
}

TEST(NtlmChallengeTest, MalformedChallengesAreReadDefensively) {
  // What squid's fake helper sends: 49 bytes, a target name offset far
  // outside the message, no target information.
  std::string fake = Bytes(
                         "4e544c4d53535000"
                         "02000000"
                         "0400040000ff0000"
                         "05820000"
                         "1122334455667788"
                         "0000000000000000"
                         "0000000000000000") +
                     "x";
  ASSERT_EQ(fake.size(), 49u);
  auto parsed = ParseNtlmChallenge(fake);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->serverChallenge, Bytes("1122334455667788"));
  EXPECT_TRUE(parsed->targetInfo.empty());

  std::string outside = fake.substr(0, 40) +
                        Bytes(
                            "ffff0000"
                            "30000000") +
                        std::string(8, '\0');
  EXPECT_TRUE(ParseNtlmChallenge(outside)->targetInfo.empty());
  std::string unterminated =
      fake.substr(0, 40) + Bytes("0800080038000000") + std::string(8, '\0') + Bytes("0200ff00aaaaaaaa");
  EXPECT_TRUE(ParseNtlmChallenge(unterminated)->targetInfo.empty());

  EXPECT_FALSE(ParseNtlmChallenge(fake.substr(0, 31)));
  EXPECT_FALSE(ParseNtlmChallenge("NTLMSSP"));
  std::string type3 = fake;
  type3[8] = 3;
  EXPECT_FALSE(ParseNtlmChallenge(type3));
}

TEST(NtlmNegotiateTest, FortyBytesWithoutTheVersionFlag) {
  const std::string m = NtlmNegotiateMessage();
  EXPECT_EQ(m.size(), 40u);
  EXPECT_EQ(m.substr(0, 12), Bytes("4e544c4d5353500001000000"));
  EXPECT_EQ(Word(m, 12), kNtlmOfferedFlags);
  EXPECT_FALSE(Word(m, 12) & 0x02000000u);
}

TEST(NtlmUserFileTest, TheLoginNamesEntryOrTheFirst) {
  const std::string file = "# comment\r\nbad line\nCORP:alice:pa:ss\nCORP:Bob:secret\r\n";
  auto bob = FindNtlmUser(file, "bob");
  ASSERT_TRUE(bob);
  EXPECT_EQ(bob->domain, "CORP");
  EXPECT_EQ(bob->password, "secret");
  auto other = FindNtlmUser(file, "nobody");
  ASSERT_TRUE(other);
  EXPECT_EQ(other->user, "alice");
  EXPECT_EQ(other->password, "pa:ss");
  EXPECT_FALSE(FindNtlmUser("nothing here\n", "x"));
}

TEST(PosixNtlmTest, LoggedOnCredentialsNeedTheUserFile) {
  fakes::FakeSystem system;
  PosixNtlm ntlm(system);
  try {
    ntlm.Start(std::nullopt);
    ADD_FAILURE() << "no credentials file, yet NTLM started";
  } catch (const PlatformError& e) {
    EXPECT_NE(std::string(e.what()).find("NTLM_USER_FILE"), std::string::npos);
  }
  fakes::TempDir dir;
  system.env["NTLM_USER_FILE"] = dir.path() + "missing";
  EXPECT_THROW(ntlm.Start(std::nullopt), PlatformError);
  dir.Write("users", "CORP:me:pw\n");
  system.env["NTLM_USER_FILE"] = dir.path() + "users";
  auto context = ntlm.Start(std::nullopt);
  EXPECT_EQ(context->Negotiate(), NtlmNegotiateMessage());
  EXPECT_THROW(context->Authenticate("not a challenge"), PlatformError);
}

}  // namespace
}  // namespace imptherm::posix
