#include "common/files.h"

#include "platform/output_file.h"

namespace imptherm {

void AppendToFile(System& system, const std::string& path, std::string_view bytes) {
  auto file = system.OpenOutputFile(path, OpenMode::Append);
  file->Write(bytes);
  file->Close();
}

void CreateEmptyFile(System& system, const std::string& path) { system.OpenOutputFile(path, OpenMode::Empty)->Close(); }

}  // namespace imptherm
