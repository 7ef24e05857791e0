// One connection: its requests and answers, or the event stream it follows.
#include "bridge/session.h"

#include <algorithm>
#include <boost/asio.hpp>
#include <string>

#include "bridge/peer_user.h"

namespace imptherm::bridge {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Clock = SessionClock;

TcpEnd EndOf(const tcp::endpoint& at) {
  TcpEnd end;
  end.port = at.port();
  end.v6 = at.address().is_v6();
  if (end.v6) {
    const auto bytes = at.address().to_v6().to_bytes();
    std::copy(bytes.begin(), bytes.end(), end.address.begin());
  } else {
    const auto bytes = at.address().to_v4().to_bytes();
    std::copy(bytes.begin(), bytes.end(), end.address.begin());
  }
  return end;
}

}  // namespace

Session::Session(tcp::socket socket, ServerShared& shared)
    : stream_(std::move(socket)), shared_(shared), connections_(shared.connections) {
  connections_->open.push_back(this);
}

Session::~Session() {
  if (run_) run_->Unwatch(watch_);
  Forget();
}

void Session::Close() {
  if (closed_) return;
  Forget();
  beast::error_code ignored;
  stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
  stream_.socket().close(ignored);
}

void Session::Forget() {
  if (closed_) return;
  closed_ = true;
  auto& open = connections_->open;
  open.erase(std::find(open.begin(), open.end(), this));
  if (run_) --connections_->streams;
  if (connections_->freed) connections_->freed();
}

// The first byte within the idle limit, the header within
// kHeaderTimeLimit and the body within kRequestTimeLimit of the wait's
// start; bytes of a next request already read go straight on.
void Session::Read() {
  since_ = Clock::now();
  parser_.emplace();
  parser_->header_limit(kMaxHeaderSize);
  parser_->body_limit(kMaxBodySize);
  if (buffer_.size() > 0) return ReadHeader();
  stream_.expires_after(shared_.idleTimeLimit);
  stream_.async_read_some(buffer_.prepare(kMaxHeaderSize),
                          [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                            if (ec) return self->Close();
                            self->buffer_.commit(n);
                            self->ReadHeader();
                          });
}

void Session::ReadHeader() {
  stream_.expires_at(since_ + kHeaderTimeLimit);
  http::async_read_header(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
    if (ec) return self->OnRead(ec);
    self->stream_.expires_at(self->since_ + kRequestTimeLimit);
    http::async_read(self->stream_, self->buffer_, *self->parser_,
                     [self](beast::error_code ec, std::size_t) { self->OnRead(ec); });
  });
}

void Session::OnRead(beast::error_code ec) {
  if (ec == http::error::header_limit) {
    shared_.log("refused a request whose header is over " + std::to_string(kMaxHeaderSize) + " bytes");
    return Write(ErrorAnswer(431, "too-large", "the request header is too large"), false);
  }
  const bool tooLarge = ec == http::error::body_limit;
  if (ec && !tooLarge) return Close();
  const auto& message = parser_->get();
  BridgeRequest request;
  request.method = std::string(message.method_string());
  request.target = std::string(message.target());
  request.host = std::string(message[http::field::host]);
  if (auto origin = message.find(http::field::origin); origin != message.end()) {
    request.hasOrigin = true;
    request.origin = std::string(origin->value());
  }
  request.contentType = std::string(message[http::field::content_type]);
  request.bodyTooLarge = tooLarge;
  if (!tooLarge) request.body = message.body();
  auto flag = [&](const char* name) {
    auto it = message.find(name);
    return it != message.end() && beast::iequals(it->value(), "true");
  };
  request.requestPrivateNetwork = flag("Access-Control-Request-Private-Network");
  request.requestLocalNetwork = flag("Access-Control-Request-Local-Network");
  request.otherUser = OtherUser();
  since_ = Clock::now();  // a whole request: last in line to make room
  BridgeResponse response = shared_.handler.Handle(request);
  // After a body that was not read whole, the connection cannot go on.
  const bool keepAlive = !tooLarge && message.keep_alive();
  if (response.eventsOf) return StartEvents(std::move(response));
  if (response.listPrinters) {
    return shared_.printers.Request([self = shared_from_this(), request, keepAlive](const PrinterListing& listing) {
      self->Write(self->shared_.handler.PrintersAnswer(request, listing), keepAlive);
    });
  }
  Write(std::move(response), keepAlive);
}

// Whose process is at the other end, asked once per connection.
const std::string& Session::OtherUser() {
  if (otherUser_) return *otherUser_;
  beast::error_code ec;
  const tcp::endpoint local = stream_.socket().local_endpoint(ec);
  const tcp::endpoint remote = ec ? tcp::endpoint() : stream_.socket().remote_endpoint(ec);
  otherUser_ =
      ec ? "the connection's addresses cannot be read: " + ec.message() : WhyNotSameUser(EndOf(local), EndOf(remote));
  return *otherUser_;
}

// A refusal ends its connection: whoever was refused cannot hold a
// connection by sending refused requests on it.
void Session::Write(BridgeResponse r, bool keepAlive) {
  keepAlive = keepAlive && r.status < 400;
  auto res = std::make_shared<http::response<http::string_body>>(static_cast<http::status>(r.status), 11);
  for (const auto& [name, value] : r.headers) res->set(name, value);
  res->set(http::field::server, "impthermorvane");
  res->body() = std::move(r.body);
  res->keep_alive(keepAlive);
  res->prepare_payload();
  http::async_write(stream_, *res, [self = shared_from_this(), res, keepAlive](beast::error_code ec, std::size_t) {
    if (ec || !keepAlive) return self->Close();
    self->Read();
  });
}

// The event stream: the header, then every kept event from the start,
// then the new ones as they come, until the outcome.
void Session::StartEvents(BridgeResponse r) {
  if (connections_->streams >= shared_.maxStreams) {
    shared_.log("refused an event stream of run " + r.eventsOf->id + ": " + std::to_string(shared_.maxStreams) +
                " event streams are open");
    BridgeResponse busy =
        ErrorAnswer(503, "busy", std::to_string(shared_.maxStreams) + " event streams are open; try again later");
    for (const char* name : {"Access-Control-Allow-Origin", "Vary"}) busy.headers.emplace_back(name, r.Header(name));
    return Write(std::move(busy), false);
  }
  ++connections_->streams;
  run_ = std::move(r.eventsOf);
  std::weak_ptr<Session> weak = shared_from_this();
  watch_ = run_->Watch([weak] {
    if (auto self = weak.lock()) self->Pump();
  });
  stream_.expires_never();
  auto res = std::make_shared<http::response<http::empty_body>>(http::status::ok, 11);
  for (const auto& [name, value] : r.headers) res->set(name, value);
  res->set(http::field::server, "impthermorvane");
  res->keep_alive(false);
  auto serializer = std::make_shared<http::response_serializer<http::empty_body>>(*res);
  writing_ = true;
  http::async_write_header(stream_, *serializer,
                           [self = shared_from_this(), res, serializer](beast::error_code ec, std::size_t) {
                             self->writing_ = false;
                             if (ec) return self->Close();
                             self->WatchPeer();
                             self->Pump();
                           });
}

// A reader that goes away is noticed at once, not at the next event.
void Session::WatchPeer() {
  stream_.socket().async_read_some(asio::buffer(peerByte_),
                                   [self = shared_from_this()](beast::error_code, std::size_t) { self->Close(); });
}

void Session::Pump() {
  if (writing_ || closed_) return;
  std::string text;
  if (cursor_ < run_->firstKept) {
    text += "event: dropped\ndata: {\"count\":" + std::to_string(run_->firstKept - cursor_) + "}\n\n";
    cursor_ = run_->firstKept;
  }
  for (; cursor_ < run_->next(); ++cursor_) {
    const RunEvent& e = run_->events[static_cast<std::size_t>(cursor_ - run_->firstKept)];
    text += "event: " + e.name + "\ndata: " + e.data + "\n\n";
  }
  const bool last = run_->state == PrintRunEntry::State::Done && cursor_ == run_->next();
  if (text.empty()) {
    if (last) Close();
    return;
  }
  writing_ = true;
  auto data = std::make_shared<std::string>(std::move(text));
  asio::async_write(stream_.socket(), asio::buffer(*data),
                    [self = shared_from_this(), data](beast::error_code ec, std::size_t) {
                      self->writing_ = false;
                      if (ec) return self->Close();
                      self->Pump();
                    });
}

}  // namespace imptherm::bridge
