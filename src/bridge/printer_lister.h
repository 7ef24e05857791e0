#pragma once
#include <utility>  // before Asio: Boost 1.74's awaitable.hpp needs std::exchange

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "bridge/handler.h"

namespace imptherm::bridge {

// Takes the printer list on a thread of its own, so that a print server that
// keeps it waiting holds that thread and not the server's. One listing at a
// time: the requests that come meanwhile share its result. After `timeLimit`
// the waiting requests are answered with an error, and so is every new one
// until the listing returns: neither threads nor waiting connections pile up
// behind a print server that does not answer.
class PrinterLister {
 public:
  using List = std::function<std::vector<PrinterEntry>()>;
  using Answer = std::function<void(const PrinterListing&)>;
  PrinterLister(boost::asio::io_context& io, List list, std::chrono::milliseconds timeLimit);
  ~PrinterLister();
  PrinterLister(const PrinterLister&) = delete;
  PrinterLister& operator=(const PrinterLister&) = delete;

  // `answer` is called on the io_context's thread, once.
  void Request(Answer answer);

 private:
  void Returned(const PrinterListing& listing);
  void AnswerWaiting(const PrinterListing& listing);
  PrinterListing Overdue() const;

  // How a listing that returns reaches the server: once the lister is gone
  // (the bridge stopped), a late listing is dropped.
  struct Way {
    std::mutex lock;
    boost::asio::io_context* io;
  };

  List list_;
  std::chrono::milliseconds timeLimit_;
  boost::asio::steady_timer deadline_;
  std::shared_ptr<Way> way_;
  std::uint64_t listingNumber_ = 0;  // numbers each listing, so a late deadline is known
  bool listing_ = false;
  bool overdue_ = false;
  std::vector<Answer> waiting_;
};

}  // namespace imptherm::bridge
