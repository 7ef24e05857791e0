#include "bridge/printer_lister.h"

#include <boost/asio/post.hpp>
#include <cstdio>
#include <string>
#include <thread>

namespace imptherm::bridge {

PrinterLister::PrinterLister(boost::asio::io_context& io, List list, std::chrono::milliseconds timeLimit)
    : list_(std::move(list)), timeLimit_(timeLimit), deadline_(io), way_(std::make_shared<Way>()) {
  way_->io = &io;
}

PrinterLister::~PrinterLister() {
  std::lock_guard<std::mutex> hold(way_->lock);
  way_->io = nullptr;
}

void PrinterLister::Request(Answer answer) {
  if (overdue_) return answer(Overdue());
  waiting_.push_back(std::move(answer));
  if (listing_) return;
  listing_ = true;
  const std::uint64_t number = ++listingNumber_;
  deadline_.expires_after(timeLimit_);
  deadline_.async_wait([this, number](const boost::system::error_code& ec) {
    if (ec || !listing_ || number != listingNumber_) return;
    overdue_ = true;
    AnswerWaiting(Overdue());
  });
  // Not joined: a print server that never answers must not keep the bridge
  // from stopping. The thread touches nothing of the lister's but `way`.
  std::thread([list = list_, way = way_, self = this] {
    PrinterListing listing = TakePrinterListing(list);
    std::lock_guard<std::mutex> hold(way->lock);
    if (way->io) boost::asio::post(*way->io, [self, listing = std::move(listing)] { self->Returned(listing); });
  }).detach();
}

void PrinterLister::Returned(const PrinterListing& listing) {
  listing_ = false;
  overdue_ = false;
  deadline_.cancel();
  AnswerWaiting(listing);
}

void PrinterLister::AnswerWaiting(const PrinterListing& listing) {
  std::vector<Answer> waiting;
  waiting.swap(waiting_);
  for (const Answer& answer : waiting) answer(listing);
}

PrinterListing PrinterLister::Overdue() const {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%g", std::chrono::duration<double>(timeLimit_).count());
  PrinterListing overdue;
  overdue.error = "the print server has not listed the printers within " + std::string(seconds) + " s";
  return overdue;
}

}  // namespace imptherm::bridge
