#include "platform/posix/ntlm_messages.h"

#include <nettle/hmac.h>
#include <nettle/md4.h>

#include "base/cp1252.h"

namespace imptherm::posix {
namespace {

constexpr char kSignature[] = "NTLMSSP";  // with its NUL: 8 bytes

std::uint32_t Read32(std::string_view m, std::size_t at) {
  auto b = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(m[at + i])); };
  return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}
std::uint16_t Read16(std::string_view m, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(m[at]) | static_cast<unsigned char>(m[at + 1]) << 8);
}
void Put16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put64(std::string& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string HmacMd5(std::string_view key, std::string_view a, std::string_view b = {}) {
  hmac_md5_ctx ctx;
  hmac_md5_set_key(&ctx, key.size(), reinterpret_cast<const std::uint8_t*>(key.data()));
  hmac_md5_update(&ctx, a.size(), reinterpret_cast<const std::uint8_t*>(a.data()));
  hmac_md5_update(&ctx, b.size(), reinterpret_cast<const std::uint8_t*>(b.data()));
  std::string digest(MD5_DIGEST_SIZE, '\0');
  hmac_md5_digest(&ctx, digest.size(), reinterpret_cast<std::uint8_t*>(digest.data()));
  return digest;
}

std::vector<char32_t> CodePoints(std::string_view cp1252) {
  std::string utf8 = Cp1252ToUtf8(cp1252);
  std::vector<char32_t> cps;
  for (std::size_t pos = 0; pos < utf8.size();) {
    auto cp = DecodeUtf8(utf8, pos);
    if (!cp) {
      cps.push_back(0xFFFD);
      ++pos;
    } else {
      cps.push_back(*cp);
    }
  }
  return cps;
}

char32_t Upper(char32_t c) {
  if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  switch (c) {
    case 0xFF: return 0x178;
    case 0x161: return 0x160;
    case 0x153: return 0x152;
    case 0x17E: return 0x17D;
    default: return c;
  }
}

std::string Utf16Of(const std::vector<char32_t>& cps) {
  std::string out;
  for (char32_t c : cps) Put16(out, static_cast<std::uint16_t>(c));  // Windows-1252 stays in the BMP
  return out;
}

}  // namespace

std::string Utf16Le(std::string_view cp1252) { return Utf16Of(CodePoints(cp1252)); }

std::string UpperForNtlm(std::string_view cp1252) {
  std::vector<char32_t> cps = CodePoints(cp1252);
  for (char32_t& c : cps) c = Upper(c);
  return Utf16Of(cps);
}

std::string NtOwfV2(std::string_view password, std::string_view user, std::string_view domain) {
  const std::string unicodePassword = Utf16Le(password);
  md4_ctx md4;
  md4_init(&md4);
  md4_update(&md4, unicodePassword.size(), reinterpret_cast<const std::uint8_t*>(unicodePassword.data()));
  std::string hash(MD4_DIGEST_SIZE, '\0');
  md4_digest(&md4, hash.size(), reinterpret_cast<std::uint8_t*>(hash.data()));
  return HmacMd5(hash, UpperForNtlm(user), Utf16Le(domain));
}

std::optional<NtlmChallenge> ParseNtlmChallenge(std::string_view m) {
  if (m.size() < 32 || m.substr(0, 8) != std::string_view(kSignature, 8) || Read32(m, 8) != 2) return std::nullopt;
  NtlmChallenge c;
  c.flags = Read32(m, 20);
  c.serverChallenge = std::string(m.substr(24, 8));
  if (m.size() >= 48) {
    std::size_t length = Read16(m, 40);
    std::size_t offset = Read32(m, 44);
    if (length > 0 && offset >= 48 && offset <= m.size() && length <= m.size() - offset)
      c.targetInfo = std::string(m.substr(offset, length));
  }
  // Walk the pairs: a block that does not end properly is not trusted.
  std::string_view info = c.targetInfo;
  bool ended = false;
  while (info.size() >= 4) {
    std::uint16_t id = Read16(info, 0), len = Read16(info, 2);
    if (len > info.size() - 4) break;
    if (id == 0) {
      ended = true;
      break;
    }
    if (id == 7 && len == 8) {
      std::uint64_t t = Read32(info, 4) | static_cast<std::uint64_t>(Read32(info, 8)) << 32;
      c.timestamp = t;
    }
    info.remove_prefix(4 + len);
  }
  if (!ended) {
    c.targetInfo.clear();
    c.timestamp.reset();
  }
  return c;
}

NtlmV2Response ComputeNtlmV2(std::string_view responseKey, std::string_view serverChallenge,
                             std::string_view clientChallenge, std::uint64_t time, std::string_view targetInfo) {
  std::string blob("\x01\x01\0\0\0\0\0\0", 8);
  Put64(blob, time);
  blob.append(clientChallenge);
  blob.append(4, '\0');
  blob.append(targetInfo);
  blob.append(4, '\0');
  NtlmV2Response r;
  r.ntProof = HmacMd5(responseKey, serverChallenge, blob);
  r.ntResponse = r.ntProof + blob;
  r.lmResponse = HmacMd5(responseKey, serverChallenge, clientChallenge) + std::string(clientChallenge);
  r.sessionBaseKey = HmacMd5(responseKey, r.ntProof);
  return r;
}

std::string NtlmNegotiateMessage() {
  std::string m(kSignature, 8);
  Put32(m, 1);
  Put32(m, kNtlmOfferedFlags);
  m.append(16, '\0');  // domain and workstation fields: none supplied
  m.append(8, '\0');   // version, present for acceptors that insist on 40 bytes
  return m;
}

std::string NtlmAuthenticateMessage(const NtlmChallenge& challenge, const NtlmIdentity& who,
                                    std::string_view clientChallenge, std::uint64_t now) {
  const std::uint64_t time = challenge.timestamp.value_or(now);
  NtlmV2Response r = ComputeNtlmV2(NtOwfV2(who.password, who.user, who.domain), challenge.serverChallenge,
                                   clientChallenge, time, challenge.targetInfo);
  // With a server time stamp the LMv2 answer must be zeros.
  const std::string lm = challenge.timestamp ? std::string(24, '\0') : r.lmResponse;
  const std::string fields[] = {
      lm, r.ntResponse, Utf16Le(who.domain), Utf16Le(who.user), Utf16Le(who.workstation), std::string()};
  std::uint32_t flags = (challenge.flags & kNtlmOfferedFlags) | kNtlmUnicode | kNtlmNtlm;
  flags &= ~kNtlmOem;
  constexpr std::size_t kHeader = 72;  // fixed part plus a zero version field
  std::string m(kSignature, 8);
  Put32(m, 3);
  std::string payload;
  // Payload order: domain, user, workstation, LM, NT, session key.
  const int order[] = {2, 3, 4, 0, 1, 5};
  std::size_t offsets[6];
  for (int i : order) {
    offsets[i] = kHeader + payload.size();
    payload += fields[i];
  }
  for (int i = 0; i < 6; ++i) {
    Put16(m, static_cast<std::uint16_t>(fields[i].size()));
    Put16(m, static_cast<std::uint16_t>(fields[i].size()));
    Put32(m, static_cast<std::uint32_t>(offsets[i]));
  }
  Put32(m, flags);
  m.append(8, '\0');
  return m + payload;
}

std::optional<NtlmIdentity> FindNtlmUser(std::string_view text, std::string_view user) {
  std::optional<NtlmIdentity> first;
  auto lower = [](std::string_view s) {
    std::string out(s);
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
  };
  while (!text.empty()) {
    auto nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto c1 = line.find(':');
    auto c2 = c1 == std::string_view::npos ? c1 : line.find(':', c1 + 1);
    if (c2 == std::string_view::npos || line.empty() || line[0] == '#') continue;
    NtlmIdentity id{std::string(line.substr(0, c1)), std::string(line.substr(c1 + 1, c2 - c1 - 1)),
                    std::string(line.substr(c2 + 1)), ""};
    if (id.user.empty()) continue;
    if (!user.empty() && lower(id.user) == lower(user)) return id;
    if (!first) first = id;
  }
  return first;
}

}  // namespace imptherm::posix
