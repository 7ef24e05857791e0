#include "common/files.h"

#include "platform/output_file.h"

namespace imptherm {

void AppendToFile(const std::string& path, std::string_view bytes) {
  auto file = OpenOutputFile(path, OpenMode::Append);
  file->Write(bytes);
  file->Close();
}

void CreateEmptyFile(const std::string& path) { OpenOutputFile(path, OpenMode::Empty)->Close(); }

}  // namespace imptherm
