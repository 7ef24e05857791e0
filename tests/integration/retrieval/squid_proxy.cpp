#include "squid_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "loopback_server.h"

namespace imptherm::testing {
namespace {

const char kSquid[] = "/usr/sbin/squid";
const char kHelpers[] = "/usr/lib/squid/";

bool Answers(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

void OwnByProxyUser(const std::string& path) {
  passwd* pw = ::getpwnam("proxy");
  if (!pw) return;
  for (auto& entry : std::filesystem::recursive_directory_iterator(path))
    [[maybe_unused]] int r = ::chown(entry.path().c_str(), pw->pw_uid, pw->pw_gid);
  [[maybe_unused]] int r = ::chown(path.c_str(), pw->pw_uid, pw->pw_gid);
}

}  // namespace

SquidProxy::SquidProxy(const std::vector<std::string>& auth) {
  if (::access(kSquid, X_OK) != 0) throw std::runtime_error("squid is not installed (" + std::string(kSquid) + ")");
  const std::string d = dir_.path();
  // "jean:secret" in the apache MD5 form basic_ncsa_auth reads.
  if (std::system(("htpasswd -bc " + d + "passwd jean secret >/dev/null 2>&1").c_str()) != 0)
    throw std::runtime_error("htpasswd failed");
  port_ = FreePort();
  std::string conf = "http_port 127.0.0.1:" + std::to_string(port_) + "\n" + "pid_filename " + d +
                     "squid.pid\ncache_log " + d +
                     "cache.log\naccess_log none\ncache_store_log none\nnetdb_filename none\ncache deny all\n"
                     "coredump_dir " +
                     d + "\npinger_enable off\ndns_nameservers 127.0.0.1\nshutdown_lifetime 0 seconds\n";
  for (const std::string& scheme : auth) {
    if (scheme == "basic") {
      conf += "auth_param basic program " + std::string(kHelpers) + "basic_ncsa_auth " + d + "passwd\n";
      conf += "auth_param basic realm impthermtest\n";
    } else {
      conf += "auth_param " + scheme + " program " + std::string(kHelpers) + "ntlm_fake_auth\n";
      conf += "auth_param " + scheme + " children 1\n";
    }
  }
  conf += "acl authed proxy_auth REQUIRED\nhttp_access allow authed\nhttp_access deny all\n";
  dir_.Write("squid.conf", conf);
  OwnByProxyUser(d);
  pid_ = ::fork();
  if (pid_ == 0) {
    const std::string log = d + "squid.out";
    if (!std::freopen(log.c_str(), "w", stdout) || !std::freopen(log.c_str(), "a", stderr)) _exit(126);
    const std::string confPath = d + "squid.conf";
    ::execl(kSquid, "squid", "-N", "-f", confPath.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!Answers(port_)) {
    int status;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("squid ended at start: " + dir_.Read("squid.out") + dir_.Read("cache.log"));
    }
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
      throw std::runtime_error("squid does not answer on " + address());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

SquidProxy::~SquidProxy() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

}  // namespace imptherm::testing
