// The peer's user on Windows: the TCP table names the process that owns the
// other end of the connection, and that process's token names its user.
#include <winsock2.h>
#include <ws2tcpip.h>
// after winsock2.h
#include <iphlpapi.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "base/owned_handle.h"
#include "base/parsed.h"
#include "bridge/peer_user.h"

namespace imptherm::bridge {
namespace {

std::string Failed(const std::string& what, DWORD error = ::GetLastError()) {
  return what + " (error " + std::to_string(error) + ")";
}

std::string Unknown(const std::string& why) {
  return "the user of the process at the other end cannot be learned (" + why + ")";
}

bool Same(const TcpEnd& end, const void* address, DWORD port) {
  return std::memcmp(end.address.data(), address, end.v6 ? 16 : 4) == 0 &&
         ::ntohs(static_cast<u_short>(port)) == end.port;
}

// The process that owns the connection whose own end is `own` and whose
// other end is `other` (0 when the table has it without an owner), or why
// the table tells none.
Parsed<DWORD> ConnectionOwner(const TcpEnd& own, const TcpEnd& other) {
  std::vector<unsigned char> table(16 * 1024);
  const ULONG family = own.v6 ? AF_INET6 : AF_INET;
  DWORD result = ERROR_INSUFFICIENT_BUFFER;
  // The table may grow between the call that sizes it and the next.
  for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    auto size = static_cast<DWORD>(table.size());
    result = ::GetExtendedTcpTable(table.data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
    if (result == ERROR_INSUFFICIENT_BUFFER) table.resize(size + 4096);
  }
  if (result != NO_ERROR) return ParseError{"the TCP table cannot be read (error " + std::to_string(result) + ")"};
  if (own.v6) {
    const auto* rows = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(table.data());
    for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
      const MIB_TCP6ROW_OWNER_PID& row = rows->table[i];
      if (Same(own, row.ucLocalAddr, row.dwLocalPort) && Same(other, row.ucRemoteAddr, row.dwRemotePort))
        return row.dwOwningPid;
    }
  } else {
    const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
    for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
      const MIB_TCPROW_OWNER_PID& row = rows->table[i];
      if (Same(own, &row.dwLocalAddr, row.dwLocalPort) && Same(other, &row.dwRemoteAddr, row.dwRemotePort))
        return row.dwOwningPid;
    }
  }
  return ParseError{"the TCP table has no such connection"};
}

// OpenProcess and OpenProcessToken fail with no handle at all.
struct ProcessHandleTraits {
  using Handle = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { ::CloseHandle(h); }
};
using Handle = OwnedHandle<ProcessHandleTraits>;

// The user (its security identifier, in a TOKEN_USER) of a process's token,
// or why the token tells none.
Parsed<std::vector<unsigned char>> UserOf(HANDLE process) {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY, &raw)) return ParseError{Failed("its token cannot be opened")};
  Handle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), ::TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> user(size);
  if (size == 0 || !::GetTokenInformation(token.get(), ::TokenUser, user.data(), size, &size))
    return ParseError{Failed("its token names no user")};
  return user;
}

bool UnderWine() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// An end as Linux's table of connections writes it: the address in 8 or 32
// hex digits, each 32-bit word as a number of the (little-endian) machine,
// a colon and the port in 4.
Parsed<TcpEnd> ParseLinuxEnd(const std::string& text, bool v6) {
  const std::size_t digits = v6 ? 32 : 8;
  if (text.size() != digits + 5 || text[digits] != ':' || !std::all_of(text.begin(), text.end(), [](char c) {
        return c == ':' || std::isxdigit(static_cast<unsigned char>(c));
      }))
    return ParseError{"not an address and port in hexadecimal: " + text};
  TcpEnd end;
  end.v6 = v6;
  for (std::size_t word = 0; word < digits / 8; ++word) {
    const unsigned long value = std::strtoul(text.substr(word * 8, 8).c_str(), nullptr, 16);
    for (std::size_t b = 0; b < 4; ++b) end.address[word * 4 + b] = static_cast<std::uint8_t>(value >> (8 * b));
  }
  end.port = static_cast<std::uint16_t>(std::strtoul(text.c_str() + digits + 1, nullptr, 16));
  return end;
}

// Wine names no owning process in its TCP table, for its own processes
// neither, and a Linux browser is no Windows process at all. The Linux
// kernel's own table, read through Wine's \\?\unix\ paths, names the user of
// both ends: the peer's socket and the bridge's own accepted one (held by
// Wine's server, which runs as the bridge's user).
std::string WhyNotSameLinuxUser(const TcpEnd& bridge, const TcpEnd& peer) {
  std::ifstream table(bridge.v6 ? R"(\\?\unix\proc\net\tcp6)" : R"(\\?\unix\proc\net\tcp)");
  if (!table) return Unknown("under Wine, and the Linux table of connections cannot be read");
  std::optional<unsigned long> theirs, ours;
  bool closed = false;
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream row(line);
    std::string slot, local, remote, skipped;
    unsigned long uid = 0, timeout = 0, inode = 0;
    if (!(row >> slot >> local >> remote >> skipped >> skipped >> skipped >> skipped >> uid >> timeout >> inode))
      continue;
    const Parsed<TcpEnd> from = ParseLinuxEnd(local, bridge.v6), to = ParseLinuxEnd(remote, bridge.v6);
    if (!from || !to) continue;
    if (*from == peer && *to == bridge) {
      theirs = uid;
      // Closed by its process, a socket may be kept as a bare record whose
      // owner reads as root.
      closed = inode == 0;
    }
    if (*from == bridge && *to == peer) ours = uid;
  }
  if (!theirs || !ours) return Unknown("under Wine, and the Linux table of connections has no such connection");
  if (closed) return Unknown("its process has closed its end");
  if (*theirs == *ours) return "";
  return "the process at the other end runs as another Linux user (uid " + std::to_string(*theirs) + ")";
}

}  // namespace

std::string WhyNotSameUserProcess(unsigned long pid) {
  Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) {
    const DWORD error = ::GetLastError();
    return Unknown(Failed("process " + std::to_string(pid) + " cannot be opened", error));
  }
  Parsed<std::vector<unsigned char>> theirs = UserOf(process.get());
  if (!theirs) return Unknown("process " + std::to_string(pid) + ": " + theirs.error());
  Parsed<std::vector<unsigned char>> ours = UserOf(::GetCurrentProcess());
  if (!ours) return Unknown("process " + std::to_string(pid) + ": " + ours.error());
  if (::EqualSid(reinterpret_cast<TOKEN_USER*>(theirs->data())->User.Sid,
                 reinterpret_cast<TOKEN_USER*>(ours->data())->User.Sid))
    return "";
  return "the process at the other end (process " + std::to_string(pid) + ") runs as another user";
}

std::string WhyNotSameUser(const TcpEnd& bridge, const TcpEnd& peer) {
  const Parsed<DWORD> pid = ConnectionOwner(peer, bridge);
  if (!pid) return Unknown(pid.error());
  if (*pid == 0 && UnderWine()) return WhyNotSameLinuxUser(bridge, peer);
  if (*pid == 0) return Unknown("the TCP table names no process for it");
  return WhyNotSameUserProcess(*pid);
}

}  // namespace imptherm::bridge
