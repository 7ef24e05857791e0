// Checks of the Win32 network and profile backends, run under Wine: the
// connections meet a real listening socket on the loopback interface, the
// profile functions real files in the temporary folder.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>

#include "../cases/profile_file_cases.h"
#include "bridge/peer_user.h"
#include "checks.h"
#include "labels/printer_config.h"
#include "platform/error.h"
#include "platform/win32/win32_network.h"
#include "platform/win32/win32_ntlm.h"
#include "platform/win32/win32_profiles.h"
#include "platform/win32/win32_system.h"

using namespace imptherm;
using namespace imptherm::win32;

namespace {

// The message of the NetError `f` raises; empty when it raises none.
std::string NetErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const NetError& e) {
    return e.what();
  }
  return {};
}

// A second thread running `body`, waited for by Join (this toolchain's
// runtime has no std::thread).
class Thread {
 public:
  explicit Thread(std::function<void()> body) : body_(std::move(body)) {
    handle_ = ::CreateThread(nullptr, 0, &Thread::Run, this, 0, nullptr);
  }
  ~Thread() { Join(); }
  void Join() {
    if (!handle_) return;
    ::WaitForSingleObject(handle_, 30000);
    ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<Thread*>(self)->body_();
    return 0;
  }
  std::function<void()> body_;
  HANDLE handle_ = nullptr;
};

// A listening socket on 127.0.0.1 with a port the system picks.
struct Listener {
  SOCKET s = INVALID_SOCKET;
  int port = 0;
  explicit Listener(int backlog = 4) {
    s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(s, backlog);
    int len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
  }
  ~Listener() { ::closesocket(s); }
  SOCKET Accept() const { return ::accept(s, nullptr, nullptr); }
};

void CheckNetwork() {
  Win32Network net;
  Listener listener;

  // Everything sent arrives, in order, however large; the peer's answer and
  // its close come back through Receive.
  const std::size_t total = 3 * 1024 * 1024 + 17;
  std::string payload(total, '\0');
  for (std::size_t i = 0; i < total; ++i) payload[i] = static_cast<char>(i * 7 + i / 251);
  std::string received;
  bool answered = false;
  SOCKET peer = INVALID_SOCKET;
  HANDLE go = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
  Thread server([&] {
    peer = listener.Accept();
    char buf[65536];
    while (received.size() < total) {
      int n = ::recv(peer, buf, sizeof buf, 0);
      if (n <= 0) break;
      received.append(buf, static_cast<std::size_t>(n));
    }
    ::WaitForSingleObject(go, 10000);
    answered = ::send(peer, "OK", 2, 0) == 2;
    ::WaitForSingleObject(go, 10000);
    ::send(peer, "X", 1, 0);
    ::WaitForSingleObject(go, 10000);
    ::closesocket(peer);
  });

  auto c = net.Connect("127.0.0.1", listener.port, Connection::kNoLimit);
  c->Send(payload);
  char buf[16];
  // Nothing is sent back until asked: the limit runs out.
  const DWORD before = ::GetTickCount();
  CheckEq(c->Receive(buf, sizeof buf, 300), Connection::kTimedOut, "a silent peer times out");
  Check(::GetTickCount() - before >= 250, "the time limit is waited out");
  Check(c->IsOpen(), "a quiet connection is open");
  ::SetEvent(go);
  CheckEq(c->Receive(buf, sizeof buf, 5000), 2, "the answer arrives within the limit");
  CheckEq(std::string(buf, 2), "OK", "the answer's bytes");
  ::SetEvent(go);
  ::Sleep(200);
  Check(!c->IsOpen(), "a byte nobody asked for makes the connection unusable");
  CheckEq(c->Receive(buf, sizeof buf, Connection::kNoLimit), 1, "the unasked byte can still be read");
  ::SetEvent(go);
  // A reset would raise instead; Wine reads a reset as the end too (recv
  // answers 0 and no error is left to ask for), so that is not checked here.
  CheckEq(c->Receive(buf, sizeof buf, Connection::kNoLimit), 0, "a closed peer reads as the end");
  Check(!c->IsOpen(), "a closed peer is not open");
  server.Join();
  ::CloseHandle(go);
  Check(received == payload, "every byte sent arrives in order");
  Check(answered, "the peer could answer");
  c->Close();
  Check(!c->IsOpen(), "a closed connection is not open");
  c->Close();

  // A wait for a silent peer, cut short from another thread.
  auto quiet = net.Connect("127.0.0.1", listener.port, Connection::kNoLimit);
  const SOCKET silent = listener.Accept();
  Thread stopper([&] {
    ::Sleep(200);
    quiet->Abort();
  });
  const DWORD waiting = ::GetTickCount();
  CheckEq(quiet->Receive(buf, sizeof buf, Connection::kNoLimit), 0, "an aborted wait reads as the end");
  Check(::GetTickCount() - waiting < 1000, "Abort ends the wait at once");
  Check(!quiet->IsOpen(), "an aborted connection is not open");
  stopper.Join();
  ::closesocket(silent);

  // Connecting has a limit: a listener whose queue is full never answers.
  {
    Listener full(0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<u_short>(full.port));
    SOCKET waiting = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ::connect(waiting, reinterpret_cast<sockaddr*>(&a), sizeof a);
    const DWORD start = ::GetTickCount();
    std::string late = NetErrorOf([&] { net.Connect("127.0.0.1", full.port, 300); });
    const DWORD spent = ::GetTickCount() - start;
    CheckEq(late, "Connexion impossible \xE0 127.0.0.1:" + std::to_string(full.port) + " : pas de r\xE9ponse en 300 ms",
            "a connection nobody answers");
    Check(spent >= 250 && spent < 3000, "the connect limit is waited out: " + std::to_string(spent) + " ms");
    ::closesocket(waiting);
  }

  // Names are resolved.
  {
    Thread accept([&] { ::closesocket(listener.Accept()); });
    auto byName = net.Connect("localhost", listener.port, Connection::kNoLimit);
    accept.Join();
    Check(byName != nullptr, "localhost resolves and connects");
  }

  // Failures are NetErrors with readable messages naming the peer.
  int freePort = 0;
  {
    Listener closed;
    freePort = closed.port;
  }
  std::string refused = NetErrorOf([&] { net.Connect("127.0.0.1", freePort, Connection::kNoLimit); });
  CheckEq(refused.rfind("Connexion impossible \xE0 127.0.0.1:" + std::to_string(freePort) + " : ", 0), 0u,
          "a refused connection: " + refused);
  std::string unknown = NetErrorOf([&] { net.Connect("no-such-host.invalid", 80, Connection::kNoLimit); });
  CheckEq(unknown.rfind("H\xF4te inconnu : no-such-host.invalid (", 0), 0u, "an unknown host: " + unknown);
  CheckEq(NetErrorOf([&] { net.Connect("127.0.0.1", 0, Connection::kNoLimit); }), "Port incorrect : 127.0.0.1:0",
          "port 0");
  CheckEq(NetErrorOf([&] { net.Connect("127.0.0.1", 70000, Connection::kNoLimit); }),
          "Port incorrect : 127.0.0.1:70000", "port 70000");
}

std::string TempFolder() {
  char temp[MAX_PATH + 1] = {};
  ::GetTempPathA(sizeof temp, temp);
  return temp;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  std::fclose(f);
  return bytes;
}

void CheckProfiles() {
  Win32Profiles profiles;
  const std::string dir = TempFolder() + "imptherm-profiles\\";
  ::CreateDirectoryA(dir.c_str(), nullptr);
  const std::string path = dir + "printers.ini";
  ::DeleteFileA(path.c_str());

  Check(!profiles.Flush(path), "a missing file is not flushed");

  // The table the POSIX backend runs too; each case has a file of its own,
  // so that Wine's cache of the last file never answers for another.
  int n = 0;
  for (const auto& c : cases::kProfileFileCases) {
    const std::string file = dir + "case" + std::to_string(++n) + ".ini";
    ::DeleteFileA(file.c_str());
    if (c.before) WriteFile(file, c.before);
    std::string got;
    if (c.write) {
      Check(profiles.WriteString(file, c.section, c.key, c.write) && profiles.Flush(file),
            std::string(c.name) + ": written");
      got = ReadFile(file);
    } else if (c.key) {
      got = profiles.ReadString(file, c.section, c.key);
    } else {
      for (const auto& [key, value] : profiles.ReadSection(file, c.section)) got += key + "=" + value + "\n";
    }
    CheckEq(got, std::string(c.wine ? c.wine : c.expected), c.name);
  }
  // A value longer than the first buffer comes whole.
  const std::string longValue(10000, 'q');
  Check(profiles.WriteString(path, "Long", "V", longValue), "a long value is written");
  CheckEq(profiles.ReadString(path, "Long", "V").size(), longValue.size(), "a long value reads back whole");
  CheckEq(profiles.ReadSection(path, "Long").at(0).second.size(), longValue.size(), "a long section reads whole");

  // A file that cannot be written: a folder stands where it should be.
  const std::string blocked = dir + "blocked.ini";
  ::CreateDirectoryA(blocked.c_str(), nullptr);
  Check(!profiles.WriteString(blocked, "S", "K", "V"), "writing where a folder stands fails");
  Check(!profiles.Flush(blocked), "a folder is not a flushed file");
  Check(!profiles.WriteString(dir + "no-folder\\x.ini", "S", "K", "V"), "writing into a missing folder fails");

  // The printer configuration: written with its defaults on first use, and
  // the run's own message when it cannot be.
  Win32System system;
  const std::string shared = dir + "shared";
  ::CreateDirectoryA(shared.c_str(), nullptr);
  system.SetEnv("ALLUSERSPROFILE", shared);
  const std::string config = shared + "\\MERIDON\\" + kPrinterConfigFileName;
  ::RemoveDirectoryA(config.c_str());
  ::DeleteFileA(config.c_str());
  CheckEq(LoadPrinterConfiguration(system, profiles, "4"),
          "N\r\nS3\r\nD9\r\nON,D\r\nI8,1,033\r\nZT\r\nR0,0\r\nQ1080,24\r\n", "the defaults of a ZEBRA 2844");
  CheckEq(profiles.ReadString(config, "ZEBRA 2844", "Param08"), "Q1080,24", "the defaults are in the file");
  ::DeleteFileA(config.c_str());
  ::CreateDirectoryA(config.c_str(), nullptr);
  std::string message;
  try {
    LoadPrinterConfiguration(system, profiles, "4");
  } catch (const PlatformError& e) {
    message = e.what();
  }
  CheckEq(message,
          "Impossible d'\xE9"
          "crire dans " +
              config,
          "an unwritable configuration file");
  ::RemoveDirectoryA(config.c_str());

  const std::string big = "[ZEBRA 2844]\r\nParam01=\r\n;" + std::string(ProfileFiles::kMaxFileSize, 'x') + "\r\n";
  WriteFile(config, big);
  message.clear();
  try {
    LoadPrinterConfiguration(system, profiles, "4");
  } catch (const PlatformError& e) {
    message = e.what();
  }
  CheckEq(message, "Fichier trop volumineux (plus de 1 Mo) : " + config, "an oversized configuration file");
  Check(ReadFile(config) == big, "an oversized configuration file is left as it is");
  ::DeleteFileA(config.c_str());
}

std::uint32_t Le32(const std::string& m, std::size_t at) {
  if (at + 4 > m.size()) return 0;
  return static_cast<std::uint8_t>(m[at]) | static_cast<std::uint8_t>(m[at + 1]) << 8 |
         static_cast<std::uint8_t>(m[at + 2]) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(m[at + 3])) << 24;
}

void CheckNtlm() {
  Win32Ntlm ntlm;
  const bool available = ntlm.Available();
  std::printf("  NTLM package available: %s\n", available ? "yes" : "no");
  // Wine offers the package through winbind's ntlm_auth.
  Check(available, "the NTLM package is offered (scripts/setup.sh installs winbind)");
  if (!available) {
    // Without the package a proxy that asks for NTLM gets a contained error.
    bool raised = false;
    try {
      ntlm.Start(std::nullopt);
    } catch (const PlatformError&) {
      raised = true;
    }
    Check(raised, "starting NTLM without the package raises");
    return;
  }
  std::string negotiate, failure;
  try {
    auto context = ntlm.Start(NtlmCredentials{"ORVANE", "agent", "secret"});
    negotiate = context->Negotiate();
  } catch (const PlatformError& e) {
    failure = e.what();
  }
  if (!failure.empty()) std::printf("  NTLM negotiate: %s\n", failure.c_str());
  Check(failure.rfind("NTLM : ", 0) == 0 || failure.empty(), "a failing package says so in a readable text");
  if (negotiate.empty()) return;
  CheckEq(negotiate.substr(0, 8) == std::string("NTLMSSP\0", 8), true, "the negotiate message's signature");
  CheckEq(Le32(negotiate, 8), 1u, "message type 1");

  // A challenge as a proxy sends it (NTLM with extended session security,
  // Unicode, target information holding only its end marker) is answered
  // with an authenticate message naming the user.
  std::string challenge("NTLMSSP\0", 8);
  auto le32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) challenge += static_cast<char>(v >> (8 * i));
  };
  le32(2);
  le32(0);  // empty target name: length and room 0, at offset 48
  le32(48);
  le32(0x00888205);
  challenge += std::string("\x01\x23\x45\x67\x89\xAB\xCD\xEF", 8);
  challenge += std::string(8, '\0');
  le32(4 | 4 << 16);
  le32(48);
  challenge += std::string(4, '\0');
  std::string answer;
  try {
    auto context = ntlm.Start(NtlmCredentials{"ORVANE", "agent", "secret"});
    context->Negotiate();
    answer = context->Authenticate(challenge);
  } catch (const PlatformError& e) {
    std::printf("  NTLM authenticate: %s\n", e.what());
  }
  CheckEq(answer.substr(0, 8) == std::string("NTLMSSP\0", 8), true, "the authenticate message's signature");
  CheckEq(Le32(answer, 8), 3u, "message type 3");
  const std::string agent("a\0g\0e\0n\0t\0", 10);
  const std::string AGENT("A\0G\0E\0N\0T\0", 10);
  Check(answer.find(agent) != std::string::npos || answer.find(AGENT) != std::string::npos,
        "the authenticate message names the user");
  bool raised = false;
  try {
    auto context = ntlm.Start(NtlmCredentials{"ORVANE", "agent", "secret"});
    context->Authenticate(challenge);
  } catch (const PlatformError&) {
    raised = true;
  }
  Check(raised, "a challenge before the negotiate message is refused");
}

}  // namespace

// The bridge's question of whose process holds a connection's other end:
// this very process's connection is its own user's, one the TCP table does
// not have is refused. Wine names no owning process in its table (for its
// own processes neither), so there the Linux table answers, and the token
// comparison is checked on this process and on one that does not exist.
void CheckPeerUser() {
  Listener listener;
  SOCKET client = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<u_short>(listener.port));
  ::connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to);
  SOCKET accepted = listener.Accept();
  sockaddr_in local{}, remote{};
  int size = sizeof local;
  ::getsockname(accepted, reinterpret_cast<sockaddr*>(&local), &size);
  size = sizeof remote;
  ::getpeername(accepted, reinterpret_cast<sockaddr*>(&remote), &size);
  const auto end = [](const sockaddr_in& a) {
    bridge::TcpEnd e;
    std::memcpy(e.address.data(), &a.sin_addr, 4);
    e.port = ntohs(a.sin_port);
    return e;
  };
  CheckEq(bridge::WhyNotSameUser(end(local), end(remote)), "", "this process's own connection is its user's");
  bridge::TcpEnd nowhere = end(remote);
  nowhere.port = 0;
  Check(!bridge::WhyNotSameUser(end(local), nowhere).empty(), "a connection the TCP table lacks is refused");
  CheckEq(bridge::WhyNotSameUserProcess(::GetCurrentProcessId()), "", "this process runs as its own user");
  Check(!bridge::WhyNotSameUserProcess(0xFFFFFFF0).empty(), "a process that cannot be opened is refused");
  ::closesocket(accepted);
  ::closesocket(client);
}

int main() {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
  CheckNetwork();
  CheckPeerUser();
  CheckProfiles();
  CheckNtlm();
  ::WSACleanup();
  std::printf("net_profile_test: %d checks, %d failed\n", g_checks, g_failures);
  return g_failures == 0 ? 0 : 1;
}
