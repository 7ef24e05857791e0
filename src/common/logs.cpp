#include "common/logs.h"

#include "base/text.h"
#include "common/files.h"

namespace imptherm {

std::string TempFolder(System& system) {
  std::string path = system.TempPath();
  if (!path.empty() && path.back() != system.PathSeparator()) path += system.PathSeparator();
  return path;
}

std::string SharedDataFolderPath(System& system) {
  std::string root = system.GetEnv("ALLUSERSPROFILE").value_or("");
  if (root.empty()) {
    root = system.AllUsersFallback();
    system.SetEnv("ALLUSERSPROFILE", root);
  }
  const char sep = system.PathSeparator();
  if (!root.empty() && root.back() == sep) root.pop_back();
  return root + sep + "MERIDON";
}

std::string SharedDataFolder(System& system) {
  std::string folder = SharedDataFolderPath(system);
  if (!system.DirectoryExists(folder)) system.CreateDirectories(folder);
  return folder;
}

// Log texts carry what pages and servers sent; one call stays one line.
std::string LogLine(System& system, const std::string& text) {
  return system.LocalTimeStamp() + " " + VisibleControls(text) + "\r\n";
}

void ParameterLog::Reset() {
  path_ = TempFolder(system_) + "ImpThermOrvane.Log";
  CreateEmptyFile(system_, path_);
}

void ParameterLog::Write(const std::string& text) { AppendToFile(system_, path_, LogLine(system_, text)); }

void RunLog::Write(const std::string& text) { Put(text, text); }

void RunLog::WriteSecret(const std::string& label, const std::string& secret) {
  Put(label + secret, label + kSecretMask);
}

void RunLog::Put(const std::string& text, const std::string& echoed) {
  if (echo_) echo_->Line(echoed);
  AppendToFile(system_, path(), LogLine(system_, text));
}

}  // namespace imptherm
