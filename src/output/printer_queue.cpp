#include "output/printer_queue.h"

#include <string_view>
#include <utility>
#include <vector>

#include "base/text.h"
#include "output/send_job.h"
#include "platform/error.h"

namespace imptherm {
namespace {

// False when the printer refused the piece.
bool SendPiece(RunLog& runLog, RawDocument& document, const std::string& piece) {
  try {
    document.Write(piece);
    return true;
  } catch (const PlatformError&) {
    runLog.Write("Print error");
    return false;
  }
}

// One piece to the port, completed when the device takes it in part.
// Returns why the device failed, empty when it took the piece: after a
// failure the rest of the job is dropped.
std::string WritePortPiece(RunLog& runLog, PortDevice& device, std::string_view piece) {
  for (std::size_t done = 0; done < piece.size();) {
    const PortDevice::WriteResult r = device.Write(piece.data() + done, piece.size() - done);
    if (!r.ok) {
      runLog.Write("Error WriteFile:" + std::to_string(r.errorCode));
      return "system error " + std::to_string(r.errorCode);
    }
    if (r.written == 0) {
      runLog.Write("Error WriteFile:TimeOut");
      return "the device took nothing within its time-out";
    }
    done += r.written;
  }
  return "";
}

// Bytes gathered into the fixed-size pieces a device takes, however the job
// arrives: the pieces are those of the whole job cut from its start.
class Pieces {
 public:
  explicit Pieces(std::size_t size) : size_(size) {}
  // Calls `take` with every full piece; stops early when it returns false.
  template <typename Take>
  void Add(std::string_view bytes, Take take) {
    pending_.append(bytes);
    std::size_t at = 0;
    while (pending_.size() - at >= size_ && take(std::string_view(pending_).substr(at, size_))) at += size_;
    pending_.erase(0, pending_.size() - at >= size_ ? pending_.size() : at);
  }
  std::string TakeRest() { return std::exchange(pending_, {}); }

 private:
  std::size_t size_;
  std::string pending_;
};

// The "WIN" channel. The printer is chosen when the first piece is ready:
// the first installed printer whose name contains prnName; one that cannot
// start or end the document is logged and the next one is given the job.
class PrinterChannel final : public JobChannel {
 public:
  PrinterChannel(OutputContext& ctx, const std::string& prnName) : ctx_(ctx), wanted_(UpperAscii(prnName)) {}

  void Write(std::string_view bytes) override {
    pieces_.Add(bytes, [this](std::string_view piece) { return Send(std::string(piece)); });
  }

  std::string Finish() override {
    if (std::string rest = pieces_.TakeRest(); !rest.empty()) Send(std::move(rest));
    if (gaveUp_) return kNoPrinterMessage;
    // An empty job chooses its printer and sends it nothing.
    if (!document_) return NextPrinter() ? "" : kNoPrinterMessage;
    for (;;) {
      try {
        // Still queued when the wait ran out is no failure: the printer
        // may yet print it.
        if (const std::string queued = document_->End(); !queued.empty()) ctx_.runLog.Write("Printer queue: " + queued);
        return "";
      } catch (const PrintJobFailed& e) {
        // The printer took the job and then dropped it: a fault a person
        // has to see, not a refusal that the next printer could make up
        // for. The run stops here and says why.
        document_.reset();
        ctx_.runLog.Write(std::string("Printer error: ") + e.what());
        throw;
      } catch (const PlatformError&) {
        document_.reset();
        ctx_.runLog.Write("Printer error");
      }
      // The next printer gets the whole job again, when it was kept.
      if (!kept_ || !StartDocument()) return kNoPrinterMessage;
    }
  }

 private:
  // The piece to the current printer, chosen by the job's first piece.
  // False once no printer is left to take the job.
  bool Send(std::string piece) {
    if (gaveUp_) return false;
    sentBytes_ += piece.size();
    if (!document_) {
      sent_.push_back(std::move(piece));
      if (StartDocument()) return true;
      gaveUp_ = true;
      return false;
    }
    Deliver(piece);
    if (kept_ && sentBytes_ > kPrinterReplayLimit) {
      kept_ = false;
      sent_.clear();
    }
    if (kept_) sent_.push_back(std::move(piece));
    return true;
  }

  // A document on the next printer that matches, given every piece sent so
  // far. False when the list is exhausted.
  bool StartDocument() {
    while (NextPrinter()) {
      try {
        document_ = ctx_.printer.BeginRawDocument(kPrinterDocumentTitle);
        for (const std::string& piece : sent_) Deliver(piece);
        return true;
      } catch (const PlatformError&) {
        document_.reset();
        ctx_.runLog.Write("Printer error");
      }
    }
    return false;
  }

  void Deliver(const std::string& piece) {
    if (!SendPiece(ctx_.runLog, *document_, piece))
      Fail("the printer " + ctx_.printer.Current() + " refused a piece of the job");
  }

  // Selects the next printer whose name contains prnName; an empty name
  // matches none.
  bool NextPrinter() {
    if (wanted_.empty()) return false;
    if (!listed_) {
      listed_ = true;
      // A print server that cannot be listed is said so in the run log;
      // the page gets the channel's own message, as for no printer.
      try {
        names_ = ctx_.printer.InstalledPrinters();
      } catch (const PlatformError& e) {
        ctx_.runLog.Write(std::string("Printer error: ") + e.what());
      }
    }
    while (next_ < names_.size()) {
      const std::string& name = names_[next_++];
      if (UpperAscii(name).find(wanted_) == std::string::npos) continue;
      ctx_.printer.SelectPrinter(name);
      ctx_.runLog.Write("Printer OK: " + ctx_.printer.Current());
      return true;
    }
    return false;
  }

  OutputContext ctx_;  // a copy: the channel may outlive the caller's context
  const std::string wanted_;
  Pieces pieces_{kPrinterPieceSize};
  std::vector<std::string> names_;
  bool listed_ = false;
  std::size_t next_ = 0;
  std::unique_ptr<RawDocument> document_;
  std::vector<std::string> sent_;  // every piece of the job so far, while kept_
  std::size_t sentBytes_ = 0;
  bool kept_ = true;
  bool gaveUp_ = false;  // no printer took the job: the rest is dropped
};

// The parallel channel: the device is opened by the first piece and takes
// the job in pieces of kPortPieceSize.
class ParallelChannel final : public JobChannel {
 public:
  ParallelChannel(OutputContext& ctx, std::string portName) : ctx_(ctx), portName_(std::move(portName)) {}

  void Write(std::string_view bytes) override {
    if (!failure().empty()) return;
    if (!device_) {
      device_ = ctx_.platform.portDevices.OpenForWriting(portName_);
      if (!device_) {
        ctx_.runLog.Write("Error on port " + portName_);
        Fail("the port " + portName_ + " could not be opened");
        return;
      }
    }
    pieces_.Add(bytes, [this](std::string_view piece) { return Put(piece); });
  }

  std::string Finish() override {
    const std::string rest = pieces_.TakeRest();
    if (failure().empty() && !rest.empty()) Put(rest);
    return "";
  }

  // What the device still holds ends with a whole label.
  void Stop() override { Finish(); }

 private:
  bool Put(std::string_view piece) {
    const std::string why = WritePortPiece(ctx_.runLog, *device_, piece);
    if (!why.empty()) Fail("writing to " + portName_ + " failed: " + why);
    return why.empty();
  }

  OutputContext ctx_;  // a copy: the channel may outlive the caller's context
  std::string portName_;
  std::unique_ptr<PortDevice> device_;
  Pieces pieces_{kPortPieceSize};
};

}  // namespace

void SendToPrinterQueue(RunLog& runLog, RawDocument& document, const std::string& job) {
  // Every byte goes out, NUL bytes included: the job is opaque here.
  if (job.size() + 2 < kSinglePieceLimit) {
    SendPiece(runLog, document, job);
    return;
  }
  for (std::size_t pos = 0; pos < job.size(); pos += kPrinterPieceSize)
    SendPiece(runLog, document, job.substr(pos, kPrinterPieceSize));
}

void WriteToPortHandle(RunLog& runLog, PortDevice& device, const std::string& job) {
  const std::string_view all(job);
  for (std::size_t pos = 0; pos < all.size(); pos += kPortPieceSize)
    if (!WritePortPiece(runLog, device, all.substr(pos, kPortPieceSize)).empty()) return;
}

std::unique_ptr<JobChannel> OpenPrinterChannel(OutputContext& ctx, const std::string& prnName) {
  return std::make_unique<PrinterChannel>(ctx, prnName);
}

std::unique_ptr<JobChannel> OpenParallelChannel(OutputContext& ctx, const std::string& portName) {
  return std::make_unique<ParallelChannel>(ctx, portName);
}

}  // namespace imptherm
