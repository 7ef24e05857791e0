// The bridge's two parsers of outside text: the configuration file, and a
// request (the fields split at NUL bytes) through the whole handler. Every
// answer must be an error object or a known status, and a queued run's
// parameters never come back in an answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "bridge/handler.h"

using namespace imptherm::bridge;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  auto parsed = ParseBridgeConfig(text);
  if (!parsed && parsed.error().empty()) std::abort();
  const BridgeConfig config = parsed ? *parsed : BridgeConfig{};

  std::vector<std::string> f;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\0', start);
    f.push_back(text.substr(start, end - start));
    if (end == std::string::npos || f.size() == 6) break;
    start = end + 1;
  }
  f.resize(6);
  ConfigStore store("/nonexistent/bridge.json", config.origins, [](const std::string&) {});
  store.Refresh();
  RunQueue queue([](std::shared_ptr<PrintRunEntry>) {});
  BridgeHandler handler(store, queue, {9180, "", [](const std::string&) {}});
  BridgeRequest request;
  request.method = f[0];
  request.target = f[1];
  request.host = "127.0.0.1:9180";
  request.hasOrigin = !f[2].empty();
  request.origin = f[2].empty() && !config.origins.empty() ? config.origins[0].origin : f[2];
  request.hasOrigin = request.hasOrigin || !request.origin.empty();
  request.contentType = f[3];
  request.body = f[4];
  const BridgeResponse r = handler.Handle(request);
  if (r.status != 200 && r.status != 202 && r.status != 204 && r.body.find("\"error\"") == std::string::npos)
    std::abort();
  return 0;
}
