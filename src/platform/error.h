#pragma once
#include <stdexcept>
#include <string>

namespace imptherm {

// What the platform raises when the machine fails us (a file that cannot be
// written, a device that stops answering). The message is readable as it
// stands and is what ends up in the run log.
class PlatformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The printer took the job and then aborted or cancelled it: nothing of it
// was printed. Not a printer to pass over for the next one, but a failed job.
class PrintJobFailed : public PlatformError {
 public:
  using PlatformError::PlatformError;
};

// Raised when the person at the machine asks to stop the print run (Ctrl-C on
// the terminal, or closing the host). The driver ends the run cleanly.
class RunAbandoned : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a run stopped at the person's request says of itself.
inline constexpr char kStopAsked[] = "interrupted by the user";

}  // namespace imptherm
