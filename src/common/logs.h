#pragma once
#include <string>
#include <utility>

#include "platform/system.h"

namespace imptherm {

// The user's temporary folder, ending in the path separator; empty when the
// system reports none (files then land in the current folder).
std::string TempFolder(System& system);

// ALLUSERSPROFILE + separator + "MERIDON", without a trailing separator;
// created when missing. When the variable is not set the platform's
// fallback is used and stored in the process environment for later calls.
std::string SharedDataFolder(System& system);
// The same folder's path, without making sure that it exists.
std::string SharedDataFolderPath(System& system);

// "<local date> <local time> <text>" ended by CR LF, the text's control
// characters made visible.
std::string LogLine(System& system, const std::string& text);

// The parameter log "ImpThermOrvane.Log" in the temp folder, written only by
// the print run driver and emptied at the start of each print run.
class ParameterLog {
 public:
  explicit ParameterLog(System& system) : system_(system) {}
  void Reset();
  void Write(const std::string& text);
  const std::string& path() const { return path_; }

 private:
  System& system_;
  std::string path_;
};

// What an echo of the run log shows in place of a secret.
inline constexpr char kSecretMask[] = "********";

// The run log "OWTMP.LOG" in the work folder, appended to by every stage.
// The log keeps the folder for the life of the module: a download (or the
// version exchange) moves it to the temp folder, and a later run's lines go
// where the last one put them until it moves again.
class RunLog {
 public:
  // Sees every line as it is written, without the date and with its secret
  // masked (a host that shows the run elsewhere, such as the browser bridge).
  class Echo {
   public:
    virtual ~Echo() = default;
    virtual void Line(const std::string& text) = 0;
  };
  explicit RunLog(System& system) : system_(system) {}
  void Write(const std::string& text);
  // A line that ends in a secret (the proxy user): the file keeps it whole,
  // the echo gets `label` followed by kSecretMask. The writer marks it, so no
  // host has to recognise the line by its text.
  void WriteSecret(const std::string& label, const std::string& secret);
  std::string path() const { return workFolder_ + "OWTMP.LOG"; }
  // Empty until the first run sets it; ends in the path separator once set.
  const std::string& workFolder() const { return workFolder_; }
  void SetWorkFolder(std::string folder) { workFolder_ = std::move(folder); }
  void SetEcho(Echo* echo) { echo_ = echo; }

 private:
  void Put(const std::string& text, const std::string& echoed);

  System& system_;
  std::string workFolder_;
  Echo* echo_ = nullptr;
};

}  // namespace imptherm
