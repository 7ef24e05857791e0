#include "bridge/handler.h"

#include <algorithm>
#include <exception>
#include <nlohmann/json.hpp>

#include "base/cp1252.h"
#include "base/text.h"
#include "bridge/text.h"
#include "run/version.h"

namespace imptherm::bridge {
namespace {

using nlohmann::json;

std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

// The page parameters the control reads, as the control names them.
const char* const kParameterNames[] = {"prnType",         "fileOut",      "streamUrl", "nbEtiquColis",
                                       "nbEtiquPalettes", "Cookie",       "prnName",   "proxyEnable",
                                       "proxyHttp",       "proxyDomaine", "proxyUser", "proxyPassword"};

constexpr char kParamsShape[] =
    "params must be an object of page parameters, each a name and a text value: {\"params\":{\"prnType\":\"4\",...}}";

const char* KnownParameter(const std::string& name) {
  for (const char* known : kParameterNames)
    if (LowerAscii(known) == LowerAscii(name)) return known;
  return nullptr;
}

// The media type without its parameters ("; charset=utf-8").
bool IsJson(const std::string& contentType) {
  std::string type = LowerAscii(contentType.substr(0, contentType.find(';')));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.pop_back();
  while (!type.empty() && (type.front() == ' ' || type.front() == '\t')) type.erase(0, 1);
  return type == "application/json";
}

void AddCors(BridgeResponse& r, const std::string& origin) {
  r.headers.emplace_back("Access-Control-Allow-Origin", origin);
  r.headers.emplace_back("Vary", "Origin");
}

BridgeResponse JsonAnswer(int status, const json& body, const std::string& origin) {
  BridgeResponse r;
  r.status = status;
  r.headers.emplace_back("Content-Type", "application/json");
  r.body = Dump(body);
  AddCors(r, origin);
  return r;
}

json RunJson(const PrintRunEntry& run) {
  json j = {{"id", run.id}, {"state", run.StateName()}, {"outcome", nullptr}};
  if (run.outcome) j["outcome"] = json::parse(run.outcome->Json());
  return j;
}

}  // namespace

std::string BridgeResponse::Header(const std::string& name) const {
  for (const auto& [key, value] : headers)
    if (LowerAscii(key) == LowerAscii(name)) return value;
  return "";
}

BridgeResponse ErrorAnswer(int status, const std::string& code, const std::string& message) {
  BridgeResponse r;
  r.status = status;
  r.headers.emplace_back("Content-Type", "application/json");
  r.body = Dump({{"error", {{"code", code}, {"message", message}}}});
  return r;
}

BridgeHandler::BridgeHandler(ConfigStore& config, RunQueue& queue, Setup setup)
    : config_(config), queue_(queue), setup_(std::move(setup)) {
  // Origins, paths and parameter names come from the request: a control
  // byte among them must not forge a line of the log or steer a terminal.
  if (setup_.log) setup_.log = [log = std::move(setup_.log)](const std::string& line) { log(VisibleLogText(line)); };
  // Every run ends with its line, the ones that never started included.
  queue_.onEnded = [this](const PrintRunEntry& run) { LogOutcome(run); };
}

BridgeResponse BridgeHandler::Refuse(const BridgeRequest& request, int status, const std::string& code,
                                     const std::string& message, bool cors, const std::string& logHint) {
  setup_.log("refused " + request.method + " " + request.target.substr(0, 200) + " from " +
             (request.hasOrigin ? request.origin.substr(0, 200) : "no origin") + ": " + code + " (" + message +
             logHint + ")");
  BridgeResponse r = ErrorAnswer(status, code, message);
  if (cors) AddCors(r, request.origin);
  return r;
}

BridgeResponse BridgeHandler::Handle(const BridgeRequest& request) {
  config_.Refresh();
  if (!HostHeaderAllowed(request.host, setup_.port))
    return Refuse(request, 403, "host-refused",
                  "the Host header must be 127.0.0.1:" + std::to_string(setup_.port) +
                      ", localhost:" + std::to_string(setup_.port) + " or [::1]:" + std::to_string(setup_.port),
                  false);
  const OriginRule* rule = request.hasOrigin ? config_.Find(request.origin) : nullptr;
  const std::string path = request.target.substr(0, request.target.find('?'));
  if (request.method == "GET" && path == "/impthermorvane.js") {
    // Any page may import the client, which holds nothing secret, even from
    // another user's bridge on the first port: a page the bridge refuses
    // then hears from the client what to allow, instead of only that its
    // import failed.
    BridgeResponse r;
    r.headers.emplace_back("Content-Type", "text/javascript; charset=utf-8");
    r.headers.emplace_back("Access-Control-Allow-Origin", "*");
    r.body = setup_.script;
    return r;
  }
  if (!request.otherUser.empty()) {
    BridgeResponse r = Refuse(request, 403, "other-user",
                              "this bridge serves only the processes of its own user, and " + request.otherUser, false);
    // Any page may read it, so that its client goes on to the next port to
    // find its own user's bridge; it tells nothing but that.
    r.headers.emplace_back("Access-Control-Allow-Origin", "*");
    return r;
  }
  // The file's path goes to the log only: it may name the user.
  if (!rule && request.hasOrigin)
    return Refuse(request, 403, "origin-refused", "origin " + request.origin + " is not allowed by this bridge", false,
                  "; allow it in " + config_.path() + " or with --allow-origin " + request.origin.substr(0, 200));
  if (!rule) return Refuse(request, 403, "origin-refused", "a request without an Origin header is not allowed", false);
  return Route(request, *rule);
}

BridgeResponse BridgeHandler::Route(const BridgeRequest& request, const OriginRule& rule) {
  const std::string& origin = request.origin;
  if (request.method == "OPTIONS") {
    BridgeResponse r;
    r.status = 204;
    AddCors(r, origin);
    r.headers.emplace_back("Access-Control-Allow-Methods", "GET, POST, DELETE");
    r.headers.emplace_back("Access-Control-Allow-Headers", "Content-Type");
    r.headers.emplace_back("Access-Control-Max-Age", "600");
    if (request.requestPrivateNetwork) r.headers.emplace_back("Access-Control-Allow-Private-Network", "true");
    if (request.requestLocalNetwork) r.headers.emplace_back("Access-Control-Allow-Local-Network", "true");
    return r;
  }
  const bool changes = request.method != "GET" && request.method != "HEAD";
  if (changes && !IsJson(request.contentType))
    return Refuse(request, 415, "content-type", request.method + " needs Content-Type: application/json", true);
  if (request.bodyTooLarge || request.body.size() > kMaxBodySize)
    return Refuse(request, 413, "too-large", "the request body is over 64 KiB", true);

  const std::string path = request.target.substr(0, request.target.find('?'));
  if (request.method == "GET" && path == "/v1/version")
    return JsonAnswer(200, {{"name", "impthermorvane"}, {"version", kVersionDotted}, {"api", 1}}, origin);
  if (request.method == "GET" && path == "/v1/printers") {
    BridgeResponse r;
    r.listPrinters = true;
    return r;
  }
  if (request.method == "POST" && path == "/v1/print-runs") return StartRun(request, rule);

  const std::string prefix = "/v1/print-runs/";
  if (path.rfind(prefix, 0) == 0) {
    std::string id = path.substr(prefix.size());
    const bool events = id.size() > 7 && id.compare(id.size() - 7, 7, "/events") == 0;
    if (events) id.resize(id.size() - 7);
    auto run = queue_.Find(id);
    // Another origin's run is not there for this page.
    if (run && run->origin == origin) {
      if (request.method == "GET" && !events) return JsonAnswer(200, RunJson(*run), origin);
      if (request.method == "GET") {
        BridgeResponse r;
        r.headers.emplace_back("Content-Type", "text/event-stream");
        r.headers.emplace_back("Cache-Control", "no-store");
        AddCors(r, origin);
        r.eventsOf = run;
        return r;
      }
      if (request.method == "DELETE" && !events) {
        setup_.log("run " + run->id + " from " + origin + ": stop asked");
        queue_.Cancel(run);
        return JsonAnswer(202, {{"id", run->id}, {"state", run->StateName()}}, origin);
      }
    }
  }
  return Refuse(request, 404, "not-found", "no such print run or path: " + path.substr(0, 200), true);
}

BridgeResponse BridgeHandler::StartRun(const BridgeRequest& request, const OriginRule& rule) {
  const json body = json::parse(request.body, nullptr, false);
  auto bad = [&](const std::string& why) { return Refuse(request, 400, "bad-request", why, true); };
  if (body.is_discarded() || !body.is_object()) return bad("the body is not a JSON object");
  PageParameters params;
  int firstSlot = 0;
  bool hasParams = false;
  std::string streamUrl, proxyEnable, proxyHttp;
  for (const auto& [key, value] : body.items()) {
    if (key == "firstSlot") {
      if (!value.is_number_integer() || value.get<long long>() < 1 || value.get<long long>() > 4)
        return bad("firstSlot must be a number from 1 to 4");
      firstSlot = value.get<int>();
    } else if (key == "params") {
      if (!value.is_object()) return bad(kParamsShape);
      hasParams = true;
      for (const auto& [name, v] : value.items()) {
        const char* known = KnownParameter(name);
        // Names only: a value may be a credential.
        if (!known) return bad("unknown parameter '" + name.substr(0, 100) + "'");
        if (!v.is_string()) return bad("parameter " + std::string(known) + " must be a text");
        std::string text = Utf8ToCp1252(v.get<std::string>());
        if (LowerAscii(known) == "streamurl") {
          // A scheme is the same in any letter case, but the run puts
          // "http://" in front of a URL that lacks those exact letters.
          if (LowerAscii(text.substr(0, 7)) == "http://") text.replace(0, 7, "http://");
          streamUrl = text;
        }
        if (LowerAscii(known) == "proxyenable") proxyEnable = LowerAscii(text);
        if (LowerAscii(known) == "proxyhttp") proxyHttp = text;
        params.emplace_back(known, std::move(text));
      }
    } else {
      return bad("unknown entry '" + key.substr(0, 100) + "' (expected params and firstSlot)");
    }
  }
  if (!hasParams) return bad(kParamsShape);
  const bool hasStreamUrl =
      std::any_of(params.begin(), params.end(), [](const auto& p) { return p.first == "streamUrl"; });
  if (hasStreamUrl && !StreamUrlAllowed(rule, streamUrl))
    return Refuse(request, 403, "stream-host-refused",
                  "streamUrl must name a host allowed for " + request.origin + " (an http URL)", true);
  // A proxy is a way to another host as much as the URL is.
  std::string trimmedProxy = proxyHttp;
  while (!trimmedProxy.empty() && trimmedProxy.back() == ' ') trimmedProxy.pop_back();
  while (!trimmedProxy.empty() && trimmedProxy.front() == ' ') trimmedProxy.erase(0, 1);
  if (proxyEnable == "true" && !trimmedProxy.empty() && !ProxyAllowed(rule, trimmedProxy))
    return Refuse(request, 403, "stream-host-refused", "proxyHttp must name a host:port allowed for " + request.origin,
                  true);
  switch (queue_.WhyRefused(rule.origin)) {
    case RunQueue::Refusal::None: break;
    case RunQueue::Refusal::QueueFull:
      return Refuse(request, 503, "queue-full",
                    "the bridge already has " + std::to_string(kQueueCapacity) + " print runs waiting; try again later",
                    true);
    case RunQueue::Refusal::OriginShareFull:
      return Refuse(request, 429, "origin-queue-full",
                    "this origin already has " + std::to_string(kOriginShare) +
                        " print runs waiting, its share of the queue; try again when one has ended",
                    true);
    case RunQueue::Refusal::Stopping: return Refuse(request, 503, "stopping", "the bridge is stopping", true);
  }
  auto run = queue_.Submit(rule, std::move(params), firstSlot);
  setup_.log("run " + run->id + " from " + request.origin + ": queued");
  return JsonAnswer(202, {{"id", run->id}, {"state", "queued"}}, request.origin);
}

BridgeResponse BridgeHandler::PrintersAnswer(const BridgeRequest& request, const PrinterListing& listing) {
  // The print server cannot be reached or did not answer: no empty list.
  if (listing.error) return Refuse(request, 502, "print-server", Cp1252ToUtf8(*listing.error), true);
  json list = json::array();
  for (const PrinterEntry& p : listing.printers)
    list.push_back({{"name", Cp1252ToUtf8(p.name)}, {"default", p.isDefault}});
  return JsonAnswer(200, {{"printers", list}}, request.origin);
}

PrinterListing TakePrinterListing(const std::function<std::vector<PrinterEntry>()>& list) {
  PrinterListing listing;
  try {
    listing.printers = list();
  } catch (const std::exception& e) {
    listing.error = e.what();
  }
  return listing;
}

std::vector<PrinterEntry> ListPrinters(Printers& printers) {
  const std::string byDefault = printers.DefaultPrinter();
  std::vector<PrinterEntry> list;
  for (const std::string& name : printers.List()) list.push_back({name, !byDefault.empty() && name == byDefault});
  return list;
}

void BridgeHandler::LogOutcome(const PrintRunEntry& run) {
  if (!run.outcome) return;
  const RunOutcomeInfo& o = *run.outcome;
  setup_.log("run " + run.id + " from " + run.origin + ": status " + std::to_string(o.status) + ", " +
             std::to_string(o.labels) + " label(s)" +
             (o.failedRecord ? ", record " + std::to_string(o.failedRecord) + " failed" : "") +
             (o.message.empty() ? "" : ", " + o.message));
}

}  // namespace imptherm::bridge
